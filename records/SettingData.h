#pragma once
// The decoded device-info record: fixed fields copied from the 1206-byte device-info
// packet. Its byte layout (160 bytes, no gaps) is relied on by code that copies the
// record whole, so it is pinned below.

#include <QMetaType>

#include <cstddef>
#include <cstdint>

struct SettingData {
    std::uint8_t destinationIp[4];   // packet bytes 14..17
    std::uint8_t dataPort[2];        // bytes 24..25, big-endian as in the packet
    std::uint8_t dateTime[6];        // bytes 52..57: year-2000, month, day, hour, minute, second
    std::int32_t motorSpeed;         // BE16 at 8
    std::int32_t packetInterval;     // BE16 at 42
    std::int32_t motorState;         // BE16 at 40
    std::uint8_t latitude[10];       // bytes 58..67
    std::uint8_t latitudeLast;       // byte 78
    std::uint8_t longitude[10];      // bytes 68..77
    std::uint8_t longitudeLast;      // byte 79
    std::uint8_t byte82;             // byte 82
    std::uint8_t lvdsLock;           // byte 83, bit 0
    std::uint8_t verticalAngles[64]; // bytes 245..308, raw big-endian pairs
    std::uint8_t bytes168[10];       // bytes 168..177
    std::uint8_t text1164[20];       // bytes 1164..1183
    std::uint8_t versions[10];       // bytes 1184..1193, five (major, minor) pairs
    std::uint8_t boardAndFirmware[8]; // bytes 1196..1203
};

static_assert(sizeof(SettingData) == 160, "SettingData must stay 160 bytes without gaps");
static_assert(offsetof(SettingData, motorSpeed) == 12, "int fields follow the first 12 bytes");
static_assert(offsetof(SettingData, latitude) == 24, "byte fields follow the three ints");
static_assert(offsetof(SettingData, verticalAngles) == 48, "vertical angles at 48");
static_assert(offsetof(SettingData, boardAndFirmware) == 152, "record ends with 8 version bytes");

Q_DECLARE_METATYPE(SettingData)
