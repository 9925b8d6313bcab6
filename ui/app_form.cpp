#include "ui/app_form.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <stdexcept>

#include "engine/identify.h"
#include "engine/extra_signatures.h"
#include "i18n/language.h"
#include "services/atomic_file.h"
#include "services/identity.h"
#include "services/list_file.h"
#include "services/restart.h"
#include "services/settings_store.h"
#include "services/update_check.h"
#include "ui/about_box.h"
#include "ui/dropdown_menu.h"
#include "ui/export_writer.h"
#include "ui/extra_signatures_use.h"
#include "ui/file_dialog.h"
#include "ui/feedback_form.h"
#include "ui/form_multi_thread.h"
#include "ui/image_list.h"
#include "ui/language_choice.h"
#include "ui/maker_pages.h"
#include "ui/message_dialog.h"
#include "ui/new_ver.h"
#include "ui/results_model.h"
#include "ui/translate_form.h"
#include "ui_app_form.h"

namespace ui {

namespace {

const QString kStart = QStringLiteral("Start");
const QString kStop = QStringLiteral("STOP");
const QString kConnectionTimeout = QStringLiteral("ConnectionTimeout");
const QString kResponseTimeout = QStringLiteral("ResponseTimeout");
const QString kUserAgent = QStringLiteral("UserAgent");
const QString kExtraSignatures = QStringLiteral("ExtraSignatures");

// Ordinal comparison, UTF-16 code unit by code unit (Qt's case-sensitive
// comparison): no locale, upper case before lower case, a prefix before the
// longer text.
int CompareOrdinal(const QString& a, const QString& b) {
  return QStringView(a).compare(QStringView(b), Qt::CaseSensitive);
}

template <typename Key>
void SortRecords(run::TWorkList& list, bool descending, Key key) {
  std::sort(list.begin(), list.end(), [&](const run::TMyRecord& x, const run::TMyRecord& y) {
    const int c = CompareOrdinal(key(x), key(y));
    return descending ? c > 0 : c < 0;
  });
}

}  // namespace

QStringList TAppForm::UserAgents() {
  return {
      QStringLiteral("libcurl-agent/1.0"),
      QStringLiteral("Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
                     "Chrome/100.0.4896.127 Safari/537.36"),
      QStringLiteral("Mozilla/5.0 (Windows NT 6.1) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/41.0.2228.0 "
                     "Safari/537.36"),
      QStringLiteral("Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)"),
      QStringLiteral("Mozilla/5.0 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)"),
      QStringLiteral("Mozilla/5.0 (compatible; Yahoo! Slurp; http://help.yahoo.com/help/us/ysearch/slurp)"),
  };
}

QString TAppForm::ExampleUrls() {
  return QStringLiteral(
      "https://wordpress.org\r\n"
      "https://www.drupal.org\r\n"
      "https://www.joomla.org\r\n"
      "https://www.phpbb.com/community/viewforum.php?f=46\r\n"
      "https://forum.joomla.org/viewforum.php?f=706");
}

TAppForm::TAppForm(TAppFormOptions options, QWidget* parent)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::TAppForm>()),
      options_(std::move(options)),
      fetchInputs_(std::make_shared<run::TFetchInputs>()) {
  if (!options_.openUrl) options_.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  if (!options_.openFile) options_.openFile = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  if (!options_.startNewCopy) options_.startNewCopy = [] { return services::StartNewCopyDetached(); };
  // exit(), not quit(): quit() first closes every window, and closing the
  // main window saves the URL list, which "Exit" must not do.
  if (!options_.endApplication) options_.endApplication = [] { QCoreApplication::exit(0); };
  if (!options_.startRestartScript)
    options_.startRestartScript = [this](const QString& script) { return StartRestartScript(script, dataFolder_); };

  ui_->setupUi(this);
  BuildMenus();
  BuildStatusBar();

  model_ = new TResultsModel(workList_, this);
  ui_->ListView1->setModel(model_);
  QHeaderView* header = ui_->ListView1->horizontalHeader();
  header->setSectionsMovable(true);
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  header->setStretchLastSection(true);
  ui_->ListView1->setColumnWidth(0, 500);
  QHeaderView* rows = ui_->ListView1->verticalHeader();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(qMax(18, ui_->ListView1->fontMetrics().height() + 4));
  connect(header, &QHeaderView::sectionClicked, this, &TAppForm::ListView1ColumnClick);
  connect(ui_->ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    PopupMenu3->exec(ui_->ListView1->viewport()->mapToGlobal(pos));
  });

  auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
  ui_->Edit3->setValidator(digits);
  ui_->Edit4->setValidator(digits);
  ui_->ComboBox1->addItems(UserAgents());
  ui_->ComboBox1->setCurrentIndex(1);

  const TImageList& images = TImageList::Instance();
  SetIdleButton();
  ui_->ButtonExport->setIcon(images.Icon(TImageList::kArrowDown));
  connect(ui_->ButtonStart, &QPushButton::clicked, this, &TAppForm::ButtonStartClick);
  connect(ui_->ButtonExport, &QPushButton::clicked, this, &TAppForm::ButtonExportClick);

  ui_->Splitter1->setStretchFactor(0, 0);
  ui_->Splitter1->setStretchFactor(1, 1);
  ui_->Splitter1->setSizes({120, 10000});
  ui_->SynEdit1->setText(ExampleUrls());

  // The client area is 684 x 472 (device-independent pixels; Qt scales them
  // to the screen) below the menu bar.
  resize(684, 472 + menuBar()->sizeHint().height());
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  FormCreate();

  connect(ui_->Edit3, &QLineEdit::textChanged, this, &TAppForm::Edit3Change);
  connect(ui_->Edit4, &QLineEdit::textChanged, this, &TAppForm::Edit4Change);
  connect(ui_->ComboBox1, &QComboBox::currentTextChanged, this, &TAppForm::ComboBox1Change);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(1);
  Timer1->setSingleShot(true);
  connect(Timer1, &QTimer::timeout, this, &TAppForm::Timer1Timer);
  Timer1->start();

  TimerChecker = new QTimer(this);
  TimerChecker->setObjectName(QStringLiteral("TimerChecker"));
  TimerChecker->setInterval(1000);
  connect(TimerChecker, &QTimer::timeout, this, &TAppForm::TimerCheckerTimer);
  if (options_.updateCheck) {
    services::TUpdateCheckInputs inputs;
    inputs.storePath = options_.updateStorePath;
    inputs.appName = AppName_;
    inputs.appVersion = AppVersion_;
    updateCheck_ = std::make_unique<services::TUpdateCheckPoll>(std::move(inputs), this, this);
    TimerChecker->start();
  }
}

