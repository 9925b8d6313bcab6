#include "run/stream_run.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "fetch/page_budget.h"
#include "run/handover_steps.h"
#include "run/identifier.h"
#include "run/parallel_loop.h"
#include "run/site_job.h"
#include "run/test_hooks.h"

namespace run {

namespace {

// Waits are cut into slices this long so that a stop flag set from a signal
// handler (which cannot wake anybody) is seen soon.
constexpr std::chrono::milliseconds kStopPoll{100};

class TStream {
 public:
  TStream(TStreamHost& host, const TStreamSettings& settings)
      : host_(host), settings_(settings), jobs_(std::max(1, settings.jobs)), window_(std::max<std::size_t>(1, settings.window)) {}

  TStreamResult Run() {
    ReadInput();
    for (std::thread& t : threads_) t.join();
    // Every job has ended or never started: deliver what is left in order.
    std::lock_guard lock(mutex_);
    DeliverReady();
    for (Slot& slot : slots_) {
      if (!slot.ended) slot.record.FPlatform.clear();
      Deliver(slot);
    }
    slots_.clear();
    return TStreamResult{failed_, failure_, delivered_};
  }

 private:
  struct Slot {
    TWorkRecord record;
    bool ended = false;
    std::unique_ptr<TPageSource> source;  // null: the site of the record's URL is fetched
    std::size_t held = 0;                 // the source's bytes, counted in held_ until its job ends
  };

  bool MayStart() const { return !StopFlag().load() && !failed_; }
  bool HeldTooMuch() const { return settings_.heldBytes > 0 && held_ > 0 && held_ >= settings_.heldBytes; }

  // The calling thread: takes lines while fewer than `window` records wait.
  void ReadInput() {
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        while (MayStart() && (slots_.size() - inWork_ >= window_ || HeldTooMuch())) cv_.wait_for(lock, kStopPoll);
        if (!MayStart()) break;
      }
      std::optional<TStreamEntry> entry = host_.NextEntry(giveUp_);
      if (!entry) break;
      std::lock_guard lock(mutex_);
      ++taken_;
      if (!entry->fault.isEmpty()) {
        // Ended already: no job takes it, it waits only for its turn.
        slots_.push_back(
            Slot{TWorkRecord(std::move(entry->name), QStringLiteral("Error: ") + entry->fault, kImageError), true, nullptr, 0});
        ++endedCount_;
        DeliverReady();
        host_.Progress(endedCount_, taken_);
        cv_.notify_all();
        continue;
      }
      const std::size_t held = entry->source ? entry->source->HeldBytes() : 0;
      held_ += held;
      slots_.push_back(Slot{TWorkRecord(std::move(entry->name), QString(), kImageNone), false, std::move(entry->source), held});
      // A thread more while records wait that no idle thread will take, up
      // to the jobs at once: a short list makes only as many threads as it
      // has records.
      const qint64 waiting = base_ + static_cast<qint64>(slots_.size()) - next_;
      if (waiting > idle_ && static_cast<int>(threads_.size()) < jobs_ && !outOfThreads_) {
        try {
          threads_.emplace_back([this] { Work(); });
        } catch (const std::system_error& error) {
          outOfThreads_ = true;  // the threads we have share the work
          if (threads_.empty()) {
            // Not one: nothing would ever take a record.
            failed_ = true;
            giveUp_.store(true);
            failure_ = QString::fromLocal8Bit(error.what());
          }
        }
      }
      cv_.notify_all();
    }
    std::lock_guard lock(mutex_);
    inputEnded_ = true;
    host_.Progress(endedCount_, taken_);
    cv_.notify_all();
  }

  void Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      ++idle_;
      while (MayStart() && next_ >= base_ + static_cast<qint64>(slots_.size()) && !inputEnded_)
        cv_.wait_for(lock, kStopPoll);
      --idle_;
      if (!MayStart() || next_ >= base_ + static_cast<qint64>(slots_.size())) return;
      const qint64 index = next_++;
      if (slots_[static_cast<std::size_t>(index - base_)].ended) {
        DeliverReady();  // a record that ended without a job
        continue;
      }
      Slot& started = slots_[static_cast<std::size_t>(index - base_)];
      const QString url = started.record.FURL;
      std::unique_ptr<TPageSource> source = std::move(started.source);
      const std::size_t held = started.held;
      ++inWork_;
      lock.unlock();

      TSiteResult result;
      std::exception_ptr error;
      try {
        if (testing::JobHook hook = testing::CurrentJobHook()) hook(static_cast<int>(index), url);
        // The page's bytes stay counted in the shared page budget until its
        // text has been identified and is gone.
        fetch::PageLease pageLease;
        TSiteFetch fetched;
        if (source) {
          fetched = source->Read(pageLease);
          source.reset();  // what it held is no longer needed
        } else {
          fetched = FetchSite(url, *settings_.inputs, settings_.runUserAgent, nullptr, pageLease);
        }
        result = SiteResult(fetched, settings_.extras.get(), url);
      } catch (...) {
        error = std::current_exception();
      }
      source.reset();

      lock.lock();
      --inWork_;
      held_ -= held;
      if (error) {
        if (!failed_) {
          failed_ = true;
          giveUp_.store(true);
          failure_ = jobs_ > 1 ? QString::fromLatin1(kPooledFailureText) : ExceptionMessage(error);
        }
        cv_.notify_all();
        return;
      }
      Slot& slot = slots_[static_cast<std::size_t>(index - base_)];
      slot.record.FPlatform = std::move(result.platforms);
      slot.record.evidence = std::move(result.evidence);
      slot.record.FImageNo = result.failed ? kImageError : kImageDone;
      slot.ended = true;
      ++endedCount_;
      DeliverReady();
      host_.Progress(endedCount_, taken_);
      cv_.notify_all();
    }
  }

  // Under the lock: the ended records at the front, in order.
  void DeliverReady() {
    while (!slots_.empty() && slots_.front().ended) {
      Deliver(slots_.front());
      slots_.pop_front();
      ++base_;
    }
    // A record that ended without a job (a faulty line) may go before any
    // job reached it: no job is to look for it any more.
    next_ = std::max(next_, base_);
  }
  void Deliver(const Slot& slot) {
    host_.Deliver(slot.record, slot.ended);
    ++delivered_;
  }

  TStreamHost& host_;
  const TStreamSettings& settings_;
  const int jobs_;
  const std::size_t window_;

  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Slot> slots_;  // records taken and not yet delivered, in input order
  qint64 base_ = 0;         // input index of slots_.front()
  qint64 next_ = 0;         // input index of the next record to start
  std::size_t inWork_ = 0;
  std::size_t held_ = 0;  // bytes of the page sources of records not yet ended
  qint64 taken_ = 0;
  qint64 endedCount_ = 0;
  qint64 delivered_ = 0;
  bool inputEnded_ = false;
  bool failed_ = false;
  std::atomic<bool> giveUp_{false};  // failed_, for a read that waits outside the lock
  QString failure_;
  int idle_ = 0;
  bool outOfThreads_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace

std::optional<TStreamEntry> TStreamHost::NextEntry(const std::atomic<bool>& giveUp) {
  for (;;) {
    const std::optional<QString> line = NextLine(giveUp);
    if (!line) return std::nullopt;
    QString url = IntakeUrl(*line);
    QString fault = LineFault();
    if (!url.isEmpty() && Admit(url)) return TStreamEntry{std::move(url), nullptr, std::move(fault)};
  }
}

TStreamResult RunStream(TStreamHost& host, const TStreamSettings& settings) { return TStream(host, settings).Run(); }

}  // namespace run
