#include "ui/caption_fit.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QWidget>

namespace ui {

int CaptionWidthNeeded(const QWidget& window) {
  // The window manager cannot be asked for its title font or its buttons.
  // Room is kept for a bold title font an eighth wider than the interface's
  // (or the desktop's title font, when larger) and for five title-bar
  // elements with their padding: the window's icon and up to four buttons
  // (a fixed-size dialog still gets minimise and maximise from some window
  // managers).
  QFont font = QApplication::font();
  const QFont title = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  if (title.pointSizeF() > font.pointSizeF()) font = title;
  font.setBold(true);
  const QFontMetrics metrics(font);
  return metrics.horizontalAdvance(window.windowTitle()) * 9 / 8 + 8 * metrics.height();
}

void FitCaption(QWidget& window) {
  const int needed = CaptionWidthNeeded(window);
  if (window.width() >= needed) return;
  const bool fixed = window.minimumSize() == window.maximumSize();
  if (fixed)
    window.setFixedSize(needed, window.height());
  else
    window.resize(needed, window.height());
}

}  // namespace ui
