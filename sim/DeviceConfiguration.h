#pragma once
// The configuration datagrams a device receives, read as the device reads them: the user
// configuration (network and user settings), the advanced configuration, the vertical-angle
// table and the factory reset. Each is one packet (kPacketSize bytes) long, with a header, a tail and, for the advanced
// and vertical-angle packets, a marker at 160; fields sit at the device-info offsets. A
// datagram whose framing or any applied field is out of range is refused as a whole. Plain,
// no I/O.

#include "acquisition/DeviceInfoPacket.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace hvk32::sim {

enum class EchoMode { Single, Dual };

// 0 run, 1 stop (no data packets), 2 output-rate mode; the device-info code.
enum class MotorState : std::uint16_t { Run = 0, Stop = 1, OutputRate = 2 };

// A local date and time of the device's clock.
struct ClockTime {
    int year = 2026;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The same date and time as the device-info packet's clock holds it, and back.
inline devinfo::Clock deviceClockOf(const ClockTime& t) { return {t.year, t.month, t.day, t.hour, t.minute, t.second}; }
inline ClockTime clockTimeOf(const devinfo::Clock& c) { return {c.year, c.month, c.day, c.hour, c.minute, c.second}; }

enum class ConfigKind { User, Advanced, VerticalAngles, FactoryReset };

enum class ConfigRejection {
    None,
    Length,        // not exactly kPacketSize bytes
    Header,        // neither configuration header
    Marker,        // bytes 160..167 neither cleared nor the marker, or the marker missing
    Tail,          // not 0F F0 at 1204
    MotorSpeed,    // not 300, 600 or 1200 rpm
    MotorState,    // not 0, 1 or 2
    Address,       // device address not a unicast host address, or host address not usable
    Port,          // data or device port 0
    Clock,         // not a date and time (and not six zero bytes)
    EchoMode,      // not 0 or 1
    ZeroDirection, // not 0 or 1
    VerticalAngle, // beyond +-90 degrees
};

const char* describe(ConfigKind kind);
const char* describe(ConfigRejection rejection);

// What a configuration datagram was, or why it was refused.
struct ConfigResult {
    ConfigRejection rejection = ConfigRejection::None;
    ConfigKind kind = ConfigKind::User; // meaningful when accepted
    bool accepted() const { return rejection == ConfigRejection::None; }
};

// Network and user settings, carried by the user configuration and the factory reset.
struct UserConfiguration {
    int rpm = 0;
    std::string deviceIp, hostIp, ntpServerIp, gatewayIp, subnetMask; // dotted text
    std::uint16_t dataPort = 0;
    std::uint16_t devicePort = 0; // where device-info packets go
    MotorState motorState = MotorState::Run;
    std::uint16_t packetInterval = 0;
    std::uint16_t ppsAngle = 0;     // angle x 100
    std::optional<ClockTime> clock; // unset: six zero bytes, the device keeps its own clock
};

struct AdvancedConfiguration {
    int rpm = 0;
    std::uint16_t measuringRange = 0; // range x 100
    std::uint16_t tailThreshold = 0, tailDistance = 0;
    std::uint8_t zeroDirection = 0;
    EchoMode echo = EchoMode::Single;
    std::array<std::uint16_t, 4> offsetAngleCodes{}; // angles 1..4, as the angle code
};

struct ConfigurationRequest {
    ConfigKind kind = ConfigKind::User;
    UserConfiguration user;             // User and FactoryReset
    AdvancedConfiguration advanced;     // Advanced
    std::array<float, 32> verticalAngles{}; // VerticalAngles: degrees, by data-packet channel
};

struct ParsedConfiguration {
    ConfigRejection rejection = ConfigRejection::None;
    ConfigurationRequest request; // valid when rejection is None
};

// Reads and checks one datagram. A user-header datagram with the marker is the vertical-angle
// packet; one with every byte from 58 to 1203 zero is the factory reset (a user configuration
// always carries the device's own bytes there).
ParsedConfiguration parseConfiguration(const std::uint8_t* datagram, std::size_t length);

} // namespace hvk32::sim
