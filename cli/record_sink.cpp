#include "cli/record_sink.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/record_format.h"
#include "cli/resume_file.h"
#include "cli/standard_output.h"
#include "export/export_writer.h"
#include "run/evidence_text.h"
#include "services/atomic_file.h"

namespace cli {

namespace {

// Lines go to the --output file in blocks of about this size.
constexpr qsizetype kFlushBytes = 64 * 1024;

QString SystemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

}  // namespace

bool CanWriteOutputFile(const QString& file, QString& reason) {
  const QFileInfo target(file);
  if (target.exists() && !target.isFile() && !target.isDir()) return true;
  try {
    services::TAtomicFileTarget probe(file);
  } catch (const services::TFileWriteError& error) {
    reason = error.Reason();
    return false;
  }
  return true;
}

TRecordSink::TRecordSink() = default;

TRecordSink::~TRecordSink() {
  if (appendFd_ >= 0) ::close(appendFd_);
}

bool TRecordSink::Open(const QString& outputFile, TFormat format, bool explain) {
  format_ = format;
  explain_ = explain;
  fileName_ = outputFile;
  if (outputFile.isEmpty()) return true;
  if (format == TFormat::Xls || format == TFormat::Xlsx) {
    // Fail now rather than after the run when the file cannot be written:
    // the workbook writer goes through the same atomic file.
    QString reason;
    if (!CanWriteOutputFile(outputFile, reason)) {
      Failed(reason);
      return false;
    }
    mode_ = TMode::Workbook;
    return true;
  }
  try {
    atomic_ = std::make_unique<services::TAtomicFileTarget>(outputFile);
  } catch (const services::TFileWriteError& error) {
    error_ = error.Reason();
    return false;
  }
  mode_ = TMode::Atomic;
  if (format != TFormat::Jsonl) {
    lineEnd_ = "\r\n";
    pending_ = "\xEF\xBB\xBF";
  }
  return true;
}

bool TRecordSink::OpenResume(const QString& resumeFile, TFormat format, const TResumeFile& resume) {
  format_ = format;
  fileName_ = resumeFile;
  mode_ = TMode::Append;
  lineEnd_ = resume.lineEnd;
  const QByteArray path = QFile::encodeName(resumeFile);
  // Never waits on a named pipe; whatever was read must still be a regular file.
  appendFd_ = ::open(path.constData(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  struct stat st {};
  if (appendFd_ >= 0 && ::fstat(appendFd_, &st) == 0 && !S_ISREG(st.st_mode)) {
    Failed(QStringLiteral("not a regular file"));
    return false;
  }
  // The cut-off record goes first, so that nothing is ever appended to half a line.
  if (appendFd_ < 0 || ::ftruncate(appendFd_, resume.keepBytes) != 0 ||
      ::lseek(appendFd_, 0, SEEK_END) < 0) {
    Failed(SystemError());
    return false;
  }
  if (!resume.start.isEmpty()) Put(resume.start);
  return !failed_;
}

void TRecordSink::Write(const run::TWorkRecord& record, bool ended) {
  if (failed_) return;
  switch (mode_) {
    case TMode::Workbook:
      // A workbook has no room for the evidence: the record alone is held,
      // and counted now for the summary sheet, with the versions its
      // evidence found.
      workbook_.push_back(run::TWorkRecord(static_cast<const run::TMyRecord&>(record)));
      workbookSummary_.Add(record);
      return;
    case TMode::Append:
      if (ended) Put(Text(record));
      return;
    case TMode::Atomic:
      pending_ += Text(record);
      if (pending_.size() >= kFlushBytes) Flush();
      return;
    case TMode::Stdout: {
      const QByteArray bytes = Text(record);
      if (!PrintOut(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
        failed_ = true;
        error_ = QString::fromStdString(OutputFailure());
      }
      return;
    }
  }
}

// The record's line, or its --explain block, each line with its line end.
QByteArray TRecordSink::Text(const run::TWorkRecord& record) {
  if (!explain_) return RecordLine(record, format_).toUtf8() + lineEnd_;
  QByteArray bytes;
  if (blockWritten_) bytes += lineEnd_;
  blockWritten_ = true;
  const QString block = run::ExplainText(record.FURL, record.FPlatform, run::FetchFailed(record), record.evidence);
  for (const QString& line : block.split(QLatin1Char('\n'))) bytes += line.toUtf8() + lineEnd_;
  return bytes;
}

// One record line at a time, all of it or an error: a crash leaves at most
// the last line cut off, which the next --resume cuts away.
void TRecordSink::Put(const QByteArray& bytes) {
  const char* data = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0 && !failed_) {
    const ssize_t n = ::write(appendFd_, data, static_cast<size_t>(left));
    if (n < 0) {
      if (errno != EINTR) Failed(SystemError());
      continue;
    }
    data += n;
    left -= n;
  }
}

void TRecordSink::Flush() {
  if (!failed_ && !pending_.isEmpty()) {
    try {
      atomic_->Write(pending_);
    } catch (const services::TFileWriteError& error) {
      Failed(error.Reason());
    }
  }
  pending_.clear();
}

bool TRecordSink::Close() {
  switch (mode_) {
    case TMode::Stdout:
      break;
    case TMode::Atomic:
      Flush();
      if (!failed_) {
        try {
          atomic_->Commit();
        } catch (const services::TFileWriteError& error) {
          Failed(error.Reason());
        }
      }
      break;
    case TMode::Append:
      if (::close(appendFd_) != 0 && !failed_) Failed(SystemError());
      appendFd_ = -1;
      break;
    case TMode::Workbook:
      try {
        exports::ExportToSpreadsheet(workbook_, exports::SystemListSeparator(), fileName_,
                                     format_ == TFormat::Xlsx ? exports::TWorkbookFormat::Xlsx
                                                              : exports::TWorkbookFormat::Xls,
                                     &workbookSummary_);
      } catch (const exports::TExportError& error) {
        // Its message names the file already.
        failed_ = true;
        error_ = error.Message();
      }
      break;
  }
  return !failed_;
}

void TRecordSink::Failed(const QString& reason) {
  failed_ = true;
  error_ = QStringLiteral("cannot write %1: %2").arg(fileName_, reason);
}

}  // namespace cli
