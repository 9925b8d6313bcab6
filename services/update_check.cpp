#include "services/update_check.h"

#include "i18n/codepage.h"
#include "services/atomic_file.h"
#include "services/service_request.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QSemaphore>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <exception>
#include <utility>

namespace services {
namespace {

const QString kShowUpdateKey = QStringLiteral("Settings/ShowUpdate");
const QString kLastCheckKey = QStringLiteral("Settings/LastUpdateCheck");
const QString kLastCheckCountKey = QStringLiteral("Settings/LastUpdateCheckCount");

int ReadInteger(const QString& path, const QString& key, int fallback) {
  const QSettings settings(path, QSettings::IniFormat);
  bool ok = false;
  const int value = settings.value(key).toString().trimmed().toInt(&ok);
  return ok ? value : fallback;
}

bool Write(const QString& path, const QList<std::pair<QString, QVariant>>& values) {
  MakePrivateFolders(QFileInfo(path).absolutePath());
  QSettings settings(path, QSettings::IniFormat);
  for (const auto& [key, value] : values) settings.setValue(key, value);
  settings.sync();
  return settings.status() == QSettings::NoError;
}

// Hands the message through the target and forwards abandonment to it.
class TTargetHost final : public TImportantMessageHost {
 public:
  TTargetHost(std::shared_ptr<THandOverTarget> target, const std::atomic<bool>* abandon)
      : target_(std::move(target)), abandon_(abandon) {}
  void ShowImportantMessage(const QString& message) override {
    if (!abandon_->load()) target_->Show(message);
  }

 private:
  std::shared_ptr<THandOverTarget> target_;
  const std::atomic<bool>* abandon_;
};

// Releases the waiting check thread when the queued call has run or was
// thrown away unrun (its receiver died, or the application ended first).
// Neither copied nor moved, so that exactly one release happens.
class TReleaseOnDestruction {
 public:
  explicit TReleaseOnDestruction(std::shared_ptr<QSemaphore> semaphore) : semaphore_(std::move(semaphore)) {}
  TReleaseOnDestruction(const TReleaseOnDestruction&) = delete;
  TReleaseOnDestruction& operator=(const TReleaseOnDestruction&) = delete;
  ~TReleaseOnDestruction() { semaphore_->release(); }

 private:
  std::shared_ptr<QSemaphore> semaphore_;
};

}  // namespace

// ---- Store -----------------------------------------------------------------------

TUpdateStore::TUpdateStore(const QString& iniPath) : path_(iniPath) {}

QString TUpdateStore::DefaultPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/" LUMASIFT_COMPANY "/" LUMASIFT_PRODUCT "/update.ini");
}

int TUpdateStore::ShowUpdate() const { return ReadInteger(path_, kShowUpdateKey, 1); }

QString TUpdateStore::LastUpdateCheck() const {
  const QSettings settings(path_, QSettings::IniFormat);
  return settings.value(kLastCheckKey).toString();
}

int TUpdateStore::LastUpdateCheckCount() const {
  return ReadInteger(path_, kLastCheckCountKey, 0);
}

bool TUpdateStore::WriteShowUpdate(int value) { return Write(path_, {{kShowUpdateKey, value}}); }

bool TUpdateStore::WriteLastUpdateCheck(const QString& date, int count) {
  return Write(path_, {{kLastCheckKey, date}, {kLastCheckCountKey, count}});
}

QString UpdateCheckDateText(const QDate& date) { return date.toString(Qt::ISODate); }

// ---- Decision --------------------------------------------------------------------

bool IsUpdateAvailable(const QString& latestVersion, const QString& appVersion, int showUpdate,
                       int newCount) {
  if (latestVersion == appVersion) return false;
  QString digits = latestVersion;
  digits.remove(u'.');
  static const QRegularExpression wholeNumber(QStringLiteral("^[+-]?[0-9]+$"));
  if (!wholeNumber.match(digits).hasMatch()) return false;
  bool fits = false;
  digits.toInt(&fits);
  if (!fits) return false;
  return showUpdate == 1 && newCount < kUpdateChecksPerDay;
}

