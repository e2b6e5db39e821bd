#pragma once
// LAS 1.2 files with point data format 1 (x, y, z, intensity, returns, user data, point
// source, GPS time; 28-byte records), the one layout of the format written here: a 227-byte
// public header block, no variable-length records, then the points. Coordinates are 32-bit
// integers of millimetres from an offset near the data. All values little-endian.

#include "convert/PointConversion.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hvk32::las {

constexpr std::size_t kHeaderSize = 227;
constexpr std::size_t kPointRecordSize = 28;
constexpr std::uint8_t kPointFormat = 1;
constexpr double kScale = 0.001; // [m] per coordinate unit
constexpr std::uint64_t kMaxPoints = 0xFFFFFFFFu; // the header's 32-bit point count

// What the header says beyond the fixed values.
struct Header {
    std::string systemIdentifier;   // at most 32 bytes kept
    std::string generatingSoftware; // likewise
    std::uint16_t creationDayOfYear = 0; // 1..366
    std::uint16_t creationYear = 0;
    std::uint64_t points = 0;
    std::array<std::uint64_t, 5> pointsByReturn{};
    double offset[3] = {0, 0, 0};   // [m] x, y, z
    double min[3] = {0, 0, 0};      // [m] the true bounds of the stored coordinates
    double max[3] = {0, 0, 0};
};

// The 227 header bytes.
std::vector<char> headerBytes(const Header& header);

// Turns converted frames into point records and keeps the header's counts and bounds. The
// offset is taken from the first frame with points: the middle of its bounds, in whole metres.
class PointPacker {
public:
    // Appends the records of `points` (a frame converted with the device's times) to `out`.
    // `frameStartSeconds` is the device time of the frame's first firing; `dualEcho` gives
    // every point two returns. False, leaving `out` as it was, when the file would exceed
    // the format's point count.
    bool pack(const PointArrays& points, std::uint16_t pointSource, double frameStartSeconds, bool dualEcho,
              std::vector<char>& out);

    // Counts, offset and bounds into `header`.
    void fill(Header& header) const;

private:
    bool offsetChosen_ = false;
    double offset_[3] = {0, 0, 0};
    std::int32_t min_[3] = {0, 0, 0};
    std::int32_t max_[3] = {0, 0, 0};
    std::uint64_t points_ = 0;
    std::array<std::uint64_t, 5> byReturn_{};
};

} // namespace hvk32::las
