#include "cli/url_mode.h"

#include <QHash>

#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/input_lines.h"
#include "cli/record_format.h"
#include "cli/record_sink.h"
#include "cli/resume_file.h"
#include "cli/summary_mode.h"
#include "run/handover_steps.h"
#include "run/identifier.h"
#include "run/page_sources.h"
#include "run/printable_text.h"
#include "run/stream_run.h"
#include "run/summary_files.h"

namespace cli {

namespace {

constexpr const char* kDefaultUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/100.0.4896.127 Safari/537.36";

// Records held beyond those in work: enough that a slow site at the front
// does not idle the other jobs at once, small enough to be nothing beside
// the program itself (a few hundred bytes a record).
constexpr std::size_t kWindow = 4096;

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) {
  // STOP: jobs in progress finish, no other starts. A second Ctrl-C ends the
  // program the ordinary way.
  run::StopFlag().store(true);
  gInterrupted = 1;
  std::signal(SIGINT, SIG_DFL);
}

void Fail(const QString& message) {
  std::fprintf(stderr, "lumasift-cli: %s\n", run::PrintableText(message).toLocal8Bit().constData());
}

QString Local(const std::string& s) { return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size())); }

// A URL as a resume file of `format` holds it: csv lines carry control
// characters escaped, jsonl strings carry them as they are.
QString ResumeKey(const QString& url, TFormat format) {
  return format == TFormat::Csv ? run::PrintableText(url) : url;
}

// The records of saved pages (--pages, --warc), taken instead of URL lines.
using TSavedEntries = std::function<std::optional<run::TStreamEntry>(const std::atomic<bool>& giveUp)>;

class TCliStream : public run::TStreamHost {
 public:
  // `knownTotal`: the records of a list known before the run (the URLs of
  // the command line), shown as the total from the start; 0 for standard
  // input, whose total is the records read so far.
  // `summary`: where each delivered record is counted, or none. `saved`:
  // the entries of saved pages, taken instead of URL lines.
  TCliStream(TInputLines& input, TRecordSink& sink, TDoneUrls* done, TFormat doneFormat, qint64 knownTotal,
             run::TRunSummary* summary, TSavedEntries saved = {})
      : input_(input),
        sink_(sink),
        done_(done),
        doneFormat_(doneFormat),
        summary_(summary),
        knownTotal_(knownTotal),
        saved_(std::move(saved)),
        progress_(::isatty(STDERR_FILENO) == 1) {}
  ~TCliStream() override { EndProgress(); }

  std::optional<QString> NextLine(const std::atomic<bool>& giveUp) override { return input_.Next(giveUp); }
  QString LineFault() override { return input_.LineFault(); }
  bool Admit(const QString& url) override { return done_ == nullptr || !done_->Take(ResumeKey(url, doneFormat_)); }
  std::optional<run::TStreamEntry> NextEntry(const std::atomic<bool>& giveUp) override {
    if (!saved_) return run::TStreamHost::NextEntry(giveUp);
    for (;;) {
      std::optional<run::TStreamEntry> entry = saved_(giveUp);
      if (!entry || Admit(entry->name)) return entry;
    }
  }
  void Deliver(const run::TWorkRecord& record, bool ended) override {
    sink_.Write(record, ended);
    if (!warned_) {
      const QString warning = StoppedWarning(record.evidence, record.FURL);
      if (!warning.isEmpty()) {
        EndProgress();
        std::fprintf(stderr, "%s\n", warning.toLocal8Bit().constData());
        warned_ = true;
      }
    }
    if (summary_ != nullptr) summary_->Add(record);
    // Records that cannot be written are not worth fetching: stop as STOP does.
    if (sink_.HasFailed()) run::StopFlag().store(true);
  }
  void Progress(qint64 ended, qint64 taken) override {
    if (!progress_) return;
    std::lock_guard lock(errorMutex_);
    std::fprintf(stderr, "\r%lld / %lld", static_cast<long long>(ended),
                 static_cast<long long>(std::max(taken, knownTotal_)));
    std::fflush(stderr);
    progressShown_ = true;
  }
  // A message on standard error, on a line of its own beside the progress line.
  void Note(const QString& message) {
    std::lock_guard lock(errorMutex_);
    if (progressShown_) std::fputc('\n', stderr);
    progressShown_ = false;
    Fail(message);
  }
  void EndProgress() {
    if (progressShown_) std::fputc('\n', stderr);
    progressShown_ = false;
  }