TAppForm::~TAppForm() {
  AbandonRuns();
  JoinUpdateCheck();
  if (notice_) delete notice_.data();
  SetBusyCursor(false);
}

void TAppForm::FormCreate() {
  // Identity from the version information; the caption is AppName.
  const services::TIdentity& identity = services::Identity();
  companyName_ = identity.CompanyName;
  productName_ = identity.ProductName;
  AppVersion_ = identity.AppVersion;
  AppName_ = companyName_ + QStringLiteral(" - ") + productName_;
  setWindowTitle(AppName_);

  listSeparator_ = SystemListSeparator();

  dataFolder_ = services::SettleDataFolder(options_.programFolder, companyName_, productName_);
  settings_ = std::make_unique<services::TSettingsStore>(dataFolder_ + services::kSettingsFileName);
  if (!settings_->Problem().isEmpty()) ReportLater(settings_->Problem());
  ApplyStoredSettings();
  settingsReady_ = true;

  poolLimits_ = run::DefaultPoolLimits();

  // The editor configures itself when created (TUrlEditor); here its menu.
  ui_->SynEdit1->SetPopupMenu(PopupMenu2);
  LoadSavedList();

  engine::LoadPlatformInformation();

  try {
    // The language chosen in the language dialog, else the system's.
    LoadStartupLanguage(*settings_, options_.programFolder);
  } catch (const std::exception& error) {
    ReportLater(QString::fromUtf8(error.what()));
  }
  ui_->ExtraSignatures1->setText(i18n::Translate(QStringLiteral("Extra Signatures")));
  ui_->EditMySignatures1->setText(i18n::Translate(QStringLiteral("Edit My Signatures...")));
}

