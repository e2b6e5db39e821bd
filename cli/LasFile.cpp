#include "cli/LasFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace hvk32::las {

namespace {

constexpr double kSecondsPerHour = 3600.0; // device times count within the hour

// Little-endian stores; compilers turn them into plain moves.
inline char* putU8(char* p, std::uint8_t v)
{
    *p = static_cast<char>(v);
    return p + 1;
}

inline char* putU16(char* p, std::uint16_t v)
{
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
    return p + 2;
}

inline char* putU32(char* p, std::uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        p[k] = static_cast<char>((v >> (8 * k)) & 0xFF);
    return p + 4;
}

inline char* putU64(char* p, std::uint64_t v)
{
    for (int k = 0; k < 8; ++k)
        p[k] = static_cast<char>((v >> (8 * k)) & 0xFF);
    return p + 8;
}

inline char* putDouble(char* p, double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return putU64(p, bits);
}

char* putText(char* p, const std::string& text, std::size_t width)
{
    std::memset(p, 0, width);
    std::memcpy(p, text.data(), std::min(width, text.size()));
    return p + width;
}

std::int32_t quantize(float value, double offset)
{
    return static_cast<std::int32_t>(std::lround((static_cast<double>(value) - offset) / kScale));
}

} // namespace

std::vector<char> headerBytes(const Header& h)
{
    std::vector<char> bytes(kHeaderSize, 0);
    char* p = bytes.data();
    p = putText(p, "LASF", 4);
    p = putU16(p, 0); // file source ID
    p = putU16(p, 0); // global encoding: GPS time of week, as device times are no standard GPS time
    p += 16;          // project ID (GUID), none
    p = putU8(p, 1);  // version 1.2
    p = putU8(p, 2);
    p = putText(p, h.systemIdentifier, 32);
    p = putText(p, h.generatingSoftware, 32);
    p = putU16(p, h.creationDayOfYear);
    p = putU16(p, h.creationYear);
    p = putU16(p, static_cast<std::uint16_t>(kHeaderSize));
    p = putU32(p, static_cast<std::uint32_t>(kHeaderSize)); // offset to point data
    p = putU32(p, 0);                                       // variable-length records
    p = putU8(p, kPointFormat);
    p = putU16(p, static_cast<std::uint16_t>(kPointRecordSize));
    p = putU32(p, static_cast<std::uint32_t>(h.points));
    for (std::uint64_t n : h.pointsByReturn)
        p = putU32(p, static_cast<std::uint32_t>(n));
    for (int a = 0; a < 3; ++a)
        p = putDouble(p, kScale);
    for (int a = 0; a < 3; ++a)
        p = putDouble(p, h.offset[a]);
    for (int a = 0; a < 3; ++a) {
        p = putDouble(p, h.max[a]);
        p = putDouble(p, h.min[a]);
    }
    return bytes;
}

bool PointPacker::pack(const PointArrays& points, std::uint16_t pointSource, double frameStartSeconds,
                       bool dualEcho, std::vector<char>& out)
{
    const std::size_t n = points.size;
    if (n == 0)
        return true;
    if (points_ + n > kMaxPoints)
        return false;
    if (!offsetChosen_) {
        const std::vector<float>* axes[3] = {&points.x, &points.y, &points.z};
        for (int a = 0; a < 3; ++a) {
            const auto range = std::minmax_element(axes[a]->begin(), axes[a]->begin() + static_cast<std::ptrdiff_t>(n));
            offset_[a] = std::round((static_cast<double>(*range.first) + static_cast<double>(*range.second)) / 2.0);
            min_[a] = std::numeric_limits<std::int32_t>::max();
            max_[a] = std::numeric_limits<std::int32_t>::min();
        }
        offsetChosen_ = true;
    }

    const std::size_t start = out.size();
    out.resize(start + n * kPointRecordSize);
    char* p = out.data() + start;
    const std::uint8_t returns = dualEcho ? 2 : 1;
    std::int32_t lo[3] = {min_[0], min_[1], min_[2]};
    std::int32_t hi[3] = {max_[0], max_[1], max_[2]};
    std::uint64_t second = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t xyz[3] = {quantize(points.x[i], offset_[0]), quantize(points.y[i], offset_[1]),
                                     quantize(points.z[i], offset_[2])};
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], xyz[a]);
            hi[a] = std::max(hi[a], xyz[a]);
            p = putU32(p, static_cast<std::uint32_t>(xyz[a]));
        }
        p = putU16(p, static_cast<std::uint16_t>(points.intensity[i]));
        const std::uint8_t returnNumber = points.echo[i] ? 2 : 1;
        second += points.echo[i] ? 1 : 0;
        p = putU8(p, static_cast<std::uint8_t>(returnNumber | (returns << 3))); // scan direction, edge: 0
        p = putU8(p, 0); // classification: never classified
        p = putU8(p, 0); // scan angle rank
        p = putU8(p, static_cast<std::uint8_t>(points.channel[i])); // user data
        p = putU16(p, pointSource);
        double gpsTime = frameStartSeconds + static_cast<double>(points.time[i]);
        if (gpsTime >= kSecondsPerHour)
            gpsTime -= kSecondsPerHour;
        p = putDouble(p, gpsTime);
    }
    for (int a = 0; a < 3; ++a) {
        min_[a] = lo[a];
        max_[a] = hi[a];
    }
    points_ += n;
    byReturn_[0] += n - second;
    byReturn_[1] += second;
    return true;
}

void PointPacker::fill(Header& header) const
{
    header.points = points_;
    header.pointsByReturn = byReturn_;
    for (int a = 0; a < 3; ++a) {
        header.offset[a] = offset_[a];
        header.min[a] = points_ ? min_[a] * kScale + offset_[a] : 0.0;
        header.max[a] = points_ ? max_[a] * kScale + offset_[a] : 0.0;
    }
}

} // namespace hvk32::las
