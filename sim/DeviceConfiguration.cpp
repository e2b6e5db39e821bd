#include "sim/DeviceConfiguration.h"

#include "acquisition/DeviceInfoPacket.h"
#include "records/AddressRanges.h"
#include "device/ConfigPacket.h"
#include "records/ByteOrder.h"

#include <cmath>
#include <string>

namespace hvk32::sim {

namespace {

constexpr std::size_t kResetZeroFrom = devinfo::kClock + devinfo::kClockSize; // a reset carries nothing after its clock
constexpr float kMaxVerticalAngle = 90.0f; // [deg]
constexpr std::uint8_t kLastUnicastOctet = 223;  // first octet of the last unicast class

std::string ipv4Text(const std::uint8_t* p)
{
    return std::to_string(p[0]) + "." + std::to_string(p[1]) + "." + std::to_string(p[2]) + "." + std::to_string(p[3]);
}

bool isRpm(std::uint16_t rpm) { return rpm == 300 || rpm == 600 || rpm == 1200; }

bool allZero(const std::uint8_t* p, std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

bool hasMarker(const std::uint8_t* p)
{
    for (std::size_t i = 0; i < configpacket::kMarkerSize; ++i)
        if (p[configpacket::kMarkerOffset + i] != configpacket::kMarker[i])
            return false;
    return true;
}

// Six zero bytes leave the clock alone; anything else must be a real date and time.
bool readClock(const std::uint8_t* p, std::optional<ClockTime>& out)
{
    if (allZero(p, 0, devinfo::kClockSize)) {
        out.reset();
        return true;
    }
    const devinfo::Clock c = devinfo::readClock(p);
    if (!devinfo::isValidClock(c))
        return false;
    out = clockTimeOf(c);
    return true;
}

// The motor speed both the user and the advanced configuration carry.
bool readRpm(const std::uint8_t* p, int& out)
{
    const std::uint16_t rpm = be16(p + devinfo::kMotorSpeed);
    if (!isRpm(rpm))
        return false;
    out = rpm;
    return true;
}

ConfigRejection readUser(const std::uint8_t* p, UserConfiguration& u)
{
    using namespace devinfo;
    if (!readRpm(p, u.rpm))
        return ConfigRejection::MotorSpeed;
    // The device must stay reachable: a unicast address of its own, and a host it can send to.
    const std::uint8_t deviceFirst = p[kDeviceIp];
    const std::uint8_t hostFirst = p[kDestinationIp];
    if (deviceFirst == 0 || deviceFirst > kLastUnicastOctet || hostFirst == 0 || hostFirst > kLastMulticastOctet)
        return ConfigRejection::Address;
    u.deviceIp = ipv4Text(p + kDeviceIp);
    u.hostIp = ipv4Text(p + kDestinationIp);
    u.ntpServerIp = ipv4Text(p + kNtpServerIp);
    u.gatewayIp = ipv4Text(p + kGatewayIp);
    u.subnetMask = ipv4Text(p + kSubnetMask);
    u.dataPort = be16(p + kDataPort);
    u.devicePort = be16(p + kDevicePort);
    if (u.dataPort == 0 || u.devicePort == 0)
        return ConfigRejection::Port;
    const std::uint16_t state = be16(p + kMotorState);
    if (state > static_cast<std::uint16_t>(MotorState::OutputRate))
        return ConfigRejection::MotorState;
    u.motorState = static_cast<MotorState>(state);
    u.packetInterval = be16(p + kPacketInterval);
    u.ppsAngle = be16(p + kPpsAngle);
    if (!readClock(p + kClock, u.clock))
        return ConfigRejection::Clock;
    return ConfigRejection::None;
}

ConfigRejection readAdvanced(const std::uint8_t* p, AdvancedConfiguration& a)
{
    using namespace devinfo;
    if (!readRpm(p, a.rpm))
        return ConfigRejection::MotorSpeed;
    a.measuringRange = be16(p + kMeasuringRange);
    a.tailThreshold = be16(p + kTailThreshold);
    a.tailDistance = be16(p + kTailDistance);
    if (p[kZeroDirection] > 1)
        return ConfigRejection::ZeroDirection;
    a.zeroDirection = p[kZeroDirection];
    if (p[kEchoMode] > kDualEchoCode)
        return ConfigRejection::EchoMode;
    a.echo = p[kEchoMode] == kDualEchoCode ? EchoMode::Dual : EchoMode::Single;
    a.offsetAngleCodes = {be16(p + kOffsetAngle1), be16(p + kOffsetAngle2), be16(p + kOffsetAngle3),
                          be16(p + kOffsetAngle4)};
    return ConfigRejection::None;
}

ConfigRejection readVerticalAngles(const std::uint8_t* p, std::array<float, 32>& byChannel)
{
    using namespace devinfo;
    for (int entry = 0; entry < kVerticalAngleCount; ++entry) {
        const float angle = decodeVerticalAngle(be16(p + kVerticalAngles + 2 * static_cast<std::size_t>(entry)));
        if (std::fabs(angle) > kMaxVerticalAngle)
            return ConfigRejection::VerticalAngle;
        byChannel[static_cast<std::size_t>(verticalEntryChannel(entry))] = angle;
    }
    return ConfigRejection::None;
}

} // namespace

const char* describe(ConfigKind kind)
{
    switch (kind) {
    case ConfigKind::User: return "user configuration";
    case ConfigKind::Advanced: return "advanced configuration";
    case ConfigKind::VerticalAngles: return "vertical angle table";
    case ConfigKind::FactoryReset: return "factory reset";
    }
    return "configuration";
}

const char* describe(ConfigRejection rejection)
{
    switch (rejection) {
    case ConfigRejection::None: return "accepted";
    case ConfigRejection::Length: {
        static const std::string text = "not " + std::to_string(configpacket::kPacketSize) + " bytes long";
        return text.c_str();
    }
    case ConfigRejection::Header: return "no configuration header";
    case ConfigRejection::Marker: return "wrong marker at byte 160";
    case ConfigRejection::Tail: return "no 0F F0 tail";
    case ConfigRejection::MotorSpeed: return "motor speed not 300, 600 or 1200 rpm";
    case ConfigRejection::MotorState: return "motor state not 0, 1 or 2";
    case ConfigRejection::Address: return "device or host address unusable";
    case ConfigRejection::Port: return "data or device port 0";
    case ConfigRejection::Clock: return "clock not a valid date and time";
    case ConfigRejection::EchoMode: return "echo mode not 0 or 1";
    case ConfigRejection::ZeroDirection: return "zero-degree direction not 0 or 1";
    case ConfigRejection::VerticalAngle: return "vertical angle beyond 90 degrees";
    }
    return "refused";
}

ParsedConfiguration parseConfiguration(const std::uint8_t* p, std::size_t length)
{
    using namespace configpacket;
    ParsedConfiguration out;
    ConfigurationRequest& r = out.request;
    if (length != kPacketSize) {
        out.rejection = ConfigRejection::Length;
        return out;
    }
    const bool user = hasHeader(p, kUserHeader);
    if (!user && !hasHeader(p, kAdvancedHeader)) {
        out.rejection = ConfigRejection::Header;
        return out;
    }
    if (!hasTail(p)) {
        out.rejection = ConfigRejection::Tail;
        return out;
    }
    const bool marked = hasMarker(p);
    if (!user) {
        r.kind = ConfigKind::Advanced;
        out.rejection = marked ? readAdvanced(p, r.advanced) : ConfigRejection::Marker;
    } else if (marked) {
        r.kind = ConfigKind::VerticalAngles;
        out.rejection = readVerticalAngles(p, r.verticalAngles);
    } else if (!allZero(p, kMarkerOffset, kMarkerOffset + kMarkerSize)) {
        out.rejection = ConfigRejection::Marker;
    } else {
        r.kind = allZero(p, kResetZeroFrom, kTailOffset) ? ConfigKind::FactoryReset : ConfigKind::User;
        out.rejection = readUser(p, r.user);
    }
    return out;
}

} // namespace hvk32::sim
