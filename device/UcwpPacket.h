#pragma once
// The user configuration write packet (UCWP): the device's addresses, ports, NTP server,
// gateway, subnet mask, motor speed and state, packet interval, PPS angle and clock. It is
// the last device-info packet with those fields replaced from the network dialog's form,
// so every byte the form does not set goes back to the device as the device reported it.

#include "acquisition/DeviceInfoPacket.h"
#include "device/ConfigPacket.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <string>

namespace hvk32::ucwp {

// Combo box items of the form, in index order; the packet is built from the current text.
constexpr const char* kRotateSpeedItems[] = {" 5  HZ", " 10 HZ", " 20 HZ"};
constexpr const char* kMotorStateItems[] = {"Run", "Stop", "OutputRate"};
constexpr const char* kLocalTimeItems[] = {" Yes", " No"};

constexpr int kRpm5Hz = 300;
constexpr int kRpm10Hz = 600;
constexpr int kRpm20Hz = 1200;
constexpr long kLowestPort = 1025;   // ports below this keep the reported value
constexpr long kHighestPort = 65535;
constexpr long kHighestInterval = 65535;

// The form's texts, as the boxes show them.
struct UcwpForm {
    QString deviceIp;   // "Lidar IP：", bytes 10..13; empty or partial: reported value kept
    QString hostIp;     // "local IP：", bytes 14..17; empty or partial: reported value kept
    QString dataPort;   // "Data Port：", bytes 24..25
    QString devicePort; // "device Port：", bytes 26..27
    QString ntpServer;  // bytes 28..31; zero unless four parts
    QString gateway;    // bytes 32..35; zero when empty
    QString subnetMask; // bytes 36..39; zero when empty
    QString rotateSpeed = QString::fromLatin1(kRotateSpeedItems[0]);
    QString motorState = QString::fromLatin1(kMotorStateItems[0]);
    QString localTime = QString::fromLatin1(kLocalTimeItems[0]);
    QString interval;   // bytes 42..43; empty: 0
    QString ppsAngle;   // degrees, bytes 48..49 as hundredths; empty: reported value kept
};

enum class Refusal {
    None,
    EqualPorts,         // data port and device port boxes hold the same text
    IntervalOutOfRange, // the packet interval is not 0..65535
};

struct Build {
    Refusal refusal = Refusal::None;
    std::array<std::uint8_t, configpacket::kPacketSize> packet{}; // complete when refusal is None
    bool ok() const { return refusal == Refusal::None; }
};

// Builds the packet from the stored 1206-byte device-info packet and the form. `now` is the
// computer's local time, written when the local-time box shows " Yes".
Build buildUcwpPacket(const std::uint8_t* deviceInfo, const UcwpForm& form, const QDateTime& now);

// The device clock of a local date and time, as the UCWP and reset packets carry it.
devinfo::Clock deviceClockOf(const QDateTime& localTime);

struct Destination {
    std::string address;
    std::uint16_t port = 0;
};

// Where a UCWP packet goes. Firmware major 3 or newer: the device's reported address at
// `commandPort`. Older firmware: the multicast send address remembered at the last refresh
// (when its first number is 224..239) at the device port remembered with it, else the
// device's reported address at `commandPort`.
Destination ucwpDestination(const std::uint8_t* deviceInfo, const QString& multicastSendAddress,
                            std::uint16_t multicastPort, std::uint16_t commandPort);

// The dotted-decimal text of the four address bytes at `p`.
QString addressText(const std::uint8_t* p);

// The value of the text's leading decimal integer, as atoi reads it ("12ab" is 12, "ab"
// is 0), held at +-10^12 for longer digit runs.
long long leadingInteger(const QString& text);

} // namespace hvk32::ucwp
