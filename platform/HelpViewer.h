#pragma once
// The user and developer guides are HTML pages under docs/.

#include <QString>
#include <QUrl>

namespace hvk32::platform {

// The page's location: next to the program (docs/ beside or above it), else in the source
// tree. The window opens it through its prompts, so tests see what would be opened.
QUrl helpPageUrl(const QString& page);

} // namespace hvk32::platform
