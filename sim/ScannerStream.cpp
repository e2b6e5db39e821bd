#include "sim/ScannerStream.h"

#include "acquisition/DataPacket.h"
#include "acquisition/DeviceInfoPacket.h"
#include "acquisition/PointDecoding.h"
#include "records/AngleValues.h"
#include "sim/CaptureFileWriter.h"
#include "sim/SyntheticScene.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <ctime>
#include <iterator>
#include <stdexcept>

namespace hvk32::sim {

namespace {

// Geometry of the viewer's conversion, so that its points land on the scene's surfaces.
constexpr double kPi = 3.14159;                  // the viewer's value of pi
constexpr double kBeamOffset = 0.0494;           // [m], emitter offset from the axis
constexpr double kBeamOffsetAngle = 12.98;       // [deg], behind the horizontal angle
constexpr double kCountsPerCentimetre = 2.5;     // 0.4 cm per count
constexpr double kMaxCount = 65535.0;

constexpr int kSecondsPerDay = 86400;
constexpr int kSecondsPerHour = 3600;

// Device-info contents that do not follow from the settings.
namespace reported {
constexpr std::uint8_t kMac[6] = {0x02, 0x4B, 0x33, 0x32, 0x00, 0x01}; // locally administered
constexpr const char* kNtpServer = "127.0.0.1";
constexpr std::uint8_t kSubnetMask[4] = {255, 255, 255, 0};
constexpr std::uint8_t kGatewayHost = 1;            // gateway: .1 of the device's subnet
constexpr std::uint16_t kMotorRunning = 0;
constexpr std::uint16_t kPacketInterval = 0;        // continuous output
constexpr std::uint16_t kPpsAngle = 0;
constexpr std::uint16_t kPpsDisabled = 0x8000;      // no PPS input, error angle 0
constexpr char kLatitude[] = "4807.0380N";          // 10 characters
constexpr char kLongitude[] = "01131.0000E";        // 11 characters
constexpr double kApdCelsius = 35.0;
constexpr std::uint8_t kLvdsLocked = 1;
constexpr std::uint16_t kHighVoltage = 2700;
constexpr std::uint16_t kHighVoltageAdjust = 100;
constexpr std::uint8_t kThresholdAdjust = 40;
constexpr std::uint8_t kCleanliness = 0;
constexpr std::uint16_t kMeasuringRange = 20000;    // 200 m x 100
constexpr char kText[] = "HVK32-SIM SN 0000001";    // 20 characters
constexpr std::uint8_t kVersionPairs[10] = {1, 0, 1, 2, 2, 0, 1, 1, 3, 0};
constexpr std::uint8_t kFirmwareDate[4] = {20, 26, 11, 16};
} // namespace reported

// Widths and positions inside device-info fields.
constexpr std::size_t kGatewayHostOctet = 3;  // last byte of the gateway address
constexpr std::size_t kLatitudeTextStart = 1; // the latitude characters follow byte 58
constexpr std::size_t kLatitudeHead = 9;      // characters before the last one
constexpr std::size_t kLongitudeHead = 10;
constexpr std::size_t kTextLength = 20;
constexpr std::size_t kVerticalEntrySize = 2; // BE16 per entry
constexpr int kClockYearBase = 2000;
constexpr int kNibbleShift = 4;
constexpr int kNibbleMask = 0x0F;
static_assert(sizeof reported::kLatitude - 1 == kLatitudeHead + 1, "latitude text has 10 characters");
static_assert(sizeof reported::kLongitude - 1 == kLongitudeHead + 1, "longitude text has 11 characters");
static_assert(sizeof reported::kText - 1 == kTextLength, "the text field has 20 characters");

double radians(double degrees) { return degrees * kPi / 180.0; }

// Days since 1970-01-01 of a proleptic Gregorian date, and back (era-based conversion:
// 400-year eras of 146097 days, years starting in March).
std::int64_t daysFromCivil(int year, int month, int day)
{
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
}

void civilFromDays(std::int64_t days, ClockTime& out)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int dayOfEra = static_cast<int>(days - era * 146097);
    const int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int mp = (5 * dayOfYear + 2) / 153;
    out.day = dayOfYear - (153 * mp + 2) / 5 + 1;
    out.month = mp < 10 ? mp + 3 : mp - 9;
    out.year = static_cast<int>(yearOfEra + era * 400) + (out.month <= 2 ? 1 : 0);
}

ClockTime localTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

std::int64_t secondsOf(const ClockTime& t)
{
    return daysFromCivil(t.year, t.month, t.day) * kSecondsPerDay + t.hour * kSecondsPerHour + t.minute * 60
        + t.second;
}

std::uint16_t azimuthStepFor(int rpm)
{
    switch (rpm) {
    case 300: return 10;
    case 600: return 20;
    case 1200: return 40;
    default: throw std::invalid_argument("motor speed must be 300, 600 or 1200 rpm");
    }
}

const float* verticalTable(Layout layout)
{
    return layout == Layout::ThirdDegree ? defaultVerticalAngles033 : defaultVerticalAngles1;
}

std::uint64_t firingMicros(std::uint64_t firing) { return firing * kMicrosPerSecond / kFiringsPerSecond; }

void putIpv4(std::uint8_t* p, const std::string& text)
{
    std::array<std::uint8_t, 4> bytes{};
    parseIpv4(text, bytes); // an unreadable address is reported as 0.0.0.0
    std::memcpy(p, bytes.data(), bytes.size());
}

// Inverse of the receiver's temperature = raw / 4096 * 330 - 50.
std::uint16_t apdTemperatureRaw(double celsius)
{
    return static_cast<std::uint16_t>(std::lround((celsius + 50.0) / 330.0 * 4096.0));
}

void putText(std::uint8_t* p, const char* text, std::size_t length) { std::memcpy(p, text, length); }

} // namespace

