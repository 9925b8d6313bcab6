#include "ui/screen_fit.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

namespace ui {

QMargins ExpectedWindowFrame(const QWidget& window) {
  const int title = qMax(window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window),
                         window.fontMetrics().height() * 8 / 5);
  const int border = qMax(2, window.fontMetrics().height() / 4);
  return QMargins(border, title + border, border, border);
}

QRect ClientGeometryWithin(QSize wanted, const QRect& area, const QMargins& frame) {
  const QSize room(qMax(1, area.width() - frame.left() - frame.right()),
                   qMax(1, area.height() - frame.top() - frame.bottom()));
  const QSize size = wanted.boundedTo(room);
  const int outerWidth = size.width() + frame.left() + frame.right();
  const int outerHeight = size.height() + frame.top() + frame.bottom();
  const QPoint outer(area.left() + (area.width() - outerWidth) / 2, area.top() + (area.height() - outerHeight) / 2);
  return QRect(outer + QPoint(frame.left(), frame.top()), size);
}

void PlaceWithinScreen(QWidget& window, QSize wanted) {
  QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    window.resize(wanted);
    return;
  }
  const QMargins frame = ExpectedWindowFrame(window);
  const QRect client = ClientGeometryWithin(wanted.expandedTo(window.minimumSize()), screen->availableGeometry(), frame);
  window.setMinimumSize(window.minimumSize().boundedTo(client.size()));
  window.resize(client.size());
  // move() places the frame's top left corner.
  window.move(client.topLeft() - QPoint(frame.left(), frame.top()));
}

void GrowWithinScreen(QWidget& window, QSize wanted) {
  QScreen* screen = window.screen();
  if (screen == nullptr) {
    window.resize(wanted);
    return;
  }
  const QRect area = screen->availableGeometry();
  QMargins frame = ExpectedWindowFrame(window);
  const QRect outer = window.frameGeometry();
  const QRect inner = window.geometry();
  if (window.isVisible() && outer != inner)
    frame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                     outer.bottom() - inner.bottom());
  const QSize room(qMax(1, area.width() - frame.left() - frame.right()),
                   qMax(1, area.height() - frame.top() - frame.bottom()));
  const QSize size = wanted.boundedTo(room).expandedTo(window.minimumSize().boundedTo(room));
  window.resize(size);
  // pos() and move() are the frame's top left corner.
  const int outerWidth = size.width() + frame.left() + frame.right();
  const int outerHeight = size.height() + frame.top() + frame.bottom();
  const QPoint at(qBound(area.left(), window.pos().x(), qMax(area.left(), area.left() + area.width() - outerWidth)),
                  qBound(area.top(), window.pos().y(), qMax(area.top(), area.top() + area.height() - outerHeight)));
  if (at != window.pos()) window.move(at);
}

}  // namespace ui
