#pragma once
// TAppForm: the main window. It holds the URL editor, the fetch settings
// (two time-outs and the user agent), the results view, the Start/STOP and
// Export buttons and the status bar, and it is the front end of every run
// (run::TRunHost): the run's hand-overs arrive here, on the main thread.
//
// The run control has three states, told by ButtonStart's caption alone:
//   Idle      "Start"                     enabled, picture 50   default cursor
//   Running   "STOP"                      enabled, no picture   busy cursor
//   Stopping  Translate("Stopping...")    disabled, no picture  busy cursor
// Sorting the results is refused unless the caption reads "Start"; a sort
// keeps the selected sites selected (and the current one in view) and the
// header's sort indicator shows the column and direction.
//
// Export Results is enabled while the list holds records; a run that takes
// in no URL says so in the status bar. The status panels expose their texts
// to screen readers, and the end of a run is announced (the status bar's
// accessible name, with a name-change and an alert event).
//
// Ending: closing the window saves the URL list to list.txt (while the
// settings-ready flag is set; a failed save keeps the window open); "Exit"
// ends at once without saving; Reset to Defaults deletes settings.ini and
// list.txt, starts a new copy and ends; a confirmed language change writes
// start.sh and ends like "Exit". A run still going when the window is
// destroyed is abandoned and joined; nothing is left running. The update
// check is abandoned as soon as the program ends by any of these ways, and
// its thread joined when the window is destroyed.
#include <QChar>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <vector>

#include "run/identifier.h"
#include "run/run_host.h"
#include "services/update_check.h"

class QFileDialog;
class QLabel;
class QMenu;
class QProgressBar;
class QTimer;
namespace exports {
enum class TWorkbookFormat;
}
namespace services {
class TSettingsStore;
}
namespace Ui {
class TAppForm;
}

namespace ui {

class TResultsModel;
class TSummaryPanel;
class TNewVer;
class TProxyState;
class TSignaturePreparation;

// What the window reaches outside itself; tests replace these.
struct TAppFormOptions {
  QString programFolder;                     // empty: the running program's folder
  // Opens an address; false when it could not (the window then says so).
  std::function<bool(const QUrl&)> openUrl;  // empty: the desktop's default handler
  // Opens a local file with the desktop's default application; false when
  // nothing could open it (empty: QDesktopServices).
  std::function<bool(const QUrl&)> openFile;
  std::function<bool()> startNewCopy;        // empty: start this program again, detached
  std::function<void()> endApplication;      // empty: QCoreApplication::exit(0), no window closed
  // Starts the restart script the language dialog wrote (empty: /bin/sh runs
  // it detached in the data folder); the window then ends as "Exit" does.
  std::function<bool(const QString& scriptPath)> startRestartScript;
  // The update check a second after creation. Tests that do not point the
  // maker's host at a server of their own switch it off, so that nothing
  // reaches the real host; the entry then stays checked and disabled.
  bool updateCheck = true;
  QString updateStorePath;  // empty: the per-user store (TUpdateStore::DefaultPath)
};

class TAppForm : public QMainWindow, public run::TRunHost, public services::TImportantMessageHost {
  Q_OBJECT
 public:
  explicit TAppForm(TAppFormOptions options = {}, QWidget* parent = nullptr);
  ~TAppForm() override;

  // run::TRunHost, performed on the main thread inside the run's hand-overs.
  QObject* Context() override { return this; }
  run::TWorkList& WorkList() override { return workList_; }
  int EditorLineCount() override;
  QString EditorLine(int index) override;
  bool MultiThreadingOn() override;
  int MultiThreads() override;
  void AddData(const QString& MyURL, const QString& MyPlatform) override;
  void SetStatusText(int panel, const QString& text) override;
  void SetRowCount(qint64 count) override;
  void RedrawRow(int index) override;
  void IslemTamam(bool BeepYapalimmi) override;
  void Progress(qint64 done, qint64 total) override;
  // Remembered for the run's one warning, shown once the run has ended.
  void ExpressionStopped(int index, const engine::TStoppedExpression& first) override;
  void RecordEnded(int index) override;  // counted in the summary

