#pragma once
// The view's settings kept from one run to the next: point size, background colour and
// whether the colour legend is shown. Values read back are checked, so a settings file
// edited by hand or left by another version cannot put the view out of range.

#include "convert/PointColours.h"

#include <QString>

class QSettings;

namespace hvk32 {

constexpr int kMinPointSize = 1;
constexpr int kMaxPointSize = 10;

struct ViewPreferences {
    int pointSize = kMinPointSize;
    Rgb8 background{0, 0, 0};
    bool legendShown = true;
};

// The stored values; each missing or unusable one keeps its default.
ViewPreferences loadViewPreferences(const QSettings& settings);
void saveViewPreferences(QSettings& settings, const ViewPreferences& preferences);

// "#rrggbb", and back; nothing usable gives false.
QString colourName(Rgb8 colour);
bool parseColourName(const QString& text, Rgb8& colour);

} // namespace hvk32
