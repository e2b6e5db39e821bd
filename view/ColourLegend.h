#pragma once
// The colour legend of a colouring: a strip of colour cells from the lowest value at the
// bottom to the highest at the top, with labelled ticks and a title naming the value and
// its unit. The cells are the cloud's own colours (PointColours).

#include "convert/CloudBuilder.h"
#include "convert/PointColours.h"

#include <QString>

#include <optional>
#include <vector>

namespace hvk32 {

struct LegendTick {
    double position; // along the strip, 0 at the bottom, 1 at the top
    QString label;
    double value;    // the colouring's value there (intensity, metres, degrees)
};

struct ColourLegend {
    QString title;
    std::vector<Rgb8> cells; // bottom to top, equal heights
    std::vector<LegendTick> ticks;
    // The cells are bands of one colour each, drawn with a line between them, so that a band
    // of the background's own colour still shows.
    bool banded = false;
};

// The legend of the Intensity, Elevation and Azimuth colourings; nothing for the others.
std::optional<ColourLegend> colourLegend(ColorMode mode);

// Where the legend stands over a view, as shares of its width and height from its lower left
// corner: the strip, the gap between it and its tick labels, and the labels' font sizes.
struct LegendPlacement {
    static constexpr double kLeft = 0.94, kRight = 0.965, kBottom = 0.25, kTop = 0.75;
    static constexpr double kTickGap = 0.006;
    static constexpr double kTitleRaise = 0.04; // the title's middle above the strip's top
    static constexpr int kTickFontSize = 14;
    static constexpr int kTitleFontSize = 15;
};

// Distance from the scanner [m], 0 to `range` (and beyond): the pictures' colouring by
// distance, which the window does not have. Hue runs from blue through cyan, green and yellow
// to red, evenly, so equal steps of distance look equally far apart.
inline Rgb8 distanceColour(float metres, float range)
{
    const float share = metres > 0.0f ? (metres < range ? metres / range : 1.0f) : 0.0f;
    // Four quarters of the way: blue->cyan, cyan->green, green->yellow, yellow->red.
    const float h = share * 4.0f;
    const int quarter = h >= 4.0f ? 3 : static_cast<int>(h);
    const auto up = static_cast<std::uint8_t>((h - quarter) * 255.0f + 0.5f);
    const auto down = static_cast<std::uint8_t>(255 - up);
    switch (quarter) {
    case 0: return {0, up, 255};
    case 1: return {0, 255, down};
    case 2: return {up, 255, 0};
    default: return {255, down, 0};
    }
}
ColourLegend distanceLegend(float range);

// Black or white, whichever reads better on `background`.
Rgb8 contrastingTextColour(Rgb8 background);

} // namespace hvk32
