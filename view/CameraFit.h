#pragma once
// Where a camera looking from a given direction must stand to see a whole box: the overview
// the view starts with and returns to after a clear, fitted to the cloud shown. Plain maths.

#include <array>
#include <optional>

namespace hvk32 {

using Vec3 = std::array<double, 3>;

struct Box3 {
    Vec3 min{}, max{};
};

// The overview the view starts with: looking down at the scanner from behind and above, so a
// room around it reads at once [m], z up, with the view's vertical opening [deg].
constexpr Vec3 kOverviewPosition{-22.0, -22.0, 19.0};
constexpr double kViewAngleDeg = 30.0;

struct CameraPlacement {
    Vec3 position{};
    Vec3 focalPoint{};
};

// The camera looks at the box's centre from `towardCamera` (a direction from the scene to
// the camera, any length) with `viewUp` up, and stands just far enough for all eight corners
// of the box to lie inside the view: `viewAngleDeg` is the vertical opening, `aspect` the
// view's width over its height, `margin` the share of the view the box may take at most.
// Nothing when the direction is null or parallel to viewUp, or the box holds a non-finite value.
std::optional<CameraPlacement> fitCamera(const Box3& box, const Vec3& towardCamera, const Vec3& viewUp,
                                         double viewAngleDeg, double aspect, double margin = 0.95);

} // namespace hvk32
