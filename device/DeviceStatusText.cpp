#include "device/DeviceStatusText.h"

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/DeviceInfoPacket.h"

#include <iterator>

namespace hvk32::statustext {

namespace {

constexpr double kApdScale = 1.0 / 4096;
constexpr double kApdSpan = 330;
constexpr double kApdOffset = 50;
constexpr int kBoardTwoSignStart = 32767;
constexpr int kBoardTwoWrap = 65535;
constexpr double kHighVoltageBase = 13180.2;
constexpr double kHighVoltageStep = 3.25;
constexpr double kHighVoltageDivisor = 40.5504;
constexpr double kHundredths = 100.0;
constexpr int kNibble = 16;
constexpr int kMacBytes = 6;
constexpr int kVersionPairCount = 5;

constexpr int kPpsDisabledBit = 0x8000;
constexpr int kPpsHighQuarter = 0xC000;
constexpr int kPpsPositiveLimit = 16384;
constexpr int kPpsHalf = 32768;
constexpr int kPpsFull = 65536;

} // namespace

int motorSpeedItemOf(int rpm, int tolerance)
{
    for (std::size_t i = 0; i < std::size(kMotorSpeedRpm); ++i)
        if (rpm > kMotorSpeedRpm[i] - tolerance && rpm < kMotorSpeedRpm[i] + tolerance)
            return static_cast<int>(i);
    return -1;
}

int shownMotorSpeed(int rpm)
{
    return rpm < kStoppedBelowRpm ? 0 : rpm;
}

QString apdTemperatureText(int raw)
{
    const auto celsius = static_cast<float>(raw * kApdScale * kApdSpan - kApdOffset);
    return QString::number(celsius, 'f', 2);
}

int boardTwoSigned(int raw)
{
    return raw > kBoardTwoSignStart ? raw - kBoardTwoWrap : raw;
}

QString highVoltageText(int value)
{
    const auto volts = static_cast<float>((kHighVoltageBase - value * kHighVoltageStep) / kHighVoltageDivisor);
    return QString::number(volts, 'g', 6);
}

QString hundredthsText(int hundredths)
{
    return QString::number(hundredths / kHundredths, 'g', 6);
}

PpsState decodePpsState(int word)
{
    if (word < kPpsDisabledBit)
        return {false, word <= kPpsPositiveLimit ? word : word - kPpsHalf};
    return {true, word < kPpsHighQuarter ? word - kPpsHalf : word - kPpsFull};
}

QString paddedText(const std::uint8_t* bytes, std::size_t count)
{
    QString text;
    for (std::size_t i = 0; i < count; ++i)
        if (bytes[i] != 0)
            text.append(QChar(bytes[i]));
    return text;
}

QString latitudeText(const SettingData& record)
{
    // The latitude field starts one byte early.
    return paddedText(record.latitude + 1, sizeof record.latitude - 1) + paddedText(&record.latitudeLast, 1);
}

QString longitudeText(const SettingData& record)
{
    return paddedText(record.longitude, sizeof record.longitude) + paddedText(&record.longitudeLast, 1);
}

QString clockText(const std::uint8_t* clock)
{
    const devinfo::Clock c = devinfo::readClock(clock);
    return QStringLiteral("%1/%2/%3 %4:%5:%6").arg(c.year).arg(c.month).arg(c.day).arg(c.hour).arg(c.minute).arg(c.second);
}

QString macText(const std::vector<int>& status)
{
    QStringList mac;
    for (int i = StatusMac0; i < StatusMac0 + kMacBytes; ++i)
        mac.append(QStringLiteral("%1").arg(status[static_cast<std::size_t>(i)] & 0xFF, 2, 16, QLatin1Char('0')));
    return mac.join(QLatin1Char('-'));
}

QString boardVersionText(const std::vector<int>& status)
{
    const int minor = status[StatusBoardMinor];
    return QStringLiteral("V%1.%2%3").arg(status[StatusBoardMajor]).arg(minor / kNibble).arg(minor % kNibble);
}

QString boardVersionDottedText(const std::vector<int>& status)
{
    const int minor = status[StatusBoardMinor];
    return QStringLiteral("V%1.%2.%3").arg(status[StatusBoardMajor]).arg(minor / kNibble).arg(minor % kNibble);
}

QString firmwareVersionText(const std::vector<int>& status)
{
    const int minor = status[StatusFirmwareMinor];
    return QStringLiteral("%1%2-%3-%4  V%5.%6%7")
        .arg(status[StatusFirmwareDate0])
        .arg(status[StatusFirmwareDate0 + 1])
        .arg(status[StatusFirmwareDate0 + 2])
        .arg(status[StatusFirmwareDate0 + 3])
        .arg(status[StatusFirmwareMajor])
        .arg(minor / kNibble)
        .arg(minor % kNibble);
}

QStringList versionTexts(const std::vector<int>& status, const SettingData& record)
{
    QStringList versions{boardVersionDottedText(status), firmwareVersionText(status),
                         paddedText(record.text1164, sizeof record.text1164)};
    for (int i = 0; i < kVersionPairCount; ++i)
        versions.append(QStringLiteral("V%1.%2").arg(record.versions[2 * i]).arg(record.versions[2 * i + 1]));
    return versions;
}

} // namespace hvk32::statustext
