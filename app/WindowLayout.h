#pragma once
// How the main window lays itself out: its palette, tool rows that scroll sideways on a narrow
// screen, and dialogs opened centred over it.

class QTabWidget;
class QWidget;

namespace hvk32::layout {

// The application's colours: light grey windows, grey buttons, a purple highlight.
void installPalette();

// Puts each tab's page in a sideways-scrolling area, so the window can be made as narrow as
// a small screen and every tool stays reachable.
void fitToolRows(QTabWidget* tabs);

// Shows `dialog` centred over `window` and within the screen.
void showCentred(QWidget* dialog, const QWidget* window);

} // namespace hvk32::layout
