#pragma once
// Message boxes of the program, and a seam through which tests answer them.
//
// CaptionedMessageDialog shows the toolkit's standard modal message box of
// the given kind and buttons, with the given window caption, after giving
// its push buttons the given captions in their order. The order of the
// buttons is the fixed order Yes, No, OK, Cancel, Abort, Retry, Ignore,
// No to All, Yes to All, Help, Close (whichever of them the box has), not
// their place on screen, which differs between desktops. Surplus captions
// are dropped; buttons beyond the list keep their standard captions.
//
// Tests (and the window program's --check-installation, which prints the
// boxes instead): while TMessageBoxSeam is active, no box is shown. Each box is built
// as in the program (captions applied), recorded, and answered with the next
// queued answer, or with the answer Esc would give (Cancel, No, Close,
// Abort or Ignore, or the only button) when none is queued. Main thread only.
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

class QWidget;

namespace ui {

// `note`, when given, stands below the message as the box's informative
// text (what the answer will do), the message itself unchanged.
QMessageBox::StandardButton CaptionedMessageDialog(const QString& message, QMessageBox::Icon kind,
                                                   QMessageBox::StandardButtons buttons, const QString& caption,
                                                   const QStringList& buttonCaptions, QWidget* parent = nullptr,
                                                   const QString& note = QString());

// Whether the user can select (and copy) the box's text.
enum class TMessageText { Fixed, Selectable };

// A box with an OK button: the program's general error display and its
// notices go through here.
void ShowMessageBox(QWidget* parent, QMessageBox::Icon kind, const QString& caption, const QString& message,
                    TMessageText text = TMessageText::Fixed);

// The standard buttons of a box in the order captions are given to them.
QList<QMessageBox::StandardButton> ButtonsInCaptionOrder(QMessageBox::StandardButtons buttons);

struct TShownMessage {
  QMessageBox::Icon kind = QMessageBox::NoIcon;
  QString caption;
  QString text;
  QString note;  // the informative text
  QStringList buttonCaptions;  // in caption order
  QMessageBox::StandardButton answer = QMessageBox::NoButton;
};

class TMessageBoxSeam {
 public:
  static void Activate();
  static void Deactivate();  // also forgets queued answers and records
  static bool Active();
  static void QueueAnswer(QMessageBox::StandardButton answer);
  static std::vector<TShownMessage> TakeShown();

  // Used by the functions above.
  static QMessageBox::StandardButton Exec(QMessageBox& box);
};

}  // namespace ui
