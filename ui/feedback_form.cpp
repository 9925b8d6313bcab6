#include "ui/feedback_form.h"
#include "ui/caption_fit.h"

#include "i18n/language.h"
#include "services/feedback.h"
#include "services/identity.h"
#include "services/service_request.h"
#include "ui/dialog_pictures.h"
#include "ui/message_dialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>


namespace ui {

TFeedbackTile::TFeedbackTile(const QPixmap& picture, QWidget* parent) : QFrame(parent) {
  setCursor(Qt::PointingHandCursor);
  setAutoFillBackground(true);
  setLineWidth(2);
  setMinimumHeight(48);
  picture_ = new QLabel(this);
  picture_->setFixedSize(32, 32);
  picture_->setPixmap(picture);
  caption_ = new QLabel(this);
  QFont font = caption_->font();
  font.setPointSizeF(font.pointSizeF() * 1.3);
  font.setBold(true);
  caption_->setFont(font);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(10, 6, 10, 6);
  row->addWidget(picture_);
  row->addWidget(caption_, 1);
  SetSelected(false);
}

void TFeedbackTile::SetCaption(const QString& caption) { caption_->setText(caption); }

QString TFeedbackTile::Caption() const { return caption_->text(); }

bool TFeedbackTile::IsSelected() const {
  return palette().color(QPalette::Window) == QApplication::palette().color(QPalette::Highlight);
}

void TFeedbackTile::SetSelected(bool selected) {
  const QPalette system = QApplication::palette();
  QPalette look = palette();
  look.setColor(QPalette::Window, system.color(selected ? QPalette::Highlight : QPalette::Button));
  look.setColor(QPalette::WindowText, system.color(selected ? QPalette::HighlightedText : QPalette::WindowText));
  setPalette(look);
  setFrameStyle(QFrame::Panel | (selected ? QFrame::Sunken : QFrame::Raised));
}

void TFeedbackTile::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    Q_EMIT clicked();
    return;
  }
  QFrame::mouseReleaseEvent(event);
}

TFeedbackForm::TFeedbackForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TFeedbackForm"));
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

  Panel4 = new TFeedbackTile(FacePicture(true), this);
  Panel4->setObjectName(QStringLiteral("Panel4"));
  Panel5 = new TFeedbackTile(FacePicture(false), this);
  Panel5->setObjectName(QStringLiteral("Panel5"));
  Label1 = new QLabel(this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label2 = new QLabel(this);
  Label2->setObjectName(QStringLiteral("Label2"));
  QFont bold = Label2->font();
  bold.setBold(true);
  Label2->setFont(bold);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setTabChangesFocus(true);
  Label3 = new QLabel(this);
  Label3->setObjectName(QStringLiteral("Label3"));
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setMaxLength(kEmailMaxLength);
  BitBtn1 = new QPushButton(this);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn1->setIcon(QIcon(DialogPicture(QStringLiteral("feedback"))));
  BitBtn1->setAutoDefault(false);

  auto* tiles = new QHBoxLayout;
  tiles->addWidget(Panel4);
  tiles->addWidget(Panel5);
  auto* email = new QHBoxLayout;
  email->addWidget(Label3);
  email->addWidget(Edit1, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(BitBtn1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(tiles);
  layout->addSpacing(6);
  layout->addWidget(Label1);
  layout->addWidget(Label2);
  layout->addWidget(Memo1, 1);
  layout->addLayout(email);
  layout->addLayout(bottom);
  resize(440, 360);

  connect(Panel4, &TFeedbackTile::clicked, this, [this] { Image1Click(); });
  connect(Panel5, &TFeedbackTile::clicked, this, [this] { Image2Click(); });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
  connect(Memo1->document(), &QTextDocument::contentsChange, this,
          [this](int position, int, int added) { LimitMessage(position, added); });

  FormCreate();
}

void TFeedbackForm::FormCreate() {
  setWindowTitle(services::Identity().ProductName + u' ' + i18n::Translate(QStringLiteral("feedback")));
  FitCaption(*this);
  Label1->setText(i18n::Translate(QStringLiteral("We would really appreciate your feedback.")));
  Label2->setText(i18n::Translate(QStringLiteral("What did you like or dislike?")));
  Label3->setText(i18n::Translate(QStringLiteral("Include my e-mail:")));
  BitBtn1->setText(i18n::Translate(QStringLiteral("Send")));
  Panel4->SetCaption(i18n::Translate(QStringLiteral("I like it!")));
  Panel5->SetCaption(i18n::Translate(QStringLiteral("I dislike it!")));
}

void TFeedbackForm::LimitMessage(int position, int added) {
  const int length = Memo1->document()->characterCount() - 1;  // without the final paragraph mark
  const int excess = length - kMessageMaxLength;
  if (excess <= 0 || added <= 0) return;
  // Drop what did not fit from the end of what was just typed or pasted.
  const int cut = qMin(excess, added);
  QTextCursor cursor(Memo1->document());
  cursor.setPosition(position + added - cut);
  cursor.setPosition(position + added, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
}

void TFeedbackForm::Image1Click() {
  if (!Panel4->IsSelected()) Panel4->SetSelected(true);
  if (Panel5->IsSelected()) Panel5->SetSelected(false);
}

void TFeedbackForm::Image2Click() {
  if (!Panel5->IsSelected()) Panel5->SetSelected(true);
  if (Panel4->IsSelected()) Panel4->SetSelected(false);
}

void TFeedbackForm::BitBtn1Click() {
  const QString message = services::FeedbackMessage(Memo1->toPlainText());
  const services::TFeedbackMood mood = Panel4->IsSelected()   ? services::TFeedbackMood::Like
                                       : Panel5->IsSelected() ? services::TFeedbackMood::Dislike
                                                              : services::TFeedbackMood::None;
  if (message.isEmpty()) {
    // A selected tile alone is never sent.
    Memo1->setFocus();
    QApplication::beep();
    return;
  }
  const QString address = services::TrimBlanksAndControls(Edit1->text());
  if (!address.isEmpty() && !services::IsValidEmail(address)) {
    Edit1->setFocus();
    ShowMessageBox(this, QMessageBox::Critical, i18n::Translate(QStringLiteral("Failure")),
                   i18n::Translate(QStringLiteral("Invalid e-mail address!")));
    return;
  }
  const services::TIdentity& identity = services::Identity();
  const QStringList fields = services::FeedbackFields(
      identity.AppName, identity.AppVersion,
      services::FeedbackText(mood, Panel4->Caption(), Panel5->Caption(), message), address);

  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool delivered = services::SendFeedback(fields);
  QApplication::restoreOverrideCursor();

  if (delivered) {
    ShowMessageBox(this, QMessageBox::Information, i18n::Translate(QStringLiteral("Success")),
                   i18n::Translate(QStringLiteral("Your feedback is received.")) + QStringLiteral("\n\n") +
                       i18n::Translate(QStringLiteral("Thank you!")));
    accept();
  } else {
    // The dialog stays open with everything the user typed.
    ShowMessageBox(this, QMessageBox::Critical, i18n::Translate(QStringLiteral("Failure")),
                   i18n::Translate(QStringLiteral("Something went wrong. Your feedback could not be delivered.")) +
                       QStringLiteral("\n\n") + i18n::Translate(QStringLiteral("Please try again later.")));
  }
}

}  // namespace ui
