// The update check at start: asks the maker's web service for the latest
// version at most five times a day, hands an important message to the window,
// and publishes whether the update notice is due.
//
// The window drives it with TUpdateCheckPoll from a one-second timer:
//   switch (poll.Tick()) {
//     case Started: case Waiting: case Idle: break;
//     case Done:    stop the timer; enable the "Update Notifications" entry and
//                   uncheck it when poll.Results()->ShowUpdate() is 0; when
//                   poll.Results()->UpdateAvailable(), show the notice with
//                   LatestVersion() and DownloadAddress().
//   }
// The entry's click calls ToggleUpdateNotifications; the new value takes
// effect at the next start.
#pragma once

#include <QDate>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace services {

inline constexpr int kUpdateCheckTimeoutMs = 10000;
// Successful checks a day; the last one of them raises no notice.
inline constexpr int kUpdateChecksPerDay = 5;

// The check's own per-user store (not the program's settings.ini): an INI
// file with the section "Settings". Every call opens the file afresh, so a
// store may be used from any thread; the check and the window never write at
// the same time (the window writes only after the check has ended).
class TUpdateStore {
 public:
  explicit TUpdateStore(const QString& iniPath);

  // <per-user configuration folder>/CORVANE/Lumasift/update.ini, the folder
  // being $XDG_CONFIG_HOME or ~/.config.
  static QString DefaultPath();

  // Each falls back to its default when the key is missing or its value is
  // not of the key's type: 1, empty, 0.
  int ShowUpdate() const;
  QString LastUpdateCheck() const;
  int LastUpdateCheckCount() const;

  // Return false when the file could not be written.
  bool WriteShowUpdate(int value);
  bool WriteLastUpdateCheck(const QString& date, int count);

  QString Path() const { return path_; }

 private:
  QString path_;
};

// The stable text of a local date that "LastUpdateCheck" holds: yyyy-MM-dd.
QString UpdateCheckDateText(const QDate& date);

// True when the service's version asks for the notice: it differs from the
// running version as text, it reads as a whole number once every "." is
// removed, notices are on (ShowUpdate exactly 1), and the day's count of
// checks is still below five.
bool IsUpdateAvailable(const QString& latestVersion, const QString& appVersion, int showUpdate,
                       int newCount);

// The window's side of the important message: shows `message` (untrimmed) in a
// warning box titled with the translated "IMPORTANT" and returns once the user
// has closed it. Called on the thread of the context object given to TChecker.
class TImportantMessageHost {
 public:
  virtual ~TImportantMessageHost() = default;
  virtual void ShowImportantMessage(const QString& message) = 0;
};

struct TUpdateCheckInputs {
  QString storePath;          // empty: TUpdateStore::DefaultPath()
  QDate today;                // invalid: the current local date
  QString appName;            // "appname=" (CORVANE - Lumasift)
  QString appVersion;         // "version=" and the comparison (1.5)
  int timeoutMs = kUpdateCheckTimeoutMs;
  std::function<QString()> machineGuid;  // empty: GetMachineGuid
};

// What one check found. `requestSent` tells whether the service was asked.
struct TUpdateOutcome {
  int showUpdate = 1;
  QString latestVersion;
  QString downloadAddress;
  bool updateAvailable = false;
  bool requestSent = false;
  bool succeeded = false;
};

// One whole check on the calling thread: reads the store, asks the service
// ("cmd=check" to php/check2.php over https, then http) unless notices are off
// or today's five checks are used up, counts a successful check in the store,
// hands a non-blank important message to `host` (may be null) and decides
// whether the notice is due. Never throws; every failure just ends the check
// without writing anything.
TUpdateOutcome RunUpdateCheck(const TUpdateCheckInputs& inputs, TImportantMessageHost* host,
                              const std::atomic<bool>* abandon = nullptr);