void TAppForm::BuildMenus() {
  const TImageList& images = TImageList::Instance();
  ui_->LoadURLList1->setIcon(images.Icon(TImageList::kFolder));
  ui_->Exit1->setIcon(images.Icon(TImageList::kExit));
  ui_->Help2->setIcon(images.Icon(TImageList::kHelp));
  ui_->Language1->setIcon(images.Icon(TImageList::kFlag));
  ui_->SendFeedback1->setIcon(images.Icon(TImageList::kFeedback));
  ui_->About1->setIcon(images.Icon(TImageList::kAbout));
  ui_->Help2->setShortcutContext(Qt::ApplicationShortcut);

  connect(ui_->LoadURLList1, &QAction::triggered, this, &TAppForm::LoadURLList1Click);
  connect(ui_->Exit1, &QAction::triggered, this, &TAppForm::Exit1Click);
  connect(ui_->MultiThreaded1, &QAction::triggered, this, &TAppForm::MultiThreaded1Click);
  connect(ui_->ExtraSignatures1, &QAction::triggered, this, &TAppForm::ExtraSignatures1Click);
  connect(ui_->EditMySignatures1, &QAction::triggered, this, &TAppForm::EditMySignatures1Click);
  connect(ui_->ResettoDefaults1, &QAction::triggered, this, &TAppForm::ResettoDefaults1Click);
  connect(ui_->Help2, &QAction::triggered, this, &TAppForm::Help2Click);
  connect(ui_->UpdateNotifications1, &QAction::triggered, this, &TAppForm::UpdateNotifications1Click);
  connect(ui_->Language1, &QAction::triggered, this, &TAppForm::Language1Click);
  connect(ui_->SendFeedback1, &QAction::triggered, this, &TAppForm::SendFeedback1Click);
  connect(ui_->About1, &QAction::triggered, this, &TAppForm::About1Click);

  auto item = [](QMenu* menu, const char* name, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QLatin1String(name));
    return action;
  };

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  connect(item(PopupMenu1, "XT1", QStringLiteral("Export to TXT...")), &QAction::triggered, this, &TAppForm::XT1Click);
  connect(item(PopupMenu1, "CSV1", QStringLiteral("Export to CSV...")), &QAction::triggered, this, &TAppForm::CSV1Click);
  connect(item(PopupMenu1, "XLS1", QStringLiteral("Export to XLS...")), &QAction::triggered, this, &TAppForm::XLS1Click);

  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
  TUrlEditor* editor = ui_->SynEdit1;
  connect(item(PopupMenu2, "Undo1", QStringLiteral("Undo")), &QAction::triggered, editor, &QsciScintilla::undo);
  PopupMenu2->addSeparator();
  connect(item(PopupMenu2, "Cut1", QStringLiteral("Cut")), &QAction::triggered, editor, &QsciScintilla::cut);
  connect(item(PopupMenu2, "Copy1", QStringLiteral("Copy")), &QAction::triggered, editor, &QsciScintilla::copy);
  connect(item(PopupMenu2, "Paste1", QStringLiteral("Paste")), &QAction::triggered, editor, &QsciScintilla::paste);
  connect(item(PopupMenu2, "Delete1", QStringLiteral("Delete")), &QAction::triggered, editor,
          &QsciScintilla::removeSelectedText);
  PopupMenu2->addSeparator();
  connect(item(PopupMenu2, "SelectAll1", QStringLiteral("Select All")), &QAction::triggered, editor,
          [editor] { editor->selectAll(true); });

  PopupMenu3 = new QMenu(this);
  PopupMenu3->setObjectName(QStringLiteral("PopupMenu3"));
  connect(item(PopupMenu3, "CopyURL1", QStringLiteral("Copy URL")), &QAction::triggered, this,
          &TAppForm::CopyURL1Click);
  connect(item(PopupMenu3, "GotoURL1", QStringLiteral("Go to URL")), &QAction::triggered, this,
          &TAppForm::GotoURL1Click);
  PopupMenu3->addSeparator();
  connect(item(PopupMenu3, "CopyPlatform1", QStringLiteral("Copy Platforms")), &QAction::triggered, this,
          &TAppForm::CopyPlatform1Click);
}

