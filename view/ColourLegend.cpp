#include "view/ColourLegend.h"

#include <QCoreApplication>

namespace hvk32 {

namespace {

ColourLegend intensityLegend()
{
    ColourLegend legend;
    legend.title = QCoreApplication::translate("ColourLegend", "Intensity (0–255)");
    for (int i = 0; i < 256; ++i)
        legend.cells.push_back(intensityColour(i));
    // Each tick stands at the middle of its value's cell.
    for (int v : {0, 32, 64, 128, 192, 255})
        legend.ticks.push_back({(v + 0.5) / 256.0, QString::number(v), double(v)});
    return legend;
}

ColourLegend elevationLegend()
{
    ColourLegend legend;
    legend.title = QCoreApplication::translate("ColourLegend", "Elevation (m)");
    legend.banded = true;
    // One cell per band of the height rule, bottom to top: the band below the lowest
    // boundary, then the band each boundary starts, as the points are coloured.
    constexpr float kBounds[] = {-2.0f, 0.0f, 1.0f, 5.0f};
    const char* labels[] = {QT_TRANSLATE_NOOP("ColourLegend", "−2 m"), QT_TRANSLATE_NOOP("ColourLegend", "0 m"),
                            QT_TRANSLATE_NOOP("ColourLegend", "1 m"), QT_TRANSLATE_NOOP("ColourLegend", "5 m")};
    legend.cells.push_back(elevationColour(kBounds[0] - 1.0f));
    for (int k = 0; k < 4; ++k) {
        legend.cells.push_back(elevationColour(kBounds[k]));
        legend.ticks.push_back({(k + 1) / 5.0, QCoreApplication::translate("ColourLegend", labels[k]), kBounds[k]});
    }
    return legend;
}

ColourLegend azimuthLegend()
{
    ColourLegend legend;
    legend.title = QCoreApplication::translate("ColourLegend", "Azimuth (°)");
    legend.banded = true;
    // Each quarter turn's cell takes the colour of the angle it starts at.
    for (int k = 0; k < 4; ++k)
        legend.cells.push_back(azimuthColour(90.0f * k));
    for (int k = 0; k <= 4; ++k)
        legend.ticks.push_back({k / 4.0, QCoreApplication::translate("ColourLegend", "%1°").arg(90 * k), 90.0 * k});
    return legend;
}

} // namespace

ColourLegend distanceLegend(float range)
{
    ColourLegend legend;
    legend.title = QCoreApplication::translate("ColourLegend", "Distance (m)");
    // The colours of 256 equal steps of distance, each cell's at its middle.
    constexpr int kCells = 256;
    for (int i = 0; i < kCells; ++i)
        legend.cells.push_back(distanceColour(range * (i + 0.5f) / kCells, range));
    for (int k = 0; k <= 4; ++k) {
        const double metres = range * k / 4.0;
        legend.ticks.push_back({k / 4.0, QString::number(metres, 'g', 4), metres});
    }
    return legend;
}

std::optional<ColourLegend> colourLegend(ColorMode mode)
{
    switch (mode) {
    case ColorMode::Intensity: return intensityLegend();
    case ColorMode::Elevation: return elevationLegend();
    case ColorMode::Azimuth: return azimuthLegend();
    default: return std::nullopt;
    }
}

Rgb8 contrastingTextColour(Rgb8 background)
{
    // Relative luminance with the usual weights: light backgrounds take black text.
    const int luminance = 299 * background.r + 587 * background.g + 114 * background.b;
    return luminance > 128 * 1000 ? Rgb8{0, 0, 0} : Rgb8{255, 255, 255};
}

} // namespace hvk32
