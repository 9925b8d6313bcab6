#include "ui/wide_combo_box.h"

#include <QAbstractItemView>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>

namespace ui {

int TWideComboBox::PopupWidthNeeded() const {
  const QAbstractItemView* list = view();
  int widest = 0;
  for (int row = 0; row < count(); ++row) widest = qMax(widest, list->sizeHintForIndex(model()->index(row, modelColumn())).width());
  const int frame = 2 * list->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, list);
  const int scrollBar = list->verticalScrollBar()->isVisible() || count() > maxVisibleItems()
                            ? list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list)
                            : 0;
  return widest + frame + scrollBar;
}

void TWideComboBox::showPopup() {
  QComboBox::showPopup();
  QWidget* popup = view()->window();
  if (popup == window()) return;
  const QRect screen = popup->screen() ? popup->screen()->availableGeometry() : QRect();
  // The list's own room inside the popup (its frame and margins) comes on top.
  const int chrome = popup->width() - view()->width();
  int width = qMax(popup->width(), PopupWidthNeeded() + chrome);
  QRect area = popup->geometry();
  if (screen.isValid()) {
    width = qMin(width, screen.width());
    area.setWidth(width);
    if (area.right() > screen.right()) area.moveRight(screen.right());
    if (area.left() < screen.left()) area.moveLeft(screen.left());
  } else {
    area.setWidth(width);
  }
  popup->setGeometry(area);
}

}  // namespace ui