void TAppForm::BuildStatusBar() {
  statusPanel0_ = new QLabel(this);
  statusPanel0_->setObjectName(QStringLiteral("StatusPanel0"));
  statusPanel0_->setFixedWidth(155);
  statusPanel1_ = new QLabel(this);
  statusPanel1_->setObjectName(QStringLiteral("StatusPanel1"));
  statusPanel1_->setMinimumWidth(1);
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("ProgressBar1"));
  progress_->setRange(0, 1);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  progress_->setFixedWidth(120);
  progress_->setMaximumHeight(14);
  ui_->StatusBar1->addWidget(statusPanel0_);
  ui_->StatusBar1->addWidget(statusPanel1_, 1);
  ui_->StatusBar1->addPermanentWidget(progress_);
}

void TAppForm::ApplyStoredSettings() {
  const QSignalBlocker block3(ui_->Edit3);
  const QSignalBlocker block4(ui_->Edit4);
  const QSignalBlocker blockAgent(ui_->ComboBox1);
  const QString connect = settings_->ReadString(services::kSettingsSection, kConnectionTimeout, QString());
  if (!connect.isEmpty()) ui_->Edit3->setText(connect);
  const QString response = settings_->ReadString(services::kSettingsSection, kResponseTimeout, QString());
  if (!response.isEmpty()) ui_->Edit4->setText(response);
  const QString agent = settings_->ReadString(services::kSettingsSection, kUserAgent, QString());
  if (!agent.isEmpty())
    ui_->ComboBox1->setEditText(agent);
  else
    ui_->ComboBox1->setEditText(ui_->ComboBox1->itemText(1));
  ui_->ComboBox1->lineEdit()->setCursorPosition(0);
  UpdateFetchInputs();
  ui_->ExtraSignatures1->setChecked(settings_->ReadInteger(services::kSettingsSection, kExtraSignatures, 0) == 1);
}

void TAppForm::SetEditorText(const QString& text, const QString& lineBreak) {
  lineBreak_ = lineBreak;
  ui_->SynEdit1->SetLineBreakStyle(lineBreak);
  ui_->SynEdit1->setText(text);
}

void TAppForm::LoadSavedList() {
  try {
    if (auto loaded = services::LoadListFile(dataFolder_ + services::kListFileName))
      SetEditorText(loaded->text, loaded->lineBreak);
  } catch (const std::exception& error) {
    // The example lines stay; closing the window will try to save again.
    ReportLater(QString::fromUtf8(error.what()));
  }
}

void TAppForm::Timer1Timer() {
  // Caret after the last character, nothing selected.
  ui_->SynEdit1->SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
}

// ---- update check -----------------------------------------------------------

void TAppForm::TimerCheckerTimer() {
  if (!updateCheck_) {
    TimerChecker->stop();
    return;
  }
  switch (updateCheck_->Tick()) {
    case services::TUpdateCheckPoll::TTick::Started:
    case services::TUpdateCheckPoll::TTick::Waiting:
    case services::TUpdateCheckPoll::TTick::Idle:
      return;
    case services::TUpdateCheckPoll::TTick::Done:
      break;
  }
  TimerChecker->stop();
  const std::shared_ptr<const services::TUpdateResults> results = updateCheck_->Results();
  ui_->UpdateNotifications1->setEnabled(true);
  if (results->ShowUpdate() == 0) ui_->UpdateNotifications1->setChecked(false);
  if (results->UpdateAvailable())
    notice_ = new TNewVer(services::Identity().ProductName, results->LatestVersion(), results->DownloadAddress(), this);
}

bool TAppForm::UpdateCheckPending() const { return TimerChecker->isActive(); }

TNewVer* TAppForm::UpdateNotice() const { return notice_.data(); }

void TAppForm::ShowImportantMessage(const QString& message) {
  ShowMessageBox(this, QMessageBox::Warning, i18n::Translate(QStringLiteral("IMPORTANT")), message);
}

