// One site's cost (GetPageText, then GetHeaderText) against a loopback
// server, as a ratio to the curl command-line tool fetching the same URL
// with GET and then HEAD, measured in the same run. Target: at most 1.5.
//
// The curl baseline runs both transfers in one process (--next), so it pays
// one program start and may reuse its connection; the fetch opens a fresh
// connection for each request, as every request has its own client.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fetch/fetch.h"
#include "support/compress.h"
#include "support/loopback_server.h"

extern char** environ;

namespace {

constexpr const char* kCurl = "/usr/bin/curl";

std::unique_ptr<testsupport::LoopbackServer> server;
std::u16string siteUrl;
std::string siteUrl8;

// A typical home page: some 60 KB of HTML, sent gzip-compressed.
void StartServer() {
  std::string page =
      "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Site</title>\n"
      "<meta name=\"generator\" content=\"WordPress 6.4\">\n</head><body>\n";
  for (int i = 0; i < 600; ++i)
    page += "<div class=\"post\"><a href=\"/post/" + std::to_string(i) + "\">Post number " + std::to_string(i) +
            "</a> - café, naïve, Ünïcödé text</div>\n";
  page += "</body></html>\n";
  server = std::make_unique<testsupport::LoopbackServer>();
  server->Route("/", testsupport::Reply::Status(200, testsupport::Gzip(page),
                                                {{"Content-Type", "text/html; charset=utf-8"},
                                                 {"Content-Encoding", "gzip"},
                                                 {"Server", "nginx"},
                                                 {"X-Powered-By", "PHP/8.2"}}));
  siteUrl8 = server->Url("/");
  siteUrl = std::u16string(siteUrl8.begin(), siteUrl8.end());
}

void BM_FetchOneSite(benchmark::State& state) {
  fetch::RequestSettings settings;
  settings.userAgent = u"Mozilla/5.0 (X11; Linux x86_64)";
  for (auto _ : state) {
    std::u16string page = fetch::GetPageText(siteUrl, settings);
    auto headers = fetch::GetHeaderText(siteUrl, settings);
    if (page.size() < 1000 || !headers) state.SkipWithError("fetch failed");
    benchmark::DoNotOptimize(page);
  }
}

void BM_CurlToolOneSite(benchmark::State& state) {
  std::vector<std::string> args = {kCurl,    "-s", "-o", "/dev/null", "--compressed", siteUrl8,
                                   "--next", "-s", "-I", "-o",        "/dev/null",    siteUrl8};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawn(&pid, kCurl, nullptr, nullptr, argv.data(), environ) != 0) {
      state.SkipWithError("cannot start curl");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("curl failed");
  }
}

BENCHMARK(BM_FetchOneSite)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CurlToolOneSite)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Prints as usual and keeps each benchmark's real time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs)
      if (!run.error_occurred && run.run_type == Run::RT_Iteration)
        times[run.run_name.function_name] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  fetch::GlobalInit();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  StartServer();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  server.reset();
  auto ours = reporter.times.find("BM_FetchOneSite");
  auto curl = reporter.times.find("BM_CurlToolOneSite");
  if (ours != reporter.times.end() && curl != reporter.times.end() && curl->second > 0) {
    std::printf("fetch one site / curl tool one site: %.3f (target <= 1.5)\n", ours->second / curl->second);
  }
  return 0;
}
