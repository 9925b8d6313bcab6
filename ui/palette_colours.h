#pragma once
// Colours of our own that must stay readable whatever the palette: chosen
// for a light or a dark palette, each at a contrast of at least 4.5:1 with
// the window's background. Main thread.
#include <QColor>
#include <QPalette>

namespace ui {

// Whether the palette draws dark backgrounds (a dark desktop theme).
bool IsDarkPalette(const QPalette& palette);

// Text that says something went wrong (a refused input): red.
QColor ProblemTextColour(const QPalette& palette);

// A link drawn as text: blue.
QColor LinkTextColour(const QPalette& palette);

}  // namespace ui
