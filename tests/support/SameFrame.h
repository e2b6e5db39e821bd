#pragma once
// Whether two frames hold exactly the same lists.

#include "records/LidarData.h"

namespace hvk32::test {

inline bool sameFrame(const LidarData& a, const LidarData& b)
{
    return a.blockAzimuths == b.blockAzimuths && a.distances == b.distances && a.intensities == b.intensities
        && a.azimuths == b.azimuths && a.timestamps == b.timestamps;
}

} // namespace hvk32::test