  // services::TImportantMessageHost: the maker's notice in a warning box
  // titled "IMPORTANT" (translated), on the main thread while the check waits.
  void ShowImportantMessage(const QString& message) override;

  // The language dialog's choice, remembered in settings.ini for the next start.
  void SetLanguageFile(const QString& Filename);

  // State that tests and the dialogs read.
  QString StatusText(int panel) const;
  QString DataFolder() const { return dataFolder_; }
  bool SettingsReady() const { return settingsReady_; }
  int SortColumn() const { return sortColumn_; }
  bool SortDescending() const { return descending_; }
  QChar ListSeparator() const { return listSeparator_; }
  run::PoolLimits DefaultPoolLimits() const { return poolLimits_; }
  services::TSettingsStore& Settings() { return *settings_; }
  QString ProductName() const { return productName_; }
  QString AppName() const { return AppName_; }
  QString AppVersion() const { return AppVersion_; }
  // Whether a run's worker thread is still alive.
  bool RunInProgress() const;
  // Whether the update check's timer still polls (until the check is done).
  bool UpdateCheckPending() const;
  // View > Summary: the run's summary beside the results.
  TSummaryPanel* SummaryPanel() const { return summaryPanel_; }
  // The update notice this window opened, while it is open.
  TNewVer* UpdateNotice() const;

  // The address "Go to URL" opens for a record's URL: an http or https
  // address, or an empty one (nothing is opened) for anything else.
  static QUrl BrowserAddress(const QString& recordUrl);

  // The user-agent texts of ComboBox1's list, item 1 being the default.
  static QStringList UserAgents();
  // The editor's lines before any saved list is restored.
  static QString ExampleUrls();

 public Q_SLOTS:
  void ButtonStartClick();
  void ButtonExportClick();
  void XT1Click();
  void CSV1Click();
  void XLS1Click();
  // "Export to XLSX...": the spreadsheet export with the Office Open XML
  // format chosen up front (the same writer as XLS1Click).
  void XLSX1Click();
  void MultiThreaded1Click(bool checkedNow);
  void ExtraSignatures1Click(bool checkedNow);
  void EditMySignatures1Click();
  void ResettoDefaults1Click();
  void Exit1Click();
  void LoadURLList1Click();
  void Help2Click();
  void Language1Click();
  void SendFeedback1Click();
  void Proxy1Click();
  void About1Click();
  void UpdateNotifications1Click();
  void ListView1ColumnClick(int column);
  void CopyURL1Click();
  void GotoURL1Click();
  void CopyPlatform1Click();
  // The evidence dialog for the lowest selected row (a finished row only).
  void ShowEvidence1Click();

 protected:
  void closeEvent(QCloseEvent* e) override;    // FormClose
  void resizeEvent(QResizeEvent* e) override;  // FormResize

