#pragma once
// The advanced configuration write packet (ACWP): motor speed, measuring range, tail
// removal, zero-degree direction, echo mode and the four horizontal offset angles. It is the
// last device-info packet with those fields replaced from the advanced dialog's form, so
// every other byte goes back to the device as the device reported it.

#include "device/ConfigPacket.h"
#include "device/DeviceStatusText.h"
#include "device/UcwpPacket.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace hvk32::acwp {

// Motor speed for each item of the motor-speed box, in index order.
using statustext::kMotorSpeedRpm;
// The angle code holds hundredths of a degree from -327.68 to 327.67.
constexpr long kLowestAngleHundredths = -32768;
constexpr long kHighestAngleHundredths = 32767;
constexpr int kAngleCount = 4;

// The form's state as the widgets show it.
struct AcwpForm {
    int motorSpeedItem = 0;        // 0: 5 Hz, 1: 10 Hz, 2: 20 Hz
    QString range;                 // measuring range, whole units; empty: refused
    QString tailThreshold;         // empty (or an empty distance): both tail fields 0
    QString tailDistance;
    int zeroDirectionItem = 0;     // 1: straight ahead is 0 degrees
    int echoModeItem = 0;          // 1: dual echo
    QString angles[kAngleCount];   // offset angles 1..4 in degrees; empty: the device's value kept
};

enum class Refusal {
    None,
    EmptyRange,      // no measuring range typed
    NegativeValue,   // the range or a tail field is below zero
    AngleOutOfRange, // an angle beyond what the angle code holds, or not finite
};

struct Build {
    Refusal refusal = Refusal::None;
    std::array<std::uint8_t, configpacket::kPacketSize> packet{}; // complete when refusal is None
    bool ok() const { return refusal == Refusal::None; }
};

// Builds the packet from the stored 1206-byte device-info packet and the form. Text that is
// not a number counts as 0; values the 16-bit fields cannot hold are written as 00 00.
Build buildAcwpPacket(const std::uint8_t* deviceInfo, const AcwpForm& form);

// Hundredths of a degree for an angle typed in degrees, cut toward zero after the noise of
// the single-precision conversion is rounded away ("0.29" gives 29); text that is not a
// number gives 0. False for an angle the code cannot hold.
bool angleHundredths(const QString& degrees, long* hundredths);
// The angle code of a hundredths value in -32768..32767: negative values are 32767 - v.
std::uint16_t angleCode(long hundredths);
// The signed hundredths an angle code stands for: a code above 32767 is 32767 - code.
int angleCodeHundredths(int code);

// Where the packet goes: with firmware major below 3 and a multicast host address (first
// number 224..239), the host address at the device port the packet reports; otherwise the
// device's address at `commandPort`.
ucwp::Destination acwpDestination(const std::uint8_t* deviceInfo, std::uint8_t firmwareMajor,
                                  std::uint16_t commandPort);

} // namespace hvk32::acwp
