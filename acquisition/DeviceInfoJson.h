#pragma once
// A device-info packet as one JSON object of its decoded settings and status values, and the
// JSON Schema that describes those objects (the /hvk32/device_info channel of MCAP exports).

#include <QByteArray>

#include <cstdint>

namespace hvk32 {

// Keys: destinationIp, dataPort, deviceTime (ISO 8601 as the device reports it), motorSpeed,
// packetInterval, motorState, verticalAngles [deg, by channel], offsetAngles [deg, 1..4],
// then every status value by name (mac, ppsState, ..., cleanliness).
QByteArray deviceInfoJson(const std::uint8_t* payload);
QByteArray deviceInfoJsonSchema();

} // namespace hvk32
