#include "io/LiveChannels.h"

#include <cmath>
#include <cstdio>

namespace hvk32::live {

Health healthOf(const StreamHealth& stream, std::uint64_t receiveDrops, std::uint64_t frames)
{
    Health h;
    h.packetsReceived = stream.packets;
    h.lostPackets = stream.lostPackets;
    h.duplicatePackets = stream.duplicatePackets;
    h.outOfOrderPackets = stream.outOfOrderPackets;
    h.receiveDrops = receiveDrops;
    h.frames = frames;
    h.frameRate = stream.revolutionsPerSecond;
    return h;
}

std::string healthJson(const Health& h, const char* framesKey, const ExtraCounts& extra)
{
    char text[400];
    const double rate = std::isfinite(h.frameRate) && h.frameRate > 0 ? h.frameRate : 0.0;
    std::snprintf(text, sizeof text,
                  "{\"packetsReceived\":%llu,\"lostPackets\":%llu,\"duplicatePackets\":%llu,\"outOfOrderPackets\":%llu,"
                  "\"receiveDrops\":%llu,\"%s\":%llu,\"frameRate\":%.3f",
                  static_cast<unsigned long long>(h.packetsReceived), static_cast<unsigned long long>(h.lostPackets),
                  static_cast<unsigned long long>(h.duplicatePackets),
                  static_cast<unsigned long long>(h.outOfOrderPackets), static_cast<unsigned long long>(h.receiveDrops),
                  framesKey, static_cast<unsigned long long>(h.frames), rate);
    std::string json = text;
    for (const auto& [name, value] : extra)
        json += ",\"" + std::string(name) + "\":" + std::to_string(value);
    return json + "}";
}

std::string healthJsonSchema(const char* framesKey, const std::vector<const char*>& extra)
{
    const std::string count = "{\"type\":\"integer\",\"minimum\":0}";
    std::string properties = "\"packetsReceived\":" + count + ",\"lostPackets\":" + count
        + ",\"duplicatePackets\":" + count + ",\"outOfOrderPackets\":" + count + ",\"receiveDrops\":" + count
        + ",\"" + framesKey + "\":" + count + ",\"frameRate\":{\"type\":\"number\",\"minimum\":0}";
    std::string required = "\"packetsReceived\",\"lostPackets\",\"duplicatePackets\",\"outOfOrderPackets\","
                           "\"receiveDrops\",\"" + std::string(framesKey) + "\",\"frameRate\"";
    for (const char* name : extra) {
        properties += ",\"" + std::string(name) + "\":" + count;
        required += ",\"" + std::string(name) + "\"";
    }
    return "{\"title\":\"hvk32 stream health\",\"type\":\"object\",\"properties\":{" + properties
        + "},\"required\":[" + required + "]}";
}

} // namespace hvk32::live
