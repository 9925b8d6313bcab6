#pragma once
// The update notice: a small borderless window that opens in the top right
// corner of the screen when the update check found another version, offers
// the download for about eleven seconds and then closes itself.
//
// It never takes the keyboard focus. Create it with `new` (it deletes itself
// when it closes); it shows itself one timer tick after creation, growing
// from its centre over 100 ms. The user can click its text (opens the
// download address, or the maker's home page when there is none), close it,
// or drag it by its frame, icon, title or button strip.

#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

class QFrame;
class QLabel;
class QTimer;
class QToolButton;
class QPropertyAnimation;

namespace ui {

class TNewVer : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 320;
  static constexpr int kClientHeight = 68;
  static constexpr int kScreenMargin = 5;
  static constexpr int kCountdownSeconds = 11;
  static constexpr int kAnimationMs = 100;

  // productName and latestVersion make the link text; downloadAddress is
  // what a click on it opens. focusOwner (the main window; empty: the window
  // active at creation) gets the focus back should the system hand it to the
  // notice.
  TNewVer(const QString& productName, const QString& latestVersion, const QString& downloadAddress,
          QWidget* focusOwner = nullptr);

  // Where the notice sits on a screen with the given geometry.
  static QRect PlaceOn(const QRect& screenGeometry);

  // Seconds left before the notice closes itself.
  int SecondsLeft() const { return secondsLeft_; }

  void TimerStartTimer();
  void TimerCloseTimer();
  void TimerLinkTimer();
  void Label2Click();
  void Button1Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void FormCreate(const QString& productName, const QString& latestVersion);
  bool DragPress(QMouseEvent* event);
  bool DragMove(QMouseEvent* event);
  bool DragRelease();
  void ShrinkAndClose();

  QString downloadAddress_;
  QPointer<QWidget> focusOwner_;
  QRect home_;
  int secondsLeft_ = kCountdownSeconds;
  bool dragging_ = false;
  bool closing_ = false;
  QPoint dragFrom_;

  QFrame* Panel1 = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QFrame* Panel3 = nullptr;
  QToolButton* Button1 = nullptr;
  QTimer* TimerStart = nullptr;
  QTimer* TimerClose = nullptr;
  QTimer* TimerLink = nullptr;
  QPropertyAnimation* animation_ = nullptr;
};

}  // namespace ui
