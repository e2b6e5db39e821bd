#include "sim/ScannerStream.h"

#include "acquisition/DataPacket.h"
#include "acquisition/DeviceInfoPacket.h"
#include "acquisition/PointDecoding.h"
#include "records/AngleValues.h"
#include "sim/CaptureFileWriter.h"
#include "sim/Random.h"
#include "sim/SyntheticScene.h"
#include "sim/TownScene.h"

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
constexpr std::uint8_t kGatewayHost = 1;            // default gateway: .1 of the device's subnet
constexpr std::uint16_t kPpsDisabled = 0x8000;      // no PPS input, error angle 0
constexpr char kLatitude[] = "4807.0380N";          // 10 characters
constexpr char kLongitude[] = "01131.0000E";        // 11 characters
constexpr double kApdCelsius = 35.0;
constexpr std::uint8_t kLvdsLocked = 1;
constexpr std::uint16_t kHighVoltage = 2700;
constexpr std::uint16_t kHighVoltageAdjust = 100;
constexpr std::uint8_t kThresholdAdjust = 40;
constexpr std::uint8_t kCleanliness = 0;
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

// The first firing at or after stream time `micros`.
std::uint64_t firingAtOrAfter(std::uint64_t micros)
{
    const std::uint64_t whole = micros / kMicrosPerSecond * kFiringsPerSecond;
    return whole + ((micros % kMicrosPerSecond) * kFiringsPerSecond + kMicrosPerSecond - 1) / kMicrosPerSecond;
}

std::int64_t floorMod(std::int64_t value, std::int64_t divisor)
{
    const std::int64_t r = value % divisor;
    return r < 0 ? r + divisor : r;
}

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

// The settings an advanced configuration carries besides the motor (range, tail, zero
// direction, offset angles), from such a configuration or from the factory's settings, which
// name them alike.
template <typename From>
void takeAdvancedSettings(ScannerSettings& to, const From& from)
{
    to.measuringRange = from.measuringRange;
    to.tailThreshold = from.tailThreshold;
    to.tailDistance = from.tailDistance;
    to.zeroDirection = from.zeroDirection;
    to.offsetAngleCodes = from.offsetAngleCodes;
}

} // namespace

ScannerStream::ScannerStream(const ScannerSettings& settings)
    : settings_(settings),
      factory_(settings),
      clockStartSeconds_(secondsOf(settings.clockStart ? *settings.clockStart : localTimeNow()))
{
    if (settings.scene == SceneKind::Town) {
        scene_ = std::make_shared<TownScene>(settings.seed);
        home_.position = {0.0, 0.0, kTownScannerHeight};
    } else {
        scene_ = std::make_shared<SyntheticScene>();
    }
    rangeNoise_ = settings.rangeNoise.value_or(settings.scene == SceneKind::Town ? kTownRangeNoise : 0.0);
    if (!(rangeNoise_ >= 0.0) || !std::isfinite(rangeNoise_))
        throw std::invalid_argument("range noise must be a finite number of metres, 0 or more");
    castEachFiring_ = settings.trajectory || rangeNoise_ > 0.0;
    setMotion(settings.rpm, settings.echo, true);
}

int ScannerStream::echoCount() const { return settings_.echo == EchoMode::Dual ? 2 : 1; }

const float* ScannerStream::verticalAngles() const
{
    return settings_.verticalAngles ? settings_.verticalAngles->data() : verticalTable(settings_.layout);
}

// Takes a new speed, echo mode or vertical table into the motion and the cast revolution.
// The next firing keeps the azimuth it would have had, rounded down to the new step.
void ScannerStream::setMotion(int rpm, EchoMode echo, bool anglesChanged)
{
    const std::uint16_t step = azimuthStepFor(rpm);
    if (step == azimuthStep_ && echo == settings_.echo && !anglesChanged)
        return;
    const int azimuth = azimuthBlock_ * azimuthStep_;
    settings_.rpm = rpm;
    settings_.echo = echo;
    azimuthStep_ = step;
    blocksPerRevolution_ = datapacket::kAzimuthUnitsPerTurn / step;
    firingsPerPacket_ = datapacket::kBlocksPerPacket / echoCount();
    azimuthBlock_ = azimuth / step;
    prepareRays();
    if (!castEachFiring_)
        castRevolution();
}

