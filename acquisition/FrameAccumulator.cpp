#include "acquisition/FrameAccumulator.h"

#include <cmath>

namespace hvk32 {

FrameAccumulator::FrameAccumulator()
{
    clear();
}

void FrameAccumulator::clear()
{
    frame_.clear();
    carried_.clear();
}

void FrameAccumulator::addBlock(const DecodedBlock& block, std::uint8_t echo)
{
    auto& az = frame_.blockAzimuths;
    az.push_back(block.azimuth);
    for (int c = 0; c < kChannelCount; ++c) {
        frame_.distances[c].push_back(block.distance[c]);
        frame_.intensities[c].push_back(block.intensity[c]);
        frame_.timestamps[c].push_back(block.time[c]);
        frame_.echoes[c].push_back(echo);
    }
    if (block.firingTimesDiffer)
        for (int c = 0; c < kChannelCount; ++c)
            frame_.firingTimes[c].push_back(block.firingTime[c]);
    if (az.size() >= 2) {
        const float previous = az[az.size() - 2];
        const float step = azimuthStep(previous, az.back());
        for (int c = 0; c < kChannelCount; ++c)
            frame_.azimuths[c].push_back(liveChannelAzimuth(previous, step, c));
    }
}

bool FrameAccumulator::frameComplete() const
{
    const auto& az = frame_.blockAzimuths;
    return az.size() >= 2 && std::fabs(az.back() - az[az.size() - 2]) > 180.0f;
}

void FrameAccumulator::close()
{
    closedBlocks_ = frame_.blockAzimuths.size();
    completeAzimuths();
    carryOver();
}

void FrameAccumulator::completeAzimuths()
{
    const auto& az = frame_.blockAzimuths;
    if (az.empty())
        return;
    // With a single block there is no step to extrapolate: its channels share its azimuth.
    const float step = az.size() >= 2 ? azimuthStep(az[az.size() - 2], az.back()) : 0.0f;
    for (int c = 0; c < kChannelCount; ++c) {
        auto& angles = frame_.azimuths[c];
        // Carried points and earlier blocks already have angles; only the last block lacks them.
        if (angles.size() < frame_.distances[c].size())
            angles.push_back(liveChannelAzimuth(az.back(), step, c));
    }
}

void FrameAccumulator::carryOver()
{
    for (int c = 0; c < kChannelCount; ++c) {
        auto& distances = frame_.distances[c];
        auto& intensities = frame_.intensities[c];
        auto& angles = frame_.azimuths[c];
        auto& times = frame_.timestamps[c];
        auto& echoes = frame_.echoes[c];
        auto& firings = frame_.firingTimes[c];
        const bool withFirings = firings.size() == times.size();
        const std::size_t n = angles.size();
        if (n < kCarryWindow)
            continue;
        for (std::size_t i = n - kCarryWindow; i < n; ++i) {
            if (angles[i] >= kCarryAzimuthLimit)
                continue;
            carried_.distances[c].push_back(distances[i]);
            carried_.intensities[c].push_back(intensities[i]);
            carried_.azimuths[c].push_back(angles[i]);
            carried_.timestamps[c].push_back(times[i]);
            carried_.echoes[c].push_back(echoes[i]);
            if (withFirings) {
                carried_.firingTimes[c].push_back(firings[i]);
                firings[i] = 0;
            }
            distances[i] = 0.0f;
            intensities[i] = 0;
            angles[i] = 0.0f;
            times[i] = 0;
            echoes[i] = 0;
        }
    }
}

void FrameAccumulator::startNextFrame()
{
    // The frame's and the carry lists' storage is kept from one revolution to the next, so
    // a running stream allocates only while its revolutions still grow.
    const std::size_t expectedBlocks = closedBlocks_ + kCarryWindow;
    frame_.clear();
    frame_.blockAzimuths.reserve(expectedBlocks);
    auto restart = [expectedBlocks](auto& list, auto& carried) {
        list.reserve(expectedBlocks);
        list.insert(list.end(), carried.begin(), carried.end());
        carried.clear();
    };
    for (int c = 0; c < kChannelCount; ++c) {
        restart(frame_.distances[c], carried_.distances[c]);
        restart(frame_.intensities[c], carried_.intensities[c]);
        restart(frame_.azimuths[c], carried_.azimuths[c]);
        restart(frame_.timestamps[c], carried_.timestamps[c]);
        restart(frame_.echoes[c], carried_.echoes[c]);
        restart(frame_.firingTimes[c], carried_.firingTimes[c]);
    }
}

} // namespace hvk32
