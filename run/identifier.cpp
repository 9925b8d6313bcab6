#include "run/identifier.h"

#include <QMetaObject>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

#include "fetch/page_budget.h"
#include "run/handover_steps.h"
#include "run/parallel_loop.h"
#include "run/site_job.h"
#include "run/test_hooks.h"

namespace run {

namespace {

std::atomic<testing::JobHook> gJobHook{nullptr};

}  // namespace

namespace testing {
void SetJobHook(JobHook hook) { gJobHook.store(hook); }
JobHook CurrentJobHook() { return gJobHook.load(); }
}  // namespace testing

PoolLimits DefaultPoolLimits() {
  const int p = std::max(1, QThread::idealThreadCount());
  return PoolLimits{p, 25 * p};
}

int JobsAtOnce(int multiThreads, PoolLimits defaultLimits) {
  if (multiThreads <= 0 || multiThreads < defaultLimits.minimum) return defaultLimits.maximum;
  return multiThreads;
}

std::atomic<bool>& StopFlag() {
  static std::atomic<bool> flag{false};
  return flag;
}

// The road from the run's threads to the main thread. A call is queued to the
// context object and the asking thread waits until the main thread has
// performed it. Unlike a blocking queued connection, a waiting thread can be
// let go: Abandon() releases every waiter at once, and a call that reaches
// the main thread after Abandon() does nothing, so the front end may join the
// run and go away without a hand-over left hanging in either direction.
class THandOverLine {
 public:
  explicit THandOverLine(QObject* context) : context_(context), shared_(std::make_shared<Shared>()) {}

  bool Call(const std::function<void()>& step) {
    auto pending = std::make_shared<Pending>();
    pending->shared = shared_;
    {
      auto guard = std::make_shared<DropGuard>(pending);
      std::function<void()> call = [guard, step] { guard->pending->Perform(step); };
      std::lock_guard lock(shared_->mutex);
      // Posting under the lock means no call is posted once Abandon() has
      // returned, so a context that goes away after it is never posted to.
      if (shared_->abandoned) return false;
      QMetaObject::invokeMethod(context_, std::move(call), Qt::QueuedConnection);
    }
    std::unique_lock lock(shared_->mutex);
    shared_->cv.wait(lock, [&] { return pending->done || shared_->abandoned; });
    if (pending->error) std::rethrow_exception(pending->error);
    return pending->ran;
  }

  // Main thread only.
  void Abandon() {
    {
      std::lock_guard lock(shared_->mutex);
      shared_->abandoned = true;
    }
    shared_->cv.notify_all();
  }

 private:
  struct Shared {
    std::mutex mutex;
    std::condition_variable cv;
    bool abandoned = false;
  };
  struct Pending {
    std::shared_ptr<Shared> shared;
    bool done = false;
    bool ran = false;
    std::exception_ptr error;

    // On the main thread. Abandon() also runs there, so a call that finds the
    // line open performs its step before any Abandon() can return.
    void Perform(const std::function<void()>& step) {
      bool open;
      {
        std::lock_guard lock(shared->mutex);
        open = !shared->abandoned;
      }
      std::exception_ptr caught;
      if (open) {
        try {
          step();
        } catch (...) {
          // Never let an exception run into the event loop: the asking
          // thread gets it and the run fails with it.
          caught = std::current_exception();
        }
      }
      Finish(open, caught);
    }
    void Finish(bool performed, std::exception_ptr caught) {
      {
        std::lock_guard lock(shared->mutex);
        if (done) return;
        done = true;
        ran = performed;
        error = caught;
      }
      shared->cv.notify_all();
    }
  };
  // Lives as long as the queued call: a call dropped unperformed (its
  // receiver deleted with the call still queued) lets its asker go as well.
  struct DropGuard {
    explicit DropGuard(std::shared_ptr<Pending> p) : pending(std::move(p)) {}
    ~DropGuard() { pending->Finish(false, nullptr); }
    std::shared_ptr<Pending> pending;
  };

