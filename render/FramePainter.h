#pragma once
// A frame's points, or a map's, drawn into a raster in one of the colourings: the frame's
// converted as the window converts them (its rules, every channel, returns of distance 0 left
// out) and coloured by the window's colour functions, so a point has the same colour in a
// picture as on screen.

#include "convert/ConversionSnapshot.h"
#include "convert/PointConversion.h"
#include "records/LidarData.h"
#include "render/Raster.h"
#include "view/ColourLegend.h"

#include <optional>
#include <string>

namespace hvk32::render {

enum class Colouring { Intensity, Elevation, Azimuth, Channel, Distance };

// The colouring of a name (intensity, elevation, azimuth, channel, distance).
std::optional<Colouring> colouringNamed(const std::string& name);
// The colouring's legend as the window shows it; the distance scale runs 0 to `range` metres;
// nothing for the channel colouring, which the window shows without one.
std::optional<ColourLegend> legendOf(Colouring colouring, float range);

struct PaintStyle {
    Colouring colouring = Colouring::Intensity;
    int pointSize = 1;          // [px]
    float distanceRange = 30.0f; // [m] where the distance colours end
};

class FramePainter {
public:
    // Converts `frame` with the device values of `snapshot`; the points stay until the next call.
    const PointArrays& convert(const LidarData& frame, const ConversionSnapshot& snapshot);
    const PointArrays& points() const { return points_; }

    // Draws the points last converted; intensities and azimuths are the frame's own, as the
    // window colours them.
    void drawFrame(Raster& raster, const RenderCamera& camera, const LidarData& frame, const PaintStyle& style) const;
    // Draws points already placed (a map's), coloured by their arrays' fields as the window
    // colours its map.
    void drawPoints(Raster& raster, const RenderCamera& camera, const PointArrays& points, const PaintStyle& style) const;

private:
    PointConversion conversion_;
    PointArrays points_;
};

} // namespace hvk32::render
