#include "device/AcwpPacket.h"

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/DeviceInfoPacket.h"
#include "records/AddressRanges.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace hvk32::acwp {

namespace {

using namespace devinfo;

constexpr double kHundredths = 100.0;
// Single-precision text conversion leaves noise of up to 0.002 hundredths within the angle
// code's range ("0.29" is 28.99999 hundredths); it is rounded away before the cut to whole
// hundredths.
constexpr double kNoiseScale = 100.0;
constexpr long long kRangeScale = 100;
constexpr long long kBeyondSixteenBits = 65536; // written as 00 00
constexpr int kCodeSignStart = 32767;
constexpr std::size_t kClearedAfterAngles = kOffsetAngle4 + 2; // 2 bytes, always 00 00
constexpr std::uint8_t kNewDestinationRuleFirmware = 3;

// The offsets of angles 1..4: the packet holds them in the order 1, 3, 2, 4.
constexpr std::size_t kAngleOffsets[kAngleCount] = {kOffsetAngle1, kOffsetAngle2, kOffsetAngle3, kOffsetAngle4};

// 16-bit fields: anything beyond 65535 is written as 00 00.
void putSixteenBits(std::uint8_t* out, long long value)
{
    configpacket::TwoBytesDecToHex(out, static_cast<long>(std::min(value, kBeyondSixteenBits)));
}

// A whole number as QString::toInt reads it; text that is not one gives 0.
long long wholeNumber(const QString& text)
{
    return text.toInt(nullptr, 10);
}

} // namespace

bool angleHundredths(const QString& degrees, long* hundredths)
{
    bool number = false;
    const float value = degrees.toFloat(&number);
    if (!number) {
        *hundredths = 0;
        return true;
    }
    if (!std::isfinite(value))
        return false;
    const double scaled = std::round(static_cast<double>(value) * kHundredths * kNoiseScale) / kNoiseScale;
    const double cut = std::trunc(scaled);
    if (cut < kLowestAngleHundredths || cut > kHighestAngleHundredths)
        return false;
    *hundredths = static_cast<long>(cut);
    return true;
}

std::uint16_t angleCode(long hundredths)
{
    return static_cast<std::uint16_t>(hundredths < 0 ? kCodeSignStart - hundredths : hundredths);
}

int angleCodeHundredths(int code)
{
    return code > kCodeSignStart ? kCodeSignStart - code : code;
}

Build buildAcwpPacket(const std::uint8_t* deviceInfo, const AcwpForm& form)
{
    Build build;
    std::uint8_t* p = build.packet.data();
    std::memcpy(p, deviceInfo, configpacket::kPacketSize);
    std::memcpy(p, configpacket::kAdvancedHeader, configpacket::kHeaderSize);
    const int item = form.motorSpeedItem >= 0 && form.motorSpeedItem < 3 ? form.motorSpeedItem : 0;
    configpacket::TwoBytesDecToHex(p + kMotorSpeed, kMotorSpeedRpm[item]);
    std::memcpy(p + configpacket::kMarkerOffset, configpacket::kMarker, configpacket::kMarkerSize);

    if (form.range.isEmpty()) {
        build.refusal = Refusal::EmptyRange;
        return build;
    }
    const long long range = wholeNumber(form.range);
    if (range < 0) {
        build.refusal = Refusal::NegativeValue;
        return build;
    }
    putSixteenBits(p + kMeasuringRange, range * kRangeScale);

    if (form.tailThreshold.isEmpty() || form.tailDistance.isEmpty()) {
        putBe16(p + kTailThreshold, 0);
        putBe16(p + kTailDistance, 0);
    } else {
        const long long threshold = wholeNumber(form.tailThreshold);
        const long long distance = wholeNumber(form.tailDistance);
        if (threshold < 0 || distance < 0) {
            build.refusal = Refusal::NegativeValue;
            return build;
        }
        putSixteenBits(p + kTailThreshold, threshold);
        putSixteenBits(p + kTailDistance, distance);
    }

    p[kZeroDirection] = form.zeroDirectionItem == 1 ? 1 : 0;
    p[kEchoMode] = form.echoModeItem == 1 ? 1 : 0;

    for (int i = 0; i < kAngleCount; ++i) {
        if (form.angles[i].isEmpty())
            continue; // the device's own bytes stay
        long hundredths = 0;
        if (!angleHundredths(form.angles[i], &hundredths)) {
            build.refusal = Refusal::AngleOutOfRange;
            return build;
        }
        configpacket::TwoBytesDecToHex(p + kAngleOffsets[i], angleCode(hundredths));
    }

    putBe16(p + kClearedAfterAngles, 0);
    std::memcpy(p + configpacket::kTailOffset, configpacket::kTail, sizeof configpacket::kTail);
    return build;
}

ucwp::Destination acwpDestination(const std::uint8_t* deviceInfo, std::uint8_t firmwareMajor,
                                  std::uint16_t commandPort)
{
    const int hostFirst = deviceInfo[kDestinationIp];
    if (firmwareMajor < kNewDestinationRuleFirmware && isMulticastFirstOctet(hostFirst))
        return {ucwp::addressText(deviceInfo + kDestinationIp).toStdString(), be16(deviceInfo + kDevicePort)};
    return {ucwp::addressText(deviceInfo + kDeviceIp).toStdString(), commandPort};
}

} // namespace hvk32::acwp
