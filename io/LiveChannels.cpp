#include "io/LiveChannels.h"

#include <cstdio>

namespace hvk32::live {

std::string healthJson(const Health& h, const char* framesKey)
{
    char text[400];
    std::snprintf(text, sizeof text,
                  "{\"packetsReceived\":%llu,\"lostPackets\":%llu,\"duplicatePackets\":%llu,\"outOfOrderPackets\":%llu,"
                  "\"receiveDrops\":%llu,\"%s\":%llu,\"frameRate\":%.3f}",
                  static_cast<unsigned long long>(h.packetsReceived), static_cast<unsigned long long>(h.lostPackets),
                  static_cast<unsigned long long>(h.duplicatePackets),
                  static_cast<unsigned long long>(h.outOfOrderPackets), static_cast<unsigned long long>(h.receiveDrops),
                  framesKey, static_cast<unsigned long long>(h.frames), h.frameRate);
    return text;
}

std::string healthJsonSchema(const char* framesKey)
{
    const std::string count = "{\"type\":\"integer\",\"minimum\":0}";
    return "{\"title\":\"hvk32 stream health\","
           "\"type\":\"object\",\"properties\":{\"packetsReceived\":" + count + ",\"lostPackets\":" + count
        + ",\"duplicatePackets\":" + count + ",\"outOfOrderPackets\":" + count + ",\"receiveDrops\":" + count + ",\""
        + framesKey + "\":" + count + ",\"frameRate\":{\"type\":\"number\",\"minimum\":0}},\"required\":["
        + "\"packetsReceived\",\"lostPackets\",\"duplicatePackets\",\"outOfOrderPackets\",\"receiveDrops\",\""
        + framesKey + "\",\"frameRate\"]}";
}

} // namespace hvk32::live
