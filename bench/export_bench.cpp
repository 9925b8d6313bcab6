// Export of a large work list in every format, reported as a ratio to the
// time one fwrite of the text export's bytes takes in the same run.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <cstdio>
#include <map>
#include <string>

#include "run/record_lines.h"
#include "export/export_writer.h"

namespace {

constexpr int kRecords = 100000;
// An Excel 97-2003 sheet holds at most this many rows.
constexpr int kXlsRecords = 65536;

run::TWorkList MakeList(int count) {
  static const QString kPlatforms[] = {
      QStringLiteral("WordPress, WooCommerce, Google Analytics"),
      QStringLiteral("Joomla"),
      QString(),
      QStringLiteral("Error: Connection timed out"),
      QStringLiteral("Drupal, nginx"),
      QStringLiteral("Shopify, Привет Simplébo 世界"),
  };
  run::TWorkList list;
  list.reserve(count);
  for (int i = 0; i < count; ++i) {
    QString platforms = kPlatforms[i % 6];
    // Some texts unique to their site, as raw header values are.
    if (i % 10 == 0) platforms += QStringLiteral(", Apache/2.4.%1 (Unix)").arg(i);
    list.push_back({QStringLiteral("https://www.site-%1.example.com/shop/").arg(i), platforms, run::kImageDone});
  }
  return list;
}

QTemporaryDir& Folder() {
  static QTemporaryDir folder;
  return folder;
}

QString Target(const char* name) { return Folder().filePath(QString::fromLatin1(name)); }

const run::TWorkList& List() {
  static const run::TWorkList list = MakeList(kRecords);
  return list;
}

void BM_Baseline_FwriteOfTextBytes(benchmark::State& state) {
  QByteArray bytes("\xEF\xBB\xBF");
  for (const QString& line : run::TextExportLines(List())) bytes += line.toUtf8() + "\r\n";
  const QByteArray path = QFile::encodeName(Target("baseline.txt"));
  for (auto _ : state) {
    FILE* file = std::fopen(path.constData(), "wb");
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), file);
    std::fclose(file);
  }
  state.counters["bytes"] = static_cast<double>(bytes.size());
}

void BM_Txt(benchmark::State& state) {
  for (auto _ : state) exports::ExportToText(List(), Target("out.txt"));
}

void BM_Csv(benchmark::State& state) {
  for (auto _ : state) exports::ExportToCsv(List(), QLatin1Char(','), Target("out.csv"));
}

void BM_Xlsx(benchmark::State& state) {
  for (auto _ : state) exports::ExportToSpreadsheet(List(), QLatin1Char(','), Target("out.xlsx"));
}

void BM_Xls_65536Records(benchmark::State& state) {
  static const run::TWorkList list = MakeList(kXlsRecords);
  for (auto _ : state) exports::ExportToSpreadsheet(list, QLatin1Char(','), Target("out.xls"));
}

BENCHMARK(BM_Baseline_FwriteOfTextBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Txt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Csv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Xlsx)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Xls_65536Records)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration for the ratio table.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && run.iterations > 0)
        seconds_[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    const auto base = seconds_.find("BM_Baseline_FwriteOfTextBytes");
    if (base == seconds_.end() || base->second <= 0) return;
    std::printf("\nTime as a ratio to one fwrite of the text export's bytes (%d records; .xls %d):\n", kRecords,
                kXlsRecords);
    for (const auto& [name, seconds] : seconds_)
      std::printf("  %-32s %9.1f ms  x%.1f\n", name.c_str(), seconds * 1000.0, seconds / base->second);
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
