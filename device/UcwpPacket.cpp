#include "device/UcwpPacket.h"

#include "acquisition/DeviceInfoPacket.h"
#include "records/AddressRanges.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace hvk32::ucwp {

namespace {

using namespace devinfo;

constexpr std::size_t kAddressSize = 4;
constexpr std::size_t kMacSize = 6;
constexpr long long kIntegerLimit = 1000000000000LL;
constexpr double kHundredths = 100.0;
constexpr double kDecimalLimit = 1e12;
constexpr std::uint8_t kNewDestinationRuleFirmware = 3;

// The leading decimal number of a text, as atof reads it ("90.5°" is 90.5, "x" is 0).
double leadingDecimal(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*[+-]?(\\d+(\\.\\d*)?|\\.\\d+)"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        return 0.0;
    const double value = match.captured(0).trimmed().toDouble();
    return std::fmax(-kDecimalLimit, std::fmin(kDecimalLimit, value));
}

// Writes the first four dotted parts of `text`, each kept to its low eight bits. Returns
// false, writing nothing, when the text has fewer than four parts.
bool putAddress(std::uint8_t* out, const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() < static_cast<int>(kAddressSize))
        return false;
    for (std::size_t i = 0; i < kAddressSize; ++i)
        out[i] = static_cast<std::uint8_t>(leadingInteger(parts[static_cast<int>(i)]) & 0xFF);
    return true;
}

// An optional address field: the typed address, or 0.0.0.0 when the box gives none.
void putAddressOrZero(std::uint8_t* out, const QString& text)
{
    if (text.isEmpty() || !putAddress(out, text))
        std::memset(out, 0, kAddressSize);
}

void putPort(std::uint8_t* out, const QString& text)
{
    if (text.isEmpty())
        return;
    const long long port = leadingInteger(text);
    if (port >= kLowestPort && port <= kHighestPort)
        configpacket::TwoBytesDecToHex(out, static_cast<long>(port));
}

int rotateSpeedRpm(const QString& text)
{
    if (text == QLatin1String(kRotateSpeedItems[0]))
        return kRpm5Hz;
    if (text == QLatin1String(kRotateSpeedItems[1]))
        return kRpm10Hz;
    return kRpm20Hz;
}

int motorStateCode(const QString& text)
{
    for (int code = 0; code < static_cast<int>(std::size(kMotorStateItems)); ++code)
        if (text == QLatin1String(kMotorStateItems[code]))
            return code;
    return 0;
}

} // namespace

long long leadingInteger(const QString& text)
{
    int i = 0;
    const int n = text.size();
    while (i < n && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        negative = text[i++] == QLatin1Char('-');
    long long value = 0;
    for (; i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i)
        value = std::min(kIntegerLimit, value * 10 + (text[i].unicode() - '0'));
    return negative ? -value : value;
}

devinfo::Clock deviceClockOf(const QDateTime& localTime)
{
    const QDate date = localTime.date();
    const QTime time = localTime.time();
    return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
}

QString addressText(const std::uint8_t* p)
{
    return QStringLiteral("%1.%2.%3.%4").arg(p[0]).arg(p[1]).arg(p[2]).arg(p[3]);
}

Build buildUcwpPacket(const std::uint8_t* deviceInfo, const UcwpForm& form, const QDateTime& now)
{
    Build build;
    std::uint8_t* p = build.packet.data();
    std::memcpy(p, deviceInfo, configpacket::kPacketSize);
    std::memcpy(p, configpacket::kUserHeader, configpacket::kHeaderSize);

    putBe16(p + kMotorSpeed, static_cast<std::uint16_t>(rotateSpeedRpm(form.rotateSpeed)));
    // Empty or partial address boxes send the reported address back.
    if (!form.deviceIp.isEmpty())
        putAddress(p + kDeviceIp, form.deviceIp);
    if (!form.hostIp.isEmpty())
        putAddress(p + kDestinationIp, form.hostIp);
    std::memset(p + kMacAddress, 0, kMacSize); // the MAC is never written to the device

    putPort(p + kDataPort, form.dataPort);
    putPort(p + kDevicePort, form.devicePort);
    if (!form.dataPort.isEmpty() && !form.devicePort.isEmpty() && form.dataPort == form.devicePort) {
        build.refusal = Refusal::EqualPorts;
        return build;
    }

    if (form.ntpServer.split(QLatin1Char('.')).size() == static_cast<int>(kAddressSize))
        putAddress(p + kNtpServerIp, form.ntpServer);
    else
        std::memset(p + kNtpServerIp, 0, kAddressSize);
    putAddressOrZero(p + kGatewayIp, form.gateway);
    putAddressOrZero(p + kSubnetMask, form.subnetMask);

    putBe16(p + kMotorState, static_cast<std::uint16_t>(motorStateCode(form.motorState)));
    const long long interval = leadingInteger(form.interval);
    if (interval < 0 || interval > kHighestInterval) {
        build.refusal = Refusal::IntervalOutOfRange;
        return build;
    }
    configpacket::TwoBytesDecToHex(p + kPacketInterval, static_cast<long>(interval));
    if (!form.ppsAngle.isEmpty()) {
        // Hundredths of a degree, cut to 16 bits.
        const auto hundredths = static_cast<long long>(std::llround(leadingDecimal(form.ppsAngle) * kHundredths));
        configpacket::TwoBytesDecToHex(p + kPpsAngle, static_cast<std::uint16_t>(hundredths));
    }

    if (form.localTime == QLatin1String(kLocalTimeItems[0])) {
        devinfo::writeClock(p + kClock, deviceClockOf(now));
    } else {
        std::memset(p + kClock, 0, kClockSize);
    }

    std::memset(p + configpacket::kMarkerOffset, 0, configpacket::kMarkerSize);
    std::memcpy(p + configpacket::kTailOffset, configpacket::kTail, sizeof configpacket::kTail);
    return build;
}

Destination ucwpDestination(const std::uint8_t* deviceInfo, const QString& multicastSendAddress,
                            std::uint16_t multicastPort, std::uint16_t commandPort)
{
    const Destination device{addressText(deviceInfo + kDeviceIp).toStdString(), commandPort};
    if (deviceInfo[kFirmwareMajor] >= kNewDestinationRuleFirmware)
        return device;
    const long long first = leadingInteger(multicastSendAddress);
    if (isMulticastFirstOctet(first))
        return {multicastSendAddress.toStdString(), multicastPort};
    return device;
}

} // namespace hvk32::ucwp
