#include "ui/new_ver.h"

#include "i18n/language.h"
#include "ui/dialog_pictures.h"
#include "ui/maker_pages.h"

#include <QApplication>
#include <QCursor>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace ui {

namespace {

QRect CentreOf(const QRect& rect) { return QRect(rect.center(), QSize(1, 1)); }

}  // namespace

TNewVer::TNewVer(const QString& productName, const QString& latestVersion, const QString& downloadAddress,
                 QWidget* focusOwner)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      downloadAddress_(downloadAddress),
      focusOwner_(focusOwner != nullptr ? focusOwner : QApplication::activeWindow()) {
  setObjectName(QStringLiteral("TNewVer"));
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::NoFocus);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(1);
  Panel1->setAutoFillBackground(true);

  Image1 = new QLabel(Panel1);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setFixedSize(60, 60);
  Image1->setAlignment(Qt::AlignCenter);

  Label1 = new QLabel(Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);

  Label2 = new QLabel(Panel1);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label2->setWordWrap(true);
  Label2->setCursor(Qt::PointingHandCursor);
  QFont underlined = Label2->font();
  underlined.setUnderline(true);
  Label2->setFont(underlined);

  Panel3 = new QFrame(Panel1);
  Panel3->setObjectName(QStringLiteral("Panel3"));
  Panel3->setFixedWidth(22);
  Button1 = new QToolButton(Panel3);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setFixedSize(22, 22);
  Button1->setAutoRaise(true);
  Button1->setFocusPolicy(Qt::NoFocus);
  const QPixmap closePicture = DialogPicture(QStringLiteral("close"));
  if (closePicture.isNull()) {
    Button1->setText(QStringLiteral("\u00D7"));
  } else {
    Button1->setIcon(QIcon(closePicture));
  }
  auto* strip = new QVBoxLayout(Panel3);
  strip->setContentsMargins(0, 0, 0, 0);
  strip->addWidget(Button1);
  strip->addStretch(1);

  auto* texts = new QVBoxLayout;
  texts->setContentsMargins(0, 4, 0, 4);
  texts->setSpacing(2);
  texts->addWidget(Label1);
  texts->addWidget(Label2, 1);

  auto* row = new QHBoxLayout(Panel1);
  row->setContentsMargins(3, 3, 3, 3);
  row->setSpacing(4);
  row->addWidget(Image1);
  row->addLayout(texts, 1);
  row->addWidget(Panel3);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(Panel1);
  // The window grows from and shrinks to a point: the layout must not hold
  // it at its minimum size.
  outer->setSizeConstraint(QLayout::SetNoConstraint);
  setMinimumSize(0, 0);

  // Dragging starts on the window, its frame, icon, title and button strip;
  // the link text and the close button keep their clicks.
  for (QWidget* handle : {static_cast<QWidget*>(Panel1), static_cast<QWidget*>(Image1),
                          static_cast<QWidget*>(Label1), static_cast<QWidget*>(Panel3)}) {
    handle->installEventFilter(this);
  }
  Label2->installEventFilter(this);
  connect(Button1, &QToolButton::clicked, this, [this] { Button1Click(); });

  animation_ = new QPropertyAnimation(this, "geometry", this);
  animation_->setDuration(kAnimationMs);

  FormCreate(productName, latestVersion);

  TimerStart = new QTimer(this);
  TimerStart->setInterval(1);
  connect(TimerStart, &QTimer::timeout, this, [this] { TimerStartTimer(); });
  TimerClose = new QTimer(this);
  TimerClose->setInterval(1000);
  connect(TimerClose, &QTimer::timeout, this, [this] { TimerCloseTimer(); });
  TimerLink = new QTimer(this);
  TimerLink->setInterval(100);
  connect(TimerLink, &QTimer::timeout, this, [this] { TimerLinkTimer(); });
  TimerStart->start();
  TimerClose->start();
  TimerLink->start();
}

QRect TNewVer::PlaceOn(const QRect& screenGeometry) {
  return QRect(screenGeometry.right() + 1 - kScreenMargin - kClientWidth, screenGeometry.top() + kScreenMargin,
               kClientWidth, kClientHeight);
}

