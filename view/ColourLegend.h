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

// Black or white, whichever reads better on `background`.
Rgb8 contrastingTextColour(Rgb8 background);

} // namespace hvk32
