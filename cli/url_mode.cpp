#include "cli/url_mode.h"

#include <QCoreApplication>
#include <QFile>
#include <QObject>
#include <QSaveFile>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include <unistd.h>

#include "cli/record_format.h"
#include "run/identifier.h"
#include "run/run_host.h"

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
  QString connectTimeout = QStringLiteral("5000");
  QString responseTimeout = QStringLiteral("5000");
  QString userAgent = QString::fromLatin1(kDefaultUserAgent);
  TFormat format = TFormat::Csv;
  QString output;
  bool pooled = true;
  int threads = 0;  // 0: automatic
  QStringList urls;
};

void Fail(const QString& message) {
  std::fprintf(stderr, "lumasift-cli: %s\n", message.toLocal8Bit().constData());
}

bool IsMilliseconds(const QString& text) {
  bool ok = false;
  const long value = text.toLong(&ok);
  return ok && value >= 0;
}

// Parses the arguments; on a bad option prints one line and returns nothing.
std::optional<TOptions> ParseOptions(const QStringList& arguments) {
  TOptions options;
  bool optionsEnded = false;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    QString arg = arguments.at(i);
    if (optionsEnded || !arg.startsWith(QLatin1String("--"))) {
      options.urls << arg;
      continue;
    }
    if (arg == QLatin1String("--")) {
      optionsEnded = true;
      continue;
    }
    QString name = arg;
    std::optional<QString> value;
    if (const qsizetype eq = arg.indexOf(u'='); eq > 0) {
      name = arg.left(eq);
      value = arg.mid(eq + 1);
    }
    static const QStringList kNames = {QStringLiteral("--connect-timeout"), QStringLiteral("--response-timeout"),
                                       QStringLiteral("--user-agent"),      QStringLiteral("--format"),
                                       QStringLiteral("--output"),          QStringLiteral("--threads")};
    if (!kNames.contains(name)) {
      Fail(QStringLiteral("unknown option %1 (see --help)").arg(name));
      return std::nullopt;
    }
    if (!value) {
      if (i + 1 >= arguments.size()) {
        Fail(QStringLiteral("option %1 needs a value").arg(name));
        return std::nullopt;
      }
      value = arguments.at(++i);
    }
    if (name == QLatin1String("--connect-timeout") || name == QLatin1String("--response-timeout")) {
      if (!IsMilliseconds(*value)) {
        Fail(QStringLiteral("%1 takes milliseconds (0 or more), not \"%2\"").arg(name, *value));
        return std::nullopt;
      }
      (name == QLatin1String("--connect-timeout") ? options.connectTimeout : options.responseTimeout) = *value;
    } else if (name == QLatin1String("--user-agent")) {
      options.userAgent = *value;
    } else if (name == QLatin1String("--format")) {
      if (*value == QLatin1String("csv"))
        options.format = TFormat::Csv;
      else if (*value == QLatin1String("txt"))
        options.format = TFormat::Txt;
      else if (*value == QLatin1String("jsonl"))
        options.format = TFormat::Jsonl;
      else {
        Fail(QStringLiteral("--format takes csv, txt or jsonl, not \"%1\"").arg(*value));
        return std::nullopt;
      }
    } else if (name == QLatin1String("--output")) {
      if (value->isEmpty()) {
        Fail(QStringLiteral("--output needs a file name"));
        return std::nullopt;
      }
      options.output = *value;
    } else {  // --threads
      bool ok = false;
      const int n = value->toInt(&ok);
      if (*value == QLatin1String("auto")) {
        options.pooled = true;
        options.threads = 0;
      } else if (ok && n == 1) {
        options.pooled = false;
      } else if (ok && n > 1) {
        options.pooled = true;
        options.threads = n;
      } else {
        Fail(QStringLiteral("--threads takes auto or a number of 1 or more, not \"%1\"").arg(*value));
        return std::nullopt;
      }
    }
  }
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
// it (UTF-8 with byte-order mark, CR LF after every line) and put in place
// only once complete. JSON Lines files get neither mark nor CR.
class TSink {
 public:
  bool Open(const QString& fileName, TFormat format) {
    if (fileName.isEmpty()) return true;
    file_ = std::make_unique<QSaveFile>(fileName);
    if (!file_->open(QIODevice::WriteOnly)) {
      error_ = file_->errorString();
      return false;
    }
    if (format != TFormat::Jsonl) {
      lineEnd_ = "\r\n";
      file_->write("\xEF\xBB\xBF");
    }
    return true;
  }
  void Write(const QString& line) {
    const QByteArray bytes = line.toUtf8();
    if (file_) {
      file_->write(bytes);
      file_->write(lineEnd_);
    } else {
      std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
      std::fputc('\n', stdout);
      std::fflush(stdout);
    }
  }
  bool Close() {
    if (!file_) return true;
    if (!file_->commit()) {
      error_ = file_->errorString();
      return false;
    }
    return true;
  }
  QString Error() const { return error_; }