std::size_t ScannerStream::returnIndex(int echo, int block, int channel) const
{
    return (static_cast<std::size_t>(echo) * blocksPerRevolution_ + block) * datapacket::kChannelsPerBlock + channel;
}

// The rays of one revolution in the scanner's frame. Channel c of a block looks along the
// horizontal angle the receiver gives it (block azimuth plus c/32 of the step to the next
// block) and the layout's vertical angle, from the emitter's offset position.
void ScannerStream::prepareRays()
{
    const float* vertical = verticalAngles();
    const int channels = datapacket::kChannelsPerBlock;
    rayOrigins_.resize(static_cast<std::size_t>(blocksPerRevolution_) * channels);
    rayDirections_.resize(rayOrigins_.size());
    for (int block = 0; block < blocksPerRevolution_; ++block) {
        const float azimuth = decodeBlockAzimuth(static_cast<std::uint16_t>(block * azimuthStep_));
        const int nextBlock = (block + 1) % blocksPerRevolution_;
        const float nextAzimuth = decodeBlockAzimuth(static_cast<std::uint16_t>(nextBlock * azimuthStep_));
        const float step = azimuthStep(azimuth, nextAzimuth);
        for (int c = 0; c < channels; ++c) {
            const double theta = liveChannelAzimuth(azimuth, step, c);
            const double beta = radians(theta - kBeamOffsetAngle);
            const double v = radians(vertical[c]);
            const std::size_t ray = static_cast<std::size_t>(block) * channels + c;
            rayOrigins_[ray] = {kBeamOffset * std::cos(beta), -kBeamOffset * std::sin(beta), 0.0};
            rayDirections_[ray] = {std::cos(v) * std::cos(radians(theta)), -std::cos(v) * std::sin(radians(theta)),
                                   std::sin(v)};
        }
    }
}

ScannerStream::Return ScannerStream::returnOf(const Echo& echo) const
{
    if (!echo.hit())
        return {0, 0};
    const double count = std::round(echo.range * 100.0 * kCountsPerCentimetre);
    return {static_cast<std::uint16_t>(std::min(count, kMaxCount)), static_cast<std::uint8_t>(echo.intensity)};
}

// Casts every ray of one revolution from the home pose, for a still scanner without noise.
void ScannerStream::castRevolution()
{
    const int channels = datapacket::kChannelsPerBlock;
    returns_.assign(static_cast<std::size_t>(echoCount()) * blocksPerRevolution_ * channels, Return{0, 0});
    const Rotation rotation(home_.rotation);
    const Vec3& at = home_.position;
    for (int block = 0; block < blocksPerRevolution_; ++block) {
        for (int c = 0; c < channels; ++c) {
            const std::size_t ray = static_cast<std::size_t>(block) * channels + c;
            const Vec3 o = rotation * rayOrigins_[ray];
            const EchoPair echoes = scene_->cast({o.x + at.x, o.y + at.y, o.z + at.z}, rotation * rayDirections_[ray]);
            // Single echo reports the opaque surface, as the stronger return through glass.
            const Echo perEcho[2] = {echoCount() == 2 ? echoes.first : echoes.last, echoes.last};
            for (int e = 0; e < echoCount(); ++e)
                returns_[returnIndex(e, block, c)] = returnOf(perEcho[e]);
        }
    }
}