 private:
  TInputLines& input_;
  TRecordSink& sink_;
  TDoneUrls* done_;
  TFormat doneFormat_;
  run::TRunSummary* summary_;
  qint64 knownTotal_;
  TSavedEntries saved_;
  bool progress_;
  bool progressShown_ = false;
  bool warned_ = false;  // an expression stopped at its limit: said once per run
  std::mutex errorMutex_;
};

// Bytes of recorded responses that an archive run holds at once beyond the
// one being read: enough to keep every job busy, small beside the pages in
// work.
constexpr std::size_t kHeldArchiveBytes = std::size_t{64} << 20;

// The next path of --pages: the arguments in order, "-" standing for the
// lines of standard input.
class TPagePaths {
 public:
  TPagePaths(const std::vector<std::string>& arguments, TInputLines& standardInput)
      : arguments_(arguments), standardInput_(standardInput) {}
  std::optional<QString> operator()(const std::atomic<bool>& giveUp) {
    for (;;) {
      if (inStandardInput_) {
        if (std::optional<QString> line = standardInput_.Next(giveUp)) {
          if (line->endsWith(QLatin1Char('\r'))) line->chop(1);
          return line;
        }
        inStandardInput_ = false;
      }
      if (next_ >= arguments_.size()) return std::nullopt;
      const std::string& argument = arguments_[next_++];
      if (argument == "-") {
        inStandardInput_ = true;
        continue;
      }
      return Local(argument);
    }
  }

 private:
  const std::vector<std::string>& arguments_;
  TInputLines& standardInput_;
  std::size_t next_ = 0;
  bool inStandardInput_ = false;
};

}  // namespace

