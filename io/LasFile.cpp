#include "io/LasFile.h"

#include "platform/VectorClones.h"
#include "records/ByteOrder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace hvk32::las {

namespace {

constexpr double kSecondsPerHour = 3600.0; // device times count within the hour

// Little-endian stores of the record fields, each of its width.
inline char* putU8(char* p, std::uint8_t v) { return putLittleEndian(p, v); }
inline char* putU16(char* p, std::uint16_t v) { return putLittleEndian(p, v); }
inline char* putU32(char* p, std::uint32_t v) { return putLittleEndian(p, v); }
inline char* putU64(char* p, std::uint64_t v) { return putLittleEndian(p, v); }

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

constexpr double kUnitsPerMetre = 1.0 / kScale;

// The nearest coordinate unit, halves away from zero (as lround, without its library call).
inline std::int32_t quantize(float value, double offset)
{
    const double units = (static_cast<double>(value) - offset) * kUnitsPerMetre;
    return static_cast<std::int32_t>(units >= 0 ? units + 0.5 : units - 0.5);
}

constexpr std::size_t kStretch = 256; // points worked out together

// The fields of a stretch of points, before they are laid out as records.
struct RecordFields {
    std::int32_t units[3][kStretch];
    std::uint16_t intensity[kStretch];
    std::uint8_t returnNumber[kStretch];
    double gpsTime[kStretch];
};

// Coordinate units of one axis, widening the bounds [lo, hi] to hold them.
HVK32_VECTOR_CLONES
void quantizeStretch(const float* __restrict values, std::size_t m, double offset, std::int32_t* __restrict units,
                     std::int32_t& lo, std::int32_t& hi)
{
    std::int32_t low = lo;
    std::int32_t high = hi;
    for (std::size_t i = 0; i < m; ++i) {
        const std::int32_t u = quantize(values[i], offset);
        units[i] = u;
        low = std::min(low, u);
        high = std::max(high, u);
    }
    lo = low;
    hi = high;
}

// Intensity, return number and GPS time of a stretch; the number of second returns in it.
HVK32_VECTOR_CLONES
std::uint64_t fieldStretch(const float* __restrict intensities, const std::uint8_t* __restrict echoes,
                           const float* __restrict times, std::size_t m, double frameStartSeconds,
                           RecordFields& __restrict f)
{
    std::uint64_t second = 0;
    for (std::size_t i = 0; i < m; ++i) {
        f.intensity[i] = static_cast<std::uint16_t>(static_cast<std::int32_t>(intensities[i]));
        const std::uint8_t echo = echoes[i] != 0 ? 1 : 0;
        f.returnNumber[i] = static_cast<std::uint8_t>(1 + echo);
        second += echo;
        const double gpsTime = frameStartSeconds + static_cast<double>(times[i]);
        f.gpsTime[i] = gpsTime >= kSecondsPerHour ? gpsTime - kSecondsPerHour : gpsTime;
    }
    return second;
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
    const float* const axes[3] = {points.x.data(), points.y.data(), points.z.data()};
    // Each stretch of points is worked out field by field in loops the compiler vectorises,
    // then laid out as records.
    RecordFields f;
    std::uint64_t second = 0;
    for (std::size_t b = 0; b < n; b += kStretch) {
        const std::size_t m = std::min(kStretch, n - b);
        for (int a = 0; a < 3; ++a)
            quantizeStretch(axes[a] + b, m, offset_[a], f.units[a], min_[a], max_[a]);
        second += fieldStretch(points.intensity.data() + b, points.echo.data() + b, points.time.data() + b, m,
                               frameStartSeconds, f);
        const std::uint16_t* channels = points.channel.data() + b;
        for (std::size_t i = 0; i < m; ++i) {
            char* r = p;
            for (int a = 0; a < 3; ++a)
                r = putU32(r, static_cast<std::uint32_t>(f.units[a][i]));
            r = putU16(r, f.intensity[i]);
            r = putU8(r, static_cast<std::uint8_t>(f.returnNumber[i] | (returns << 3))); // scan direction, edge: 0
            r = putU8(r, 0); // classification: never classified
            r = putU8(r, 0); // scan angle rank
            r = putU8(r, static_cast<std::uint8_t>(channels[i])); // user data
            r = putU16(r, pointSource);
            p = putDouble(r, f.gpsTime[i]);
        }
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
