#include "convert/CloudBuilder.h"

#include "convert/PointColours.h"

#include <algorithm>
#include <cmath>

namespace hvk32 {

namespace {

constexpr std::size_t kIntensitySamples = 300;   // points per channel in the average intensity
constexpr std::size_t kSplitPoints = 8192;       // frames this large convert on two threads

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

void CloudBuilder::build(const LidarData& frame, const CloudParameters& params, CloudResult& out,
                         const PointVisitor* visitor)
{
    out.frame.clear();
    out.selection.clear();
    out.averageIntensities.clear();

    // The device's vertical table is used only if every channel is within 1.5 degrees of the
    // built-in table of the layout; otherwise the built-in table is used for all channels.
    out.angleMistakeChannel = verticalAngleMistake(params.degreeMode, params.deviceVerticalAngles);
    out.firmwareVariant = firmwareVariantOf(params.degreeMode, params.offsetAngles);

    const ConversionSnapshot snapshot = ConversionSnapshot::of(params);
    ConversionOptions options;
    // Exact: the pixels, the point table and the readout stay what they have always been.
    options.precision = Precision::Exact;
    options.channels = params.channelEnabled;
    options.keepZeroDistances = false;
    options.collapseOutsideDisplay = true;
    options.displayAngle = params.displayAngle;
    options.limitDistance = params.limitDistance;
    options.distanceMin = params.distanceMin;
    options.distanceMax = params.distanceMax;
    // The cloud reads intensities and time stamps from the frame itself.
    options.fillIntensity = options.fillTime = options.fillEcho = false;
    const AngleTerms angles = AngleTerms::adjusted(snapshot, params.angleAdjust);
    // A frame of many points converts on two threads: the helper takes the higher half of
    // the channels. Each half keeps channel order, so the points come out as from one call.
    std::size_t total = 0;
    for (int c = 0; c < kChannelCount; ++c)
        total += options.channels[static_cast<std::size_t>(c)] ? channelPointCount(frame, c) : 0;
    const bool split = total >= kSplitPoints;
    if (split) {
        ConversionOptions higher = options;
        for (int c = 0; c < kChannelCount; ++c) {
            const bool low = c < kChannelCount / 2;
            options.channels[static_cast<std::size_t>(c)] = options.channels[static_cast<std::size_t>(c)] && low;
            higher.channels[static_cast<std::size_t>(c)] = higher.channels[static_cast<std::size_t>(c)] && !low;
        }
        helper_.start([this, &frame, &snapshot, &angles, higher] {
            helperConversion_.convert(frame, snapshot, angles, higher, helperPoints_);
        });
    }
    conversion_.convert(frame, snapshot, angles, options, points_);
    if (split)
        helper_.wait();

    if (params.computeAverageIntensities)
        averageIntensities(frame, out.averageIntensities);

    out.frame.reserve(points_.size + (split ? helperPoints_.size : 0));
    emitPoints(frame, params, points_, out, visitor);
    if (split)
        emitPoints(frame, params, helperPoints_, out, visitor);
}

// Colours each converted point, sorts it into the frame or the selection and shows it to the
// visitor.
void CloudBuilder::emitPoints(const LidarData& frame, const CloudParameters& params, const PointArrays& p,
                              CloudResult& out, const PointVisitor* visitor) const
{
    const std::size_t n = p.size;
    const bool visit = visitor != nullptr && *visitor;
    ConvertedPoint converted{};

    for (std::size_t k = 0; k < n; ++k) {
        const int c = p.channel[k];
        const std::size_t j = p.source[k];
        const float x = p.x[k];
        const float y = p.y[k];
        const float z = p.z[k];
        const int intensity = frame.intensities[c][j];
        const float a = frame.azimuths[c][j];

        Rgb8 rgb;
        switch (params.colorMode) {
        case ColorMode::Intensity: rgb = intensityColour(intensity); break;
        case ColorMode::Solid: rgb = {255, 255, 255}; break;
        case ColorMode::Elevation: rgb = elevationColour(z); break;
        case ColorMode::Azimuth: rgb = azimuthColour(a); break;
        case ColorMode::LaserID: rgb = laserColour(c); break;
        default: rgb = {255, 255, 255}; break;
        }

        const bool inSelection = params.selectionArea.active ? params.selectionArea.contains(x, y, z)
                                                             : params.selectionBox.contains(x, y, z);
        (inSelection ? out.selection : out.frame).push_back({x, y, z, rgb.r, rgb.g, rgb.b});

        if (visit) {
            converted.channel = c;
            converted.index = j;
            converted.x = x;
            converted.y = y;
            converted.z = z;
            converted.theta = p.theta[k];
            converted.thetaWrapped = wrapOnce(p.theta[k]);
            converted.distanceCm = p.distanceCm[k];
            converted.intensity = intensity;
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

SelectionArea selectionArea(const double worldToDevice[16], const int viewportOrigin[2], const int viewportSize[2],
                            const double cornerA[2], const double cornerB[2])
{
    SelectionArea area;
    if (viewportSize[0] <= 0 || viewportSize[1] <= 0)
        return area;
    area.active = true;
    std::copy(worldToDevice, worldToDevice + 16, area.worldToDevice);
    // Display pixel p of the viewport maps to normalised device coordinate 2 (p - origin) / size - 1.
    const auto ndc = [&](double p, int axis) { return 2.0 * (p - viewportOrigin[axis]) / viewportSize[axis] - 1.0; };
    area.xMin = ndc(std::min(cornerA[0], cornerB[0]), 0);
    area.xMax = ndc(std::max(cornerA[0], cornerB[0]), 0);
    area.yMin = ndc(std::min(cornerA[1], cornerB[1]), 1);
    area.yMax = ndc(std::max(cornerA[1], cornerB[1]), 1);
    return area;
}

} // namespace hvk32