// Casts one firing (all channels, every echo) from the pose at its own time into the blocks
// of packet firing `packetFiring`, with the range noise drawn for this firing and channel.
void ScannerStream::castFiring(std::uint64_t firing, int block, std::uint8_t* out, int packetFiring) const
{
    const int channels = datapacket::kChannelsPerBlock;
    const Pose pose = poseAt(static_cast<double>(firing) / kFiringsPerSecond);
    const Rotation rotation(pose.rotation);
    const Vec3& at = pose.position;
    const std::uint64_t noiseBase = mix64(settings_.seed);
    for (int c = 0; c < channels; ++c) {
        const std::size_t ray = static_cast<std::size_t>(block) * channels + c;
        const Vec3 o = rotation * rayOrigins_[ray];
        const EchoPair echoes = scene_->cast({o.x + at.x, o.y + at.y, o.z + at.z}, rotation * rayDirections_[ray]);
        Echo perEcho[2] = {echoCount() == 2 ? echoes.first : echoes.last, echoes.last};
        if (rangeNoise_ > 0.0) {
            const std::uint64_t draw = firing * channels + static_cast<std::uint64_t>(c);
            const auto [lastNoise, firstNoise] = gaussianPair(noiseBase + 3 * kGoldenGamma * draw);
            // Both echoes of one surface are one measurement and share their error.
            const bool sameSurface = perEcho[0].range == perEcho[1].range;
            const double noise[2] = {rangeNoise_ * (sameSurface ? lastNoise : firstNoise), rangeNoise_ * lastNoise};
            for (int e = 0; e < 2; ++e)
                if (perEcho[e].hit())
                    perEcho[e].range = std::max(perEcho[e].range + noise[e], 0.0);
        }
        for (int e = 0; e < echoCount(); ++e) {
            const Return r = returnOf(perEcho[e]);
            const int outBlock = packetFiring * echoCount() + e;
            datapacket::setDistanceRaw(out, outBlock, c, r.distance);
            datapacket::setIntensityRaw(out, outBlock, c, r.intensity);
        }
    }
}

Pose ScannerStream::poseAt(double seconds) const
{
    return settings_.trajectory ? settings_.trajectory->at(seconds) : home_;
}

