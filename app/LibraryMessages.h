#pragma once
// Warnings the 3-D libraries print on their own (deprecations, render-window notes) are noise
// to a user: they go to the debug output under the logging category "hvk32.library", which
// is off unless the program runs with --verbose.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLibrary)

namespace hvk32 {

// Routes VTK's output window and PCL's console into lcLibrary; `verbose` turns the category on.
void routeLibraryMessages(bool verbose);

} // namespace hvk32
