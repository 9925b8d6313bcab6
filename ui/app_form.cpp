#include "ui/app_form.h"

#include <QAccessible>
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
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <numeric>
#include <limits>
#include <stdexcept>

#include "engine/identify.h"
#include "engine/extra_signatures.h"
#include "export/export_writer.h"
#include "i18n/language.h"
#include "services/atomic_file.h"
#include "services/identity.h"
#include "services/list_file.h"
#include "services/restart.h"
#include "services/settings_store.h"
#include "services/update_check.h"
#include "ui/about_box.h"
#include "ui/dropdown_menu.h"
#include "ui/evidence_dialog.h"
#include "ui/extra_signatures_use.h"
#include "ui/file_dialog.h"
#include "ui/feedback_form.h"
#include "ui/form_multi_thread.h"
#include "ui/image_list.h"
#include "ui/language_choice.h"
#include "ui/maker_pages.h"
#include "ui/message_dialog.h"
#include "ui/new_ver.h"
#include "ui/proxy_form.h"
#include "ui/qt_translations.h"
#include "ui/results_model.h"
#include "ui/summary_panel.h"
#include "ui/results_view.h"
#include "ui/screen_fit.h"
#include "ui/signature_preparation.h"
#include "ui/translate_form.h"
#include "ui_app_form.h"

