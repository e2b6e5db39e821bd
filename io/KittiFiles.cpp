#include "io/KittiFiles.h"

#include "records/ByteOrder.h"

#include <cstdio>

namespace hvk32::kitti {

std::string fileName(const std::string& dir, long number)
{
    char name[32];
    std::snprintf(name, sizeof name, "%06ld.bin", number);
    return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

void packRecords(const PointArrays& points, std::vector<char>& out)
{
    out.resize(points.size * kRecordSize);
    char* p = out.data();
    for (std::size_t i = 0; i < points.size; ++i) {
        p = putLittleEndian(p, points.x[i]);
        p = putLittleEndian(p, points.y[i]);
        p = putLittleEndian(p, points.z[i]);
        p = putLittleEndian(p, points.intensity[i] / kIntensityFullScale);
    }
}

} // namespace hvk32::kitti