  QObject* context_;
  std::shared_ptr<Shared> shared_;
};

TMyIdentifier::TMyIdentifier(TRunHost& host, std::shared_ptr<const TFetchInputs> inputs, QString runUserAgent,
                             PoolLimits defaultLimits, QObject* parent)
    : QThread(parent),
      host_(host),
      inputs_(std::move(inputs)),
      runUserAgent_(std::move(runUserAgent)),
      defaultLimits_(defaultLimits),
      line_(std::make_unique<THandOverLine>(host.Context())) {}

TMyIdentifier::~TMyIdentifier() {
  if (isRunning()) {
    Abandon();
    wait();
  }
  SeeRunEnded();
}

void TMyIdentifier::SeeRunEnded() const { (void)ran_.load(std::memory_order_acquire); }

bool TMyIdentifier::Failed() const {
  SeeRunEnded();
  return failed_;
}

QString TMyIdentifier::FailureMessage() const {
  SeeRunEnded();
  return failureMessage_;
}

void TMyIdentifier::Abandon() {
  abandon_.store(true);
  line_->Abandon();
}

bool TMyIdentifier::HandOver(const std::function<void()>& step) { return line_->Call(step); }

bool TMyIdentifier::JobsMayStart() const { return !StopFlag().load() && !abandon_.load(); }

void TMyIdentifier::run() {
  try {
    Execute();
  } catch (...) {
    if (!abandon_.load()) {  // else nobody is left to tell
      failed_ = true;
      failureMessage_ = ExceptionMessage(std::current_exception());
    }
  }
  // Last: whoever uses this object after wait() reads it (SeeRunEnded), so
  // that the order of the run before the join is plain to the thread
  // sanitizer too, which cannot see the join inside Qt's own code.
  ran_.store(true, std::memory_order_release);
}

void TMyIdentifier::Execute() {
  Intake();
  if (abandon_.load()) return;
  KacTaneBitti.store(0);
  qint64 total = 0;
  bool multi = false;
  if (!HandOver([&] { total = static_cast<qint64>(host_.WorkList().size()); })) return;
  KacTaneToplam.store(total);
  if (!HandOver([&] { CountStep(host_, total); })) return;

  if (!HandOver([&] { multi = host_.MultiThreadingOn(); })) return;
  if (multi)
    RunPooled();
  else
    RunSequential();

  if (abandon_.load()) return;
  HandOver([&] { FinishStep(host_); });
}

void TMyIdentifier::Intake() {
  // The lines go over in batches: one hand-over takes up to kIntakeBatch
  // lines, asking the line count again before each, and adds their records.
  // A hand-over per line would cost a round trip to the main thread each
  // (some 20 us), seconds for a long list; a batch still keeps each step on
  // the main thread short.
  constexpr int kIntakeBatch = 256;
  int i = 0;
  bool pastEnd = false;
  while (!pastEnd) {
    if (!HandOver([&] {
          for (int k = 0; k < kIntakeBatch; ++k, ++i) {
            if (i >= host_.EditorLineCount()) {
              pastEnd = true;
              return;
            }
            const QString url = IntakeUrl(host_.EditorLine(i));
            if (!url.isEmpty()) host_.AddData(url, QString());
          }
        }))
      return;
  }
}

void TMyIdentifier::RunSequential() {
  const qint64 total = KacTaneToplam.load();
  for (qint64 i = 0; i < total; ++i) {
    if (!JobsMayStart()) break;
    IdentifyNow(static_cast<int>(i));
  }
}

void TMyIdentifier::RunPooled() {
  int multiThreads = 0;
  if (!HandOver([&] { multiThreads = host_.MultiThreads(); })) return;
  const int jobs = JobsAtOnce(multiThreads, defaultLimits_);
  ParallelFor(
      KacTaneToplam.load(), jobs,
      [this](long long i) {
        if (!JobsMayStart()) return;
        IdentifyNow(static_cast<int>(i));
      },
      [this] { return !abandon_.load(); });
}

void TMyIdentifier::IdentifyNow(int UrlIndex) {
  QString URL;
  if (!HandOver([&] { URL = StartStep(host_, UrlIndex); })) return;
  if (testing::JobHook hook = testing::CurrentJobHook()) hook(UrlIndex, URL);

  TSiteResult result;
  {
    // The page's bytes stay counted in the shared page budget until its text
    // has been identified and is gone (declared first, so released last).
    fetch::PageLease pageLease;
    const TSiteFetch fetched = FetchSite(URL, *inputs_, runUserAgent_, &abandon_, pageLease);
    // A stop seen once both fetches are over takes the row's picture away
    // before the platforms are worked out.
    if (!fetched.PageFailed() && StopFlag().load()) {
      if (!HandOver([&] { StopSeenStep(host_, UrlIndex); })) return;
    }
    result = SiteResult(fetched, extras_.get());
  }

  KacTaneBitti.fetch_add(1);
  // The count shown is the one at the moment the main thread performs the
  // step, so in a pooled run one update may count several ended jobs.
  HandOver([&] {
    EndStep(host_, UrlIndex, result.platforms, result.failed, KacTaneBitti.load(), KacTaneToplam.load(),
            std::move(result.evidence));
  });
}

}  // namespace run
