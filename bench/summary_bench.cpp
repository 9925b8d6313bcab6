// The run summary of a long output, as --summarize reads it.
//
// summarize_jsonl/<n>: n JSON Lines records of the tool (about 700 bytes
// each with their evidence; 300 platforms, header values with versions, 1 in
// 8 failed over 40 error texts) in a temporary file, summed up by
// run::AddOutputFile. Baseline, in the same run: reading the same file in
// blocks and counting its lines with memchr (the floor of any reader).
// Reported: seconds (wall and the thread's CPU time), records per second, the ratio to the baseline, and the
// growth of the process's peak resident memory while summing up (the
// records of the smaller size summed up first, so that only what grows with
// the records shows).
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <string>

#include "run/summary_files.h"

namespace {

long PeakResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      long kb = 0;
      status >> kb;
      return kb;
    }
    status.ignore(1 << 20, '\n');
  }
  return 0;
}

// CPU time of the calling thread, in seconds: on a machine shared with other
// builds the wall time also counts the waits for a core.
double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

QString WriteRecords(const QTemporaryDir& folder, int count) {
  const QString path = folder.filePath(QStringLiteral("records-%1.jsonl").arg(count));
  if (QFile::exists(path)) return path;
  QFile file(path);
  file.open(QIODevice::WriteOnly);
  std::mt19937 random(1);
  QByteArray block;
  for (int i = 0; i < count; ++i) {
    QByteArray line = "{\"url\":\"https://www.site-" + QByteArray::number(i) + ".example/index.html\",";
    if (random() % 8 == 0) {
      line += "\"platforms\":[],\"error\":\"Socket Error # " + QByteArray::number(10000 + random() % 40) +
              " Connection refused.\",\"versions\":{},\"evidence\":[]}\n";
    } else {
      const QByteArray name = "Platform " + QByteArray::number(random() % 300);
      const QByteArray server = "nginx/1." + QByteArray::number(random() % 30) + ".2";
      line += "\"platforms\":[\"" + name + "\",\"" + server + "\"],\"error\":null,\"versions\":{\"" + name +
              "\":\"" + QByteArray::number(random() % 9) + "." + QByteArray::number(random() % 9) +
              ".1\"},\"evidence\":[{\"platform\":\"" + name +
              "\",\"source\":\"plain\",\"entry\":12,\"match\":\"/wp-content/\",\"offset\":1334,\"before\":"
              "\"=\\\"stylesheet\\\" href=\\\"https://blog.example\",\"after\":\"themes/twentytwentyfour/style.css\\\">⏎</h\","
              "\"duplicate\":false},{\"platform\":\"" + server + "\",\"source\":\"header\",\"entry\":\"Server\","
              "\"match\":\"" + server + "\",\"offset\":null,\"before\":\"\",\"after\":\"\",\"duplicate\":false},"
              "{\"platform\":\"" + name + "\",\"source\":\"regex\",\"entry\":3,\"match\":\"<meta name=\\\"generator\\\" "
              "content=\\\"x\\\">\",\"offset\":220,\"before\":\"<head><title>A site of some length</title>\","
              "\"after\":\"<link rel=\\\"icon\\\" href=\\\"/favicon.ico\\\">\",\"duplicate\":true}]}\n";
    }
    block += line;
    if (block.size() > (1 << 20)) {
      file.write(block);
      block.clear();
    }
  }
  file.write(block);
  return path;
}

double CountLinesSeconds(const QString& path, qint64& lines) {
  QElapsedTimer clock;
  clock.start();
  QFile file(path);
  file.open(QIODevice::ReadOnly);
  QByteArray buffer(1 << 20, Qt::Uninitialized);
  lines = 0;
  for (qint64 n; (n = file.read(buffer.data(), buffer.size())) > 0;)
    for (const char* p = buffer.constData(); (p = static_cast<const char*>(std::memchr(p, '\n', buffer.constData() + n - p))); ++p)
      ++lines;
  return clock.nsecsElapsed() / 1e9;
}

QTemporaryDir& Folder() {
  static QTemporaryDir folder;
  return folder;
}

void BM_SummarizeJsonl(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const QString path = WriteRecords(Folder(), count);
  state.counters["file_mb"] = QFileInfo(path).size() / 1e6;
  double seconds = 0, baseline = 0, cpu = 0;
  long growthKb = 0;
  for (auto _ : state) {
    qint64 lines = 0;
    baseline += CountLinesSeconds(path, lines);
    const long before = PeakResidentKb();
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = ThreadCpuSeconds();
    run::TRunSummary summary;
    QString error;
    const auto result = run::AddOutputFile(path, summary, error);
    seconds += clock.nsecsElapsed() / 1e9;
    cpu += ThreadCpuSeconds() - cpuBefore;
    growthKb = std::max(growthKb, PeakResidentKb() - before);
    if (!result || result->records != lines || summary.Urls() != count) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(summary);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["seconds"] = seconds / n;
  state.counters["cpu_seconds"] = cpu / n;
  state.counters["records_per_s"] = count / (seconds / n);
  state.counters["ratio_to_line_count"] = seconds / baseline;
  state.counters["peak_growth_kb"] = static_cast<double>(growthKb);
}
BENCHMARK(BM_SummarizeJsonl)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
