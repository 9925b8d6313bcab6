#include "ui/form_multi_thread.h"

#include <QAction>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <stdexcept>

#include "i18n/language.h"
#include "services/settings_store.h"
#include "ui/caption_fit.h"
#include "ui/message_dialog.h"
#include "ui_form_multi_thread.h"

namespace ui {

TFormMultiThread::TFormMultiThread(run::PoolLimits limits, services::TSettingsStore& settings,
                                   QAction* multiThreaded, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TFormMultiThread>()), settings_(settings), multiThreaded_(multiThreaded) {
  ui_->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setAttribute(Qt::WA_DeleteOnClose, false);
  connect(ui_->Button1, &QPushButton::clicked, this, &TFormMultiThread::Button1Click);
  connect(ui_->Button2, &QPushButton::clicked, this, &TFormMultiThread::Button2Click);

  setWindowTitle(i18n::Translate(QStringLiteral("Multi-Threading")));
  ui_->GroupBox1->setTitle(i18n::Translate(QStringLiteral("Number of Threads")));
  ui_->Label1->setText(i18n::Translate(QStringLiteral("Minimum:")));
  ui_->Label2->setText(i18n::Translate(QStringLiteral("Maximum:")));
  ui_->RadioButton1->setText(i18n::Translate(QStringLiteral("Automatic")));
  ui_->RadioButton2->setText(i18n::Translate(QStringLiteral("Custom")));
  ui_->Button1->setText(i18n::Translate(QStringLiteral("Enable")));
  ui_->Button2->setText(i18n::Translate(QStringLiteral("Cancel")));
  ui_->Label3->setText(QString::number(limits.minimum));
  ui_->Label4->setText(QString::number(limits.maximum));
  ui_->SpinEdit1->setRange(limits.minimum, limits.maximum);
  ui_->SpinEdit1->setSingleStep(1);
  ui_->SpinEdit1->setValue(limits.maximum);
  const int stored = settings_.ReadInteger(services::kSettingsSection, QStringLiteral("MultiThreads"), 0);
  if (stored >= limits.minimum && stored <= limits.maximum) {
    ui_->RadioButton2->setChecked(true);
    ui_->SpinEdit1->setValue(stored);
  } else {
    ui_->RadioButton1->setChecked(true);
  }
  // 203 x 179 at 96 DPI, or what the contents (and the caption) need with a
  // larger font or a longer translation.
  setFixedSize(sizeHint().expandedTo(QSize(203, 179)));
  FitCaption(*this);
}

TFormMultiThread::~TFormMultiThread() = default;

void TFormMultiThread::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
  }
}

void TFormMultiThread::Button1Click() {
  // The field may still hold typed text when Enter pressed the button.
  ui_->SpinEdit1->Commit();
  multiThreaded_->setChecked(true);
  try {
    settings_.WriteString(services::kSettingsSection, QStringLiteral("MultiThreaded"), QStringLiteral("ON"));
    settings_.WriteInteger(services::kSettingsSection, QStringLiteral("MultiThreads"),
                           ui_->RadioButton1->isChecked() ? 0 : ui_->SpinEdit1->value());
  } catch (const std::exception& error) {
    // As any unhandled error: shown, and the dialog stays open.
    ShowMessageBox(this, QMessageBox::Critical, QGuiApplication::applicationName(), QString::fromUtf8(error.what()));
    return;
  }
  accept();
}

void TFormMultiThread::Button2Click() { reject(); }

}  // namespace ui
