#include "render/FramePainter.h"

#include <cmath>

namespace hvk32::render {

namespace {

// One point's colour; intensity and azimuth as the caller takes them.
inline Rgb8 colourOf(Colouring colouring, int intensity, float azimuth, int channel, float x, float y, float z,
                     float range)
{
    switch (colouring) {
    case Colouring::Intensity: return intensityColour(intensity);
    case Colouring::Elevation: return elevationColour(z);
    case Colouring::Azimuth: return azimuthColour(azimuth);
    case Colouring::Channel: return laserColour(channel);
    case Colouring::Distance: return distanceColour(std::sqrt(x * x + y * y + z * z), range);
    }
    return {255, 255, 255};
}

// Projects and draws points 0 .. n - 1; `intensity(k)` and `azimuth(k)` give a point's values.
template <typename Intensity, typename Azimuth>
void draw(Raster& raster, const RenderCamera& camera, const PointArrays& p, const PaintStyle& style,
          Intensity intensity, Azimuth azimuth)
{
    float column = 0, row = 0, depth = 0;
    for (std::size_t k = 0; k < p.size; ++k) {
        if (!camera.project(p.x[k], p.y[k], p.z[k], column, row, depth))
            continue;
        const Rgb8 colour = colourOf(style.colouring, intensity(k), azimuth(k), p.channel[k], p.x[k], p.y[k], p.z[k],
                                     style.distanceRange);
        raster.point(column, row, depth, colour, style.pointSize);
    }
}

} // namespace

std::optional<Colouring> colouringNamed(const std::string& name)
{
    if (name == "intensity")
        return Colouring::Intensity;
    if (name == "elevation")
        return Colouring::Elevation;
    if (name == "azimuth")
        return Colouring::Azimuth;
    if (name == "channel")
        return Colouring::Channel;
    if (name == "distance")
        return Colouring::Distance;
    return std::nullopt;
}

std::optional<ColourLegend> legendOf(Colouring colouring, float range)
{
    switch (colouring) {
    case Colouring::Intensity: return colourLegend(ColorMode::Intensity);
    case Colouring::Elevation: return colourLegend(ColorMode::Elevation);
    case Colouring::Azimuth: return colourLegend(ColorMode::Azimuth);
    case Colouring::Channel: return colourLegend(ColorMode::LaserID);
    case Colouring::Distance: return distanceLegend(range);
    }
    return std::nullopt;
}

const PointArrays& FramePainter::convert(const LidarData& frame, const ConversionSnapshot& snapshot)
{
    // The window's conversion: exact, every channel, nothing collapsed by a display sector.
    ConversionOptions options;
    options.precision = Precision::Exact;
    options.keepZeroDistances = false;
    options.fillIntensity = options.fillTime = options.fillEcho = false;
    const double noAdjustment[4] = {0, 0, 0, 0};
    conversion_.convert(frame, snapshot, AngleTerms::adjusted(snapshot, noAdjustment), options, points_);
    return points_;
}

void FramePainter::drawFrame(Raster& raster, const RenderCamera& camera, const LidarData& frame,
                             const PaintStyle& style) const
{
    const PointArrays& p = points_;
    draw(
        raster, camera, p, style, [&](std::size_t k) { return static_cast<int>(frame.intensities[p.channel[k]][p.source[k]]); },
        [&](std::size_t k) { return static_cast<float>(frame.azimuths[p.channel[k]][p.source[k]]); });
}

void FramePainter::drawPoints(Raster& raster, const RenderCamera& camera, const PointArrays& p,
                              const PaintStyle& style) const
{
    draw(
        raster, camera, p, style, [&](std::size_t k) { return static_cast<int>(p.intensity[k]); },
        [&](std::size_t k) { return p.azimuth[k]; });
}

} // namespace hvk32::render
