#include "ui/message_dialog.h"

#include <QAbstractButton>
#include <QPushButton>

namespace ui {

namespace {

struct SeamState {
  bool active = false;
  std::deque<QMessageBox::StandardButton> answers;
  std::vector<TShownMessage> shown;
};

SeamState& Seam() {
  static SeamState state;
  return state;
}

}  // namespace

QList<QMessageBox::StandardButton> ButtonsInCaptionOrder(QMessageBox::StandardButtons buttons) {
  static const QMessageBox::StandardButton order[] = {
      QMessageBox::Yes,     QMessageBox::No,       QMessageBox::Ok,        QMessageBox::Cancel,
      QMessageBox::Abort,   QMessageBox::Retry,    QMessageBox::Ignore,    QMessageBox::NoToAll,
      QMessageBox::YesToAll, QMessageBox::Help,    QMessageBox::Close};
  QList<QMessageBox::StandardButton> result;
  for (QMessageBox::StandardButton button : order)
    if (buttons.testFlag(button)) result << button;
  return result;
}

QMessageBox::StandardButton CaptionedMessageDialog(const QString& message, QMessageBox::Icon kind,
                                                   QMessageBox::StandardButtons buttons, const QString& caption,
                                                   const QStringList& buttonCaptions, QWidget* parent,
                                                   const QString& note) {
  QMessageBox box(kind, caption, message, buttons, parent);
  if (!note.isEmpty()) box.setInformativeText(note);
  const QList<QMessageBox::StandardButton> ordered = ButtonsInCaptionOrder(buttons);
  for (qsizetype i = 0; i < ordered.size() && i < buttonCaptions.size(); ++i)
    if (QAbstractButton* button = box.button(ordered[i])) button->setText(buttonCaptions[i]);
  return TMessageBoxSeam::Exec(box);
}

void ShowMessageBox(QWidget* parent, QMessageBox::Icon kind, const QString& caption, const QString& message,
                    TMessageText text) {
  QMessageBox box(kind, caption, message, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  if (text == TMessageText::Selectable)
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  TMessageBoxSeam::Exec(box);
}

void TMessageBoxSeam::Activate() { Seam().active = true; }

void TMessageBoxSeam::Deactivate() { Seam() = SeamState{}; }

bool TMessageBoxSeam::Active() { return Seam().active; }

void TMessageBoxSeam::QueueAnswer(QMessageBox::StandardButton answer) { Seam().answers.push_back(answer); }

std::vector<TShownMessage> TMessageBoxSeam::TakeShown() { return std::exchange(Seam().shown, {}); }

QMessageBox::StandardButton TMessageBoxSeam::Exec(QMessageBox& box) {
  SeamState& seam = Seam();
  if (!seam.active) return static_cast<QMessageBox::StandardButton>(box.exec());

  TShownMessage shown;
  shown.kind = box.icon();
  shown.caption = box.windowTitle();
  shown.text = box.text();
  shown.note = box.informativeText();
  const QList<QMessageBox::StandardButton> ordered = ButtonsInCaptionOrder(box.standardButtons());
  for (QMessageBox::StandardButton button : ordered) shown.buttonCaptions << box.button(button)->text();
  if (!seam.answers.empty()) {
    shown.answer = seam.answers.front();
    seam.answers.pop_front();
  } else {
    // What Esc would answer: the box's "reject" button, or its only button.
    shown.answer = ordered.size() == 1 ? ordered.front() : QMessageBox::NoButton;
    for (QMessageBox::StandardButton button :
         {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Close, QMessageBox::Abort, QMessageBox::Ignore}) {
      if (ordered.contains(button)) {
        shown.answer = button;
        break;
      }
    }
  }
  seam.shown.push_back(shown);
  return shown.answer;
}

}  // namespace ui
