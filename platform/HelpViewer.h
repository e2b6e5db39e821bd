#pragma once
// The user and developer guides are HTML pages under docs/, opened in the desktop's browser.

#include <QString>
#include <QUrl>

namespace hvk32::platform {

// The page's location: next to the program (docs/ beside or above it), else in the source tree.
QUrl helpPageUrl(const QString& page);
bool openHelpPage(const QString& page);

} // namespace hvk32::platform