ScannerStream::ScannerStream(const ScannerSettings& settings)
    : settings_(settings),
      azimuthStep_(azimuthStepFor(settings.rpm)),
      blocksPerRevolution_(datapacket::kAzimuthUnitsPerTurn / azimuthStep_),
      firingsPerPacket_(datapacket::kBlocksPerPacket / (settings.echo == EchoMode::Dual ? 2 : 1)),
      clockStartSeconds_(secondsOf(settings.clockStart ? *settings.clockStart : localTimeNow()))
{
    castRevolution();
}

int ScannerStream::echoCount() const { return settings_.echo == EchoMode::Dual ? 2 : 1; }

std::size_t ScannerStream::returnIndex(int echo, int block, int channel) const
{
    return (static_cast<std::size_t>(echo) * blocksPerRevolution_ + block) * datapacket::kChannelsPerBlock + channel;
}

// Casts every ray of one revolution. Channel c of a block looks along the horizontal angle
// the receiver gives it (block azimuth plus c/32 of the step to the next block) and the
// layout's vertical angle, from the emitter's offset position.
void ScannerStream::castRevolution()
{
    const SyntheticScene scene;
    const float* vertical = verticalTable(settings_.layout);
    const int channels = datapacket::kChannelsPerBlock;
    returns_.assign(static_cast<std::size_t>(echoCount()) * blocksPerRevolution_ * channels, Return{0, 0});
    for (int block = 0; block < blocksPerRevolution_; ++block) {
        const float azimuth = decodeBlockAzimuth(static_cast<std::uint16_t>(block * azimuthStep_));
        const int nextBlock = (block + 1) % blocksPerRevolution_;
        const float nextAzimuth = decodeBlockAzimuth(static_cast<std::uint16_t>(nextBlock * azimuthStep_));
        const float step = azimuthStep(azimuth, nextAzimuth);
        for (int c = 0; c < channels; ++c) {
            const double theta = liveChannelAzimuth(azimuth, step, c);
            const double beta = radians(theta - kBeamOffsetAngle);
            const double v = radians(vertical[c]);
            const Vec3 origin{kBeamOffset * std::cos(beta), -kBeamOffset * std::sin(beta), 0.0};
            const Vec3 direction{std::cos(v) * std::cos(radians(theta)), -std::cos(v) * std::sin(radians(theta)),
                                 std::sin(v)};
            const EchoPair echoes = scene.cast(origin, direction);
            // Single echo reports the opaque surface, as the stronger return through glass.
            const Echo perEcho[2] = {echoCount() == 2 ? echoes.first : echoes.last, echoes.last};
            for (int e = 0; e < echoCount(); ++e) {
                Return& r = returns_[returnIndex(e, block, c)];
                if (!perEcho[e].hit())
                    continue;
                const double count = std::round(perEcho[e].range * 100.0 * kCountsPerCentimetre);
                r.distance = static_cast<std::uint16_t>(std::min(count, kMaxCount));
                r.intensity = static_cast<std::uint8_t>(perEcho[e].intensity);
            }
        }
    }
}

std::uint64_t ScannerStream::nextDataPacket(std::uint8_t* out)
{
    using namespace datapacket;
    std::memset(out, 0, kPacketSize);
    const std::uint64_t firstFiring = packetIndex_ * static_cast<std::uint64_t>(firingsPerPacket_);
    for (int i = 0; i < firingsPerPacket_; ++i) {
        const int azimuthBlock = static_cast<int>((firstFiring + i) % blocksPerRevolution_);
        for (int e = 0; e < echoCount(); ++e) {
            const int block = i * echoCount() + e;
            setBlockFlag(out, block);
            setAzimuthRaw(out, block, static_cast<std::uint16_t>(azimuthBlock * azimuthStep_));
            for (int c = 0; c < kChannelsPerBlock; ++c) {
                const Return& r = returns_[returnIndex(e, azimuthBlock, c)];
                setDistanceRaw(out, block, c, r.distance);
                setIntensityRaw(out, block, c, r.intensity);
            }
        }
    }
    ++packetIndex_;
    const std::uint64_t due = firingMicros(firstFiring + firingsPerPacket_ - 1);
    const std::uint64_t hourStart = static_cast<std::uint64_t>(clockStartSeconds_ % kSecondsPerHour) * kMicrosPerSecond;
    setTimestampRaw(out, static_cast<std::uint32_t>((hourStart + due) % kMicrosPerHour));
    return due;
}

