#include "view/CloudBuilder.h"

#include "records/AngleValues.h"

#include <algorithm>
#include <cmath>

namespace hvk32 {

namespace {

constexpr double kPi = 3.14159;                  // the value of pi the conversion has always used
constexpr double kRadiansPerDegree = kPi / 180.0;
constexpr double kBeamOffsetCm = 4.94;           // emitter offset from the rotation axis [cm]
constexpr double kBeamOffsetAngle = 12.98;       // the offset lies this far behind the horizontal angle [deg]
constexpr double kCentimetresPerMetre = 100.0;
constexpr double kCountsPerCentimetre = 2.5;     // once the device's mode is known
constexpr float kCentimetresPerCount = 0.25f;    // before that
constexpr float kMaxVerticalDeviation = 1.5f;    // [deg], beyond it the device table is not trusted
constexpr std::size_t kIntensitySamples = 300;   // points per channel in the average intensity
constexpr double kFullTurn = 360.0;

const char* const kVariant260 = "V2.6.0";
const char* const kVariant261 = "V2.6.1";

struct Rgb {
    std::uint8_t r, g, b;
};

// Byte arithmetic of the colour rules wraps modulo 256.
constexpr std::uint8_t wrap(int v) { return static_cast<std::uint8_t>(v); }

Rgb intensityColour(int i)
{
    if (i < 32)
        return {0, wrap(8 * i), 255};
    if (i < 64)
        return {0, 255, wrap(255 - 4 * (i - 32))};
    if (i < 128)
        return {wrap(4 * i - 64), 255, 0};
    return {255, wrap(254 - 2 * i), 0};
}

// The boundaries themselves (-2, 0 and 1) fall through to blue, as they always have.
Rgb elevationColour(float z)
{
    if (z < -2.0f)
        return {139, 69, 19};
    if (z > -2.0f && z < 0.0f)
        return {255, 255, 0};
    if (z > 0.0f && z < 1.0f)
        return {255, 255, 255};
    if (z > 1.0f && z < 5.0f)
        return {0, 128, 0};
    return {0, 0, 255};
}

Rgb azimuthColour(float a)
{
    if (a < 90.0f)
        return {0, 255, 255};
    if (a < 180.0f)
        return {0, 125, 192};
    if (a < 270.0f)
        return {0, 255, 0};
    return {255, 255, 0};
}

Rgb laserColour(int channel)
{
    static constexpr Rgb kByPair[7] = {
        {102, 102, 255}, {153, 153, 255}, {204, 204, 255}, {255, 255, 255},
        {255, 178, 178}, {255, 102, 102}, {255, 76, 76},
    };
    const int pair = channel / 2;
    return pair < 7 ? kByPair[pair] : Rgb{255, 0, 0};
}

bool isOneOf(int channel, std::initializer_list<int> channels)
{
    return std::find(channels.begin(), channels.end(), channel) != channels.end();
}

// Which adjustment/offset pair (0..3) turns channel c, and in which direction.
struct AngleTerm {
    int pair;
    double sign;
};

AngleTerm angleTermOf(int degreeMode, bool variant261, int c)
{
    const bool even = c % 2 == 0;
    if (degreeMode != 1) {
        if (!variant261)
            return {0, even ? 1.0 : -1.0};
        return {c % 4 < 2 ? 1 : 0, 1.0};
    }
    if (!variant261) {
        if (isOneOf(c, {10, 14, 18, 22}))
            return {0, 1.0};
        if (isOneOf(c, {11, 15, 19, 23}))
            return {0, -1.0};
        return {1, even ? 1.0 : -1.0};
    }
    if (isOneOf(c, {5, 13, 20, 28}))
        return {1, 1.0};
    if (isOneOf(c, {7, 15, 22, 30}))
        return {0, 1.0};
    if (isOneOf(c, {2, 3, 6, 10, 11, 14, 18, 19, 23, 26, 27, 31}))
        return {2, 1.0};
    return {3, 1.0}; // 0, 1, 4, 8, 9, 12, 16, 17, 21, 24, 25, 29
}

// What every point of one channel shares, worked out once per frame.
struct ChannelTable {
    BeamTrig beam;
    double adjust, offset; // signed: the horizontal angle is a + adjust + offset
};

template<typename T>
std::size_t sizeOf(const std::vector<std::vector<T>>& lists, int c)
{
    return static_cast<std::size_t>(c) < lists.size() ? lists[c].size() : 0;
}

// Points of channel c present in all four lists.
std::size_t pointCount(const LidarData& frame, int c)
{
    return std::min({sizeOf(frame.distances, c), sizeOf(frame.intensities, c), sizeOf(frame.azimuths, c),
                     sizeOf(frame.timestamps, c)});
}

void averageIntensities(const LidarData& frame, std::vector<float>& out)
{
    out.assign(kChannelCount, 0.0f);
    for (int c = 0; c < kChannelCount; ++c) {
        if (static_cast<std::size_t>(c) >= frame.intensities.size())
            continue;
        const auto& list = frame.intensities[c];
        const std::size_t n = std::min(list.size(), kIntensitySamples);
        std::int64_t sum = 0;
        for (std::size_t j = 0; j < n; ++j)
            sum += list[j];
        // Divided by the full sample size even when the channel has fewer points.
        out[c] = static_cast<float>(sum / static_cast<std::int64_t>(kIntensitySamples));
    }
}

} // namespace

const float* builtInVerticalAngles(int degreeMode)
{
    return degreeMode == 1 ? defaultVerticalAngles033 : defaultVerticalAngles1;
}

int verticalAngleMistake(int degreeMode, const float deviceVerticalAngles[32])
{
    const float* builtIn = builtInVerticalAngles(degreeMode);
    for (int c = 0; c < kChannelCount; ++c)
        if (std::fabs(deviceVerticalAngles[c] - builtIn[c]) > kMaxVerticalDeviation)
            return c;
    return -1;
}

const float* verticalAnglesInUse(int degreeMode, const float deviceVerticalAngles[32])
{
    return verticalAngleMistake(degreeMode, deviceVerticalAngles) >= 0 ? builtInVerticalAngles(degreeMode)
                                                                       : deviceVerticalAngles;
}

int fixedOffsetIndex(int degreeMode, int channel)
{
    // The same channel groups as the later firmware variant, without its adjustments.
    return angleTermOf(degreeMode, true, channel).pair;
}

float scaledDistanceCm(float raw, int modeKnown)
{
    return modeKnown == 0 ? raw * kCentimetresPerCount : static_cast<float>(raw / kCountsPerCentimetre);
}

std::size_t channelPointCount(const LidarData& frame, int channel)
{
    return pointCount(frame, channel);
}

BeamTrig beamTrigOf(float verticalDegrees)
{
    const double v = static_cast<double>(verticalDegrees) * kPi / 180.0;
    return {std::cos(v), std::sin(v)};
}

Xyz beamCoordinates(double distanceCm, const BeamTrig& beam, double thetaDegrees)
{
    const double thetaRad = thetaDegrees * kRadiansPerDegree;
    const double betaRad = (thetaDegrees - kBeamOffsetAngle) * kRadiansPerDegree;
    const double horizontal = distanceCm * beam.cosV;
    const double xd = (horizontal * std::cos(thetaRad) + kBeamOffsetCm * std::cos(betaRad)) / kCentimetresPerMetre;
    const double yd = (horizontal * std::sin(thetaRad) + kBeamOffsetCm * std::sin(betaRad)) / -kCentimetresPerMetre;
    const double zd = distanceCm * beam.sinV / kCentimetresPerMetre;
    return {static_cast<float>(xd), static_cast<float>(yd), static_cast<float>(zd)};
}

const char* firmwareVariantOf(int degreeMode, const float offsetAngles[4])
{
    const float d1 = std::fabs(offsetAngles[0] - offsetAngles[1]);
    if (degreeMode != 1) {
        const bool allZero = offsetAngles[0] == 0.0f && offsetAngles[1] == 0.0f;
        return (d1 > 3.0f && d1 < 5.0f) || allZero ? kVariant261 : kVariant260;
    }
    const float d2 = std::fabs(offsetAngles[2] - offsetAngles[3]);
    const bool allZero = offsetAngles[0] == 0.0f && offsetAngles[1] == 0.0f && offsetAngles[2] == 0.0f
        && offsetAngles[3] == 0.0f;
    const bool spread = d1 > 4.8 && d1 < 6.8 && d2 > 1.8 && d2 < 3.0;
    return spread || allZero ? kVariant261 : kVariant260;
}

void CloudBuilder::build(const LidarData& frame, const CloudParameters& params, CloudResult& out,
                         const PointVisitor* visitor) const
{
    out.frame.clear();
    out.selection.clear();
    out.averageIntensities.clear();

    // The device's vertical table is used only if every channel is within 1.5 degrees of the
    // built-in table of the layout; otherwise the built-in table is used for all channels.
    out.angleMistakeChannel = verticalAngleMistake(params.degreeMode, params.deviceVerticalAngles);
    const float* vertical = out.angleMistakeChannel >= 0 ? builtInVerticalAngles(params.degreeMode)
                                                         : params.deviceVerticalAngles;

    out.firmwareVariant = firmwareVariantOf(params.degreeMode, params.offsetAngles);
    const bool variant261 = out.firmwareVariant == kVariant261;

    ChannelTable tables[kChannelCount];
    std::size_t total = 0;
    for (int c = 0; c < kChannelCount; ++c) {
        const AngleTerm term = angleTermOf(params.degreeMode, variant261, c);
        tables[c] = {beamTrigOf(vertical[c]), term.sign * params.angleAdjust[term.pair],
                     term.sign * static_cast<double>(params.offsetAngles[term.pair])};
        if (params.channelEnabled[c])
            total += pointCount(frame, c);
    }

    if (params.computeAverageIntensities)
        averageIntensities(frame, out.averageIntensities);

    out.frame.reserve(total);
    const double sectorLow = params.displayAngle;
    const double sectorHigh = 360.0f - params.displayAngle;
    const bool visit = visitor != nullptr && *visitor;
    ConvertedPoint converted{};

    for (int c = 0; c < kChannelCount; ++c) {
        if (!params.channelEnabled[c])
            continue;
        const std::size_t n = pointCount(frame, c);
        if (n == 0)
            continue; // also covers a record without this channel's lists
        const float* distances = frame.distances[c].data();
        const float* azimuths = frame.azimuths[c].data();
        const int* intensities = frame.intensities[c].data();
        const ChannelTable& t = tables[c];
        const Rgb laser = laserColour(c);

        for (std::size_t j = 0; j < n; ++j) {
            const float raw = distances[j];
            if (!(raw > 0.0f)) // no return (NaN included)
                continue;
            float d = scaledDistanceCm(raw, params.modeKnown);

            const float a = azimuths[j];
            const double theta = static_cast<double>(a) + t.adjust + t.offset;
            double wrapped = theta;
            if (theta > kFullTurn)
                wrapped = theta - kFullTurn;
            else if (theta < 0.0)
                wrapped = theta + kFullTurn;
            // Outside the display sector the point collapses onto the emitter offset circle.
            if (sectorLow < wrapped && wrapped < sectorHigh)
                d = 0.0f;

            const Xyz position = beamCoordinates(d, t.beam, theta);
            const float x = position.x;
            const float y = position.y;
            const float z = position.z;

            Rgb rgb;
            switch (params.colorMode) {
            case ColorMode::Intensity: rgb = intensityColour(intensities[j]); break;
            case ColorMode::Solid: rgb = {255, 255, 255}; break;
            case ColorMode::Elevation: rgb = elevationColour(z); break;
            case ColorMode::Azimuth: rgb = azimuthColour(a); break;
            case ColorMode::LaserID: rgb = laser; break;
            default: rgb = {255, 255, 255}; break;
            }

            const bool inSelection = params.selectionBox.contains(x, y, z);
            (inSelection ? out.selection : out.frame).push_back({x, y, z, rgb.r, rgb.g, rgb.b});

            if (visit) {
                converted.channel = c;
                converted.index = j;
                converted.x = x;
                converted.y = y;
                converted.z = z;
                converted.theta = theta;
                converted.thetaWrapped = wrapped;
                converted.distanceCm = d;
                converted.intensity = intensities[j];
                converted.timestamp = frame.timestamps[c][j];
                converted.azimuth = a;
                converted.inSelection = inSelection;
                converted.r = rgb.r;
                converted.g = rgb.g;
                converted.b = rgb.b;
                (*visitor)(converted);
            }
        }
    }
}

} // namespace hvk32