namespace ui {

using exports::ExportToCsv;
using exports::ExportToSpreadsheet;
using exports::ExportToText;
using exports::SystemListSeparator;

namespace {

// What the run core hands over for the second status panel: this prefix and
// the URL in work. The window shows it through "Processing %s".
const QString kProcessing = QStringLiteral("Processing ");
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

// The filters of the open and save boxes for text files, translated.
QString TextFilters() {
  return i18n::Translate(QStringLiteral("Text File")) + QStringLiteral("|*.txt|") +
         i18n::Translate(QStringLiteral("Any File")) + QStringLiteral("|*.*");
}

// Sorts the records by `key` and returns the old position of each record
// in its new order, so that the view can follow the records it had selected.
// The records are moved once each, along the cycles of the permutation.
template <typename Key>
std::vector<size_t> SortRecords(run::TWorkList& list, bool descending, Key key) {
  std::vector<size_t> order(list.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(), [&](size_t x, size_t y) {
    const int c = CompareOrdinal(key(list[x]), key(list[y]));
    return descending ? c > 0 : c < 0;
  });
  std::vector<bool> placed(list.size(), false);
  for (size_t start = 0; start < list.size(); ++start) {
    if (placed[start] || order[start] == start) continue;
    run::TWorkRecord first = std::move(list[start]);
    size_t at = start;
    while (order[at] != start) {
      list[at] = std::move(list[order[at]]);
      placed[at] = true;
      at = order[at];
    }
    list[at] = std::move(first);
    placed[at] = true;
  }
  return order;
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
  if (!options_.openUrl) options_.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
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
  QHeaderView* rows = ui_->ListView1->verticalHeader();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(qMax(18, ui_->ListView1->fontMetrics().height() + 4));
  connect(header, &QHeaderView::sectionClicked, this, &TAppForm::ListView1ColumnClick);
  ui_->ListView1->SetRowMenu(PopupMenu3);
  summaryPanel_ = new TSummaryPanel(workList_, *model_, this);
  addDockWidget(Qt::RightDockWidgetArea, summaryPanel_);
  summaryPanel_->hide();
  summaryPanel_->AddViewMenu(menuBar(), ui_->Help1->menuAction());
  connect(ui_->ListView1, &TResultsView::RowMenuAboutToOpen, this, &TAppForm::UpdateRowMenu);
  connect(ui_->ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TAppForm::UpdateRowMenu);
  connect(model_, &QAbstractItemModel::dataChanged, this, &TAppForm::UpdateRowMenu);
  connect(model_, &QAbstractItemModel::rowsRemoved, this, &TAppForm::UpdateRowMenu);
  UpdateRowMenu();
  UpdateExportEnabled();
  // The evidence command depends on the row (enabled for a finished one),
  // so it joins the row menu only while the menu is open; at rest the menu
  // holds the rows' own commands.
  connect(ui_->ListView1, &TResultsView::RowMenuAboutToOpen, this, [this] {
    const int row = SelectedRow();
    ShowEvidence1->setText(i18n::Translate(QStringLiteral("Show Evidence...")));
    ShowEvidence1->setEnabled(row >= 0 && (workList_[static_cast<size_t>(row)].FImageNo == run::kImageDone ||
                                           workList_[static_cast<size_t>(row)].FImageNo == run::kImageError));
    if (PopupMenu3->actions().contains(ShowEvidence1)) return;
    evidenceSeparator_ = PopupMenu3->addSeparator();
    PopupMenu3->addAction(ShowEvidence1);
  });
  // Leaves as the menu closes; a command chosen from it still runs, since
  // the action itself lives on.
  connect(PopupMenu3, &QMenu::aboutToHide, this, [this] {
    PopupMenu3->removeAction(ShowEvidence1);
    if (evidenceSeparator_ != nullptr) {
      PopupMenu3->removeAction(evidenceSeparator_);
      evidenceSeparator_->deleteLater();
      evidenceSeparator_ = nullptr;
    }
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

  // Tab goes through the window in reading order.
  const QList<QWidget*> tabOrder = {ui_->SynEdit1, ui_->Edit3,       ui_->Edit4,       ui_->ComboBox1,
                                    ui_->ListView1, ui_->ButtonStart, ui_->ButtonExport};
  for (qsizetype i = 1; i < tabOrder.size(); ++i) QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);

  ui_->Splitter1->setStretchFactor(0, 0);
  ui_->Splitter1->setStretchFactor(1, 1);
  ui_->Splitter1->setSizes({120, 10000});
  ui_->SynEdit1->setText(ExampleUrls());

  FormCreate();
  ApplyTexts();
  SetSmallestSize();
  // The client area is 684 x 472 (device-independent pixels; Qt scales them
  // to the screen) below the menu bar, centred on the screen, and never
  // larger than the screen's available area.
  PlaceWithinScreen(*this, QSize(684, 472 + menuBar()->sizeHint().height()));

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
  // The view and the model go after this object's members: they must not
  // call back into it on their way out.
  disconnect(model_, nullptr, this, nullptr);
  disconnect(ui_->ListView1, nullptr, this, nullptr);
  if (QItemSelectionModel* selection = ui_->ListView1->selectionModel()) disconnect(selection, nullptr, this, nullptr);
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
  // What writes of the data files cut short (a crash, kill -9) left behind.
  for (const QString& name : {services::kSettingsFileName, services::kListFileName, kRestartScriptName})
    services::RemoveStaleTemporaryFiles(dataFolder_ + name);
  settings_ = std::make_unique<services::TSettingsStore>(dataFolder_ + services::kSettingsFileName);
  if (!settings_->Problem().isEmpty()) ReportLater(settings_->Problem());
  proxy_ = new TProxyState(*settings_, this);
  signatures_ = new TSignaturePreparation(this);
  connect(proxy_, &TProxyState::Changed, this, &TAppForm::UpdateFetchInputs);
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
  InstallQtTranslations(i18n::LanguageName());
  ui_->ExtraSignatures1->setText(i18n::Translate(QStringLiteral("E&xtra Signatures")));
  ui_->EditMySignatures1->setText(i18n::Translate(QStringLiteral("&Edit My Signatures...")));
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
  // Settings > Proxy..., below Multi-Threading.
  Proxy1 = new QAction(this);
  Proxy1->setObjectName(QStringLiteral("Proxy1"));
  const QList<QAction*> settingsItems = ui_->Settings1->actions();
  ui_->Settings1->insertAction(settingsItems.value(settingsItems.indexOf(ui_->MultiThreaded1) + 1), Proxy1);
  connect(Proxy1, &QAction::triggered, this, &TAppForm::Proxy1Click);
  connect(ui_->ExtraSignatures1, &QAction::triggered, this, &TAppForm::ExtraSignatures1Click);
  connect(ui_->EditMySignatures1, &QAction::triggered, this, &TAppForm::EditMySignatures1Click);
  connect(ui_->ResettoDefaults1, &QAction::triggered, this, &TAppForm::ResettoDefaults1Click);
  connect(ui_->Help2, &QAction::triggered, this, &TAppForm::Help2Click);
  connect(ui_->UpdateNotifications1, &QAction::triggered, this, &TAppForm::UpdateNotifications1Click);
  connect(ui_->Language1, &QAction::triggered, this, &TAppForm::Language1Click);
  connect(ui_->SendFeedback1, &QAction::triggered, this, &TAppForm::SendFeedback1Click);
  connect(ui_->About1, &QAction::triggered, this, &TAppForm::About1Click);

  // The items get their (translated) texts in ApplyTexts.
  auto item = [](QMenu* menu, const char* name) {
    QAction* action = menu->addAction(QString());
    action->setObjectName(QLatin1String(name));
    return action;
  };

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  connect(item(PopupMenu1, "XT1"), &QAction::triggered, this, &TAppForm::XT1Click);
  connect(item(PopupMenu1, "CSV1"), &QAction::triggered, this, &TAppForm::CSV1Click);
  connect(item(PopupMenu1, "XLS1"), &QAction::triggered, this, &TAppForm::XLS1Click);
  connect(item(PopupMenu1, "XLSX1"), &QAction::triggered, this, &TAppForm::XLSX1Click);

  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
  TUrlEditor* editor = ui_->SynEdit1;
  connect(item(PopupMenu2, "Undo1"), &QAction::triggered, editor, &QsciScintilla::undo);
  PopupMenu2->addSeparator();
  connect(item(PopupMenu2, "Cut1"), &QAction::triggered, editor, &QsciScintilla::cut);
  connect(item(PopupMenu2, "Copy1"), &QAction::triggered, editor, &QsciScintilla::copy);
  connect(item(PopupMenu2, "Paste1"), &QAction::triggered, editor, &QsciScintilla::paste);
  connect(item(PopupMenu2, "Delete1"), &QAction::triggered, editor,
          &QsciScintilla::removeSelectedText);
  PopupMenu2->addSeparator();
  connect(item(PopupMenu2, "SelectAll1"), &QAction::triggered, editor,
          [editor] { editor->selectAll(true); });

  PopupMenu3 = new QMenu(this);
  PopupMenu3->setObjectName(QStringLiteral("PopupMenu3"));
  connect(item(PopupMenu3, "CopyURL1"), &QAction::triggered, this,
          &TAppForm::CopyURL1Click);
  connect(item(PopupMenu3, "GotoURL1"), &QAction::triggered, this,
          &TAppForm::GotoURL1Click);
  PopupMenu3->addSeparator();
  connect(item(PopupMenu3, "CopyPlatform1"), &QAction::triggered, this,
          &TAppForm::CopyPlatform1Click);
  ShowEvidence1 = new QAction(i18n::Translate(QStringLiteral("Show Evidence...")), this);
  ShowEvidence1->setObjectName(QStringLiteral("ShowEvidence1"));
  connect(ShowEvidence1, &QAction::triggered, this, &TAppForm::ShowEvidence1Click);
}

void TAppForm::ApplyTexts() {
  using i18n::Translate;
  startCaption_ = Translate(QStringLiteral("Start"));
  stopCaption_ = Translate(QStringLiteral("STOP"));
  // Only an idle button shows "Start"; the window is built idle.
  ui_->ButtonStart->setText(startCaption_);
  ui_->ButtonExport->setText(Translate(QStringLiteral("Export Results")));
  // 150 wide, or what the longest caption of the language needs.
  auto widthFor = [](QPushButton* button, const QStringList& captions) {
    const QString shown = button->text();
    int width = 150;
    for (const QString& caption : captions) {
      button->setText(caption);
      width = qMax(width, button->sizeHint().width());
    }
    button->setText(shown);
    button->setFixedWidth(width);
  };
  widthFor(ui_->ButtonStart, {startCaption_, stopCaption_, Translate(QStringLiteral("Stopping..."))});
  widthFor(ui_->ButtonExport, {ui_->ButtonExport->text()});
  ui_->Label1->setText(Translate(QStringLiteral("URL List:")));
  ui_->Label3->setText(Translate(QStringLiteral("Connection Timeout (ms):")));
  ui_->Label4->setText(Translate(QStringLiteral("Response Timeout (ms):")));
  ui_->Label5->setText(Translate(QStringLiteral("Agent:")));
  model_->SetHeaderTexts({Translate(QStringLiteral("URL")), Translate(QStringLiteral("Platforms"))});
  summaryPanel_->ApplyTexts();

  ui_->File1->setTitle(Translate(QStringLiteral("&File")));
  ui_->LoadURLList1->setText(Translate(QStringLiteral("&Load URL List...")));
  ui_->Exit1->setText(Translate(QStringLiteral("E&xit")));
  ui_->Settings1->setTitle(Translate(QStringLiteral("&Settings")));
  ui_->MultiThreaded1->setText(Translate(QStringLiteral("&Multi-Threading")));
  Proxy1->setText(Translate(QStringLiteral("&Proxy...")));
  ui_->ResettoDefaults1->setText(Translate(QStringLiteral("&Reset to Defaults...")));
  ui_->Help1->setTitle(Translate(QStringLiteral("&Help")));
  ui_->Help2->setText(Translate(QStringLiteral("&Online Help")));
  ui_->UpdateNotifications1->setText(Translate(QStringLiteral("&Update Notifications")));
  ui_->Language1->setText(Translate(QStringLiteral("&Language...")));
  ui_->SendFeedback1->setText(Translate(QStringLiteral("Send &Feedback...")));
  ui_->About1->setText(Translate(QStringLiteral("&About...")));

  auto text = [](QMenu* menu, const char* name, const QString& caption) {
    menu->findChild<QAction*>(QLatin1String(name))->setText(caption);
  };
  text(PopupMenu1, "XT1", Translate(QStringLiteral("Export to TXT...")));
  text(PopupMenu1, "CSV1", Translate(QStringLiteral("Export to CSV...")));
  text(PopupMenu1, "XLS1", Translate(QStringLiteral("Export to XLS...")));
  text(PopupMenu1, "XLSX1", Translate(QStringLiteral("Export to XLSX...")));
  text(PopupMenu2, "Undo1", Translate(QStringLiteral("Undo")));
  text(PopupMenu2, "Cut1", Translate(QStringLiteral("Cut")));
  text(PopupMenu2, "Copy1", Translate(QStringLiteral("Copy")));
  text(PopupMenu2, "Paste1", Translate(QStringLiteral("Paste")));
  text(PopupMenu2, "Delete1", Translate(QStringLiteral("Delete")));
  text(PopupMenu2, "SelectAll1", Translate(QStringLiteral("Select All")));
  text(PopupMenu3, "CopyURL1", Translate(QStringLiteral("Copy URL")));
  text(PopupMenu3, "GotoURL1", Translate(QStringLiteral("Go to URL")));
  text(PopupMenu3, "CopyPlatform1", Translate(QStringLiteral("Copy Platforms")));

  // For screen readers: the fields are named by their labels (buddies);
  // each control says what it is for.
  ui_->Label1->setBuddy(ui_->SynEdit1);
  ui_->Label3->setBuddy(ui_->Edit3);
  ui_->Label4->setBuddy(ui_->Edit4);
  ui_->Label5->setBuddy(ui_->ComboBox1);
  ui_->SynEdit1->setAccessibleName(ui_->Label1->text());
  ui_->SynEdit1->setAccessibleDescription(Translate(QStringLiteral("The addresses of the sites to identify, one per line.")));
  ui_->Edit3->setAccessibleName(ui_->Label3->text());
  ui_->Edit3->setAccessibleDescription(Translate(QStringLiteral("How long to wait for a connection, in milliseconds.")));
  ui_->Edit4->setAccessibleName(ui_->Label4->text());
  ui_->Edit4->setAccessibleDescription(Translate(QStringLiteral("How long to wait for an answer, in milliseconds.")));
  ui_->ComboBox1->setAccessibleName(ui_->Label5->text());
  ui_->ComboBox1->setAccessibleDescription(Translate(QStringLiteral("The user agent text sent with every request.")));
  ui_->ListView1->setAccessibleName(Translate(QStringLiteral("Results")));
  ui_->ListView1->setAccessibleDescription(
      Translate(QStringLiteral("One row per site: its address and the platforms found.")));
  ui_->ButtonStart->setAccessibleDescription(
      Translate(QStringLiteral("Starts identifying the sites of the list, or stops the run.")));
  ui_->ButtonExport->setAccessibleDescription(
      Translate(QStringLiteral("Saves the results as a TXT, CSV, XLS or XLSX file.")));
  statusName0_ = Translate(QStringLiteral("Sites done"));
  statusName1_ = Translate(QStringLiteral("Site in work"));
  ExposeStatusTexts();
  ui_->StatusBar1->setAccessibleName(Translate(QStringLiteral("Status")));
  // "Exit" ends at once, without the closing step that saves the list.
  ui_->Exit1->setStatusTip(
      Translate(QStringLiteral("Ends the program at once; the URL list is not saved (closing the window saves it).")));
  ui_->Exit1->setToolTip(ui_->Exit1->statusTip());
  ui_->File1->setToolTipsVisible(true);
  progress_->setAccessibleName(Translate(QStringLiteral("Progress")));
}

void TAppForm::SetSmallestSize() {
  // The smallest window still shows three lines of the editor, the time-out
  // and agent row, three result rows under the header and the buttons, all
  // at the size their (translated) texts need. The splitter may still give
  // the editor less room when the user drags it there.
  ensurePolished();  // the texts' sizes in the style's fonts
  TUrlEditor* editor = ui_->SynEdit1;
  const int line = static_cast<int>(editor->SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 0));
  const int editorHeight =
      3 * line + 2 * editor->frameWidth() + editor->horizontalScrollBar()->sizeHint().height();
  QTableView* view = ui_->ListView1;
  const int listHeight = view->horizontalHeader()->sizeHint().height() +
                         3 * view->verticalHeader()->defaultSectionSize() + 2 * view->frameWidth() +
                         view->horizontalScrollBar()->sizeHint().height();
  view->setMinimumHeight(listHeight);
  const QMargins top = ui_->Panel1->layout()->contentsMargins();
  const int height = menuBar()->sizeHint().height() + top.top() + top.bottom() + editorHeight +
                     ui_->Splitter1->handleWidth() + ui_->Panel2->minimumHeight() + listHeight +
                     ui_->Panel3->minimumHeight() + ui_->StatusBar1->sizeHint().height();
  // The rows' own needs: the splitter above them learns of the translated
  // texts only once its posted layout requests have run.
  const int width = std::max({ui_->Panel1->minimumSizeHint().width(), ui_->Panel2->minimumSizeHint().width(),
                              ui_->Panel3->minimumSizeHint().width(), ui_->StatusBar1->minimumSizeHint().width()});
  setMinimumSize(width, height);
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
  if (ui_->ExtraSignatures1->isChecked()) PrepareSignatures();  // ready by the time Start is pressed
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
  // What the next start shows again, saved or not.
  savedListText_ = ui_->SynEdit1->text();
}

bool TAppForm::ListChangedSinceSave() const { return ui_->SynEdit1->text() != savedListText_; }

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
  ui_->ButtonStart->setText(startCaption_);
  ui_->ButtonStart->setEnabled(true);
  ui_->ButtonStart->setIcon(icon);
  // A keyboard user who pressed Stop, or turned the extra signatures on,
  // finds Start where it was, not Export Results.
  if (std::exchange(startLostFocus_, false) && focusWidget() == focusAfterStart_.data())
    ui_->ButtonStart->setFocus(Qt::OtherFocusReason);
  focusAfterStart_ = nullptr;
}

void TAppForm::DisableStart() {
  const bool hadFocus = focusWidget() == ui_->ButtonStart;
  ui_->ButtonStart->setEnabled(false);
  if (hadFocus) {
    startLostFocus_ = true;
    focusAfterStart_ = focusWidget();
  }
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
  if (ui_->ButtonStart->text() != startCaption_) {
    run::StopFlag().store(true);
    ui_->ButtonStart->setText(i18n::Translate(QStringLiteral("Stopping...")));
    DisableStart();
    return;
  }
  if (!proxy_->EnsurePassword(this)) return;
  // Files read afresh at every Start, so that an edited file counts at
  // once; compiled again only when they changed, off this thread.
  if (ui_->ExtraSignatures1->isChecked() &&
      !signatures_->Ready(RunSignaturePaths(options_.programFolder, dataFolder_))) {
    startPending_ = true;
    PrepareSignatures();
    return;
  }
  runUserAgent_ = ui_->ComboBox1->currentText();
  UpdateFetchInputs();
  // The old rows go at once, before anything of the new run is shown.
  model_->SetRowCount(0);
  workList_.clear();
  UpdateExportEnabled();
  ui_->StatusBar1->clearMessage();
  ui_->StatusBar1->setAccessibleName(i18n::Translate(QStringLiteral("Status")));
  summaryPanel_->RunStarted();
  progress_->setRange(0, 1);
  progress_->setValue(0);
  ui_->ButtonStart->setText(stopCaption_);
  ui_->ButtonStart->setIcon(QIcon());
  SetBusyCursor(true);
  run::StopFlag().store(false);
  stoppedSites_ = 0;
  firstStopped_.clear();
  // Draw the new state before the run starts; clicks wait until the worker exists.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

  auto* worker = new run::TMyIdentifier(*this, fetchInputs_, runUserAgent_, poolLimits_);
  if (ui_->ExtraSignatures1->isChecked()) {
    ShowRejectedSignatures(signatures_->Prepared().rejected, RunSignaturePaths(options_.programFolder, dataFolder_), this);
    worker->SetExtraSignatures(signatures_->Prepared().set);
  }
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
  ShowMessageBox(this, QMessageBox::Critical, i18n::Translate(QStringLiteral("ERROR")), message);
}

void TAppForm::IslemTamam(bool BeepYapalimmi) {
  if (BeepYapalimmi) QApplication::beep();
  statusPanel1_->clear();
  ExposeStatusTexts();
  SetIdleButton();
  SetBusyCursor(false);
  UpdateExportEnabled();
  if (workList_.empty()) {
    // Nothing was taken in: say why nothing ran.
    Announce(i18n::Translate(QStringLiteral("Nothing to do: the URL list holds no address.")), 8000);
  } else {
    Announce(i18n::Translate(QStringLiteral("Run finished: %1 sites done.")).arg(statusPanel0_->text()), 0);
  }
  if (stoppedSites_ > 0) {
    // Once per run, after the run's own hand-over has returned.
    const QString message =
        i18n::Translate(QStringLiteral("An expression of a signature file took too long or too much memory on %1 site(s) and was stopped there; those sites were identified as if it had not matched (Show Evidence names it). The first:"))
            .arg(stoppedSites_) +
        QStringLiteral("\n\n") + firstStopped_;
    stoppedSites_ = 0;
    QTimer::singleShot(0, this, [this, message] {
      ShowMessageBox(this, QMessageBox::Warning, i18n::Translate(QStringLiteral("WARNING")), message);
    });
  }
}

void TAppForm::ExpressionStopped(int index, const engine::TStoppedExpression& first) {
  if (stoppedSites_++ > 0) return;
  firstStopped_ = StoppedExpressionText(first) + QLatin1Char('\n') + workList_.at(static_cast<size_t>(index)).FURL;
}

void TAppForm::PrepareSignatures() {
  if (signatures_->Busy()) return;
  const auto paths = RunSignaturePaths(options_.programFolder, dataFolder_);
  if (signatures_->Ready(paths)) {
    if (startPending_) SignaturesPrepared();
    return;
  }
  // Start waits for them; the window goes on answering meanwhile.
  DisableStart();
  statusPanel1_->setText(i18n::Translate(QStringLiteral("Preparing the extra signatures...")));
  progress_->setRange(0, 0);  // moving: how long it takes is not known
  signatures_->Prepare(paths, [this] { SignaturesPrepared(); });
}

void TAppForm::SignaturesPrepared() {
  if (RunInProgress() && !startPending_) return;  // a run's own state stays as it is
  progress_->setRange(0, 1);
  progress_->setValue(0);
  statusPanel1_->clear();
  SetIdleButton();
  if (std::exchange(startPending_, false)) ButtonStartClick();
}

bool TAppForm::RunInProgress() const {
  if (startPending_) return true;
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
  if (panel == 0) {
    statusPanel0_->setText(text);
  } else if (text.startsWith(kProcessing)) {
    statusPanel1_->setText(
        i18n::Translate(QStringLiteral("Processing %s")).replace(QLatin1String("%s"), text.mid(kProcessing.size())));
  } else {
    statusPanel1_->setText(text);
  }
  ExposeStatusTexts();
}

void TAppForm::ExposeStatusTexts() {
  // A screen reader reads a label's accessible name, which would otherwise
  // hide the text: the name carries both.
  auto expose = [](QLabel* panel, const QString& name) {
    const QString shown = panel->text().isEmpty() ? name : name + QStringLiteral(": ") + panel->text();
    if (panel->accessibleName() != shown) panel->setAccessibleName(shown);
  };
  expose(statusPanel0_, statusName0_);
  expose(statusPanel1_, statusName1_);
}

void TAppForm::Announce(const QString& text, int visibleMs) {
  if (visibleMs > 0) ui_->StatusBar1->showMessage(text, visibleMs);
  ui_->StatusBar1->setAccessibleName(text);  // sends the name-change event
  QAccessibleEvent alert(ui_->StatusBar1, QAccessible::Alert);
  QAccessible::updateAccessibility(&alert);
}

QString TAppForm::StatusText(int panel) const { return panel == 0 ? statusPanel0_->text() : statusPanel1_->text(); }

void TAppForm::SetRowCount(qint64 count) {
  model_->SetRowCount(count);
  UpdateExportEnabled();
}

void TAppForm::UpdateExportEnabled() {
  // An export of no records would only write an empty file.
  ui_->ButtonExport->setEnabled(model_->rowCount() > 0);
}

void TAppForm::RedrawRow(int index) { model_->RedrawRow(index); }

void TAppForm::RecordEnded(int index) { summaryPanel_->RecordEnded(workList_.at(static_cast<size_t>(index))); }

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
  values.proxy = proxy_->Settings();
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
  if (checkedNow && !RunInProgress()) PrepareSignatures();
}

