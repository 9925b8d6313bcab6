// The stream run: input read as the run goes, never more than the window
// ahead of the jobs; records delivered in input order; stop and failure.
#include <QStringList>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "fetch/page_budget.h"
#include "run/identifier.h"
#include "run/parallel_loop.h"
#include "run/stream_run.h"
#include "run/test_hooks.h"
#include "support/run_site.h"

namespace {

using testsupport::RunSite;
using testsupport::SiteReply;
using testsupport::SiteRequest;

// /p/<name>: platform "Plat-<name>"; /slow/<name>: the same after 150 ms;
// /hold/<name>: the same once the test lets it go.
SiteReply Answer(const SiteRequest& request) {
  SiteReply reply;
  const std::string& path = request.path;
  reply.headers.push_back({"Content-Type", "text/html"});
  reply.headers.push_back({"X-Powered-By", "Plat-" + path.substr(path.rfind('/') + 1)});
  reply.body = "<html><head><title>t</title></head><body>nothing to see</body></html>";
  if (path.starts_with("/slow/")) reply.delayMs = 150;
  if (path.starts_with("/hold/")) reply.hold = true;
  return reply;
}

// Set once a ListStream has been asked for a line past its last.
std::atomic<bool> gInputEnded{false};

// Hands out its lines one by one and records what the run delivers, checking
// at every read how many records the run holds.
class ListStream : public run::TStreamHost {
 public:
  explicit ListStream(QStringList lines) : lines_(std::move(lines)) {}

  std::optional<QString> NextLine(const std::atomic<bool>& giveUp) override {
    std::unique_lock lock(mutex_);
    if (read_ >= lines_.size()) {
      gInputEnded.store(true);
      // Like a terminal that sends no more: wait until the run gives up.
      for (int i = 0; waitAtEnd && i < 2000 && !giveUp.load(); ++i) {
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        lock.lock();
      }
      sawGiveUp = giveUp.load();
      return std::nullopt;
    }
    maxHeld_ = std::max(maxHeld_, read_ - static_cast<qsizetype>(delivered_.size()));
    lastLine_ = lines_.at(read_++);
    return lastLine_;
  }
  QString LineFault() override {
    return lastLine_.contains(QLatin1String("faulty")) ? QStringLiteral("no URL.") : QString();
  }
  bool Admit(const QString& url) override { return !url.contains(QLatin1String("skip")); }
  void Deliver(const run::TWorkRecord& record, bool ended) override {
    std::lock_guard lock(mutex_);
    delivered_ << record.FURL + QLatin1Char(' ') + record.FPlatform + (ended ? QString() : QStringLiteral(" (not ended)")) +
                      (record.FImageNo == run::kImageError ? QStringLiteral(" (failed)") : QString());
  }
  qsizetype Read() {
    std::lock_guard lock(mutex_);
    return read_;
  }
  QStringList Delivered() {
    std::lock_guard lock(mutex_);
    return delivered_;
  }
  qsizetype MaxHeld() const { return maxHeld_; }

  bool waitAtEnd = false;
  bool sawGiveUp = false;

 private:
  std::mutex mutex_;
  QStringList lines_;
  qsizetype read_ = 0;
  qsizetype maxHeld_ = 0;
  QStringList delivered_;
  QString lastLine_;
};

run::TStreamSettings Settings(int jobs, std::size_t window) {
  run::TStreamSettings settings;
  settings.jobs = jobs;
  settings.window = window;
  settings.inputs = std::make_shared<run::TFetchInputs>();
  return settings;
}

struct StopAndHookReset {
  StopAndHookReset() { run::StopFlag().store(false); }
  ~StopAndHookReset() {
    run::StopFlag().store(false);
    run::testing::SetJobHook(nullptr);
  }
};

}  // namespace

