// lumasift-cli on pages saved earlier: a gzip-compressed web archive, and a
// folder of saved page files. Each side of a ratio is measured in the same
// run; times of the tool are its own processor time (user + system, from
// wait4), so that other work on the machine does not count.
//
// archive_identify: an archive the benchmark writes (LUMASIFT_ARCHIVE_PAGES
// pages, 20,000 unless set; ordinary pages of 15 to 40 KB, each record its
// own gzip member as crawlers write them) read by `lumasift-cli --warc FILE
// --threads 1`. Reported: pages per second of processor time (per core;
// target 1,000), compressed and decompressed MB per second of processor
// time, and the share of `zcat FILE` (decompression alone) in the tool's
// time, and that of zlib decompressing the same members in the benchmark's
// own process (the library the tool decompresses with); also pages per
// second of wall time with one job per processor.
//
// pages_vs_page: LUMASIFT_PAGE_FILES saved page files (10,000 unless set)
// identified by one `lumasift-cli --pages FOLDER --threads 1`, against one
// `lumasift-cli --page FILE` process per file, timed over the first
// LUMASIFT_PAGE_SAMPLE files (300 unless set; 10,000 processes take most of
// an hour on a small machine) and taken per file. Reported: the ratio of
// the per-file times (target 20).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/warc_builder.h"

extern char** environ;

namespace {

struct TRun {
  double wallSeconds = 0;
  double cpuSeconds = 0;  // user + system of the process
  long long lines = 0;    // lines it wrote to its standard output
};

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// Runs a program, its standard output counted line by line (or thrown away).
TRun Run(const std::vector<std::string>& arguments, bool countLines = true) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  std::vector<std::string> storage = arguments;
  std::vector<char*> argv;
  for (std::string& a : storage) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int spawned = EAGAIN;
  // A machine busy with other work may refuse a process for a moment.
  for (int attempt = 0; attempt < 50 && spawned == EAGAIN; ++attempt) {
    spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    if (spawned == EAGAIN) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (spawned != 0) throw std::runtime_error(std::string("spawn failed: ") + std::strerror(spawned));
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  TRun run;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    if (countLines)
      for (ssize_t i = 0; i < n; ++i) run.lines += buffer[i] == '\n';
  }
  ::close(out[0]);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  run.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::string command;
    for (const std::string& a : arguments) command += " " + a;
    throw std::runtime_error("a program failed (" +
                             (WIFEXITED(status) ? "exit code " + std::to_string(WEXITSTATUS(status))
                                                : "signal " + std::to_string(WTERMSIG(status))) +
                             "):" + command);
  }
  return run;
}

long long Count(const char* variable, long long fallback) {
  const char* text = std::getenv(variable);
  return text != nullptr && *text != '\0' ? std::atoll(text) : fallback;
}

// Ordinary pages: a head with styles and scripts, navigation, paragraphs of
// words, a footer; a fifth of them carry markers of a platform.
class TPages {
 public:
  std::string Next() {
    std::uniform_int_distribution<int> words(2000, 5500);
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + Words(6) +
                       "</title>\n<link rel=\"stylesheet\" href=\"/assets/site.css?v=" + std::to_string(n_) + "\">\n";
    switch (n_++ % 10) {
      case 0: page += "<link rel='stylesheet' href='/wp-content/themes/theme/style.css'>\n"; break;
      case 1: page += "<meta name=\"generator\" content=\"Joomla! - Open Source Content Management\">\n"; break;
      case 2: page += "<script src=\"/misc/drupal.js\"></script>\n"; break;
      default: break;
    }
    page += "<script>window.dataLayer=window.dataLayer||[];function gtag(){dataLayer.push(arguments);}</script>\n"
            "</head>\n<body>\n<nav><ul>";
    for (int i = 0; i < 12; ++i) page += "<li><a href=\"/section/" + Words(1) + "\">" + Words(2) + "</a></li>";
    page += "</ul></nav>\n<main>\n";
    for (int left = words(rng_); left > 0; left -= 60)
      page += "<p class=\"text\">" + Words(60) + "</p>\n<div class=\"row\"><img src=\"/img/" + Words(1) + ".jpg\" alt=\"\"></div>\n";
    page += "</main>\n<footer>&copy; 2024 " + Words(3) + "</footer>\n</body>\n</html>\n";
    return page;
  }

 private:
  std::string Words(int count) {
    static const char* const kWords[] = {"the",   "market", "garden", "report", "shop",   "river",  "news", "price",
                                         "event", "school", "travel", "house",  "music",  "street", "city", "winter",
                                         "light", "offer",  "family", "sport",  "energy", "health", "book", "design"};
    std::uniform_int_distribution<int> pick(0, 23);
    std::string text;
    for (int i = 0; i < count; ++i) {
      if (i > 0) text += ' ';
      text += kWords[pick(rng_)];
    }
    return text;
  }
  std::mt19937 rng_{20};
  long long n_ = 0;
};

std::filesystem::path TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "saved_bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

