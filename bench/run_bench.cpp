// Throughput of a pooled run against a loopback site that answers every
// request after 50 ms, and the memory a large work list takes.
//
// pooled_run: 2,000 URLs, 50 jobs at once. Each job makes two requests one
// after the other, so the ideal is 50 / (2 x 0.05 s) = 500 URLs per second.
// Reported: URLs per second as a ratio to that ideal (target >= 0.8), and as
// a ratio to the ideal taken from one job's time measured in the same run
// (50 / the mean time of a job run alone).
//
// work_list_memory: resident memory of 1,000,000 records of 40-character
// URLs and 30-character platforms texts, added one by one as the intake
// does, in bytes per record above the texts' own characters (target <= 200).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "engine/identify.h"
#include "fetch/fetch.h"
#include "run/identifier.h"
#include "run/run_host.h"
#include "support/run_site.h"

namespace {

class BenchHost : public run::TRunHost {
 public:
  QObject* Context() override { return &context; }
  run::TWorkList& WorkList() override { return list; }
  int EditorLineCount() override { return static_cast<int>(lines.size()); }
  QString EditorLine(int index) override { return lines.at(index); }
  bool MultiThreadingOn() override { return multi; }
  int MultiThreads() override { return multiThreads; }
  void AddData(const QString& MyURL, const QString& MyPlatform) override {
    list.push_back(run::TMyRecord{MyURL, MyPlatform, run::kImageNone});
  }
  void SetStatusText(int, const QString&) override {}
  void SetRowCount(qint64) override {}
  void RedrawRow(int) override {}
  void IslemTamam(bool) override { ++finished; }

  QObject context;
  QStringList lines;
  bool multi = true;
  int multiThreads = 0;
  run::TWorkList list;
  int finished = 0;
};

testsupport::SiteReply SlowPage(const testsupport::SiteRequest&) {
  testsupport::SiteReply reply;
  reply.headers.push_back({"Content-Type", "text/html"});
  reply.headers.push_back({"X-Powered-By", "BenchPlatform"});
  reply.body = "<html><head><title>bench</title></head><body>page</body></html>";
  reply.delayMs = 50;
  return reply;
}

// One whole run; seconds from start to finished().
double TimedRun(BenchHost& host) {
  run::TMyIdentifier worker(host, std::make_shared<run::TFetchInputs>(), QStringLiteral("bench"),
                            run::DefaultPoolLimits());
  QEventLoop loop;
  QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
  QElapsedTimer timer;
  timer.start();
  worker.start();
  loop.exec();
  return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

long ResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kb = 0;
      status >> kb;
      return kb * 1024;
    }
    status.ignore(1 << 20, '\n');
  }
  return 0;
}

void BM_WorkListMemory(benchmark::State& state) {
  constexpr int kRecords = 1000000;
  constexpr double kTextBytes = 2.0 * (40 + 30);  // UTF-16 characters
  double perRecord = 0;
  for (auto _ : state) {
    const long before = ResidentBytes();
    {
      run::TWorkList list;
      for (int i = 0; i < kRecords; ++i) {
        // A fresh 40-character URL per record, added as AddData adds it.
        QString url = QStringLiteral("http://www.site-%1.example/index.html").arg(i, 7, 10, QLatin1Char('0'));
        url.resize(40, QLatin1Char('x'));
        // Allocated to size, as the intake's URLs are.
        list.push_back(run::TMyRecord{QString(url.constData(), 40), QString(), run::kImageNone});
      }
      for (int i = 0; i < kRecords; ++i) {
        // And the job's result, stored by the end hand-over.
        QString platforms = QStringLiteral("Platform %1, Other Name").arg(i % 1000, 3, 10, QLatin1Char('0'));
        platforms.resize(30, QLatin1Char('y'));
        list[static_cast<size_t>(i)].FPlatform = QString(platforms.constData(), 30);
        list[static_cast<size_t>(i)].FImageNo = run::kImageDone;
      }
      const long after = ResidentBytes();
      perRecord = static_cast<double>(after - before) / kRecords;
      benchmark::DoNotOptimize(list.data());
    }
  }
  state.counters["bytes_per_record"] = perRecord;
  state.counters["above_texts"] = perRecord - kTextBytes;
  state.counters["ratio_to_target_200"] = (perRecord - kTextBytes) / 200.0;
}
BENCHMARK(BM_WorkListMemory)->Iterations(1)->Unit(benchmark::kMillisecond);


void BM_PooledRun(benchmark::State& state) {
  constexpr int kUrls = 2000;
  constexpr int kJobs = 50;
  testsupport::RunSite site(SlowPage, 64);
  double baselineJob = 0;
  double seconds = 0;
  for (auto _ : state) {
    // Baseline: jobs alone, one after another.
    BenchHost alone;
    alone.multi = false;
    for (int i = 0; i < 20; ++i) alone.lines << QString::fromStdString(site.Url("/alone/" + std::to_string(i)));
    baselineJob = TimedRun(alone) / 20;

    BenchHost host;
    host.multiThreads = kJobs;
    for (int i = 0; i < kUrls; ++i) host.lines << QString::fromStdString(site.Url("/site/" + std::to_string(i)));
    seconds = TimedRun(host);
    state.SetIterationTime(seconds);
    if (host.finished != 1 || host.list.size() != static_cast<size_t>(kUrls) ||
        host.list.back().FPlatform != QStringLiteral("BenchPlatform"))
      state.SkipWithError("the run did not complete as expected");
  }
  const double perSecond = kUrls / seconds;
  state.counters["urls_per_s"] = perSecond;
  state.counters["ratio_to_500"] = perSecond / 500.0;
  state.counters["ratio_to_measured_ideal"] = perSecond / (kJobs / baselineJob);
  state.counters["most_in_progress"] = site.MaxInProgress();
}
BENCHMARK(BM_PooledRun)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The intake alone (the stop flag set, so no job starts): the editor lines
// taken over to the work list through the main thread.
void BM_Intake(benchmark::State& state) {
  constexpr int kLines = 100000;
  BenchHost host;
  for (int i = 0; i < kLines; ++i) host.lines << QStringLiteral("www.site-%1.example").arg(i);
  double seconds = 0;
  for (auto _ : state) {
    host.list.clear();
    run::StopFlag().store(true);
    seconds = TimedRun(host);
    run::StopFlag().store(false);
    state.SetIterationTime(seconds);
  }
  state.counters["lines_per_s"] = kLines / seconds;
  state.counters["us_per_line"] = seconds * 1e6 / kLines;
}
BENCHMARK(BM_Intake)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  fetch::GlobalInit();
  QCoreApplication app(argc, argv);
  engine::LoadPlatformInformation();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
