#pragma once
// Where the pictures' perspective cameras stand: the window's starting camera fitted to a
// frame, that camera turned about the scanner for an orbit, and a camera following a moving
// scanner from behind and above. Plain maths over points and poses.

#include "convert/PointConversion.h"
#include "view/CameraFit.h"

#include <Eigen/Geometry>

#include <vector>

namespace hvk32::render {

// The window's starting camera: the overview's direction, placed to see the whole frame as the
// window places it over its first frames; the overview itself for a frame without points.
CameraPlacement startingCamera(const PointArrays& points, double aspect);

// `camera` turned about the vertical through its focal point by `turn` of a whole turn.
CameraPlacement turnedCamera(const CameraPlacement& camera, double turn);

// Behind and above the newest of `poses` (at least one), looking ahead of it along the way it
// goes: the way from where it was a few metres back, or its x axis before it has gone that far.
CameraPlacement followingCamera(const std::vector<Eigen::Isometry3d>& poses);

} // namespace hvk32::render