std::uint64_t ScannerStream::nextDataPacket(std::uint8_t* out)
{
    using namespace datapacket;
    std::memset(out, 0, kPacketSize);
    const std::uint64_t firstFiring = nextFiring_;
    for (int i = 0; i < firingsPerPacket_; ++i) {
        const int azimuthBlock = azimuthBlock_;
        azimuthBlock_ = (azimuthBlock_ + 1) % blocksPerRevolution_;
        for (int e = 0; e < echoCount(); ++e) {
            const int block = i * echoCount() + e;
            setBlockFlag(out, block);
            setAzimuthRaw(out, block, static_cast<std::uint16_t>(azimuthBlock * azimuthStep_));
            if (castEachFiring_)
                continue;
            for (int c = 0; c < kChannelsPerBlock; ++c) {
                const Return& r = returns_[returnIndex(e, azimuthBlock, c)];
                setDistanceRaw(out, block, c, r.distance);
                setIntensityRaw(out, block, c, r.intensity);
            }
        }
        if (castEachFiring_)
            castFiring(firstFiring + static_cast<std::uint64_t>(i), azimuthBlock, out, i);
    }
    nextFiring_ += static_cast<std::uint64_t>(firingsPerPacket_);
    const std::uint64_t due = firingMicros(firstFiring + firingsPerPacket_ - 1);
    const auto hourStart = static_cast<std::uint64_t>(floorMod(clockStartSeconds_, kSecondsPerHour)) * kMicrosPerSecond;
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
    putIpv4(out + kNtpServerIp, settings_.ntpServerIp);
    if (settings_.gatewayIp.empty()) {
        putIpv4(out + kGatewayIp, settings_.deviceIp);
        out[kGatewayIp + kGatewayHostOctet] = reported::kGatewayHost;
    } else {
        putIpv4(out + kGatewayIp, settings_.gatewayIp);
    }
    putIpv4(out + kSubnetMask, settings_.subnetMask);
    putBe16(out + kMotorState, static_cast<std::uint16_t>(settings_.motorState));
    putBe16(out + kPacketInterval, settings_.packetInterval);
    putBe16(out + kPpsAngle, settings_.ppsAngle);
    putBe16(out + kPpsState, reported::kPpsDisabled);

    const ClockTime now = clockAt(micros);
    devinfo::writeClock(out + kClock, deviceClockOf(now));

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
    putBe16(out + kMeasuringRange, settings_.measuringRange);
    putBe16(out + kTailThreshold, settings_.tailThreshold);
    putBe16(out + kTailDistance, settings_.tailDistance);
    out[kZeroDirection] = settings_.zeroDirection;
    out[kEchoMode] = settings_.echo == EchoMode::Dual ? kDualEchoCode : 0;
    const std::size_t offsetAngles[4] = {kOffsetAngle1, kOffsetAngle2, kOffsetAngle3, kOffsetAngle4};
    for (std::size_t i = 0; i < std::size(offsetAngles); ++i)
        putBe16(out + offsetAngles[i], settings_.offsetAngleCodes[i]);

    const float* vertical = verticalAngles();
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

ConfigResult ScannerStream::applyConfiguration(const std::uint8_t* datagram, std::size_t length, std::uint64_t micros)
{
    const ParsedConfiguration parsed = parseConfiguration(datagram, length);
    const ConfigurationRequest& r = parsed.request;
    if (parsed.rejection != ConfigRejection::None)
        return {parsed.rejection, r.kind};
    switch (r.kind) {
    case ConfigKind::User:
        applyUser(r.user, micros);
        setMotion(r.user.rpm, settings_.echo, false);
        break;
    case ConfigKind::FactoryReset:
        // The network settings come with the packet; the rest returns to how the device was made.
        applyUser(r.user, micros);
        takeAdvancedSettings(settings_, factory_);
        settings_.verticalAngles = factory_.verticalAngles;
        setMotion(r.user.rpm, factory_.echo, true);
        break;
    case ConfigKind::Advanced:
        takeAdvancedSettings(settings_, r.advanced);
        setMotion(r.advanced.rpm, r.advanced.echo, false);
        break;
    case ConfigKind::VerticalAngles:
        settings_.verticalAngles = r.verticalAngles;
        setMotion(settings_.rpm, settings_.echo, true);
        break;
    }
    return {ConfigRejection::None, r.kind};
}

// Everything of the user settings but the motor speed, which goes through setMotion().
void ScannerStream::applyUser(const UserConfiguration& user, std::uint64_t micros)
{
    if (user.deviceIp.rfind("127.", 0) == 0)
        settings_.deviceIp = user.deviceIp;
    else
        refusedDeviceIp_ = user.deviceIp;
    settings_.hostIp = user.hostIp;
    settings_.ntpServerIp = user.ntpServerIp;
    settings_.gatewayIp = user.gatewayIp;
    settings_.subnetMask = user.subnetMask;
    settings_.dataPort = user.dataPort;
    settings_.telemetryPort = user.devicePort;
    settings_.packetInterval = user.packetInterval;
    settings_.ppsAngle = user.ppsAngle;
    if (user.clock)
        setClock(*user.clock, micros);
    // A motor that starts again fires from now on, not from where it stopped.
    if (!motorRunning() && user.motorState != MotorState::Stop)
        nextFiring_ = std::max(nextFiring_, firingAtOrAfter(micros));
    settings_.motorState = user.motorState;
}

void ScannerStream::setClock(const ClockTime& time, std::uint64_t micros)
{
    clockStartSeconds_ = secondsOf(time) - static_cast<std::int64_t>(micros / kMicrosPerSecond);
}

bool ScannerStream::motorRunning() const { return settings_.motorState != MotorState::Stop; }

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
