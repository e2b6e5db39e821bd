#pragma once
// A picture as a PNG file (8-bit RGB, no interlacing), written under a temporary name beside
// the file and renamed when whole, so a reader never sees half a picture. The same picture
// gives the same bytes: nothing variable (times, software names) goes into the file.

#include "render/Picture.h"

#include <QString>

namespace hvk32::render {

// False, with *error set and nothing left behind, when the file cannot be written.
bool writePng(const QString& path, const Picture& picture, QString* error);

} // namespace hvk32::render
