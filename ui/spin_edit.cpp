#include "ui/spin_edit.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <QRegularExpression>

namespace ui {

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent) {
  setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  setKeyboardTracking(false);
}

int TSpinEdit::Settled(const QString& text) const {
  const QString trimmed = text.trimmed();
  bool ok = false;
  const qlonglong number = trimmed.toLongLong(&ok);
  if (!ok) {
    // A run of digits too long for any number still lies beyond a bound.
    static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
    if (digits.match(trimmed).hasMatch()) return trimmed.startsWith(u'-') ? minimum() : maximum();
    return minimum();
  }
  return static_cast<int>(qBound(qlonglong(minimum()), number, qlonglong(maximum())));
}

QValidator::State TSpinEdit::validate(QString& input, int& pos) const {
  Q_UNUSED(pos);
  const QString text = input.trimmed();
  if (text.isEmpty() || text == QLatin1String("-") || text == QLatin1String("+")) return QValidator::Intermediate;
  bool ok = false;
  const qlonglong number = text.toLongLong(&ok);
  if (!ok) {
    // Digits only (with a sign in front); anything else is refused as typed.
    for (qsizetype i = 0; i < text.size(); ++i) {
      const QChar c = text.at(i);
      if (!(c.isDigit() || (i == 0 && (c == u'-' || c == u'+')))) return QValidator::Invalid;
    }
    return QValidator::Intermediate;  // too long for a number: settles to a bound
  }
  return (number >= minimum() && number <= maximum()) ? QValidator::Acceptable : QValidator::Intermediate;
}

void TSpinEdit::fixup(QString& input) const { input = QString::number(Settled(input)); }

int TSpinEdit::valueFromText(const QString& text) const { return Settled(text); }

void TSpinEdit::Commit() {
  QString text = lineEdit()->text();
  const int settled = Settled(text);
  setValue(settled);
  lineEdit()->setText(QString::number(settled));
}

void TSpinEdit::focusOutEvent(QFocusEvent* e) {
  Commit();
  QSpinBox::focusOutEvent(e);
}

}  // namespace ui
