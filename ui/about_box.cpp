#include "ui/about_box.h"
#include "ui/caption_fit.h"

#include "i18n/language.h"
#include "i18n/program_layout.h"
#include "services/identity.h"
#include "ui/dialog_pictures.h"
#include "ui/dropdown_menu.h"
#include "ui/maker_pages.h"
#include "ui/message_dialog.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace ui {

namespace {

constexpr int kPanelWidth = 350;
constexpr int kPanelHeight = 291;
constexpr int kEggPanelWidth = 324;
constexpr int kEggPanelHeight = 220;
constexpr QSize kLogoSize(344, 105);
constexpr QSize kEggSize(320, 214);
constexpr int kSlideStep = 5;

QFont TahomaPixels(int pixels) {
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(pixels);
  return font;
}

void MakeBlack(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, Qt::black);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

void SetTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  palette.setColor(QPalette::ButtonText, colour);
  widget->setPalette(palette);
}

QPushButton* MakeButton(QWidget* parent, const char* name) {
  auto* button = new QPushButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setFixedSize(122, 33);
  button->setFont(TahomaPixels(16));
  QPalette palette = button->palette();
  palette.setColor(QPalette::Button, QColor(40, 40, 40));
  palette.setColor(QPalette::ButtonText, Qt::white);
  button->setPalette(palette);
  return button;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent, const QString& programFolder)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      programFolder_(i18n::ProgramFolder(programFolder)) {
  setObjectName(QStringLiteral("TAboutBox"));
  setFixedSize(kClientWidth, kClientHeight);
  MakeBlack(this);
  // The box paints every pixel itself (the animation's image).
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFont(TahomaPixels(12));

  // The hidden panel first, so that the main panel lies above it.
  PanelEgg = new QFrame(this);
  PanelEgg->setObjectName(QStringLiteral("PanelEgg"));
  PanelEgg->setFixedSize(kEggPanelWidth, kEggPanelHeight);
  PanelEgg->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  MakeBlack(PanelEgg);
  PanelEgg->hide();
  ImageEgg = new QLabel(PanelEgg);
  ImageEgg->setObjectName(QStringLiteral("ImageEgg"));
  ImageEgg->setGeometry((kEggPanelWidth - kEggSize.width()) / 2, (kEggPanelHeight - kEggSize.height()) / 2,
                        kEggSize.width(), kEggSize.height());
  ImageEgg->setScaledContents(true);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setGeometry((kClientWidth - kPanelWidth) / 2, (kClientHeight - kPanelHeight) / 2, kPanelWidth,
                      kPanelHeight);
  MakeBlack(Panel1);

  Image2 = new QLabel(Panel1);
  Image2->setObjectName(QStringLiteral("Image2"));
  Image2->setGeometry(3, 3, kLogoSize.width(), kLogoSize.height());
  Image2->setScaledContents(true);

  Bevel1 = new QFrame(Panel1);
  Bevel1->setObjectName(QStringLiteral("Bevel1"));
  Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Bevel1->setGeometry(40, 124, 34, 34);
  Image1 = new QLabel(Panel1);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setGeometry(41, 125, 32, 32);
  Image1->setAlignment(Qt::AlignCenter);

  Label2 = new QLabel(Panel1);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setGeometry(86, 118, 230, 46);
  Label2->setFont(TahomaPixels(16));
  Label2->setWordWrap(true);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  SetTextColour(Label2, Qt::white);

  BitBtn1 = MakeButton(Panel1, "BitBtn1");
  BitBtn1->move(40, 182);
  BitBtn1->setDefault(true);
  BitBtn2 = MakeButton(Panel1, "BitBtn2");
  BitBtn2->move(kPanelWidth - 40 - 122, 182);
  // The arrow goes on the right side of the caption.
  BitBtn2->setLayoutDirection(Qt::RightToLeft);
  BitBtn2->setIcon(QIcon(DialogPicture(QStringLiteral("arrow_down"))));

  Label5 = new QLabel(Panel1);
  Label5->setObjectName(QStringLiteral("Label5"));
  Label5->setGeometry(0, 248, kPanelWidth, 24);
  Label5->setAlignment(Qt::AlignCenter);
  QFont link = TahomaPixels(13);
  link.setUnderline(true);
  Label5->setFont(link);
  SetTextColour(Label5, QColor(0, 255, 0));
  Label5->setCursor(Qt::PointingHandCursor);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  Credits1 = PopupMenu1->addAction(QString());
  Credits1->setObjectName(QStringLiteral("Credits1"));
  Howtouninstall1 = PopupMenu1->addAction(QString());
  Howtouninstall1->setObjectName(QStringLiteral("Howtouninstall1"));
  LicensePrivacyPolicy1 = PopupMenu1->addAction(QString());
  LicensePrivacyPolicy1->setObjectName(QStringLiteral("LicensePrivacyPolicy1"));

  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
  connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
  connect(Credits1, &QAction::triggered, this, [this] { Credits1Click(); });
  connect(Howtouninstall1, &QAction::triggered, this, [this] { Howtouninstall1Click(); });
  connect(LicensePrivacyPolicy1, &QAction::triggered, this, [this] { LicensePrivacyPolicy1Click(); });

  // Drags start on the box, its panels, icon, logo, label and hidden
  // picture; never on the buttons or the link.
  for (QWidget* handle : {static_cast<QWidget*>(Panel1), static_cast<QWidget*>(Image1),
                          static_cast<QWidget*>(Image2), static_cast<QWidget*>(Label2),
                          static_cast<QWidget*>(Bevel1), static_cast<QWidget*>(PanelEgg),
                          static_cast<QWidget*>(ImageEgg)}) {
    handle->installEventFilter(this);
  }
  Label5->installEventFilter(this);

  tmTimer = new QTimer(this);
  connect(tmTimer, &QTimer::timeout, this, [this] { tmTimerTimer(); });
  TimerEgg = new QTimer(this);
  TimerEgg->setInterval(5);
  connect(TimerEgg, &QTimer::timeout, this, [this] { TimerEggTimer(); });

  FormCreate();
}

