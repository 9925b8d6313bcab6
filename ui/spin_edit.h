#pragma once
// A whole-number field with arrows (SpinEdit1 of the multi-threading dialog).
//
// The arrows step the value by one within the range. Typed text stays as
// typed, even outside the range, until the field loses the focus (or
// Commit() is called); then a number outside the range becomes the nearer
// bound and text that is not a whole number becomes the minimum.
#include <QSpinBox>

namespace ui {

class TSpinEdit : public QSpinBox {
  Q_OBJECT
 public:
  explicit TSpinEdit(QWidget* parent = nullptr);

  // Settles typed text into the value, as leaving the field does.
  void Commit();

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;
  int valueFromText(const QString& text) const override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  int Settled(const QString& text) const;
};

}  // namespace ui