int RunUrlMode(const TCliOptions& o, std::shared_ptr<const engine::TExtraSignatures> extras) {
  TRecordSink sink;
  std::optional<TResumeFile> resume;
  if (o.resumeFile) {
    const QString file = Local(*o.resumeFile);
    QString error;
    // Without --format the file's own records say which format to append.
    // Saved page files are named by their paths, not by URLs.
    resume = ReadResumeFile(file, o.formatGiven ? std::optional<TFormat>(o.format) : std::nullopt, error, !o.pages);
    if (!resume) {
      Fail(error);
      return 2;
    }
    if (!sink.OpenResume(file, resume->format, *resume)) {
      Fail(sink.Error());
      return 2;
    }
  } else if (!sink.Open(o.outputFile ? Local(*o.outputFile) : QString(), o.format, o.explain)) {
    Fail(sink.Error());
    return 2;
  }

  // The summary of a resumed run counts the records the file already holds.
  const bool summarize = o.summary || o.summaryOutput;
  run::TRunSummary summary;
  if (summarize && o.summaryOutput) {
    QString reason;
    if (!CanWriteOutputFile(Local(*o.summaryOutput), reason)) {
      Fail(QStringLiteral("cannot write %1: %2").arg(Local(*o.summaryOutput), reason));
      return 2;
    }
  }
  if (summarize && resume && resume->records > 0) {
    QString error;
    if (!run::AddOutputFile(Local(*o.resumeFile), summary, error)) {
      Fail(QStringLiteral("cannot summarize %1: %2").arg(Local(*o.resumeFile), error));
      return 2;
    }
  }

  const bool saved = o.pages || o.warc;
  QStringList urls;
  if (!saved)
    for (const std::string& url : o.urls) urls << Local(url);
  TInputLines input = urls.isEmpty() ? TInputLines() : TInputLines(urls);
  TDoneUrls* done = resume ? &resume->done : nullptr;
  // The records of the command line's URLs: those the intake takes and the
  // resume file does not hold.
  qint64 knownTotal = 0;
  QHash<QString, std::uint32_t> repeats;
  for (const QString& line : urls) {
    const QString url = run::IntakeUrl(line);
    if (!url.isEmpty() && (done == nullptr || repeats[url]++ >= done->Count(ResumeKey(url, resume->format)))) ++knownTotal;
  }

  auto inputs = std::make_shared<run::TFetchInputs>();
  const QString userAgent = o.userAgent ? Local(*o.userAgent) : QString::fromLatin1(kDefaultUserAgent);
  fetch::ProxySettings proxy;
  if (o.proxy == "env") {
    proxy.mode = fetch::ProxyMode::Environment;
  } else if (o.proxy != "none") {
    proxy.mode = fetch::ProxyMode::Manual;
    proxy.url = o.proxy;
    if (o.proxyUser) {
      proxy.user = *o.proxyUser;
      // Never an argument: the command line is visible to every user of the machine.
      if (const char* password = std::getenv("LUMASIFT_PROXY_PASSWORD")) proxy.password = password;
      if (!proxy.password.empty()) fetch::KeepCoreDumpsFromPassword();
    }
  }
  inputs->Set({Local(o.connectTimeout), Local(o.responseTimeout), userAgent, proxy});

  // Any --threads N is taken as given: unlike the window's setting, whose
  // values below the processor count fall back to the default maximum.
  run::PoolLimits limits = run::DefaultPoolLimits();
  limits.minimum = 1;
  run::TStreamSettings settings;
  settings.jobs = o.pooled ? run::JobsAtOnce(o.threads, limits) : 1;
  if (saved && o.pooled && o.threads == 0) {
    // Nothing to wait for on a network: one job per processor.
    settings.jobs = std::max(1, QThread::idealThreadCount());
  }
  if (o.warc) settings.heldBytes = kHeldArchiveBytes;
  settings.window = kWindow;
  settings.inputs = inputs;
  settings.runUserAgent = userAgent;
  settings.extras = std::move(extras);

  gInterrupted = 0;
  run::StopFlag().store(false);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  struct sigaction previous {};
  ::sigaction(SIGINT, &action, &previous);

  run::TStreamResult result;
  bool unreadable = false;  // an archive that could not be read to its end
  {
    // Saved pages: the same stream, its entries from files or archives.
    TCliStream* streamSeen = nullptr;
    TPagePaths pagePaths(o.urls, input);
    std::unique_ptr<run::TPageFileEntries> pageFiles;
    std::unique_ptr<run::TArchiveEntries> archives;
    TSavedEntries entries;
    if (o.pages) {
      pageFiles = std::make_unique<run::TPageFileEntries>(std::ref(pagePaths), o.allRecords);
      entries = [&pageFiles](const std::atomic<bool>& giveUp) { return pageFiles->Next(giveUp); };
    } else if (o.warc) {
      QStringList files;
      for (const std::string& file : o.urls) files << Local(file);
      archives = std::make_unique<run::TArchiveEntries>(
          files, o.allRecords,
          [&streamSeen](const QString& archive, std::uint64_t offset, const QString& text) {
            streamSeen->Note(QStringLiteral("%1: offset %2: %3").arg(archive).arg(offset).arg(text));
          },
          [&streamSeen, &unreadable](const QString& archive, const QString& reason) {
            unreadable = true;
            streamSeen->Note(QStringLiteral("cannot read %1: %2").arg(archive, reason));
          });
      entries = [&archives](const std::atomic<bool>& giveUp) { return archives->Next(giveUp); };
    }
    TCliStream stream(input, sink, done, resume ? resume->format : o.format, knownTotal, summarize ? &summary : nullptr, std::move(entries));
    streamSeen = &stream;
    if (knownTotal > 0) stream.Progress(0, knownTotal);
    result = run::RunStream(stream, settings);
  }
  ::sigaction(SIGINT, &previous, nullptr);

  int code = gInterrupted ? 130 : 0;
  if (result.failed) {
    Fail(result.failureMessage);
    code = 1;
  }
  if (!input.Error().isEmpty()) {
    Fail(QStringLiteral("cannot read standard input: %1").arg(input.Error()));
    code = 2;
  }
  if (unreadable && code == 0) code = 2;
  if (!sink.Close()) {
    Fail(sink.Error());
    return 2;
  }
  if (o.summary) {
    const QByteArray table = summary.ToTable().toUtf8();
    std::fwrite(table.constData(), 1, static_cast<std::size_t>(table.size()), stderr);
  }
  if (o.summaryOutput) {
    QString error;
    if (!WriteSummaryJson(Local(*o.summaryOutput), summary, error)) {
      Fail(error);
      return 2;
    }
  }
  return code;
}

}  // namespace cli