void TNewVer::FormCreate(const QString& productName, const QString& latestVersion) {
  Image1->setPixmap(ProgramIcon().pixmap(QSize(48, 48)));
  QScreen* screen = QGuiApplication::primaryScreen();
  home_ = PlaceOn(screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768));
  setGeometry(home_);
  Label1->setText(i18n::Translate(QStringLiteral("UPDATE AVAILABLE")));
  Label2->setText(i18n::Translate(QStringLiteral("Click to download")) + u' ' + productName + u' ' + latestVersion);
}

void TNewVer::TimerStartTimer() {
  TimerStart->stop();
  animation_->stop();
  animation_->setStartValue(CentreOf(home_));
  animation_->setEndValue(home_);
  setGeometry(CentreOf(home_));
  show();
  animation_->start();
}

bool TNewVer::event(QEvent* event) {
  // Should the window system hand the focus to the notice anyway, give it
  // back to the window that had it (a failure to do so is ignored).
  if (event->type() == QEvent::WindowActivate && focusOwner_ != nullptr) {
    QPointer<QWidget> owner = focusOwner_;
    QTimer::singleShot(0, this, [owner] {
      if (owner != nullptr && owner->isVisible()) owner->activateWindow();
    });
  }
  return QWidget::event(event);
}

void TNewVer::TimerCloseTimer() {
  if (secondsLeft_ > 0) --secondsLeft_;
  if (secondsLeft_ == 0) {
    TimerClose->stop();
    ShrinkAndClose();
  }
}

void TNewVer::ShrinkAndClose() {
  if (closing_) return;
  closing_ = true;
  TimerLink->stop();
  animation_->stop();
  animation_->setStartValue(geometry());
  animation_->setEndValue(CentreOf(geometry()));
  connect(animation_, &QPropertyAnimation::finished, this, &QWidget::close);
  animation_->start();
}

void TNewVer::TimerLinkTimer() {
  const bool hovered = Label2->isVisible() && Label2->rect().contains(Label2->mapFromGlobal(QCursor::pos()));
  QPalette palette = Label2->palette();
  // Qt has no hot-track colour of its own; links are what it draws alike.
  const QColor wanted = hovered ? QApplication::palette().color(QPalette::Link)
                                : QApplication::palette().color(QPalette::WindowText);
  if (palette.color(QPalette::WindowText) != wanted) {
    palette.setColor(QPalette::WindowText, wanted);
    Label2->setPalette(palette);
  }
}

void TNewVer::Label2Click() {
  OpenAddress(this, downloadAddress_.isEmpty() ? HomePageAddress() : downloadAddress_);
  close();
}

void TNewVer::Button1Click() { close(); }

bool TNewVer::DragPress(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) return false;
  dragging_ = true;
  dragFrom_ = event->globalPosition().toPoint();
  return true;
}

bool TNewVer::DragMove(QMouseEvent* event) {
  if (!dragging_) return false;
  const QPoint now = event->globalPosition().toPoint();
  move(pos() + (now - dragFrom_));
  dragFrom_ = now;
  return true;
}

bool TNewVer::DragRelease() {
  const bool was = dragging_;
  dragging_ = false;
  return was;
}

bool TNewVer::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label2) {
    // The link keeps its press: no drag starts on it.
    if (event->type() == QEvent::MouseButtonPress) return true;
    if (event->type() == QEvent::MouseButtonRelease) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton && Label2->rect().contains(mouse->position().toPoint())) {
        Label2Click();
        return true;
      }
    }
    return QWidget::eventFilter(watched, event);
  }
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      if (DragPress(static_cast<QMouseEvent*>(event))) return true;
      break;
    case QEvent::MouseMove:
      if (DragMove(static_cast<QMouseEvent*>(event))) return true;
      break;
    case QEvent::MouseButtonRelease:
      if (DragRelease()) return true;
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void TNewVer::mousePressEvent(QMouseEvent* event) {
  if (!DragPress(event)) QWidget::mousePressEvent(event);
}

void TNewVer::mouseMoveEvent(QMouseEvent* event) {
  if (!DragMove(event)) QWidget::mouseMoveEvent(event);
}

void TNewVer::mouseReleaseEvent(QMouseEvent* event) {
  if (!DragRelease()) QWidget::mouseReleaseEvent(event);
}

}  // namespace ui
