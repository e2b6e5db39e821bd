#pragma once
// One frame (about one revolution) of decoded points, as it travels from a receiver
// thread to the window. Per-channel lists are indexed by the channel's position in a
// data block (0..31); position k of a channel's four lists describes the same point.

#include <QMetaType>

#include <cstdint>
#include <vector>

constexpr int kChannelCount = 32;

struct LidarData {
    std::vector<float> blockAzimuths;               // degrees, one per block, arrival order
    std::vector<std::vector<float>> distances;      // raw distance counts, unscaled
    std::vector<std::vector<int>> intensities;      // 0..255
    std::vector<std::vector<float>> azimuths;       // horizontal angle, degrees
    std::vector<std::vector<std::uint64_t>> timestamps; // data packet time-stamp units
    // The time of each point's firing, where it differs from timestamps (dual echo, whose
    // stated times space the firings as a single-echo packet does): both echoes of a firing
    // share it, and it grows from firing to firing. Lists of another length than timestamps
    // (empty in single echo) mean timestamps are the firing times; firingTimesOf() chooses.
    std::vector<std::vector<std::uint64_t>> firingTimes;
    // Which return of its firing a point is: 0 single echo or the first echo, 1 the second
    // echo of dual echo. A frame may leave these lists short (read as 0).
    std::vector<std::vector<std::uint8_t>> echoes;

    // Empties every list and leaves exactly 32 empty lists per channel member. The lists
    // keep their capacity, so a frame that is emptied and refilled does not allocate again.
    void clear()
    {
        blockAzimuths.clear();
        clearChannels(distances);
        clearChannels(intensities);
        clearChannels(azimuths);
        clearChannels(timestamps);
        clearChannels(firingTimes);
        clearChannels(echoes);
    }

    const std::vector<std::uint64_t>& firingTimesOf(int channel) const
    {
        const auto c = static_cast<std::size_t>(channel);
        return c < firingTimes.size() && firingTimes[c].size() == timestamps[c].size() ? firingTimes[c] : timestamps[c];
    }

    static LidarData empty()
    {
        LidarData d;
        d.clear();
        return d;
    }

private:
    template <typename T>
    static void clearChannels(std::vector<std::vector<T>>& channels)
    {
        channels.resize(kChannelCount);
        for (auto& channel : channels)
            channel.clear();
    }
};

Q_DECLARE_METATYPE(LidarData)