TEST(StreamRun, ReadsNoFurtherThanTheWindowAndDeliversInInputOrder) {
  StopAndHookReset reset;
  RunSite site(Answer);
  // Two jobs held at the front; the window lets three more records wait, and
  // not one line more is read until the front moves.
  QStringList lines;
  for (int i = 0; i < 40; ++i) lines << QString::fromStdString(site.Url((i < 2 ? "/hold/h" : "/p/r") + std::to_string(i)));
  ListStream stream(lines);
  run::TStreamResult result;
  std::thread runner([&] { result = run::RunStream(stream, Settings(2, 3)); });
  ASSERT_TRUE(site.WaitForHeld(2, 10000));
  for (int i = 0; i < 1000 && stream.Read() < 5; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(stream.Read(), 5);
  EXPECT_TRUE(stream.Delivered().isEmpty());
  site.Release();
  runner.join();

  EXPECT_FALSE(result.failed);
  EXPECT_EQ(result.delivered, 40);
  EXPECT_LE(stream.MaxHeld(), 5);
  const QStringList delivered = stream.Delivered();
  ASSERT_EQ(delivered.size(), 40);
  for (int i = 0; i < 40; ++i)
    EXPECT_EQ(delivered[i], lines[i] + QStringLiteral(" Plat-") + (i < 2 ? "h" : "r") + QString::number(i));
}

TEST(StreamRun, IntakeRulesAndSkippedUrls) {
  StopAndHookReset reset;
  RunSite site(Answer);
  const std::string hostPort = "127.0.0.1:" + std::to_string(site.Port());
  ListStream stream({QString::fromStdString("  " + hostPort + "/p/a \r"), QString(), QStringLiteral(" \t"),
                     QString::fromStdString(site.Url("/p/skip")), QString::fromStdString(site.Url("/slow/b"))});
  const run::TStreamResult result = run::RunStream(stream, Settings(1, 4096));
  EXPECT_FALSE(result.failed);
  EXPECT_EQ(stream.Delivered().join(u'\n').toStdString(),
            "http://" + hostPort + "/p/a Plat-a\n" + site.Url("/slow/b") + " Plat-b");
  EXPECT_EQ(site.RequestCount(), 4);  // page and probe of each, none for the skipped URL
}

// A line the host faults ends at once as a failed record, in its place,
// unfetched, also while the jobs before and after it are in progress.
TEST(StreamRun, FaultyLinesEndUnfetchedInTheirPlace) {
  StopAndHookReset reset;
  RunSite site(Answer);
  const QStringList lines = {QString::fromStdString(site.Url("/slow/a")), QString::fromStdString(site.Url("/faulty1")),
                             QString::fromStdString(site.Url("/p/b")), QString::fromStdString(site.Url("/faulty2")),
                             QString::fromStdString(site.Url("/faulty3")), QString::fromStdString(site.Url("/slow/c"))};
  for (const int jobs : {1, 3}) {
    const int before = site.RequestCount();
    ListStream stream(lines);
    const run::TStreamResult result = run::RunStream(stream, Settings(jobs, 4096));
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(stream.Delivered(), (QStringList{lines[0] + " Plat-a", lines[1] + " Error: no URL. (failed)",
                                               lines[2] + " Plat-b", lines[3] + " Error: no URL. (failed)",
                                               lines[4] + " Error: no URL. (failed)", lines[5] + " Plat-c"}))
        << jobs;
    EXPECT_EQ(site.RequestCount() - before, 6) << jobs;
  }
}

TEST(StreamRun, StopEndsJobsInProgressAndDeliversTheRecordsHeld) {
  StopAndHookReset reset;
  RunSite site(Answer);
  QStringList lines;
  for (int i = 0; i < 100; ++i) lines << QString::fromStdString(site.Url("/hold/h" + std::to_string(i)));
  ListStream stream(lines);
  run::TStreamResult result;
  std::thread runner([&] { result = run::RunStream(stream, Settings(2, 3)); });
  ASSERT_TRUE(site.WaitForHeld(2, 10000));
  for (int i = 0; i < 1000 && stream.Read() < 5; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  run::StopFlag().store(true);
  site.Release();
  runner.join();
  EXPECT_FALSE(result.failed);
  // The two in progress end; the three waiting are delivered unended; the
  // rest of the input is never read.
  EXPECT_EQ(stream.Read(), 5);
  EXPECT_EQ(stream.Delivered().join(u'\n').toStdString(),
            QStringList({lines[0] + " Plat-h0", lines[1] + " Plat-h1", lines[2] + "  (not ended)",
                         lines[3] + "  (not ended)", lines[4] + "  (not ended)"})
                .join(u'\n')
                .toStdString());
}

TEST(StreamRun, JobThatThrowsFailsTheRunAndTheRestIsDelivered) {
  StopAndHookReset reset;
  RunSite site(Answer);
  run::testing::SetJobHook([](int index, const QString&) {
    // Once the whole input is read, so that the failure meets a read that waits.
    while (index == 1 && !gInputEnded.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (index == 1) throw std::runtime_error("job broke");
  });
  QStringList lines;
  for (int i = 0; i < 3; ++i) lines << QString::fromStdString(site.Url("/p/r" + std::to_string(i)));
  for (const int jobs : {1, 2}) {
    gInputEnded.store(false);
    ListStream stream(lines);
    stream.waitAtEnd = true;
    const run::TStreamResult result = run::RunStream(stream, Settings(jobs, 4096));
    EXPECT_TRUE(stream.sawGiveUp);  // the failure ends a read that waits
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.failureMessage, jobs == 1 ? QStringLiteral("job broke") : QString::fromLatin1(run::kPooledFailureText));
    const QStringList delivered = stream.Delivered();
    ASSERT_EQ(delivered.size(), 3) << jobs;
    EXPECT_EQ(delivered[0], lines[0] + " Plat-r0");
    EXPECT_EQ(delivered[1], lines[1] + "  (not ended)");
  }
}

namespace {

// A page of its own (no fetch) holding `bytes` until it is read; its reading
// waits while the gate is closed.
struct Gate {
  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;
  void Open() {
    std::lock_guard lock(mutex);
    open = true;
    opened.notify_all();
  }
};

class HeldPage : public run::TPageSource {
 public:
  HeldPage(std::size_t bytes, Gate& gate, std::u16string page) : bytes_(bytes), gate_(gate), page_(std::move(page)) {}
  run::TSiteFetch Read(fetch::PageLease&) override {
    std::unique_lock lock(gate_.mutex);
    gate_.opened.wait(lock, [this] { return gate_.open; });
    run::TSiteFetch fetched;
    fetched.pageText = page_;
    fetched.headerText = u"X-Powered-By: Held\r\n";
    return fetched;
  }
  std::size_t HeldBytes() const override { return bytes_; }

 private:
  std::size_t bytes_;
  Gate& gate_;
  std::u16string page_;
};

class PageStream : public run::TStreamHost {
 public:
  PageStream(int count, std::size_t bytes, Gate& gate) : count_(count), bytes_(bytes), gate_(gate) {}
  std::optional<run::TStreamEntry> NextEntry(const std::atomic<bool>&) override {
    if (taken_ >= count_) return std::nullopt;
    const int i = taken_++;
    return run::TStreamEntry{QStringLiteral("page-%1").arg(i),
                             std::make_unique<HeldPage>(bytes_, gate_, i % 2 ? u"<a href=\"/wp-content/\">" : u"<p>"),
                             QString()};
  }
  void Deliver(const run::TWorkRecord& record, bool) override {
    std::lock_guard lock(mutex_);
    delivered_ << record.FURL + QLatin1Char(' ') + record.FPlatform;
  }
  std::atomic<int> taken_{0};
  QStringList Delivered() {
    std::lock_guard lock(mutex_);
    return delivered_;
  }

 private:
  int count_;
  std::size_t bytes_;
  Gate& gate_;
  std::mutex mutex_;
  QStringList delivered_;
};

}  // namespace

TEST(StreamRun, PagesOfTheirOwnAreReadOnTheJobsAndBoundedByTheirBytes) {
  StopAndHookReset reset;
  Gate gate;
  // Pages of 10 bytes each, at most 30 held: while the two jobs wait on the
  // gate, three pages are taken and no more, however large the window.
  PageStream stream(20, 10, gate);
  run::TStreamSettings settings = Settings(2, 4096);
  settings.heldBytes = 30;
  run::TStreamResult result;
  std::thread runner([&] { result = run::RunStream(stream, settings); });
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(stream.taken_.load(), 3);
  gate.Open();
  runner.join();
  EXPECT_FALSE(result.failed);
  const QStringList delivered = stream.Delivered();
  ASSERT_EQ(delivered.size(), 20);
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(delivered[i], QStringLiteral("page-%1 ").arg(i) + (i % 2 ? "WordPress, Held" : "Held"));
}
