#include "ui/caption_fit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QWidget>

namespace ui {

int CaptionWidthNeeded(const QWidget& window) {
  QFont font = QApplication::font();
  font.setBold(true);
  const QFontMetrics metrics(font);
  return metrics.horizontalAdvance(window.windowTitle()) + 6 * metrics.height();
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
