#include "cli/FrameJson.h"

#include <algorithm>
#include <cstdio>

namespace hvk32 {

namespace {

void writeNumber(std::ostream& out, float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    out << text;
}

void writeNumber(std::ostream& out, int v) { out << v; }
void writeNumber(std::ostream& out, std::uint64_t v) { out << v; }

template <typename T>
void writeList(std::ostream& out, const std::vector<T>& values)
{
    out << '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i)
            out << ',';
        writeNumber(out, values[i]);
    }
    out << ']';
}

template <typename T>
void writeChannels(std::ostream& out, const char* key, const std::vector<std::vector<T>>& channels)
{
    out << ",\"" << key << "\":[";
    for (std::size_t c = 0; c < channels.size(); ++c) {
        if (c)
            out << ',';
        writeList(out, channels[c]);
    }
    out << ']';
}

} // namespace

void writeFrameJson(std::ostream& out, const LidarData& frame, std::uint64_t lostPackets, std::uint64_t gapPackets,
                    double gapSeconds)
{
    out << "{\"blockAzimuths\":";
    writeList(out, frame.blockAzimuths);
    writeChannels(out, "distances", frame.distances);
    writeChannels(out, "intensities", frame.intensities);
    writeChannels(out, "azimuths", frame.azimuths);
    writeChannels(out, "timestamps", frame.timestamps);
    out << ",\"lostPackets\":" << lostPackets;
    // Only a frame after a gap (a silence of more than a second) carries its length.
    if (gapSeconds > 0) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", gapSeconds);
        out << ",\"gapPackets\":" << gapPackets << ",\"gapSeconds\":" << seconds;
    }
    out << "}\n";
}

std::string frameSummary(const LidarData& frame)
{
    std::string text = "blocks " + std::to_string(frame.blockAzimuths.size()) + ", points per channel ";
    const auto& d = frame.distances;
    const bool uniform = std::all_of(d.begin(), d.end(), [&](const auto& list) { return list.size() == d.front().size(); });
    if (d.empty())
        return text + "0";
    if (uniform)
        return text + std::to_string(d.front().size());
    for (std::size_t c = 0; c < d.size(); ++c)
        text += (c ? "," : "") + std::to_string(d[c].size());
    return text;
}

} // namespace hvk32
