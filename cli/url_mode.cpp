#include "cli/url_mode.h"

#include <QCoreApplication>
#include <QFile>
#include <QObject>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include <unistd.h>

#include "cli/record_format.h"
#include "engine/extra_signatures.h"
#include "run/evidence_text.h"
#include "run/identifier.h"
#include "run/run_host.h"
#include "services/atomic_file.h"

namespace cli {

namespace {

constexpr const char* kDefaultUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/100.0.4896.127 Safari/537.36";

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) {
  // STOP: jobs in progress finish, no other starts. A second Ctrl-C ends the
  // program the ordinary way.
  run::StopFlag().store(true);
  gInterrupted = 1;
  std::signal(SIGINT, SIG_DFL);
}

struct TOptions {
  QString connectTimeout;
  QString responseTimeout;
  QString userAgent;
  TFormat format = TFormat::Csv;
  bool explain = false;
  QString output;
  bool pooled = true;
  int threads = 0;  // 0: automatic
  QStringList urls;
};

void Fail(const QString& message) {
  std::fprintf(stderr, "lumasift-cli: %s\n", message.toLocal8Bit().constData());
}

QString Local(const std::string& s) { return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size())); }

TOptions FromCommandLine(const TCliOptions& o) {
  TOptions options;
  options.connectTimeout = Local(o.connectTimeout);
  options.responseTimeout = Local(o.responseTimeout);
  options.userAgent = o.userAgent ? Local(*o.userAgent) : QString::fromLatin1(kDefaultUserAgent);
  options.format = o.format;
  options.explain = o.explain;
  if (o.outputFile) options.output = Local(*o.outputFile);
  options.pooled = o.pooled;
  options.threads = o.threads;
  for (const std::string& url : o.urls) options.urls << Local(url);
  return options;
}

