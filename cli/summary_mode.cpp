#include "cli/summary_mode.h"

#include <QFile>
#include <cstdio>

#include "cli/record_sink.h"
#include "cli/standard_output.h"
#include "run/printable_text.h"
#include "run/summary_files.h"
#include "services/atomic_file.h"

namespace cli {

namespace {

QString Local(const std::string& s) { return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size())); }

void Fail(const QString& message) {
  std::fprintf(stderr, "lumasift-cli: %s\n", run::PrintableText(message).toLocal8Bit().constData());
}

}  // namespace

bool WriteSummaryJson(const QString& file, const run::TRunSummary& summary, QString& error) {
  try {
    services::TAtomicFileTarget target(file);
    target.Write(summary.ToJson());
    target.Commit();
  } catch (const services::TFileWriteError& failure) {
    error = QStringLiteral("cannot write %1: %2").arg(file, failure.Reason());
    return false;
  }
  return true;
}

int RunSummarize(const TCliOptions& options) {
  // A JSON file that cannot be written fails before the reading.
  QString reason;
  if (options.summaryOutput && !CanWriteOutputFile(Local(*options.summaryOutput), reason)) {
    Fail(QStringLiteral("cannot write %1: %2").arg(Local(*options.summaryOutput), reason));
    return 2;
  }
  run::TRunSummary summary;
  for (const std::string& name : options.urls) {
    const QString path = Local(name);
    const bool standardInput = name == "-";
    const QString shown = standardInput ? QStringLiteral("standard input") : path;
    QFile file;
    if (standardInput ? !file.open(stdin, QIODevice::ReadOnly) : (file.setFileName(path), !file.open(QIODevice::ReadOnly))) {
      Fail(QStringLiteral("cannot read %1: %2").arg(shown, file.errorString()));
      return 2;
    }
    QString error;
    const auto result = run::AddOutputDevice(file, summary, error);
    if (!result) {
      Fail(QStringLiteral("cannot summarize %1: %2").arg(shown, error));
      return 2;
    }
    if (result->cutShort) Fail(QStringLiteral("%1 is cut short: its last record is left out").arg(shown));
  }
  if (options.summaryOutput) {
    QString error;
    if (!WriteSummaryJson(Local(*options.summaryOutput), summary, error)) {
      Fail(error);
      return 2;
    }
  }
  const QByteArray table = summary.ToTable().toUtf8();
  // A write that fails is reported with its reason when standard output is closed.
  PrintOut(std::string_view(table.constData(), static_cast<std::size_t>(table.size())));
  return 0;
}

}  // namespace cli
