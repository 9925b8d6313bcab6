#include "cli/url_mode.h"

#include <QHash>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include <unistd.h>

#include "cli/input_lines.h"
#include "cli/record_format.h"
#include "cli/record_sink.h"
#include "cli/resume_file.h"
#include "cli/summary_mode.h"
#include "run/handover_steps.h"
#include "run/identifier.h"
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

class TCliStream : public run::TStreamHost {
 public:
  // `knownTotal`: the records of a list known before the run (the URLs of
  // the command line), shown as the total from the start; 0 for standard
  // input, whose total is the records read so far.
  // `summary`: where each delivered record is counted, or none.
  TCliStream(TInputLines& input, TRecordSink& sink, TDoneUrls* done, qint64 knownTotal, run::TRunSummary* summary)
      : input_(input),
        sink_(sink),
        done_(done),
        summary_(summary),
        knownTotal_(knownTotal),
        progress_(::isatty(STDERR_FILENO) == 1) {}
  ~TCliStream() override { EndProgress(); }

  std::optional<QString> NextLine(const std::atomic<bool>& giveUp) override { return input_.Next(giveUp); }
  QString LineFault() override { return input_.LineFault(); }
  bool Admit(const QString& url) override { return done_ == nullptr || !done_->Take(url); }
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
    std::fprintf(stderr, "\r%lld / %lld", static_cast<long long>(ended),
                 static_cast<long long>(std::max(taken, knownTotal_)));
    std::fflush(stderr);
    progressShown_ = true;
  }
  void EndProgress() {
    if (progressShown_) std::fputc('\n', stderr);
    progressShown_ = false;
  }

 private:
  TInputLines& input_;
  TRecordSink& sink_;
  TDoneUrls* done_;
  run::TRunSummary* summary_;
  qint64 knownTotal_;
  bool progress_;
  bool progressShown_ = false;
  bool warned_ = false;  // an expression stopped at its limit: said once per run
};

}  // namespace

int RunUrlMode(const TCliOptions& o, std::shared_ptr<const engine::TExtraSignatures> extras) {
  TRecordSink sink;
  std::optional<TResumeFile> resume;
  if (o.resumeFile) {
    const QString file = Local(*o.resumeFile);
    QString error;
    // Without --format the file's own records say which format to append.
    resume = ReadResumeFile(file, o.formatGiven ? std::optional<TFormat>(o.format) : std::nullopt, error);
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

  QStringList urls;
  for (const std::string& url : o.urls) urls << Local(url);
  TInputLines input = urls.isEmpty() ? TInputLines() : TInputLines(urls);
  TDoneUrls* done = resume ? &resume->done : nullptr;
  // The records of the command line's URLs: those the intake takes and the
  // resume file does not hold.
  qint64 knownTotal = 0;
  QHash<QString, std::uint32_t> repeats;
  for (const QString& line : urls) {
    const QString url = run::IntakeUrl(line);
    if (!url.isEmpty() && (done == nullptr || repeats[url]++ >= done->Count(url))) ++knownTotal;
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
  {
    TCliStream stream(input, sink, done, knownTotal, summarize ? &summary : nullptr);
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