// The results the check thread publishes for the window. Written once by the
// check, then CheckDone() turns true (release); the window reads the values
// only after it has seen CheckDone() (acquire). Before that they read as the
// starting values (ShowUpdate 1, empty texts, no update).
class TUpdateResults {
 public:
  bool CheckDone() const { return done_.load(std::memory_order_acquire); }
  int ShowUpdate() const { return CheckDone() ? outcome_.showUpdate : 1; }
  QString LatestVersion() const { return CheckDone() ? outcome_.latestVersion : QString(); }
  QString DownloadAddress() const { return CheckDone() ? outcome_.downloadAddress : QString(); }
  bool UpdateAvailable() const { return CheckDone() && outcome_.updateAvailable; }

  // By the check thread, once.
  void Publish(const TUpdateOutcome& outcome);

 private:
  TUpdateOutcome outcome_;
  std::atomic<bool> done_{false};
};

// Where the check hands its important message: the window's host object and
// the object whose thread runs it. Shared by the check thread and the main
// thread; Drop() (main thread) makes later hand-overs do nothing.
class THandOverTarget {
 public:
  THandOverTarget(QObject* context, TImportantMessageHost* host) : context_(context), host_(host) {}
  // From the check thread: runs host->ShowImportantMessage(message) on the
  // context's thread and waits for it; a plain call when already there.
  void Show(const QString& message);
  void Drop();

 private:
  std::mutex mutex_;
  QPointer<QObject> context_;
  TImportantMessageHost* host_;
};

// The check on its own thread. Frees itself when it ends (deleteLater on the
// thread it was created on, normally the main thread). The important message
// runs on `messageContext`'s thread (normally the window, which is also the
// host) while the check waits; once that object is gone or the check was
// abandoned, the message is dropped.
class TChecker : public QThread {
  Q_OBJECT
 public:
  TChecker(TUpdateCheckInputs inputs, std::shared_ptr<TUpdateResults> results,
           QObject* messageContext, TImportantMessageHost* host);

  // From the main thread: makes a request in progress fail at once and drops
  // the hand-over; the check then ends unwritten and still publishes
  // CheckDone. For a window that closes mid-check.
  void Abandon();

 protected:
  void run() override;

 private:
  TUpdateCheckInputs inputs_;
  std::shared_ptr<TUpdateResults> results_;
  std::shared_ptr<THandOverTarget> target_;
  std::atomic<bool> abandon_{false};
};

// TimerCheckerTimer's steps apart from the window's own: the first tick starts
// the check, later ticks wait for it, one tick reports it done. Lives on the
// main thread (the window owns it); abandons a check still running when it is
// destroyed.
class TUpdateCheckPoll {
 public:
  TUpdateCheckPoll(TUpdateCheckInputs inputs, QObject* messageContext,
                   TImportantMessageHost* host);
  ~TUpdateCheckPoll();
  TUpdateCheckPoll(const TUpdateCheckPoll&) = delete;
  TUpdateCheckPoll& operator=(const TUpdateCheckPoll&) = delete;

  enum class TTick {
    Started,  // first tick: the check thread was started
    Waiting,  // the check is still running
    Done,     // the check has ended (reported on one tick only)
    Idle,     // every tick after Done
  };
  TTick Tick();
  // For an owner that ends mid-check: abandons the check (see
  // TChecker::Abandon) and waits up to `ms` for its thread to end, without
  // running events. Call it only once nothing the check handed over can still
  // be waiting to run on this thread (for a window: after removing its posted
  // calls), else the wait lasts the whole `ms`. Returns whether no check
  // thread is left running.
  bool AbandonAndWait(int ms);
  // Shared, so that it stays readable after the poll is gone.
  std::shared_ptr<const TUpdateResults> Results() const { return results_; }

 private:
  TUpdateCheckInputs inputs_;
  QPointer<QObject> messageContext_;
  TImportantMessageHost* host_;
  std::shared_ptr<TUpdateResults> results_ = std::make_shared<TUpdateResults>();
  QPointer<TChecker> checker_;
  bool started_ = false;
  bool reported_ = false;
};

// UpdateNotifications1Click: a checked entry becomes unchecked and writes
// "ShowUpdate" 0, an unchecked one becomes checked and writes 1. Returns the
// entry's new check state.
bool ToggleUpdateNotifications(bool entryChecked, TUpdateStore& store);

}  // namespace services
