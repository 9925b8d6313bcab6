#pragma once
// Where a new window opens: at its wanted size, but never larger than the
// screen's available area (with a large scaling factor the wanted size of a
// window can exceed a small screen), centred in that area. The frame the
// window manager adds is not known before the window is shown, so room for
// a title bar and borders is kept. Main thread.
#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

namespace ui {

// The frame a window manager is expected to put around `window`: a title
// bar in the style's height (at least 1.6 lines of the window's font) and
// thin borders.
QMargins ExpectedWindowFrame(const QWidget& window);

// The client geometry for a window that wants `wanted`, inside `area` with
// `frame` around it, centred: each side no larger than the room there is.
QRect ClientGeometryWithin(QSize wanted, const QRect& area, const QMargins& frame);

// Applies ClientGeometryWithin on the window's screen (the primary screen
// before it is shown): resizes and moves it, and lowers its minimum size
// where that does not fit either.
void PlaceWithinScreen(QWidget& window, QSize wanted);

// Grows (or shrinks) a window that is already open to `wanted`, as far as
// its screen's available area allows, and moves it back inside that area
// where the new size would pass its right or bottom edge. The frame is the
// one the window manager drew when it is known.
void GrowWithinScreen(QWidget& window, QSize wanted);

}  // namespace ui
