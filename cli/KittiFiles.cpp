#include "cli/KittiFiles.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace hvk32::kitti {

std::string fileName(const std::string& dir, long number)
{
    char name[32];
    std::snprintf(name, sizeof name, "%06ld.bin", number);
    return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

namespace {

inline char* putFloat(char* p, float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int k = 0; k < 4; ++k)
        p[k] = static_cast<char>((bits >> (8 * k)) & 0xFF);
    return p + 4;
}

} // namespace

void packRecords(const PointArrays& points, std::vector<char>& out)
{
    out.resize(points.size * kRecordSize);
    char* p = out.data();
    for (std::size_t i = 0; i < points.size; ++i) {
        p = putFloat(p, points.x[i]);
        p = putFloat(p, points.y[i]);
        p = putFloat(p, points.z[i]);
        p = putFloat(p, points.intensity[i] / kIntensityFullScale);
    }
}

} // namespace hvk32::kitti