 private:
  std::unique_ptr<QSaveFile> file_;
  QByteArray lineEnd_ = "\n";
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
      run::TMyRecord record = list_[next_];
      if (!ended_[next_]) record.FPlatform.clear();
      sink_.Write(RecordLine(record, options_.format));
    }
    EndProgress();
  }

 private:
  void PrintReady() {
    while (next_ < list_.size() && ended_[next_]) sink_.Write(RecordLine(list_[next_++], options_.format));
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
};

}  // namespace

QString UrlModeUsage() {
  return QStringLiteral(
      "lumasift-cli [--connect-timeout MS] [--response-timeout MS] [--user-agent TEXT]\n"
      "             [--format csv|txt|jsonl] [--output FILE] [--threads auto|N|1] [URL ...]\n"
      "  Identifies the platform of each site. URLs come from the arguments, or one per\n"
      "  line from standard input when none is given; blanks around them are dropped,\n"
      "  empty lines skipped, and \"http://\" is put in front of what does not begin with\n"
      "  \"http\". One record per URL is printed in input order.\n"
      "  --connect-timeout MS   per connection attempt (default 5000; 0 = no limit)\n"
      "  --response-timeout MS  per wait for data (default 5000; 0 = no limit)\n"
      "  --user-agent TEXT      User-Agent header (empty: none sent)\n"
      "  --format FORMAT        csv (default): URL,platforms as in the CSV export;\n"
      "                         txt: URL,platforms unquoted;\n"
      "                         jsonl: {\"url\":...,\"platforms\":[...],\"error\":text|null}\n"
      "  --output FILE          write FILE as the window's export does (UTF-8 with BOM,\n"
      "                         CR LF) instead of printing; jsonl files are plain JSON Lines\n"
      "  --threads auto|N|1     sites at once: auto (default) = 25 per processor,\n"
      "                         N = up to N, 1 = one after another\n"
      "  Ctrl-C stops: sites in progress finish, the others are printed without\n"
      "  platforms, exit code 130. Exit code 0 when the run completed, 2 for bad\n"
      "  options or an output file that cannot be written.\n");
}

int RunUrlMode(const QStringList& arguments) {
  const std::optional<TOptions> options = ParseOptions(arguments);
  if (!options) return 2;

  TSink sink;
  if (!sink.Open(options->output, options->format)) {
    Fail(QStringLiteral("cannot write %1: %2").arg(options->output, sink.Error()));
    return 2;
  }

  const QStringList lines = options->urls.isEmpty() ? ReadStandardInput() : options->urls;
  TCliHost host(lines, *options, sink);
  auto inputs = std::make_shared<run::TFetchInputs>();
  inputs->Set({options->connectTimeout, options->responseTimeout, options->userAgent});

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

  run::TMyIdentifier worker(host, inputs, options->userAgent, limits);
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
    Fail(QStringLiteral("cannot write %1: %2").arg(options->output, sink.Error()));
    return 2;
  }
  return code;
}

}  // namespace cli