// Processor seconds to decompress every member of a gzip file with zlib (the
// library the tool decompresses with), in this process.
double InflateSeconds(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const std::clock_t start = std::clock();
  z_stream z{};
  inflateInit2(&z, 16 + MAX_WBITS);
  std::vector<char> out(256 << 10);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  while (z.avail_in > 0) {
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) {
      inflateReset(&z);
    } else if (rc != Z_OK) {
      break;
    }
  }
  inflateEnd(&z);
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

void BM_ArchiveIdentify(benchmark::State& state) {
  const std::filesystem::path folder = TempFolder();
  const std::filesystem::path archive = folder / "pages.warc.gz";
  const long long pages = Count("LUMASIFT_ARCHIVE_PAGES", 20000);
  double decompressedBytes = 0;
  {
    std::ofstream file(archive, std::ios::binary);
    TPages source;
    for (long long i = 0; i < pages; ++i) {
      const std::string record = testsupport::ResponseRecord(
          "http://site" + std::to_string(i) + ".example/", testsupport::HttpAnswer(source.Next(), "text/html; charset=utf-8",
                                                                                    "HTTP/1.1 200 OK", "Server: nginx/1.24.0\r\n"));
      decompressedBytes += static_cast<double>(record.size());
      const std::string member = testsupport::Gzip(record);
      file.write(member.data(), static_cast<std::streamsize>(member.size()));
    }
  }
  const double compressedBytes = static_cast<double>(std::filesystem::file_size(archive));
  TRun tool, zcat, pooled;
  double inflateSeconds = 0;
  for (auto _ : state) {
    inflateSeconds = InflateSeconds(archive);
    zcat = Run({"zcat", archive.string()}, false);
    tool = Run({LUMASIFT_CLI_PATH, "--warc", archive.string(), "--threads", "1"});
    pooled = Run({LUMASIFT_CLI_PATH, "--warc", archive.string()});
    state.SetIterationTime(tool.cpuSeconds);
  }
  std::filesystem::remove_all(folder);
  if (tool.lines != pages || pooled.lines != pages) state.SkipWithError("the tool printed a record count other than the pages'");
  state.counters["pages"] = static_cast<double>(pages);
  state.counters["pages_per_cpu_s"] = static_cast<double>(pages) / tool.cpuSeconds;
  state.counters["ratio_to_target_1000"] = static_cast<double>(pages) / tool.cpuSeconds / 1000.0;
  state.counters["compressed_MB_per_cpu_s"] = compressedBytes / 1e6 / tool.cpuSeconds;
  state.counters["decompressed_MB_per_cpu_s"] = decompressedBytes / 1e6 / tool.cpuSeconds;
  state.counters["zcat_share"] = zcat.cpuSeconds / tool.cpuSeconds;
  state.counters["zlib_inflate_share"] = inflateSeconds / tool.cpuSeconds;
  state.counters["pages_per_wall_s_1_job"] = static_cast<double>(pages) / tool.wallSeconds;
  state.counters["pages_per_wall_s_auto"] = static_cast<double>(pages) / pooled.wallSeconds;
}
BENCHMARK(BM_ArchiveIdentify)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_PagesVsPage(benchmark::State& state) {
  const std::filesystem::path folder = TempFolder();
  const long long files = Count("LUMASIFT_PAGE_FILES", 10000);
  const long long sample = std::min(files, Count("LUMASIFT_PAGE_SAMPLE", 300));
  std::vector<std::string> paths;
  {
    TPages source;
    for (long long i = 0; i < files; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "page%05lld.html", i);
      paths.push_back((folder / name).string());
      std::ofstream(paths.back(), std::ios::binary) << source.Next();
    }
  }
  TRun pagesRun;
  double perPageProcess = 0;
  for (auto _ : state) {
    pagesRun = Run({LUMASIFT_CLI_PATH, "--pages", folder.string(), "--threads", "1"});
    double total = 0;
    for (long long i = 0; i < sample; ++i) total += Run({LUMASIFT_CLI_PATH, "--page", paths[static_cast<std::size_t>(i)]}).cpuSeconds;
    perPageProcess = total / static_cast<double>(sample);
    state.SetIterationTime(pagesRun.cpuSeconds);
  }
  std::filesystem::remove_all(folder);
  if (pagesRun.lines != files) state.SkipWithError("the tool printed a record count other than the files'");
  const double perFileInOneRun = pagesRun.cpuSeconds / static_cast<double>(files);
  state.counters["files"] = static_cast<double>(files);
  state.counters["page_processes_timed"] = static_cast<double>(sample);
  state.counters["ms_per_file_pages"] = perFileInOneRun * 1e3;
  state.counters["ms_per_file_page_process"] = perPageProcess * 1e3;
  state.counters["ratio"] = perPageProcess / perFileInOneRun;
  state.counters["ratio_to_target_20"] = perPageProcess / perFileInOneRun / 20.0;
}
BENCHMARK(BM_PagesVsPage)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