QStringList ReadStandardInput() {
  QFile in;
  if (!in.open(stdin, QIODevice::ReadOnly)) return {};
  const QString text = QString::fromUtf8(in.readAll());
  QStringList lines = text.split(u'\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

// Where the records go: standard output (LF after every line, each line
// flushed at once) or the output file, written as the window's export writes
// it (UTF-8 with byte-order mark, CR LF after every line) through the same
// atomic file, so it is put in place only once complete. JSON Lines files get
// neither mark nor CR. After the first failed write nothing more is written
// and Close() reports it.
class TSink {
 public:
  bool Open(const QString& fileName, TFormat format) {
    if (fileName.isEmpty()) return true;
    try {
      file_ = std::make_unique<services::TAtomicFileTarget>(fileName);
    } catch (const services::TFileWriteError& error) {
      error_ = error.Reason();
      return false;
    }
    if (format != TFormat::Jsonl) {
      lineEnd_ = "\r\n";
      pending_ = "\xEF\xBB\xBF";
    }
    return true;
  }
  void Write(const QString& line) {
    const QByteArray bytes = line.toUtf8();
    if (file_) {
      pending_ += bytes;
      pending_ += lineEnd_;
      if (pending_.size() >= kFlushBytes) Flush();
    } else {
      std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
      std::fputc('\n', stdout);
      std::fflush(stdout);
    }
  }
  bool Close() {
    if (!file_) return true;
    Flush();
    if (!failed_) {
      try {
        file_->Commit();
      } catch (const services::TFileWriteError& error) {
        Failed(error);
      }
    }
    return !failed_;
  }
  QString Error() const { return error_; }

 private:
  // Lines are handed to the file in blocks of about this size.
  static constexpr qsizetype kFlushBytes = 64 * 1024;

  void Flush() {
    if (!failed_ && !pending_.isEmpty()) {
      try {
        file_->Write(pending_);
      } catch (const services::TFileWriteError& error) {
        Failed(error);
      }
    }
    pending_.clear();
  }
  void Failed(const services::TFileWriteError& error) {
    failed_ = true;
    error_ = error.Reason();
  }

  std::unique_ptr<services::TAtomicFileTarget> file_;
  QByteArray pending_;
  QByteArray lineEnd_ = "\n";
  bool failed_ = false;
  QString error_;
};

class TCliHost : public run::TRunHost {
 public:
  TCliHost(QStringList lines, TOptions options, TSink& sink)
      : lines_(std::move(lines)), options_(std::move(options)), sink_(sink), progress_(::isatty(STDERR_FILENO) == 1) {}

  QObject* Context() override { return &context_; }
  run::TWorkList& WorkList() override { return list_; }
  int EditorLineCount() override { return static_cast<int>(lines_.size()); }
  QString EditorLine(int index) override { return lines_.at(index); }
  bool MultiThreadingOn() override { return options_.pooled; }
  int MultiThreads() override { return options_.threads; }
  void AddData(const QString& MyURL, const QString& MyPlatform) override {
    list_.push_back(run::TMyRecord{MyURL, MyPlatform, run::kImageNone});
    ended_.push_back(false);
  }
  void SetStatusText(int, const QString&) override {}
  void SetRowCount(qint64) override {}
  void RedrawRow(int index) override {
    const qint32 image = list_.at(static_cast<size_t>(index)).FImageNo;
    if (image == run::kImageDone || image == run::kImageError) {
      ended_[static_cast<size_t>(index)] = true;
      PrintReady();
    }
  }
  void IslemTamam(bool) override { PrintRest(); }
  void Progress(qint64 done, qint64 total) override {
    if (!progress_) return;
    std::fprintf(stderr, "\r%lld / %lld", static_cast<long long>(done), static_cast<long long>(total));
    std::fflush(stderr);
    progressShown_ = true;
  }

  // Every record not printed yet, as it stands (after a stop or a failure:
  // with an empty platforms text when its job never ended).
  void PrintRest() {
    for (; next_ < list_.size(); ++next_) {
      run::TWorkRecord record = list_[next_];
      if (!ended_[next_]) {
        record.FPlatform.clear();
        record.evidence = run::TEvidence();
      }
      Print(record);
    }
    EndProgress();
  }

 private:
  void PrintReady() {
    while (next_ < list_.size() && ended_[next_]) Print(list_[next_++]);
  }
  // One record: its line, or its --explain block (blocks apart by a blank line).
  void Print(const run::TWorkRecord& record) {
    if (!options_.explain) {
      sink_.Write(RecordLine(record, options_.format));
      return;
    }
    if (blockWritten_) sink_.Write(QString());
    for (const QString& line : run::ExplainText(record.FURL, record.FPlatform, record.evidence).split(QLatin1Char('\n')))
      sink_.Write(line);
    blockWritten_ = true;
  }
  void EndProgress() {
    if (progressShown_) std::fputc('\n', stderr);
    progressShown_ = false;
  }

  QObject context_;
  QStringList lines_;
  TOptions options_;
  TSink& sink_;
  run::TWorkList list_;
  std::vector<bool> ended_;
  size_t next_ = 0;
  bool progress_;
  bool progressShown_ = false;
  bool blockWritten_ = false;
};

}  // namespace

int RunUrlMode(const TCliOptions& commandLine, std::shared_ptr<const engine::TExtraSignatures> extras) {
  const TOptions options = FromCommandLine(commandLine);

  TSink sink;
  if (!sink.Open(options.output, options.format)) {
    Fail(QStringLiteral("cannot write %1: %2").arg(options.output, sink.Error()));
    return 2;
  }

  const QStringList lines = options.urls.isEmpty() ? ReadStandardInput() : options.urls;
  TCliHost host(lines, options, sink);
  auto inputs = std::make_shared<run::TFetchInputs>();
  inputs->Set({options.connectTimeout, options.responseTimeout, options.userAgent});

  // Any --threads N is taken as given: unlike the window's setting, whose
  // values below the processor count fall back to the default maximum.
  run::PoolLimits limits = run::DefaultPoolLimits();
  limits.minimum = 1;

  gInterrupted = 0;
  run::StopFlag().store(false);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  struct sigaction previous {};
  ::sigaction(SIGINT, &action, &previous);

  run::TMyIdentifier worker(host, inputs, options.userAgent, limits);
  worker.SetExtraSignatures(std::move(extras));
  QObject::connect(&worker, &QThread::finished, QCoreApplication::instance(), &QCoreApplication::quit,
                   Qt::QueuedConnection);
  worker.start();
  QCoreApplication::exec();
  worker.wait();
  ::sigaction(SIGINT, &previous, nullptr);

  int code = gInterrupted ? 130 : 0;
  if (worker.Failed()) {
    host.PrintRest();
    Fail(worker.FailureMessage());
    code = 1;
  }
  if (!sink.Close()) {
    Fail(QStringLiteral("cannot write %1: %2").arg(options.output, sink.Error()));
    return 2;
  }
  return code;
}

}  // namespace cli
