// The --resume reader over files of growing size: its time per byte for a
// file four times as long, measured in the same run (linear time: a ratio
// near 1), for CSV records, JSON Lines, and an older CSV file whose one
// quoted field holds many line breaks (once quadratic: every line added to
// the record recounted its quotes).
//
// resume_read/<kind>: reports MB/s of the long file and `per_byte_ratio`, its
// time per byte over that of the short file (target: <= 1.3).
#include <benchmark/benchmark.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "cli/resume_file.h"

namespace {

enum class TKind { Csv, Jsonl, QuotedLines };

std::string File(TKind kind, int lines) {
  std::string text;
  if (kind == TKind::Csv) text = "\xEF\xBB\xBF";
  if (kind == TKind::QuotedLines) text = "http://q.example/,\"Error: x";
  for (int i = 0; i < lines; ++i) {
    const std::string url = "http://site" + std::to_string(i) + ".example/";
    switch (kind) {
      case TKind::Csv: text += url + ",\"WordPress, nginx/1.24.0\"\r\n"; break;
      case TKind::Jsonl:
        text += "{\"url\":\"" + url + "\",\"platforms\":[\"WordPress\"],\"error\":null,\"versions\":{},\"evidence\":[]}\n";
        break;
      case TKind::QuotedLines: text += "\nline " + std::to_string(i); break;
    }
  }
  if (kind == TKind::QuotedLines) text += "\"\r\n";
  return text;
}

double Seconds(const std::string& bytes, cli::TFormat format) {
  const auto start = std::chrono::steady_clock::now();
  cli::TResumeReader reader(format);
  for (std::size_t at = 0; at < bytes.size(); at += 64 * 1024) reader.Feed(std::string_view(bytes).substr(at, 64 * 1024));
  const auto file = reader.Finish();
  benchmark::DoNotOptimize(file);
  if (!file) throw std::runtime_error("the bench file was refused");
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void ResumeRead(benchmark::State& state, TKind kind) {
  const cli::TFormat format = kind == TKind::Jsonl ? cli::TFormat::Jsonl : cli::TFormat::Csv;
  const std::string shortFile = File(kind, 50'000), longFile = File(kind, 200'000);
  double shortSeconds = 0, longSeconds = 0;
  for (auto _ : state) {
    shortSeconds += Seconds(shortFile, format);
    const double seconds = Seconds(longFile, format);
    longSeconds += seconds;
    state.SetIterationTime(seconds);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * longFile.size()));
  state.counters["per_byte_ratio"] =
      (longSeconds / static_cast<double>(longFile.size())) / (shortSeconds / static_cast<double>(shortFile.size()));
}

BENCHMARK_CAPTURE(ResumeRead, csv, TKind::Csv)->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK_CAPTURE(ResumeRead, jsonl, TKind::Jsonl)->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK_CAPTURE(ResumeRead, quoted_lines, TKind::QuotedLines)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3);

}  // namespace

BENCHMARK_MAIN();
