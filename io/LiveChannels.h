#pragma once
// The three channels a live stream is published or recorded on, as MCAP recordings and
// Foxglove clients see them:
// - /hvk32/points: sensor_msgs/msg/PointCloud2 in CDR (PointCloud2.h), one message per frame;
// - /hvk32/device_info: one JSON object per device-info packet (DeviceInfoJson.h);
// - /hvk32/health: one JSON object a second of the stream's health (below).

#include "acquisition/PacketLossDetector.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace hvk32::live {

inline const std::string kPointsTopic = "/hvk32/points";
inline const std::string kDeviceInfoTopic = "/hvk32/device_info";
inline const std::string kHealthTopic = "/hvk32/health";
inline const std::string kPointsSchemaName = "sensor_msgs/msg/PointCloud2";
inline const std::string kDeviceInfoSchemaName = "hvk32/DeviceInfo";
inline const std::string kHealthSchemaName = "hvk32/Health";

// The stream's health since it started.
struct Health {
    std::uint64_t packetsReceived = 0; // data packets, duplicates included
    std::uint64_t lostPackets = 0;
    std::uint64_t duplicatePackets = 0;
    std::uint64_t outOfOrderPackets = 0;
    std::uint64_t receiveDrops = 0; // datagrams the system dropped for a full receive buffer
    std::uint64_t frames = 0;       // frames written or sent
    double frameRate = 0.0;         // the device's revolutions a second, by its time stamps
};

// The health of a receiver's or player's stream, with `frames` written or sent.
Health healthOf(const StreamHealth& stream, std::uint64_t receiveDrops, std::uint64_t frames = 0);

// Counts a publisher adds to the health message (a server: its clients and the frames slow
// clients lost), by name.
using ExtraCounts = std::vector<std::pair<const char*, std::uint64_t>>;

// {"packetsReceived":..,"lostPackets":..,"duplicatePackets":..,"outOfOrderPackets":..,
//  "receiveDrops":..,"<framesKey>":..,"frameRate":..[,"<extra>":..]}; framesKey
// "framesWritten" for a recording, "framesSent" for a server.
std::string healthJson(const Health& health, const char* framesKey, const ExtraCounts& extra = {});
// The JSON Schema of those objects; `extra` names the extra counts.
std::string healthJsonSchema(const char* framesKey, const std::vector<const char*>& extra = {});

} // namespace hvk32::live
