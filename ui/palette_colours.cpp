#include "ui/palette_colours.h"

namespace ui {

bool IsDarkPalette(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

QColor ProblemTextColour(const QPalette& palette) {
  return IsDarkPalette(palette) ? QColor(0xff, 0x80, 0x80) : QColor(0xc0, 0x00, 0x00);
}

QColor LinkTextColour(const QPalette& palette) {
  return IsDarkPalette(palette) ? QColor(0x8a, 0xb4, 0xf8) : QColor(Qt::blue);
}

}  // namespace ui
