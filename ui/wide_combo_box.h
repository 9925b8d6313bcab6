#pragma once
// TWideComboBox: a combo box whose open list is as wide as its longest entry
// (never narrower than the box, never wider than the screen, moved left when
// it would leave the screen), so long entries are not cut in the middle.
// The main window's user-agent field (ComboBox1) is one.
#include <QComboBox>

namespace ui {

class TWideComboBox : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;

  void showPopup() override;
  // The width the open list needs to show every entry whole.
  int PopupWidthNeeded() const;
};

}  // namespace ui