void TAboutBox::FormCreate() {
  // The animation: the maker's short form falling over the whole box.
  animation_.SetCharacters(QStringLiteral("cvn"));
  animation_.SetFontFamily(QStringLiteral("Tahoma"));
  animation_.Start(width(), height());
  outCanvas_ = QImage(width(), height(), QImage::Format_RGB32);
  outCanvas_.fill(Qt::black);
  tmTimer->start(50);

  const services::TIdentity& identity = services::Identity();
  setWindowTitle(i18n::Translate(QStringLiteral("About %s")).replace(QLatin1String("%s"), identity.ProductName));
  FitCaption(*this);
  Image1->setPixmap(ProgramIcon().pixmap(QSize(32, 32)));
  Label2->setText(identity.ProductName + u' ' + identity.AppVersion);

  BitBtn1->setText(i18n::Translate(QStringLiteral("OK")));
  BitBtn2->setText(i18n::Translate(QStringLiteral("Info")));
  Credits1->setText(i18n::Translate(QStringLiteral("Acknowledgements...")));
  Howtouninstall1->setText(i18n::Translate(QStringLiteral("How to uninstall...")));
  LicensePrivacyPolicy1->setText(i18n::Translate(QStringLiteral("License...")));

  Label5->setText(MakerWebAddressText());
  Label5->setToolTip(HomePageAddress());

  HighDPIImageYukle();
  PanelEgg->move((width() - PanelEgg->width()) / 2, (height() - PanelEgg->height()) / 2);
}

void TAboutBox::HighDPIImageYukle() {
  const qreal ratio = devicePixelRatioF();
  QPixmap logo = MakerLogoPicture(kLogoSize * ratio);
  logo.setDevicePixelRatio(ratio);
  Image2->setPixmap(logo);
  QPixmap egg = HiddenPicture(kEggSize * ratio);
  egg.setDevicePixelRatio(ratio);
  ImageEgg->setPixmap(egg);
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!screenHooked_ && windowHandle() != nullptr) {
    screenHooked_ = true;
    connect(windowHandle(), &QWindow::screenChanged, this, [this] { HighDPIImageYukle(); });
  }
}

void TAboutBox::tmTimerTimer() {
  QPainter painter(&outCanvas_);
  animation_.Tick(painter);
  painter.end();
  update();
}

void TAboutBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, outCanvas_);
  if (outCanvas_.width() < width() || outCanvas_.height() < height()) {
    painter.fillRect(QRect(outCanvas_.width(), 0, width() - outCanvas_.width(), height()), Qt::black);
    painter.fillRect(QRect(0, outCanvas_.height(), width(), height() - outCanvas_.height()), Qt::black);
  }
}

void TAboutBox::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  // A resize clears the picture and starts with fresh drops; the size taken
  // at creation and the tick counter stay.
  if (!outCanvas_.isNull()) {
    QPainter painter(&outCanvas_);
    animation_.Setup(&painter);
  }
}

void TAboutBox::done(int result) {
  tmTimer->stop();
  TimerEgg->stop();
  QDialog::done(result);
}

bool TAboutBox::Sliding() const { return TimerEgg->isActive(); }

void TAboutBox::Image1DblClick() {
  if (TimerEgg->isActive()) return;
  PanelEgg->show();
  TimerEgg->start();
}

void TAboutBox::TimerEggTimer() {
  Panel1->move(Panel1->x() + kSlideStep, Panel1->y());
  if (Panel1->x() > width()) TimerEgg->stop();
}

void TAboutBox::ImageEggDblClick() {
  if (TimerEgg->isActive()) return;
  PanelEgg->hide();
  Panel1->move((width() - Panel1->width()) / 2, Panel1->y());
}

void TAboutBox::BitBtn2Click() { ShowDropDownMenu(BitBtn2, PopupMenu1); }

void TAboutBox::Credits1Click() { OpenAddress(this, AcknowledgementsAddress()); }

void TAboutBox::Howtouninstall1Click() { OpenAddress(this, UninstallAddress()); }

void TAboutBox::Label5Click() { OpenAddress(this, HomePageAddress()); }

void TAboutBox::LicensePrivacyPolicy1Click() {
  const QString path = QDir(i18n::ShippedFilesFolder(programFolder_)).filePath(QStringLiteral("license.txt"));
  if (QFileInfo(path).isFile()) {
    OpenLocalFile(this, path);
  } else {
    ShowMessageBox(this, QMessageBox::Critical, i18n::Translate(QStringLiteral("License")),
                    i18n::Translate(QStringLiteral("File not found!")));
  }
}

bool TAboutBox::DragPress(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) return false;
  dragging_ = true;
  dragFrom_ = event->globalPosition().toPoint();
  return false;  // the press goes on (a double click still reaches its handler)
}

bool TAboutBox::DragMove(QMouseEvent* event) {
  if (!dragging_) return false;
  const QPoint now = event->globalPosition().toPoint();
  move(pos() + (now - dragFrom_));
  dragFrom_ = now;
  return true;
}

bool TAboutBox::DragRelease() {
  const bool was = dragging_;
  dragging_ = false;
  return was;
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label5) {
    // The link keeps its press: no drag starts on it.
    if (event->type() == QEvent::MouseButtonPress) return true;
    if (event->type() == QEvent::MouseButtonRelease) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton && Label5->rect().contains(mouse->position().toPoint())) {
        Label5Click();
        return true;
      }
    }
    return QDialog::eventFilter(watched, event);
  }
  switch (event->type()) {
    case QEvent::MouseButtonDblClick:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == Image1) {
          Image1DblClick();
          return true;
        }
        if (watched == ImageEgg) {
          ImageEggDblClick();
          return true;
        }
      }
      break;
    case QEvent::MouseButtonPress:
      DragPress(static_cast<QMouseEvent*>(event));
      break;
    case QEvent::MouseMove:
      if (DragMove(static_cast<QMouseEvent*>(event))) return true;
      break;
    case QEvent::MouseButtonRelease:
      DragRelease();
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

void TAboutBox::mousePressEvent(QMouseEvent* event) {
  DragPress(event);
  QDialog::mousePressEvent(event);
}

void TAboutBox::mouseMoveEvent(QMouseEvent* event) {
  if (!DragMove(event)) QDialog::mouseMoveEvent(event);
}

void TAboutBox::mouseReleaseEvent(QMouseEvent* event) {
  DragRelease();
  QDialog::mouseReleaseEvent(event);
}

}  // namespace ui
