// lumasift-cli reading a long list from standard input, against a loopback
// site that answers every request at once.
//
// stream_memory/N: the tool's peak resident memory (the kernel's high-water
// mark, from wait4) for a list of N lines written into its standard input as
// fast as it takes them, its records read from its standard output and
// counted. Reported: the peak in MB (target: 200 MB for 10,000,000 lines),
// its ratio to the peak for 1,000 lines measured in the same run (memory
// that does not grow with the list: a ratio near 1), and lines per second.
// N is 1,000,000 unless LUMASIFT_STREAM_LINES names another count.
//
// long_line_memory: the same for 1,000 lines after one URL line of 100 MB
// (LUMASIFT_LONG_LINE_MB names another size), which the tool must not hold
// whole: its peak beside the peak for the 1,000 lines alone (target: a ratio
// near 1, nowhere near the line's size).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/run_site.h"

extern char** environ;

namespace {

testsupport::SiteReply Page(const testsupport::SiteRequest&) {
  testsupport::SiteReply reply;
  reply.headers.push_back({"Content-Type", "text/html"});
  reply.headers.push_back({"X-Powered-By", "BenchPlatform"});
  reply.body = "<html><head><title>bench</title></head><body>page</body></html>";
  return reply;
}

struct TRunFigures {
  long long records = 0;  // lines the tool printed
  double peakMb = 0;
  double seconds = 0;
};

// Runs the tool over `lines` URLs of the site, after one URL line of
// `longLine` bytes when that is not 0, and waits for it.
TRunFigures RunTool(const testsupport::RunSite& site, long long lines, long long longLine = 0) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  std::string cli = LUMASIFT_CLI_PATH;
  // A site that answers at once keeps few jobs busy; more threads would only
  // crowd the processors.
  std::string format = "--format", jsonl = "jsonl", threads = "--threads", eight = "8";
  char* argv[] = {cli.data(), format.data(), jsonl.data(), threads.data(), eight.data(), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv, environ) != 0) throw std::runtime_error("spawn failed");
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);

  std::thread writer([&site, lines, longLine, fd = in[1]] {
    const std::string prefix = site.Url("/p/");
    const auto put = [fd](const std::string& bytes) {
      for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
      }
    };
    if (longLine > 0) {
      put(prefix);
      const std::string filler(64 * 1024, 'a');
      for (long long left = longLine; left > 0; left -= static_cast<long long>(filler.size()))
        put(filler.substr(0, static_cast<size_t>(std::min<long long>(left, static_cast<long long>(filler.size())))));
      put("\n");
    }
    std::string block;
    for (long long i = 0; i < lines; ++i) {
      block += prefix;
      block += std::to_string(i);
      block += '\n';
      if (block.size() >= 64 * 1024 || i + 1 == lines) {
        put(block);
        block.clear();
      }
    }
    ::close(fd);
  });
  TRunFigures figures;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) figures.records += buffer[i] == '\n';
  }
  ::close(out[0]);
  writer.join();
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("the tool failed");
  return figures;
}

long long Lines() {
  const char* text = std::getenv("LUMASIFT_STREAM_LINES");
  return text != nullptr && *text != '\0' ? std::atoll(text) : 1000000;
}

void BM_StreamMemory(benchmark::State& state) {
  ::signal(SIGPIPE, SIG_IGN);
  testsupport::RunSite site(Page, 8);
  site.KeepLog(false);
  const long long lines = Lines();
  const TRunFigures baseline = RunTool(site, 1000);
  TRunFigures run;
  for (auto _ : state) {
    run = RunTool(site, lines);
    state.SetIterationTime(run.seconds);
  }
  if (run.records != lines) state.SkipWithError("the tool printed a record count other than the lines'");
  state.counters["lines"] = static_cast<double>(lines);
  state.counters["peak_MB"] = run.peakMb;
  state.counters["peak_MB_1000_lines"] = baseline.peakMb;
  state.counters["ratio_to_1000_lines"] = run.peakMb / baseline.peakMb;
  state.counters["ratio_to_target_200MB"] = run.peakMb / 200.0;
  state.counters["lines_per_s"] = static_cast<double>(lines) / run.seconds;
}
BENCHMARK(BM_StreamMemory)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_LongLineMemory(benchmark::State& state) {
  ::signal(SIGPIPE, SIG_IGN);
  testsupport::RunSite site(Page, 8);
  site.KeepLog(false);
  const char* text = std::getenv("LUMASIFT_LONG_LINE_MB");
  const long long megabytes = text != nullptr && *text != '\0' ? std::atoll(text) : 100;
  const TRunFigures baseline = RunTool(site, 1000);
  TRunFigures run;
  for (auto _ : state) {
    run = RunTool(site, 1000, megabytes * 1000 * 1000);
    state.SetIterationTime(run.seconds);
  }
  // The long line is a record too (an error record, unfetched).
  if (run.records != 1001) state.SkipWithError("the tool printed a record count other than the lines'");
  state.counters["line_MB"] = static_cast<double>(megabytes);
  state.counters["peak_MB"] = run.peakMb;
  state.counters["peak_MB_1000_lines"] = baseline.peakMb;
  state.counters["ratio_to_1000_lines"] = run.peakMb / baseline.peakMb;
}
BENCHMARK(BM_LongLineMemory)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
