#pragma once
// Drop-down button menus (the Export button, the about box's Info button).
//
// A click on such a button opens its menu, modally, with the menu's top-left
// corner at the button's bottom-left corner. When the menu closes, the
// millisecond tick, the button and the menu are remembered - one memory for
// all such buttons. A click on the same button with the same menu less than
// 100 ms after that tick (unsigned 32-bit difference) does not reopen the
// menu and only forgets what was remembered. The click that closes an open
// menu by landing on its own button reaches the button right after the menu
// closed, so the menu stays closed instead of popping up again.
//
// Main thread only.
#include <QtGlobal>

class QAbstractButton;
class QMenu;

namespace ui {

void ShowDropDownMenu(QAbstractButton* button, QMenu* menu);

namespace testing {
// Forgets the remembered tick, button and menu.
void ForgetDropDownMenu();
// The millisecond tick the rule uses (wraps around like a 32-bit counter).
quint32 DropDownTickCount();
}  // namespace testing

}  // namespace ui
