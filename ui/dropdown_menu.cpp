#include "ui/dropdown_menu.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QMenu>
#include <QPointer>

namespace ui {

namespace {

struct Remembered {
  quint32 tick = 0;
  QPointer<QAbstractButton> button;
  QPointer<QMenu> menu;
};

Remembered& Memory() {
  static Remembered memory;
  return memory;
}

quint32 TickCount() {
  static QElapsedTimer clock = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return static_cast<quint32>(clock.elapsed());
}

}  // namespace

void ShowDropDownMenu(QAbstractButton* button, QMenu* menu) {
  if (!button || !menu) return;
  Remembered& memory = Memory();
  if (memory.button == button && memory.menu == menu && static_cast<quint32>(TickCount() - memory.tick) < 100u) {
    memory = Remembered{};
    return;
  }
  menu->exec(button->mapToGlobal(QPoint(0, button->height())));
  memory.tick = TickCount();
  memory.button = button;
  memory.menu = menu;
}

namespace testing {
void ForgetDropDownMenu() { Memory() = Remembered{}; }
quint32 DropDownTickCount() { return TickCount(); }
}  // namespace testing

}  // namespace ui