void ScannerStream::deviceInfoPacket(std::uint64_t micros, std::uint8_t* out) const
{
    using namespace devinfo;
    std::memset(out, 0, kPacketSize);
    writeHeader(out);
    putBe16(out + kMotorSpeed, static_cast<std::uint16_t>(settings_.rpm));
    putIpv4(out + kDeviceIp, settings_.deviceIp);
    putIpv4(out + kDestinationIp, settings_.hostIp);
    std::memcpy(out + kMacAddress, reported::kMac, sizeof reported::kMac);
    putBe16(out + kDataPort, settings_.dataPort);
    putBe16(out + kDevicePort, settings_.telemetryPort);
    putIpv4(out + kNtpServerIp, reported::kNtpServer);
    putIpv4(out + kGatewayIp, settings_.deviceIp);
    out[kGatewayIp + kGatewayHostOctet] = reported::kGatewayHost;
    std::memcpy(out + kSubnetMask, reported::kSubnetMask, sizeof reported::kSubnetMask);
    putBe16(out + kMotorState, reported::kMotorRunning);
    putBe16(out + kPacketInterval, reported::kPacketInterval);
    putBe16(out + kPpsAngle, reported::kPpsAngle);
    putBe16(out + kPpsState, reported::kPpsDisabled);

    const ClockTime now = clockAt(micros);
    const int clock[] = {now.year - kClockYearBase, now.month, now.day, now.hour, now.minute, now.second};
    for (std::size_t i = 0; i < std::size(clock); ++i)
        out[kClock + i] = static_cast<std::uint8_t>(clock[i]);

    putText(out + kLatitude + kLatitudeTextStart, reported::kLatitude, kLatitudeHead);
    out[kLatitudeLast] = static_cast<std::uint8_t>(reported::kLatitude[kLatitudeHead]);
    putText(out + kLongitude, reported::kLongitude, kLongitudeHead);
    out[kLongitudeLast] = static_cast<std::uint8_t>(reported::kLongitude[kLongitudeHead]);
    putBe16(out + kApdTemperature, apdTemperatureRaw(reported::kApdCelsius));
    out[kLvdsLock] = reported::kLvdsLocked;
    putBe16(out + kHighVoltage, reported::kHighVoltage);
    putBe16(out + kHighVoltageAdjust, reported::kHighVoltageAdjust);
    out[kThresholdAdjust] = reported::kThresholdAdjust;
    out[kCleanliness] = reported::kCleanliness;
    putBe16(out + kMeasuringRange, reported::kMeasuringRange);
    out[kEchoMode] = settings_.echo == EchoMode::Dual ? kDualEchoCode : 0;
    // Offset angles, tail removal and zero direction stay 0.

    const float* vertical = verticalTable(settings_.layout);
    for (int entry = 0; entry < kVerticalAngleCount; ++entry)
        putBe16(out + kVerticalAngles + kVerticalEntrySize * entry, encodeVerticalAngle(vertical[verticalEntryChannel(entry)]));

    putText(out + kText1164, reported::kText, kTextLength);
    std::memcpy(out + kVersionPairs, reported::kVersionPairs, sizeof reported::kVersionPairs);
    putBe16(out + kAngleModeCode, settings_.layout == Layout::ThirdDegree ? kAngleMode033Code : 0);
    out[kBoardVersionMajor] = static_cast<std::uint8_t>(settings_.boardMajor);
    out[kBoardVersionMinor] = static_cast<std::uint8_t>((settings_.boardMinor & kNibbleMask) << kNibbleShift);
    std::memcpy(out + kFirmwareDate, reported::kFirmwareDate, sizeof reported::kFirmwareDate);
    out[kFirmwareMajor] = static_cast<std::uint8_t>(settings_.firmwareMajor);
    out[kFirmwareMinor] = static_cast<std::uint8_t>(((settings_.firmwareMinor & kNibbleMask) << kNibbleShift)
                                                   | (settings_.firmwarePatch & kNibbleMask));
}

double ScannerStream::dataPacketsPerSecond() const
{
    return static_cast<double>(kFiringsPerSecond) / firingsPerPacket_;
}

int ScannerStream::blocksPerRevolution() const { return blocksPerRevolution_; }

std::uint16_t ScannerStream::azimuthStepHundredths() const { return azimuthStep_; }

const ScannerSettings& ScannerStream::settings() const { return settings_; }

ClockTime ScannerStream::clockAt(std::uint64_t micros) const
{
    const std::int64_t seconds = clockStartSeconds_ + static_cast<std::int64_t>(micros / kMicrosPerSecond);
    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    ClockTime t;
    civilFromDays(days, t);
    t.hour = static_cast<int>(rest / kSecondsPerHour);
    t.minute = static_cast<int>(rest % kSecondsPerHour / 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

std::uint64_t ScannerStream::clockEpochMicros(std::uint64_t micros) const
{
    return static_cast<std::uint64_t>(clockStartSeconds_) * kMicrosPerSecond + micros;
}

} // namespace hvk32::sim
