// Whole runs against a loopback site: the worker, its hand-overs, the pool,
// stop, failure and abandoning.
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include "run/handover_steps.h"
#include "run/identifier.h"
#include "run/test_hooks.h"
#include "support/loopback_server.h"
#include "support/run_site.h"
#include "test_host.h"

namespace {

using testsupport::RunSite;
using testsupport::SiteReply;
using testsupport::SiteRequest;

// /p/<name>: a page whose only platform is the X-Powered-By value
// "Plat-<name>"; /slow/<name> the same after 100 ms; /hold/<name> the same
// once the test lets it go; /missing: 404.
SiteReply Answer(const SiteRequest& request) {
  SiteReply reply;
  const std::string& path = request.path;
  if (path == "/missing") {
    reply.status = 404;
    reply.reason = "Not Found";
    reply.body = "gone";
    return reply;
  }
  const auto slash = path.rfind('/');
  const std::string name = path.substr(slash + 1);
  reply.headers.push_back({"Content-Type", "text/html"});
  if (path == "/errorpage" || path == "/errorheader") {
    // Texts of the site's own that begin like a failure.
    reply.body = path == "/errorpage" ? "Error: x\nhttp://bank.example/,WordPress\n<link href=\"/wp-content/a.css\">"
                                      : "<p>fine</p>";
    if (path == "/errorheader") reply.headers.push_back({"X-Powered-By", "Error: not a failure"});
    return reply;
  }
  reply.headers.push_back({"X-Powered-By", "Plat-" + name});
  reply.body = "<html><head><title>t</title></head><body>nothing to see</body></html>";
  if (path.starts_with("/slow/")) reply.delayMs = 100;
  if (path.starts_with("/hold/")) reply.hold = true;
  if (path.starts_with("/veryslow/")) reply.delayMs = 3000;
  return reply;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

qsizetype IndexOf(const QStringList& events, const QString& e) { return events.indexOf(e); }

class StopFlagReset {
 public:
  StopFlagReset() { run::StopFlag().store(false); }
  ~StopFlagReset() { run::StopFlag().store(false); }
};

class HookReset {
 public:
  ~HookReset() { run::testing::SetJobHook(nullptr); }
};

}  // namespace

TEST(IntakeUrl, TrimsAndPutsTheSchemeInFront) {
  struct Case {
    const char16_t* line;
    const char16_t* url;
  } cases[] = {
      {u"example.com", u"http://example.com"},
      {u"  \t example.com/a b \r", u"http://example.com/a b"},
      {u"", u""},
      {u" \t\x01\x1f ", u""},
      {u"https://example.com", u"https://example.com"},
      {u"http://example.com", u"http://example.com"},
      // A scheme in any case is the scheme (RFC 3986), kept in lower case.
      {u"HTTP://example.com/A", u"http://example.com/A"},
      {u"Https://Example.com", u"https://Example.com"},
      {u"hTTp:example.com", u"http:example.com"},
      {u"HTTPbin.example", u"http://HTTPbin.example"},  // no scheme: only "http" in lower case is kept as it is
      {u"HTTPX://example.com", u"http://HTTPX://example.com"},
      {u"httpbin.example", u"httpbin.example"},               // begins with "http"
      {u"ftp://example.com", u"http://ftp://example.com"},
      {u"\x7f" u"example.com", u"http://\x7f" u"example.com"},  // only codes up to 32 are trimmed
  };
  for (const auto& c : cases)
    EXPECT_EQ(run::IntakeUrl(QString::fromUtf16(c.line)), QString::fromUtf16(c.url))
        << QString::fromUtf16(c.line).toStdString();
}

TEST(JobsAtOnce, AutomaticCustomAndRefusedValues) {
  const run::PoolLimits limits{2, 50};
  struct Case {
    int multiThreads;
    int jobs;
  } cases[] = {{0, 50}, {-4, 50}, {1, 50}, {2, 2}, {7, 7}, {50, 50}, {120, 120}};
  for (const auto& c : cases) EXPECT_EQ(run::JobsAtOnce(c.multiThreads, limits), c.jobs) << c.multiThreads;

  const run::PoolLimits defaults = run::DefaultPoolLimits();
  EXPECT_EQ(defaults.minimum, std::max(1, QThread::idealThreadCount()));
  EXPECT_EQ(defaults.maximum, 25 * defaults.minimum);
}

class WholeRun : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { host.multi = GetParam(); }
  StopFlagReset stopReset;
  HookReset hookReset;
  RunSite site{Answer};
  TestHost host;
};