void TAppForm::UpdateNotifications1Click() {
  // The action has toggled itself; the store decides from the state before.
  services::TUpdateStore store(options_.updateStorePath.isEmpty() ? services::TUpdateStore::DefaultPath()
                                                                  : options_.updateStorePath);
  const bool wasChecked = !ui_->UpdateNotifications1->isChecked();
  ui_->UpdateNotifications1->setChecked(services::ToggleUpdateNotifications(wasChecked, store));
}

void TAppForm::AbandonUpdateCheck() {
  // The program is ending: no further tick, no message box, no notice.
  TimerChecker->stop();
  if (updateCheck_) updateCheck_->AbandonAndWait(0);
  if (notice_) notice_->close();
}

void TAppForm::JoinUpdateCheck() {
  if (!updateCheck_) return;
  TimerChecker->stop();
  updateCheck_->AbandonAndWait(0);
  // An important message the check handed over but that has not run yet
  // would keep it waiting: throw such calls away unrun, which releases it.
  QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
  updateCheck_->AbandonAndWait(30000);
  updateCheck_.reset();
}

// ---- run control --------------------------------------------------------

void TAppForm::SetIdleButton() {
  QIcon icon;
  const TImageList& images = TImageList::Instance();
  icon.addPixmap(images.Pixmap(TImageList::kSignRight), QIcon::Normal);
  icon.addPixmap(images.Pixmap(TImageList::kSignRightGray), QIcon::Disabled);
  ui_->ButtonStart->setText(kStart);
  ui_->ButtonStart->setEnabled(true);
  ui_->ButtonStart->setIcon(icon);
}

void TAppForm::SetBusyCursor(bool busy) {
  if (busy == busyCursor_) return;
  busyCursor_ = busy;
  if (busy)
    QApplication::setOverrideCursor(Qt::BusyCursor);
  else
    QApplication::restoreOverrideCursor();
}

void TAppForm::ButtonStartClick() {
  if (ui_->ButtonStart->text() != kStart) {
    run::StopFlag().store(true);
    ui_->ButtonStart->setText(i18n::Translate(QStringLiteral("Stopping...")));
    ui_->ButtonStart->setEnabled(false);
    return;
  }
  runUserAgent_ = ui_->ComboBox1->currentText();
  UpdateFetchInputs();
  // The old rows go at once, before anything of the new run is shown.
  model_->SetRowCount(0);
  workList_.clear();
  progress_->setRange(0, 1);
  progress_->setValue(0);
  ui_->ButtonStart->setText(kStop);
  ui_->ButtonStart->setIcon(QIcon());
  SetBusyCursor(true);
  run::StopFlag().store(false);
  // Draw the new state before the run starts; clicks wait until the worker exists.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

  auto* worker = new run::TMyIdentifier(*this, fetchInputs_, runUserAgent_, poolLimits_);
  // Read afresh at every Start, so that an edited file counts at once.
  if (ui_->ExtraSignatures1->isChecked())
    worker->SetExtraSignatures(LoadRunSignatures(options_.programFolder, dataFolder_, this));
  connect(worker, &QThread::finished, this, [this, worker] { MyThreadTerminate(worker); });
  workers_.append(worker);
  worker->start();
}

void TAppForm::MyThreadTerminate(run::TMyIdentifier* worker) {
  workers_.removeAll(worker);
  const bool failed = worker->Failed();
  const QString message = worker->FailureMessage();
  worker->deleteLater();
  if (!failed) return;  // the finish hand-over has restored the idle state
  IslemTamam(false);
  ShowMessageBox(this, QMessageBox::Critical, QStringLiteral("ERROR"), message);
}

void TAppForm::IslemTamam(bool BeepYapalimmi) {
  if (BeepYapalimmi) QApplication::beep();
  statusPanel1_->clear();
  SetIdleButton();
  SetBusyCursor(false);
}

bool TAppForm::RunInProgress() const {
  for (const auto& worker : workers_)
    if (worker && worker->isRunning()) return true;
  return false;
}

void TAppForm::AbandonRuns() {
  const QList<QPointer<run::TMyIdentifier>> workers = std::exchange(workers_, {});
  for (const auto& worker : workers)
    if (worker) worker->Abandon();
  for (const auto& worker : workers)
    if (worker) {
      worker->wait();
      delete worker.data();
    }
}

int TAppForm::EditorLineCount() { return ui_->SynEdit1->LineCount(); }

