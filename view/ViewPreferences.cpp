#include "view/ViewPreferences.h"

#include <QSettings>

namespace hvk32 {

namespace {

constexpr const char* kPointSizeKey = "view/pointSize";
constexpr const char* kBackgroundKey = "view/background";
constexpr const char* kLegendKey = "view/legend";

} // namespace

QString colourName(Rgb8 colour)
{
    return QString::asprintf("#%02x%02x%02x", colour.r, colour.g, colour.b);
}

bool parseColourName(const QString& text, Rgb8& colour)
{
    if (text.size() != 7 || !text.startsWith('#'))
        return false;
    bool ok = false;
    const uint value = text.mid(1).toUInt(&ok, 16);
    if (!ok)
        return false;
    colour = {std::uint8_t(value >> 16), std::uint8_t(value >> 8), std::uint8_t(value)};
    return true;
}

ViewPreferences loadViewPreferences(const QSettings& settings)
{
    ViewPreferences p;
    bool ok = false;
    const int size = settings.value(kPointSizeKey).toInt(&ok);
    if (ok && size >= kMinPointSize && size <= kMaxPointSize)
        p.pointSize = size;
    Rgb8 background;
    if (parseColourName(settings.value(kBackgroundKey).toString(), background))
        p.background = background;
    const QVariant legend = settings.value(kLegendKey);
    if (legend.isValid())
        p.legendShown = legend.toBool();
    return p;
}

void saveViewPreferences(QSettings& settings, const ViewPreferences& preferences)
{
    settings.setValue(kPointSizeKey, preferences.pointSize);
    settings.setValue(kBackgroundKey, colourName(preferences.background));
    settings.setValue(kLegendKey, preferences.legendShown);
}

} // namespace hvk32