INSTANTIATE_TEST_SUITE_P(Modes, WholeRun, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Pooled" : "Sequential"; });

TEST_P(WholeRun, ResultsErrorsDuplicatesAndHandOverOrder) {
  const QString bare = Q("127.0.0.1:" + std::to_string(site.Port()) + "/p/a");
  testsupport::RefusingPort refusing;
  const QString refused = Q("http://127.0.0.1:" + std::to_string(refusing.Port()) + "/");
  host.lines = {QStringLiteral(" ") + bare + QStringLiteral("\t"), QString(), QStringLiteral(" \t "),
                Q(site.Url("/missing")), bare, refused};
  auto inputs = std::make_shared<run::TFetchInputs>();
  inputs->Set({QStringLiteral("5000"), QStringLiteral("5000"), QStringLiteral("FieldAgent/2"), {}});

  const RunResult result = RunToEnd(host, QStringLiteral("RunAgent/1"), run::PoolLimits{2, 6}, inputs);
  ASSERT_TRUE(result.ended);
  EXPECT_FALSE(result.failed);
  EXPECT_EQ(result.total, 4);
  EXPECT_EQ(result.ended_jobs, 4);

  ASSERT_EQ(host.list.size(), 4u);
  const QString url = QStringLiteral("http://") + bare;
  EXPECT_EQ(host.list[0].FURL, url);
  EXPECT_EQ(host.list[0].FPlatform, QStringLiteral("Plat-a"));
  EXPECT_EQ(host.list[0].FImageNo, run::kImageDone);
  EXPECT_EQ(host.list[1].FPlatform, QStringLiteral("Error: HTTP/1.1 404 Not Found"));
  EXPECT_EQ(host.list[1].FImageNo, run::kImageError);
  EXPECT_EQ(host.list[2].FURL, url);  // the same line twice gives two records
  EXPECT_EQ(host.list[2].FPlatform, QStringLiteral("Plat-a"));
  EXPECT_EQ(host.list[2].FImageNo, run::kImageDone);
  EXPECT_EQ(host.list[3].FPlatform, QStringLiteral("Error: Socket Error # 10061 Connection refused."));
  EXPECT_EQ(host.list[3].FImageNo, run::kImageError);

  // Hand-over order: every record added before the count, the count before
  // any start, each start before its end, the finish last.
  const QStringList& ev = host.events;
  const qsizetype count = IndexOf(ev, QStringLiteral("rowcount 4"));
  ASSERT_GE(count, 0);
  EXPECT_LT(ev.lastIndexOf(QStringLiteral("add")), count);
  EXPECT_EQ(ev.at(count - 1), QStringLiteral("status0 0 / 4"));
  for (int i = 0; i < 4; ++i) {
    const qsizetype start = IndexOf(ev, QStringLiteral("redraw %1 %2").arg(i).arg(run::kImageInWork));
    const qsizetype end = std::max(IndexOf(ev, QStringLiteral("redraw %1 %2").arg(i).arg(run::kImageDone)),
                                   IndexOf(ev, QStringLiteral("redraw %1 %2").arg(i).arg(run::kImageError)));
    EXPECT_GT(start, count) << i;
    EXPECT_GT(end, start) << i;
    EXPECT_EQ(ev.at(start + 1), QStringLiteral("status1 Processing ") + host.list[static_cast<size_t>(i)].FURL);
  }
  EXPECT_EQ(ev.last(), QStringLiteral("finish 1"));
  EXPECT_EQ(host.finishCount, 1);
  EXPECT_EQ(host.panel0, QStringLiteral("4 / 4"));
  EXPECT_EQ(host.rowCount, 4);

  // The page fetch sends the agent captured at Start, the probe the field's.
  int gets = 0, heads = 0;
  for (const SiteRequest& r : site.Requests()) {
    if (r.method == "GET") {
      ++gets;
      EXPECT_EQ(r.headers.at("user-agent"), "RunAgent/1");
    } else {
      ++heads;
      EXPECT_EQ(r.method, "HEAD");
      EXPECT_EQ(r.headers.at("user-agent"), "FieldAgent/2");
    }
  }
  EXPECT_EQ(gets, 3);
  EXPECT_EQ(heads, 3);
}

// Only a failed fetch is a failure: a page or a header value that begins
// with "Error: " is identified like any other, and a real failure keeps its
// text and picture.
TEST_P(WholeRun, ATextThatBeginsWithErrorIsNoFailure) {
  host.lines = {Q(site.Url("/errorpage")), Q(site.Url("/errorheader")), Q(site.Url("/missing"))};
  const RunResult result = RunToEnd(host);
  ASSERT_TRUE(result.ended);
  ASSERT_EQ(host.list.size(), 3u);
  EXPECT_EQ(host.list[0].FPlatform, QStringLiteral("WordPress"));
  EXPECT_EQ(host.list[0].FImageNo, run::kImageDone);
  EXPECT_FALSE(host.list[0].evidence.Findings().empty());
  EXPECT_EQ(host.list[1].FPlatform, QStringLiteral("Error: not a failure"));
  EXPECT_EQ(host.list[1].FImageNo, run::kImageDone);
  EXPECT_FALSE(run::FetchFailed(host.list[1]));
  EXPECT_EQ(host.list[2].FPlatform, QStringLiteral("Error: HTTP/1.1 404 Not Found"));
  EXPECT_EQ(host.list[2].FImageNo, run::kImageError);
  EXPECT_TRUE(run::FetchFailed(host.list[2]));
}

// The window's rows: a scheme in capitals is the scheme, and a line that is
// no URL to fetch (an impossible port, a control character inside) is an
// error row with a text that says why, without a request.
TEST_P(WholeRun, CapitalSchemesAreSchemesAndImpossibleUrlsEndAsErrorRows) {
  const std::string hostPort = "127.0.0.1:" + std::to_string(site.Port());
  host.lines = {Q("HTTP://" + hostPort + "/p/upper"), QStringLiteral("http://127.0.0.1:99999/"),
                Q("http://" + hostPort + "/p/a\x1b[2Jb")};
  const RunResult result = RunToEnd(host);
  ASSERT_TRUE(result.ended);
  ASSERT_EQ(host.list.size(), 3u);
  EXPECT_EQ(host.list[0].FURL, Q("http://" + hostPort + "/p/upper"));
  EXPECT_EQ(host.list[0].FPlatform, QStringLiteral("Plat-upper"));
  EXPECT_EQ(host.list[1].FPlatform, QStringLiteral("Error: Invalid port number."));
  EXPECT_EQ(host.list[1].FImageNo, run::kImageError);
  EXPECT_EQ(host.list[2].FPlatform, QStringLiteral("Error: URL contains a control character."));
  EXPECT_EQ(host.list[2].FImageNo, run::kImageError);
  EXPECT_EQ(site.Requests().size(), 2u);  // page and probe of the first line only
}

TEST_P(WholeRun, EmptyListCountsZeroAndFinishes) {
  host.lines = {QString(), QStringLiteral("  \t")};
  const RunResult result = RunToEnd(host);
  ASSERT_TRUE(result.ended);
  EXPECT_FALSE(result.failed);
  EXPECT_TRUE(host.list.empty());
  EXPECT_EQ(host.rowCount, 0);
  EXPECT_EQ(host.panel0, QStringLiteral("0 / 0"));
  EXPECT_EQ(host.finishCount, 1);
  EXPECT_EQ(host.events.last(), QStringLiteral("finish 1"));
  EXPECT_EQ(site.RequestCount(), 0);
}

TEST_P(WholeRun, LinesAddedDuringTheIntakeAreTaken) {
  host.lines = {Q(site.Url("/p/a"))};
  host.onLineRead = [&](int index) {
    if (index == 0) host.lines << Q(site.Url("/p/b"));
  };
  const RunResult result = RunToEnd(host);
  ASSERT_TRUE(result.ended);
  ASSERT_EQ(host.list.size(), 2u);
  EXPECT_EQ(host.list[1].FPlatform, QStringLiteral("Plat-b"));
}

TEST_P(WholeRun, StopLetsJobsInProgressCompleteAndStartsNoOther) {
  // Sequential: one job at a time; pooled: two (MultiThreads 2).
  const int inProgress = GetParam() ? 2 : 1;
  host.multiThreads = 2;
  for (int i = 0; i < 6; ++i) host.lines << Q(site.Url("/hold/h" + std::to_string(i)));

  const RunResult result =
      RunToEnd(host, QStringLiteral("RunAgent/1"), run::PoolLimits{2, 6}, nullptr, [&](run::TMyIdentifier&) {
        WhenReady([&] { return site.Held() >= inProgress; },
                  [&] {
                    run::StopFlag().store(true);
                    site.Release();
                  });
      });
  ASSERT_TRUE(result.ended);
  EXPECT_FALSE(result.failed);
  EXPECT_EQ(host.finishCount, 1);  // a stopped run still finishes, with the beep
  EXPECT_EQ(host.events.last(), QStringLiteral("finish 1"));
  EXPECT_EQ(result.ended_jobs, inProgress);
  EXPECT_EQ(host.panel0, QStringLiteral("%1 / 6").arg(inProgress));
  for (int i = 0; i < 6; ++i) {
    const auto& r = host.list[static_cast<size_t>(i)];
    if (i < inProgress) {
      EXPECT_EQ(r.FPlatform, QStringLiteral("Plat-h%1").arg(i));
      EXPECT_EQ(r.FImageNo, run::kImageDone);
      // The job saw the stop after its fetches: no picture for a moment.
      const qsizetype seen = IndexOf(host.events, QStringLiteral("redraw %1 -1").arg(i));
      EXPECT_GE(seen, 0);
      EXPECT_GT(IndexOf(host.events, QStringLiteral("redraw %1 54").arg(i)), seen);
    } else {
      EXPECT_EQ(r.FPlatform, QString()) << i;
      EXPECT_EQ(r.FImageNo, run::kImageNone) << i;
    }
  }
  EXPECT_EQ(site.RequestCount(), 2 * inProgress);
}

TEST_P(WholeRun, JobThatThrowsEndsTheRunWithoutTheFinish) {
  host.multiThreads = 2;
  for (const char* name : {"/slow/a", "/slow/b", "/slow/c"}) host.lines << Q(site.Url(name));
  run::testing::SetJobHook([](int index, const QString&) {
    if (index == 1) throw std::runtime_error("boom at one");
  });

  const RunResult result = RunToEnd(host);
  ASSERT_TRUE(result.ended);
  EXPECT_TRUE(result.failed);
  EXPECT_EQ(result.message, GetParam() ? QStringLiteral("One or more errors occurred") : QStringLiteral("boom at one"));
  EXPECT_EQ(host.finishCount, 0);
  EXPECT_EQ(host.list[0].FPlatform, QStringLiteral("Plat-a"));  // already running: completes
  EXPECT_EQ(host.list[0].FImageNo, run::kImageDone);
  EXPECT_EQ(host.list[1].FPlatform, QString());
  EXPECT_EQ(host.list[1].FImageNo, run::kImageInWork);
  EXPECT_EQ(host.list[2].FImageNo, run::kImageNone);  // never started
}

TEST_P(WholeRun, FinishArrivesWhileANestedEventLoopRuns) {
  host.lines = {Q(site.Url("/hold/a")), Q(site.Url("/p/b"))};
  bool nestedActive = false;
  bool finishedInNested = false;
  QEventLoop nested;
  host.onFinish = [&] {
    finishedInNested = nestedActive;
    nested.quit();
  };
  const RunResult result =
      RunToEnd(host, QStringLiteral("RunAgent/1"), run::PoolLimits{2, 6}, nullptr, [&](run::TMyIdentifier&) {
        // As a modal dialog does: a loop of its own on the main thread.
        QTimer::singleShot(50, [&] { site.Release(); });
        nestedActive = true;
        nested.exec();
        nestedActive = false;
      });
  ASSERT_TRUE(result.ended);
  EXPECT_TRUE(finishedInNested);
  EXPECT_EQ(host.list[0].FPlatform, QStringLiteral("Plat-a"));
  EXPECT_EQ(host.list[1].FPlatform, QStringLiteral("Plat-b"));
}

TEST_P(WholeRun, AbandonDuringFetchesEndsPromptlyWithoutHandOvers) {
  host.multiThreads = 3;
  for (int i = 0; i < 5; ++i) host.lines << Q(site.Url("/hold/h" + std::to_string(i)));
  const int inProgress = GetParam() ? 3 : 1;
  auto inputs = std::make_shared<run::TFetchInputs>();
  inputs->Set({QStringLiteral("0"), QStringLiteral("0"), QString(), {}});  // no time-outs to help
  auto worker = std::make_unique<run::TMyIdentifier>(host, inputs, QString(), run::PoolLimits{2, 6});
  worker->start();
  ASSERT_TRUE(SpinUntil([&] { return site.Held() >= inProgress; }));

  worker->Abandon();
  host.noteAfterAbandon = true;
  EXPECT_TRUE(worker->wait(QDeadlineTimer(15000)));  // the held transfers were cut
  EXPECT_FALSE(worker->Failed());
  host.DropContext();
  QCoreApplication::processEvents();
  EXPECT_EQ(host.callsAfterAbandon, 0);
  EXPECT_EQ(host.finishCount, 0);
  worker.reset();
}

TEST(Abandon, ReleasesAWorkerWaitingForAHandOverTheMainThreadNeverPerforms) {
  TestHost host;
  host.lines = {QStringLiteral("a.invalid"), QStringLiteral("b.invalid")};
  auto worker = std::make_unique<run::TMyIdentifier>(host, std::make_shared<run::TFetchInputs>(), QString(),
                                                     run::PoolLimits{2, 6});
  worker->start();
  // The main thread does not run its loop: the worker sits in its first
  // hand-over. Joining it after Abandon() must not wait for that hand-over.
  QThread::msleep(50);
  worker->Abandon();
  EXPECT_TRUE(worker->wait(QDeadlineTimer(10000)));
  host.noteAfterAbandon = true;
  QCoreApplication::processEvents();  // the queued call arrives and does nothing
  EXPECT_EQ(host.callsAfterAbandon, 0);
  EXPECT_TRUE(host.list.empty());
  host.DropContext();
  worker.reset();
}

TEST(Abandon, DestroyingARunningWorkerJoinsIt) {
  RunSite site(Answer);
  TestHost host;
  host.lines = {Q(site.Url("/hold/a"))};
  {
    run::TMyIdentifier worker(host, std::make_shared<run::TFetchInputs>(), QString(), run::PoolLimits{2, 6});
    worker.start();
    ASSERT_TRUE(SpinUntil([&] { return site.Held() >= 1; }));
  }  // the destructor abandons and joins
  host.noteAfterAbandon = true;
  QCoreApplication::processEvents();
  EXPECT_EQ(host.callsAfterAbandon, 0);
}

TEST(FetchInputs, ResponseTimeOutFieldIsReadForTheRequests) {
  StopFlagReset stopReset;
  RunSite site(Answer);
  TestHost host;
  host.lines = {Q(site.Url("/veryslow/a"))};
  auto inputs = std::make_shared<run::TFetchInputs>();
  inputs->Set({QStringLiteral("5000"), QStringLiteral("200"), QStringLiteral("FieldAgent/2"), {}});
  const RunResult result = RunToEnd(host, QStringLiteral("RunAgent/1"), run::PoolLimits{2, 6}, inputs);
  ASSERT_TRUE(result.ended);
  ASSERT_EQ(host.list.size(), 1u);
  EXPECT_EQ(host.list[0].FPlatform, QStringLiteral("Error: Read timed out."));
  EXPECT_EQ(host.list[0].FImageNo, run::kImageError);
}

// The Mend's limits, as the site sees them: requests are held until the
// expected number are in progress at once; a moment later no further one may
// have come. Each job makes its two requests one after the other.
TEST(PoolLimits, JobsAtOnceSeenByTheSite) {
  StopFlagReset stopReset;
  struct Case {
    bool multi;
    int multiThreads;
    int expected;
  } cases[] = {
      {false, 0, 1},  // sequential
      {true, 0, 6},   // Automatic: the default maximum
      {true, 1, 6},   // below the default minimum: refused, the maximum stays
      {true, 3, 3},   // Custom
  };
  for (const auto& c : cases) {
    RunSite site(Answer);
    TestHost host;
    host.multi = c.multi;
    host.multiThreads = c.multiThreads;
    for (int i = 0; i < 8; ++i) host.lines << Q(site.Url("/hold/s" + std::to_string(i)));
    int heldAtOnce = 0;
    const RunResult result =
        RunToEnd(host, QStringLiteral("RunAgent/1"), run::PoolLimits{2, 6}, nullptr, [&](run::TMyIdentifier&) {
          WhenReady([&] { return site.Held() >= c.expected; },
                    [&] {
                      QTimer::singleShot(200, [&] {
                        heldAtOnce = site.Held();
                        site.Release();
                      });
                    });
        });
    ASSERT_TRUE(result.ended);
    EXPECT_EQ(result.ended_jobs, 8);
    EXPECT_EQ(heldAtOnce, c.expected) << c.multi << " " << c.multiThreads;
    EXPECT_EQ(site.MaxInProgress(), c.expected) << c.multi << " " << c.multiThreads;
  }
}