QString TAppForm::EditorLine(int index) { return ui_->SynEdit1->Line(index); }

bool TAppForm::MultiThreadingOn() { return ui_->MultiThreaded1->isChecked(); }

int TAppForm::MultiThreads() {
  return settings_->ReadInteger(services::kSettingsSection, QStringLiteral("MultiThreads"), 0);
}

void TAppForm::AddData(const QString& MyURL, const QString& MyPlatform) {
  workList_.push_back(run::TMyRecord{MyURL, MyPlatform, run::kImageNone});
}

void TAppForm::SetStatusText(int panel, const QString& text) {
  if (panel == 0)
    statusPanel0_->setText(text);
  else
    statusPanel1_->setText(text);
}

QString TAppForm::StatusText(int panel) const { return panel == 0 ? statusPanel0_->text() : statusPanel1_->text(); }

void TAppForm::SetRowCount(qint64 count) { model_->SetRowCount(count); }

void TAppForm::RedrawRow(int index) { model_->RedrawRow(index); }

void TAppForm::Progress(qint64 done, qint64 total) {
  const qint64 maximum = qBound(qint64(1), total, qint64(std::numeric_limits<int>::max()));
  progress_->setRange(0, static_cast<int>(maximum));
  progress_->setValue(static_cast<int>(qBound(qint64(0), done, maximum)));
}

// ---- settings fields ----------------------------------------------------

void TAppForm::UpdateFetchInputs() {
  run::TFetchInputs::Snapshot values;
  values.connectTimeoutText = ui_->Edit3->text();
  values.responseTimeoutText = ui_->Edit4->text();
  values.userAgentText = ui_->ComboBox1->currentText();
  fetchInputs_->Set(values);
}

void TAppForm::WriteSetting(const QString& key, const QString& value) {
  try {
    settings_->WriteString(services::kSettingsSection, key, value);
  } catch (const std::exception& error) {
    ReportError(QString::fromUtf8(error.what()));
  }
}

void TAppForm::Edit3Change() {
  UpdateFetchInputs();
  WriteSetting(kConnectionTimeout, ui_->Edit3->text());
}

void TAppForm::Edit4Change() {
  UpdateFetchInputs();
  WriteSetting(kResponseTimeout, ui_->Edit4->text());
}

void TAppForm::ComboBox1Change() {
  UpdateFetchInputs();
  WriteSetting(kUserAgent, ui_->ComboBox1->currentText());
}

void TAppForm::ExtraSignatures1Click(bool checkedNow) {
  WriteSetting(kExtraSignatures, checkedNow ? QStringLiteral("1") : QStringLiteral("0"));
}

void TAppForm::EditMySignatures1Click() {
  const QString path = UserSignaturesPath(dataFolder_);
  if (!QFileInfo::exists(path)) {
    try {
      services::WriteFileAtomically(path, UserSignaturesExample());
    } catch (const std::exception& error) {
      ReportError(QString::fromUtf8(error.what()));
      return;
    }
  }
  if (!options_.openFile(QUrl::fromLocalFile(path))) {
    ShowMessageBox(this, QMessageBox::Warning, i18n::Translate(QStringLiteral("WARNING")),
                   i18n::Translate(QStringLiteral("No program could open this file:")) + u'\n' +
                       QDir::toNativeSeparators(path));
  }
}

void TAppForm::MultiThreaded1Click(bool checkedNow) {
  // The action toggles itself before this runs: checkedNow is the new state.
  if (!checkedNow) {
    WriteSetting(QStringLiteral("MultiThreaded"), QStringLiteral("OFF"));
    return;
  }
  ui_->MultiThreaded1->setChecked(false);  // only the dialog's Enable checks it
  TFormMultiThread dialog(poolLimits_, *settings_, ui_->MultiThreaded1, this);
  dialog.setObjectName(QStringLiteral("FormMultiThread"));
  dialog.exec();
}

// ---- ending ---------------------------------------------------------------

void TAppForm::closeEvent(QCloseEvent* e) {
  if (settingsReady_) {
    try {
      services::SaveListFile(dataFolder_ + services::kListFileName,
                             services::SplitListLines(ui_->SynEdit1->text()), lineBreak_);
    } catch (const std::exception& error) {
      e->ignore();
      ReportError(QString::fromUtf8(error.what()));
      return;
    }
  }
  e->accept();
  AbandonUpdateCheck();
}

