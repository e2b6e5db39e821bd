#pragma once
// A frame written point by point: each sample names its channel, raw distance, azimuth and,
// where it matters, its intensity and time stamp. Samples join their channel's lists in order.

#include "records/LidarData.h"

#include <cstdint>
#include <initializer_list>

namespace hvk32::test {

struct Sample {
    int channel;
    float distance; // raw counts
    float azimuth;  // [deg]
    int intensity = 100;
    std::uint64_t timestamp = 7;
};

inline LidarData frameOf(std::initializer_list<Sample> samples)
{
    LidarData f = LidarData::empty();
    for (const Sample& s : samples) {
        f.distances[s.channel].push_back(s.distance);
        f.azimuths[s.channel].push_back(s.azimuth);
        f.intensities[s.channel].push_back(s.intensity);
        f.timestamps[s.channel].push_back(s.timestamp);
    }
    return f;
}

} // namespace hvk32::test