TUpdateOutcome RunUpdateCheck(const TUpdateCheckInputs& inputs, TImportantMessageHost* host,
                              const std::atomic<bool>* abandon) {
  TUpdateOutcome outcome;
  try {
    bool failed = false;
    QString machineGuid;
    try {
      machineGuid = inputs.machineGuid ? inputs.machineGuid() : GetMachineGuid();
    } catch (const std::exception&) {
      machineGuid.clear();
      failed = true;
    }

    TUpdateStore store(inputs.storePath.isEmpty() ? TUpdateStore::DefaultPath()
                                                        : inputs.storePath);
    const QString lastCheck = store.LastUpdateCheck();
    const int lastCount = store.LastUpdateCheckCount();
    outcome.showUpdate = store.ShowUpdate();
    const QString today =
        UpdateCheckDateText(inputs.today.isValid() ? inputs.today : QDate::currentDate());

    if (outcome.showUpdate == 0) return outcome;
    if (lastCheck == today && lastCount >= kUpdateChecksPerDay) return outcome;

    const QStringList fields = {
        QStringLiteral("cmd=check"),
        QStringLiteral("appname=") + inputs.appName,
        QStringLiteral("version=") + inputs.appVersion,
        QStringLiteral("os=") + OperatingSystemDescription(),
        QStringLiteral("local=") + GetLocaleName(),
        QStringLiteral("guid=") + machineGuid,
    };
    QString answer;
    bool httpsFailed = false;
    outcome.requestSent = true;
    try {
      answer = ServiceRequest(QStringLiteral("php/check2.php"), fields, inputs.timeoutMs,
                              &httpsFailed, abandon);
      // The https attempt failed but http answered: that answer counts, and
      // it clears every earlier mark too.
      if (httpsFailed) failed = false;
    } catch (const std::exception&) {
      failed = true;
    }
    if (answer.startsWith(QStringLiteral("ERROR"))) failed = true;
    if (failed) return outcome;

    const int newCount = lastCheck == today ? lastCount + 1 : 1;
    store.WriteLastUpdateCheck(today, newCount);  // a failed write is ignored
    outcome.succeeded = true;

    const QStringList lines = i18n::SplitTextLines(answer);
    auto line = [&lines](int number) { return number <= lines.size() ? lines[number - 1] : QString(); };
    const QString latestVersion = TagValue(line(1), QStringLiteral("version"));
    const QString downloadAddress = TagValue(line(2), QStringLiteral("url"));
    const QString message = TagValue(line(6), QStringLiteral("important"));
    outcome.latestVersion = latestVersion;
    outcome.downloadAddress = downloadAddress;

    if (host && !TrimBlanksAndControls(message).isEmpty()) {
      try {
        host->ShowImportantMessage(message);
      } catch (const std::exception&) {
        // The message is a courtesy; the check goes on without it.
      }
    }
    outcome.updateAvailable =
        IsUpdateAvailable(latestVersion, inputs.appVersion, outcome.showUpdate, newCount);
  } catch (const std::exception&) {
    // Nothing that goes wrong in the check reaches the user.
  }
  return outcome;
}

// ---- Publishing and the thread -------------------------------------------------

void TUpdateResults::Publish(const TUpdateOutcome& outcome) {
  if (done_.load(std::memory_order_relaxed)) return;
  outcome_ = outcome;
  done_.store(true, std::memory_order_release);
}

void THandOverTarget::Show(const QString& message) {
  auto finished = std::make_shared<QSemaphore>(0);
  {
    // Posting under the lock: once Drop() has returned on the main thread,
    // nothing new reaches a window that may be on its way out.
    std::lock_guard lock(mutex_);
    QObject* receiver = context_.data();
    TImportantMessageHost* host = host_;
    if (!receiver || !host) return;
    if (receiver->thread() == QThread::currentThread()) {
      host->ShowImportantMessage(message);
      return;
    }
    auto release = std::make_shared<TReleaseOnDestruction>(finished);
    QMetaObject::invokeMethod(
        receiver, [host, message, release] { host->ShowImportantMessage(message); },
        Qt::QueuedConnection);
  }
  // Wait without the lock, so that the main thread can still Drop() while
  // the message box is open.
  finished->acquire();
}

void THandOverTarget::Drop() {
  std::lock_guard lock(mutex_);
  context_.clear();
  host_ = nullptr;
}

TChecker::TChecker(TUpdateCheckInputs inputs, std::shared_ptr<TUpdateResults> results,
                   QObject* messageContext, TImportantMessageHost* host)
    : inputs_(std::move(inputs)),
      results_(std::move(results)),
      target_(std::make_shared<THandOverTarget>(messageContext, host)) {
  connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TChecker::Abandon() {
  abandon_.store(true);
  target_->Drop();
}

void TChecker::run() {
  TTargetHost host(target_, &abandon_);
  results_->Publish(RunUpdateCheck(inputs_, &host, &abandon_));
}

// ---- Timer steps and the menu entry --------------------------------------------

TUpdateCheckPoll::TUpdateCheckPoll(TUpdateCheckInputs inputs, QObject* messageContext,
                                   TImportantMessageHost* host)
    : inputs_(std::move(inputs)), messageContext_(messageContext), host_(host) {}

TUpdateCheckPoll::~TUpdateCheckPoll() {
  if (checker_) checker_->Abandon();
}

TUpdateCheckPoll::TTick TUpdateCheckPoll::Tick() {
  if (!started_) {
    started_ = true;
    checker_ = new TChecker(inputs_, results_, messageContext_.data(), host_);
    checker_->start();
    return TTick::Started;
  }
  if (reported_) return TTick::Idle;
  if (!results_->CheckDone()) return TTick::Waiting;
  reported_ = true;
  return TTick::Done;
}

bool TUpdateCheckPoll::AbandonAndWait(int ms) {
  if (!checker_) return true;
  checker_->Abandon();
  if (!checker_->wait(QDeadlineTimer(ms))) return false;
  // Its own deleteLater may still be queued; deleting it now discards that.
  delete checker_.data();
  return true;
}

bool ToggleUpdateNotifications(bool entryChecked, TUpdateStore& store) {
  store.WriteShowUpdate(entryChecked ? 0 : 1);
  return !entryChecked;
}

}  // namespace services