 private:
  void FormCreate();
  void BuildMenus();
  void BuildStatusBar();
  void ApplyTexts();
  void SetSmallestSize();  // every caption of the window, through Translate
  void ApplyStoredSettings();
  void LoadSavedList();
  void SetEditorText(const QString& text, const QString& lineBreak);
  void Timer1Timer();
  void TimerCheckerTimer();
  void AbandonUpdateCheck();
  void JoinUpdateCheck();
  void MyThreadTerminate(run::TMyIdentifier* worker);
  void Edit3Change();
  void Edit4Change();
  void ComboBox1Change();
  void UpdateFetchInputs();
  void WriteSetting(const QString& key, const QString& value);
  void SetBusyCursor(bool busy);
  void SetIdleButton();
  // Disables Start; the keyboard focus Qt then passes on comes back to it
  // when SetIdleButton() enables it, unless the user has moved it meanwhile.
  void DisableStart();
  // Sort the work list; each returns the old row of every new row.
  std::vector<size_t> Column1Sort();
  std::vector<size_t> Column2Sort();
  // The records the view has selected (and its current one), by their
  // work-list index, so that they can be selected again after a sort.
  struct TSelectedRecords {
    std::vector<int> records;
    int current = -1;
    int currentColumn = 0;
  };
  TSelectedRecords SelectedRecords() const;
  void FollowSortedRecords(const TSelectedRecords& selected, const std::vector<size_t>& order);
  void ShowSortIndicator();
  void UpdateExportEnabled();
  void ExposeStatusTexts();
  // Tells screen readers `text` (and, when `visibleMs` > 0, shows it in the
  // status bar for that long).
  void Announce(const QString& text, int visibleMs);
  // Whether the editor holds text that list.txt does not (typed or loaded
  // since the last load or save).
  bool ListChangedSinceSave() const;
  int SelectedRow() const;
  void UpdateRowMenu();
  void OpenUrl(const QUrl& url);
  QString AskSaveFileName(const QString& defaultSuffix, const QString& filterPairs);
  void ExportWorkbook(const QString& defaultSuffix, const QString& filterPairs, exports::TWorkbookFormat format);
  void ReportError(const QString& message);
  void ReportLater(const QString& message);
  void AbandonRuns();

  std::unique_ptr<Ui::TAppForm> ui_;
  TAppFormOptions options_;

  QString companyName_;
  QString productName_;
  QString AppName_;
  QString AppVersion_;
  QChar listSeparator_ = u',';
  QString dataFolder_;
  std::unique_ptr<services::TSettingsStore> settings_;
  bool settingsReady_ = false;
  run::PoolLimits poolLimits_;

  run::TWorkList workList_;
  TResultsModel* model_ = nullptr;
  TSummaryPanel* summaryPanel_ = nullptr;
  std::shared_ptr<run::TFetchInputs> fetchInputs_;
  TProxyState* proxy_ = nullptr;
  QString runUserAgent_;
  QList<QPointer<run::TMyIdentifier>> workers_;
  bool busyCursor_ = false;
  QString startCaption_ = QStringLiteral("Start");  // the idle caption, translated
  QString stopCaption_ = QStringLiteral("STOP");

  // Sites of this run where an expression of a signature file stopped at
  // its limit, and the first such expression with its site.
  qint64 stoppedSites_ = 0;
  // The extra signatures, compiled away from this thread and kept while
  // their files are unchanged; a Start made while they compile waits for them.
  TSignaturePreparation* signatures_ = nullptr;
  bool startPending_ = false;
  // Whether Start had the focus when it was last disabled, and where Qt put it.
  bool startLostFocus_ = false;
  QPointer<QWidget> focusAfterStart_;
  void PrepareSignatures();
  void SignaturesPrepared();
  QString firstStopped_;

  int sortColumn_ = -1;
  bool descending_ = false;
  QString lineBreak_ = QStringLiteral("\r\n");
  QString savedListText_;  // the editor's text as list.txt holds it (or the example lines)
  QString statusName0_, statusName1_;  // the status panels' accessible names, translated

  QLabel* statusPanel0_ = nullptr;
  QLabel* statusPanel1_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QMenu* PopupMenu1 = nullptr;  // export
  QMenu* PopupMenu2 = nullptr;  // editor
  QMenu* PopupMenu3 = nullptr;  // results rows
  QAction* Proxy1 = nullptr;  // Settings > Proxy..., made in code
  QAction* ShowEvidence1 = nullptr;  // joins PopupMenu3 while it is open
  QAction* evidenceSeparator_ = nullptr;  // before ShowEvidence1 while it is there
  QFileDialog* OpenDialog1 = nullptr;
  QFileDialog* SaveDialog1 = nullptr;
  QString lastSaveName_;  // offered again by the next export
  QTimer* Timer1 = nullptr;
  QTimer* TimerChecker = nullptr;
  std::unique_ptr<services::TUpdateCheckPoll> updateCheck_;
  QPointer<TNewVer> notice_;
};

}  // namespace ui
