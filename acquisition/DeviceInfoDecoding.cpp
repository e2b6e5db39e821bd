#include "acquisition/DeviceInfoDecoding.h"

#include "acquisition/DeviceInfoPacket.h"
#include "acquisition/PointDecoding.h"
#include "records/AngleValues.h"

#include <cstring>

namespace hvk32 {

using namespace devinfo;

std::vector<int> decodeStatusValues(const std::uint8_t* p)
{
    std::vector<int> v;
    v.reserve(StatusValueCount);
    for (std::size_t i = 0; i < 6; ++i)
        v.push_back(p[kMacAddress + i]);
    v.push_back(be16(p + kPpsState));
    v.push_back(be16(p + kDataPort));
    v.push_back(be16(p + kDevicePort));
    v.push_back(be16(p + kOffsetAngle1));
    v.push_back(be16(p + kMeasuringRange));
    for (std::size_t i = 0; i < 4; ++i)
        v.push_back(p[kFirmwareDate + i]);
    v.push_back(p[kFirmwareMajor]);
    v.push_back(p[kFirmwareMinor]);
    v.push_back(be16(p + kTailThreshold));
    v.push_back(be16(p + kTailDistance));
    v.push_back(be16(p + kPpsAngle));
    v.push_back(be16(p + kOffsetAngle2));
    v.push_back(p[kZeroDirection]);
    v.push_back(p[kBoardVersionMajor]);
    v.push_back(p[kBoardVersionMinor]);
    v.push_back(be16(p + kApdTemperature));
    v.push_back(be16(p + kOffsetAngle3));
    v.push_back(be16(p + kOffsetAngle4));
    v.push_back(p[kEchoMode]);
    v.push_back(be16(p + kHighVoltage));
    v.push_back(be16(p + kHighVoltageAdjust));
    v.push_back(p[kThresholdAdjust]);
    v.push_back(be16(p + kAngleModeCode));
    v.push_back(p[kCleanliness]);
    return v;
}

SettingData decodeSettingData(const std::uint8_t* p)
{
    SettingData d{};
    std::memcpy(d.destinationIp, p + kDestinationIp, sizeof d.destinationIp);
    std::memcpy(d.dataPort, p + kDataPort, sizeof d.dataPort);
    std::memcpy(d.dateTime, p + kClock, sizeof d.dateTime);
    d.motorSpeed = be16(p + kMotorSpeed);
    d.packetInterval = be16(p + kPacketInterval);
    d.motorState = be16(p + kMotorState);
    std::memcpy(d.latitude, p + kLatitude, sizeof d.latitude);
    d.latitudeLast = p[kLatitudeLast];
    std::memcpy(d.longitude, p + kLongitude, sizeof d.longitude);
    d.longitudeLast = p[kLongitudeLast];
    d.byte82 = p[kByte82];
    d.lvdsLock = p[kLvdsLock];
    std::memcpy(d.verticalAngles, p + kVerticalAngles, sizeof d.verticalAngles);
    std::memcpy(d.bytes168, p + kBytes168, sizeof d.bytes168);
    std::memcpy(d.text1164, p + kText1164, sizeof d.text1164);
    std::memcpy(d.versions, p + kVersionPairs, sizeof d.versions);
    std::memcpy(d.boardAndFirmware, p + kBoardVersionMajor, sizeof d.boardAndFirmware);
    return d;
}

std::array<float, 4> decodeOffsetAngles(const std::uint8_t* p)
{
    return {decodeAngleCode(be16(p + kOffsetAngle1)), decodeAngleCode(be16(p + kOffsetAngle2)),
            decodeAngleCode(be16(p + kOffsetAngle3)), decodeAngleCode(be16(p + kOffsetAngle4))};
}

std::array<float, 32> decodeVerticalAngles(const std::uint8_t* p)
{
    std::array<float, 32> angles{};
    for (int i = 0; i < kVerticalAngleCount; ++i)
        angles[verticalEntryChannel(i)] = decodeVerticalAngle(be16(p + kVerticalAngles + 2 * i));
    return angles;
}

DeviceCalibration decodeCalibration(const std::uint8_t* p)
{
    return {decodeVerticalAngles(p), decodeOffsetAngles(p)};
}

void publishOffsetAngles(const std::uint8_t* p)
{
    publishOffsetAngles(decodeOffsetAngles(p));
}

void publishOffsetAngles(const std::array<float, 4>& a)
{
    offsetAngle1 = a[0];
    offsetAngle2 = a[1];
    offsetAngle3 = a[2];
    offsetAngle4 = a[3];
}

void publishVerticalAngles(const std::uint8_t* p)
{
    const auto angles = decodeVerticalAngles(p);
    for (int c = 0; c < 32; ++c)
        verticalAngleTable[c] = angles[c];
}

QString echoConfigurationOf(int echoModeByte)
{
    return echoModeByte == kDualEchoCode ? dualEchoConfigName() : singleEchoConfigName();
}

int degreeModeOf(int angleModeCode)
{
    return angleModeCode == kAngleMode033Code ? 1 : 0;
}

} // namespace hvk32

namespace hvk32 {

bool isUsableDevice(const std::vector<int>& statusValues)
{
    return statusValues.size() >= StatusValueCount && statusValues[StatusBoardMajor] >= 2;
}

bool firmwareSupportsDisplay(const std::vector<int>& statusValues)
{
    if (statusValues.size() < StatusValueCount)
        return false;
    const int major = statusValues[StatusFirmwareMajor];
    const int minor = statusValues[StatusFirmwareMinor] / 16; // minor digit in the high nibble
    return major >= 3 || (major >= 2 && minor >= 8);
}

} // namespace hvk32
