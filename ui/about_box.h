#pragma once
// The about box: the product's name, version and icon over an animation of
// falling characters, the maker's logo, an Info menu with the maker's pages
// and the licence, a link to the maker's home page, and a hidden picture
// that the main panel uncovers by sliding away on a double click on the icon.
//
// Shown modally, a new box each time. The animation draws into the box's own
// image every 50 ms; the panel slides 5 pixels every 5 ms.

#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QString>

#include "ui/falling_chars.h"

class QFrame;
class QLabel;
class QMenu;
class QAction;
class QPushButton;
class QTimer;

namespace ui {

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 446;
  static constexpr int kClientHeight = 374;

  // programFolder: the program's folder, whose shipped files hold
  // license.txt (i18n::ShippedFilesFolder); empty: the running program's folder.
  explicit TAboutBox(QWidget* parent = nullptr, const QString& programFolder = QString());

  const TFallingChars& Animation() const { return animation_; }
  bool Sliding() const;
  bool Dragging() const { return dragging_; }

  void BitBtn2Click();
  void Credits1Click();
  void Howtouninstall1Click();
  void LicensePrivacyPolicy1Click();
  void Label5Click();
  void tmTimerTimer();
  void Image1DblClick();
  void ImageEggDblClick();
  void TimerEggTimer();
  // Renders the logo and the hidden picture for the screen's pixel ratio.
  void HighDPIImageYukle();

  // Closing (OK, Esc, the close box) stops both timers.
  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void FormCreate();
  bool DragPress(QMouseEvent* event);
  bool DragMove(QMouseEvent* event);
  bool DragRelease();

  QString programFolder_;
  TFallingChars animation_;
  QImage outCanvas_;
  bool dragging_ = false;
  QPoint dragFrom_;  // dx, dy: the last pointer position, screen coordinates
  bool screenHooked_ = false;

  QFrame* Panel1 = nullptr;
  QLabel* Image2 = nullptr;
  QFrame* Bevel1 = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* BitBtn2 = nullptr;
  QLabel* Label5 = nullptr;
  QFrame* PanelEgg = nullptr;
  QLabel* ImageEgg = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* Credits1 = nullptr;
  QAction* Howtouninstall1 = nullptr;
  QAction* LicensePrivacyPolicy1 = nullptr;
  QTimer* tmTimer = nullptr;
  QTimer* TimerEgg = nullptr;
};

}  // namespace ui