void TAppForm::EditMySignatures1Click() {
  const QString path = UserSignaturesPath(dataFolder_);
  if (!QFileInfo::exists(path)) {
    try {
      services::WriteFileAtomically(path, UserSignaturesExample(), services::TFileAccess::Private);
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
      savedListText_ = ui_->SynEdit1->text();
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
      {i18n::Translate(QStringLiteral("Yes")), i18n::Translate(QStringLiteral("No"))}, this,
      i18n::Translate(QStringLiteral(
          "The settings and the saved URL list are deleted; the program starts again with its built-in settings and example addresses.")));
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
                      TextFilters());
  }
  const QString fileName = ExecFileDialog(*OpenDialog1);
  if (fileName.isEmpty()) return;
  QApplication::setOverrideCursor(Qt::BusyCursor);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  try {
    std::optional<services::TLoadedText> loaded = services::LoadListFile(fileName);
    if (!loaded)
      throw std::runtime_error(i18n::Translate(QStringLiteral("Cannot open file \"%s\". No such file or directory."))
                                   .replace(QLatin1String("%s"), fileName)
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

void TAppForm::Help2Click() { OpenUrl(QUrl(OnlineHelpAddress(productName_))); }

void TAppForm::OpenUrl(const QUrl& url) {
  if (!options_.openUrl(url)) ReportNotOpened(this, url.toString(), false);
}

// ---- dialogs ----------------------------------------------------------------------

void TAppForm::SetLanguageFile(const QString& Filename) { ui::SetLanguageFile(*settings_, Filename); }

void TAppForm::Language1Click() {
  TTranslateFormHost host;
  host.SetLanguageFile = [this](const QString& file) { SetLanguageFile(file); };
  host.DataFolder = dataFolder_;
  if (ListChangedSinceSave())
    host.RestartNote = i18n::Translate(QStringLiteral(
        "The URL list is not saved by this restart: the program starts again with the list as it was last saved."));
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
  proxy_->EnsurePassword(this);
  TFeedbackForm dialog(this);
  dialog.exec();
}

void TAppForm::Proxy1Click() {
  TProxyForm dialog(*proxy_, this);
  dialog.exec();
}

void TAppForm::About1Click() {
  TAboutBox dialog(this, options_.programFolder);
  dialog.exec();
}

// ---- results view -------------------------------------------------------------

void TAppForm::ListView1ColumnClick(int column) {
  // Records are addressed by position while a run lasts. The header turns
  // its indicator on a click by itself: it is set back to the sort state.
  if (ui_->ButtonStart->text() != startCaption_) {
    ShowSortIndicator();
    return;
  }
  if (column == sortColumn_) {
    descending_ = !descending_;
  } else {
    sortColumn_ = column;
    descending_ = false;
  }
  const TSelectedRecords selected = SelectedRecords();
  std::vector<size_t> order;
  if (sortColumn_ == 0)
    order = Column1Sort();
  else if (sortColumn_ == 1)
    order = Column2Sort();
  model_->RedrawAll();
  FollowSortedRecords(selected, order);
  ShowSortIndicator();
}

std::vector<size_t> TAppForm::Column1Sort() {
  return SortRecords(workList_, descending_, [](const run::TMyRecord& r) -> const QString& { return r.FURL; });
}

std::vector<size_t> TAppForm::Column2Sort() {
  return SortRecords(workList_, descending_, [](const run::TMyRecord& r) -> const QString& { return r.FPlatform; });
}

TAppForm::TSelectedRecords TAppForm::SelectedRecords() const {
  TSelectedRecords selected;
  const QItemSelectionModel* selection = ui_->ListView1->selectionModel();
  if (selection == nullptr) return selected;
  for (const QItemSelectionRange& range : selection->selection())
    for (int row = range.top(); row <= range.bottom(); ++row)
      if (const int record = model_->RecordIndex(row); record >= 0) selected.records.push_back(record);
  const QModelIndex current = selection->currentIndex();
  if (current.isValid()) {
    selected.current = model_->RecordIndex(current.row());
    selected.currentColumn = current.column();
  }
  return selected;
}

void TAppForm::FollowSortedRecords(const TSelectedRecords& selected, const std::vector<size_t>& order) {
  // The selection belongs to the sites, not to the row numbers: the records
  // the user had selected are selected again where the sort put them.
  QItemSelectionModel* selection = ui_->ListView1->selectionModel();
  if (order.empty() || selection == nullptr) return;
  std::vector<int> newIndexOf(order.size());
  for (size_t at = 0; at < order.size(); ++at) newIndexOf[order[at]] = static_cast<int>(at);
  auto rowNow = [&](int record) {
    return record >= 0 && static_cast<size_t>(record) < newIndexOf.size()
               ? model_->RowOfRecord(newIndexOf[static_cast<size_t>(record)])
               : -1;
  };
  std::vector<int> rows;
  for (int record : selected.records)
    if (const int row = rowNow(record); row >= 0) rows.push_back(row);
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  QItemSelection moved;
  for (size_t i = 0; i < rows.size();) {
    size_t end = i;
    while (end + 1 < rows.size() && rows[end + 1] == rows[end] + 1) ++end;
    moved.select(model_->index(rows[i], 0), model_->index(rows[end], model_->columnCount() - 1));
    i = end + 1;
  }
  selection->select(moved, QItemSelectionModel::ClearAndSelect);
  if (const int row = rowNow(selected.current); row >= 0) {
    const QModelIndex current = model_->index(row, selected.currentColumn);
    selection->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
    ui_->ListView1->scrollTo(current);
  }
}

void TAppForm::ShowSortIndicator() {
  QHeaderView* header = ui_->ListView1->horizontalHeader();
  header->setSortIndicatorShown(sortColumn_ >= 0);
  header->setSortIndicator(sortColumn_, descending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
}

int TAppForm::SelectedRow() const {
  const QItemSelectionModel* selection = ui_->ListView1->selectionModel();
  if (!selection) return -1;
  int lowest = -1;
  for (const QItemSelectionRange& range : selection->selection())
    if (lowest < 0 || range.top() < lowest) lowest = range.top();
  // A filtered view's rows stand for records elsewhere in the list.
  return model_->RecordIndex(lowest);
}

void TAppForm::UpdateRowMenu() {
  // What cannot act is disabled: no row, or an address no browser takes.
  const int row = SelectedRow();
  const bool any = row >= 0;
  PopupMenu3->findChild<QAction*>(QStringLiteral("CopyURL1"))->setEnabled(any);
  PopupMenu3->findChild<QAction*>(QStringLiteral("CopyPlatform1"))->setEnabled(any);
  PopupMenu3->findChild<QAction*>(QStringLiteral("GotoURL1"))
      ->setEnabled(any && !BrowserAddress(workList_[static_cast<size_t>(row)].FURL).isEmpty());
}

void TAppForm::CopyURL1Click() {
  const int row = SelectedRow();
  if (row >= 0) QGuiApplication::clipboard()->setText(workList_[static_cast<size_t>(row)].FURL);
}

void TAppForm::CopyPlatform1Click() {
  const int row = SelectedRow();
  if (row >= 0) QGuiApplication::clipboard()->setText(workList_[static_cast<size_t>(row)].FPlatform);
}

void TAppForm::ShowEvidence1Click() {
  const int row = SelectedRow();
  if (row < 0) return;
  const run::TWorkRecord& record = workList_[static_cast<size_t>(row)];
  if (record.FImageNo != run::kImageDone && record.FImageNo != run::kImageError) return;
  TEvidenceDialog dialog(record, this);
  dialog.exec();
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
  if (!url.isEmpty()) OpenUrl(url);
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
  // The last chosen name again, with the extension of the format chosen now.
  if (!lastSaveName_.isEmpty()) SaveDialog1->selectFile(NameForFormat(lastSaveName_, defaultSuffix, filterPairs));
  const QString fileName = ExecFileDialog(*SaveDialog1);
  if (!fileName.isEmpty()) lastSaveName_ = fileName;
  return fileName;
}

void TAppForm::XT1Click() {
  const QString fileName = AskSaveFileName(QStringLiteral("txt"), TextFilters());
  if (fileName.isEmpty()) return;
  try {
    ExportToText(workList_, fileName);
  } catch (const std::exception& error) {
    ReportError(QString::fromUtf8(error.what()));
  }
}

void TAppForm::CSV1Click() {
  const QString fileName = AskSaveFileName(
      QStringLiteral("csv"), i18n::Translate(QStringLiteral("CSV File")) + QStringLiteral("|*.csv|") +
                                 i18n::Translate(QStringLiteral("Any File")) + QStringLiteral("|*.*"));
  if (fileName.isEmpty()) return;
  try {
    ExportToCsv(workList_, listSeparator_, fileName);
  } catch (const std::exception& error) {
    ReportError(QString::fromUtf8(error.what()));
  }
}

void TAppForm::XLS1Click() {
  ExportWorkbook(QStringLiteral("xls"),
                 i18n::Translate(QStringLiteral("XLS File")) + QStringLiteral("|*.xls|") +
                     i18n::Translate(QStringLiteral("XLSX File")) + QStringLiteral("|*.xlsx"),
                 exports::TWorkbookFormat::ByName);
}

void TAppForm::XLSX1Click() {
  ExportWorkbook(QStringLiteral("xlsx"),
                 i18n::Translate(QStringLiteral("XLSX File")) + QStringLiteral("|*.xlsx|") +
                     i18n::Translate(QStringLiteral("Any File")) + QStringLiteral("|*.*"),
                 exports::TWorkbookFormat::Xlsx);
}

void TAppForm::ExportWorkbook(const QString& defaultSuffix, const QString& filterPairs,
                              exports::TWorkbookFormat format) {
  const QString fileName = AskSaveFileName(defaultSuffix, filterPairs);
  if (fileName.isEmpty()) return;
  try {
    ExportToSpreadsheet(workList_, listSeparator_, fileName, format);
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
