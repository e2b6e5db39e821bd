#pragma once
// KITTI's velodyne point files: one "NNNNNN.bin" per frame, numbered from 000000, each point
// four little-endian float32 values x, y, z [m] and reflectance (the intensity scaled to 0..1),
// with no header, as learning datasets hold them.

#include "convert/PointConversion.h"

#include <cstddef>
#include <string>
#include <vector>

namespace hvk32::kitti {

constexpr std::size_t kRecordSize = 16;
constexpr float kIntensityFullScale = 255.0f; // the device's highest intensity

// "DIR/000042.bin" for file number 42.
std::string fileName(const std::string& dir, long number);

// The records of `points` into `out` (resized to exactly their bytes).
void packRecords(const PointArrays& points, std::vector<char>& out);

} // namespace hvk32::kitti