void TAppForm::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  if (settingsReady_ && ui_->ComboBox1->lineEdit()) ui_->ComboBox1->lineEdit()->deselect();
}

void TAppForm::Exit1Click() {
  AbandonUpdateCheck();
  options_.endApplication();
}

void TAppForm::ResettoDefaults1Click() {
  const QMessageBox::StandardButton answer = CaptionedMessageDialog(
      i18n::Translate(QStringLiteral("Restart Application?")), QMessageBox::Question,
      QMessageBox::Yes | QMessageBox::No, i18n::Translate(QStringLiteral("Confirmation")),
      {i18n::Translate(QStringLiteral("Yes")), i18n::Translate(QStringLiteral("No"))}, this);
  if (answer != QMessageBox::Yes) return;
  settingsReady_ = false;
  services::DeleteSettingsAndList(dataFolder_);
  QCoreApplication::processEvents();
  options_.startNewCopy();
  AbandonUpdateCheck();
  options_.endApplication();
}

// ---- editor commands --------------------------------------------------------

void TAppForm::LoadURLList1Click() {
  if (!OpenDialog1) {
    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    PrepareFileDialog(*OpenDialog1, QFileDialog::AcceptOpen, QStringLiteral("txt"),
                      QStringLiteral("Text File|*.txt|Any File|*.*"));
  }
  const QString fileName = ExecFileDialog(*OpenDialog1);
  if (fileName.isEmpty()) return;
  QApplication::setOverrideCursor(Qt::BusyCursor);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  try {
    std::optional<services::TLoadedText> loaded = services::LoadListFile(fileName);
    if (!loaded) throw std::runtime_error(QStringLiteral("Cannot open file \"%1\". No such file or directory.")
                                              .arg(fileName)
                                              .toStdString());
    SetEditorText(loaded->text, loaded->lineBreak);
  } catch (const std::exception& error) {
    QApplication::restoreOverrideCursor();
    ReportError(QString::fromUtf8(error.what()));
    return;
  }
  ui_->SynEdit1->setCursorPosition(0, 0);
  ui_->SynEdit1->ensureLineVisible(0);
  QApplication::restoreOverrideCursor();
}

void TAppForm::Help2Click() { options_.openUrl(QUrl(OnlineHelpAddress(productName_))); }

// ---- dialogs ----------------------------------------------------------------------

void TAppForm::SetLanguageFile(const QString& Filename) { ui::SetLanguageFile(*settings_, Filename); }

void TAppForm::Language1Click() {
  TTranslateFormHost host;
  host.SetLanguageFile = [this](const QString& file) { SetLanguageFile(file); };
  host.DataFolder = dataFolder_;
  // Ends as "Exit" does: the URL list is not saved.
  host.StartAndQuit = [this](const QString& script) {
    options_.startRestartScript(script);
    QCoreApplication::processEvents();
    AbandonUpdateCheck();
    options_.endApplication();
  };
  TTranslateForm dialog(std::move(host), this);
  dialog.exec();
}

void TAppForm::SendFeedback1Click() {
  TFeedbackForm dialog(this);
  dialog.exec();
}

void TAppForm::About1Click() {
  TAboutBox dialog(this, options_.programFolder);
  dialog.exec();
}

// ---- results view -------------------------------------------------------------

void TAppForm::ListView1ColumnClick(int column) {
  // Records are addressed by position while a run lasts.
  if (ui_->ButtonStart->text() != kStart) return;
  if (column == sortColumn_) {
    descending_ = !descending_;
  } else {
    sortColumn_ = column;
    descending_ = false;
  }
  if (sortColumn_ == 0)
    Column1Sort();
  else if (sortColumn_ == 1)
    Column2Sort();
  model_->RedrawAll();
}

void TAppForm::Column1Sort() {
  SortRecords(workList_, descending_, [](const run::TMyRecord& r) -> const QString& { return r.FURL; });
}

void TAppForm::Column2Sort() {
  SortRecords(workList_, descending_, [](const run::TMyRecord& r) -> const QString& { return r.FPlatform; });
}

