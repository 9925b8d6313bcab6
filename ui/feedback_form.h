#pragma once
// The feedback dialog: the user marks whether they like the program, writes
// a message, may add an e-mail address and sends it to the maker's web
// service ("cmd=feedback"). The request runs on the main thread while the
// hourglass shows; a failure keeps everything the user typed.
//
// Shown modally, a new dialog each time; a successful send closes it.

#include <QDialog>
#include <QFrame>
#include <QString>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace ui {

// One of the two rating tiles: a picture and a caption on a panel that is
// either unselected (button face, raised) or selected (highlight, lowered).
// A click anywhere on it emits clicked().
class TFeedbackTile : public QFrame {
  Q_OBJECT

 public:
  TFeedbackTile(const QPixmap& picture, QWidget* parent = nullptr);

  void SetCaption(const QString& caption);
  QString Caption() const;
  // Selected and unselected are told apart by the background colour.
  bool IsSelected() const;
  void SetSelected(bool selected);

 Q_SIGNALS:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QLabel* picture_ = nullptr;
  QLabel* caption_ = nullptr;
};

class TFeedbackForm : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMessageMaxLength = 10000;
  static constexpr int kEmailMaxLength = 100;

  explicit TFeedbackForm(QWidget* parent = nullptr);

  void Image1Click();  // the like tile
  void Image2Click();  // the dislike tile
  void BitBtn1Click();

 private:
  void FormCreate();
  void LimitMessage(int position, int added);

  TFeedbackTile* Panel4 = nullptr;
  TFeedbackTile* Panel5 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QLabel* Label3 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* BitBtn1 = nullptr;
};

}  // namespace ui
