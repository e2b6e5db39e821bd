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
        legend.ticks.push_back({(v + 0.5) / 256.0, QString::number(v)});
    return legend;
}

ColourLegend elevationLegend()
{
    ColourLegend legend;
    legend.title = QCoreApplication::translate("ColourLegend", "Elevation (m)");
    // One cell per band of the height rule, bottom to top; its boundaries between them.
    for (float z : {-3.0f, -1.0f, 0.5f, 3.0f, 6.0f})
        legend.cells.push_back(elevationColour(z));
    const char* bounds[] = {QT_TRANSLATE_NOOP("ColourLegend", "−2 m"), QT_TRANSLATE_NOOP("ColourLegend", "0 m"),
                            QT_TRANSLATE_NOOP("ColourLegend", "1 m"), QT_TRANSLATE_NOOP("ColourLegend", "5 m")};
    for (int k = 0; k < 4; ++k)
        legend.ticks.push_back({(k + 1) / 5.0, QCoreApplication::translate("ColourLegend", bounds[k])});
    return legend;
}

ColourLegend azimuthLegend()
{
    ColourLegend legend;
    legend.title = QCoreApplication::translate("ColourLegend", "Azimuth (°)");
    for (float a : {45.0f, 135.0f, 225.0f, 315.0f})
        legend.cells.push_back(azimuthColour(a));
    for (int k = 0; k <= 4; ++k)
        legend.ticks.push_back({k / 4.0, QCoreApplication::translate("ColourLegend", "%1°").arg(90 * k)});
    return legend;
}

} // namespace

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
