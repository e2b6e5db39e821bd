#pragma once
// Decoding of the device-info packet into the status list, the SettingData record and the
// device's angle values. Plain functions over a validated 1206-byte packet.

#include "records/DeviceCalibration.h"
#include "records/SettingData.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace hvk32 {

// Indices into the 33-entry status list.
enum StatusIndex {
    StatusMac0 = 0,            // 0..5: MAC address bytes
    StatusPpsState = 6,
    StatusDataPort = 7,
    StatusDevicePort = 8,
    StatusOffsetAngle1 = 9,
    StatusMeasuringRange = 10,
    StatusFirmwareDate0 = 11,  // 11..14: century, year, month, day
    StatusFirmwareMajor = 15,
    StatusFirmwareMinor = 16,  // minor in the high nibble, patch in the low nibble
    StatusTailThreshold = 17,
    StatusTailDistance = 18,
    StatusPpsAngle = 19,
    StatusOffsetAngle2 = 20,
    StatusZeroDirection = 21,
    StatusBoardMajor = 22,
    StatusBoardMinor = 23,
    StatusApdTemperature = 24,
    StatusOffsetAngle3 = 25,
    StatusOffsetAngle4 = 26,
    StatusEchoMode = 27,
    StatusHighVoltage = 28,
    StatusHighVoltageAdjust = 29,
    StatusThresholdAdjust = 30,
    StatusAngleModeCode = 31,
    StatusCleanliness = 32,
    StatusValueCount = 33,
};

// The 33 status values in table order.
std::vector<int> decodeStatusValues(const std::uint8_t* packet);

// The SettingData record, each field copied from its place in the packet.
SettingData decodeSettingData(const std::uint8_t* packet);

// Offset angles 1..4 in degrees (the packet holds them in the order 1, 3, 2, 4).
std::array<float, 4> decodeOffsetAngles(const std::uint8_t* packet);

// The vertical angle of every channel in degrees, indexed by channel.
std::array<float, 32> decodeVerticalAngles(const std::uint8_t* packet);

// Both: the angles a frame is converted with.
DeviceCalibration decodeCalibration(const std::uint8_t* packet);

// Writes the decoded angles into the process-wide values.
void publishOffsetAngles(const std::uint8_t* packet);
void publishOffsetAngles(const std::array<float, 4>& angles);
void publishVerticalAngles(const std::uint8_t* packet);

// "HVK322" when the device reports dual echo, else "HVK321".
QString echoConfigurationOf(int echoModeByte);
// 1 for the 0.33-degree layout (mode code 33), else 0.
int degreeModeOf(int angleModeCode);

} // namespace hvk32

namespace hvk32 {

// The window accepts a device once its second board reports version 2 or more.
bool isUsableDevice(const std::vector<int>& statusValues);
// Firmware V2.8 or newer: display and settings are supported.
bool firmwareSupportsDisplay(const std::vector<int>& statusValues);

} // namespace hvk32