int TAppForm::SelectedRow() const {
  const QItemSelectionModel* selection = ui_->ListView1->selectionModel();
  if (!selection) return -1;
  int lowest = -1;
  for (const QItemSelectionRange& range : selection->selection())
    if (lowest < 0 || range.top() < lowest) lowest = range.top();
  if (lowest < 0 || static_cast<size_t>(lowest) >= workList_.size()) return -1;
  return lowest;
}

void TAppForm::CopyURL1Click() {
  const int row = SelectedRow();
  if (row >= 0) QGuiApplication::clipboard()->setText(workList_[static_cast<size_t>(row)].FURL);
}

void TAppForm::CopyPlatform1Click() {
  const int row = SelectedRow();
  if (row >= 0) QGuiApplication::clipboard()->setText(workList_[static_cast<size_t>(row)].FPlatform);
}

QUrl TAppForm::BrowserAddress(const QString& recordUrl) {
  // A record's URL begins with "http", but not necessarily with a scheme: a
  // host named "httpbin.org" gets none at intake, and "httpx:..." is another
  // scheme altogether. Only web addresses go to the browser; anything else
  // would be handed to whatever program claims that scheme.
  const QUrl url = QUrl::fromUserInput(recordUrl);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) return QUrl();
  return url;
}

void TAppForm::GotoURL1Click() {
  const int row = SelectedRow();
  if (row < 0) return;
  const QUrl url = BrowserAddress(workList_[static_cast<size_t>(row)].FURL);
  if (!url.isEmpty()) options_.openUrl(url);
}

// ---- export ---------------------------------------------------------------------

void TAppForm::ButtonExportClick() { ShowDropDownMenu(ui_->ButtonExport, PopupMenu1); }

QString TAppForm::AskSaveFileName(const QString& defaultSuffix, const QString& filterPairs) {
  if (!SaveDialog1) {
    SaveDialog1 = new QFileDialog(this);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
  }
  // One dialog for the three exports: it offers the last chosen name again.
  PrepareFileDialog(*SaveDialog1, QFileDialog::AcceptSave, defaultSuffix, filterPairs);
  // Setting the filters adapts the offered name's extension; offer it as chosen.
  if (!lastSaveName_.isEmpty()) SaveDialog1->selectFile(lastSaveName_);
  const QString fileName = ExecFileDialog(*SaveDialog1);
  if (!fileName.isEmpty()) lastSaveName_ = fileName;
  return fileName;
}

void TAppForm::XT1Click() {
  const QString fileName = AskSaveFileName(QStringLiteral("txt"), QStringLiteral("Text File|*.txt|Any File|*.*"));
  if (fileName.isEmpty()) return;
  try {
    ExportToText(workList_, fileName);
  } catch (const std::exception& error) {
    ReportError(QString::fromUtf8(error.what()));
  }
}

void TAppForm::CSV1Click() {
  const QString fileName = AskSaveFileName(QStringLiteral("csv"), QStringLiteral("CSV File|*.csv|Any File|*.*"));
  if (fileName.isEmpty()) return;
  try {
    ExportToCsv(workList_, listSeparator_, fileName);
  } catch (const std::exception& error) {
    ReportError(QString::fromUtf8(error.what()));
  }
}

void TAppForm::XLS1Click() {
  const QString fileName = AskSaveFileName(QStringLiteral("xls"), QStringLiteral("XLS File|*.xls|XLSX File|*.xlsx"));
  if (fileName.isEmpty()) return;
  try {
    ExportToSpreadsheet(workList_, listSeparator_, fileName);
  } catch (const std::exception& error) {
    ShowMessageBox(this, QMessageBox::Warning, i18n::Translate(QStringLiteral("WARNING")),
                   QString::fromUtf8(error.what()));
  }
}

// ---- errors -----------------------------------------------------------------------

void TAppForm::ReportError(const QString& message) {
  ShowMessageBox(this, QMessageBox::Critical, QCoreApplication::applicationName(), message);
}

void TAppForm::ReportLater(const QString& message) {
  QTimer::singleShot(0, this, [this, message] { ReportError(message); });
}

}  // namespace ui
