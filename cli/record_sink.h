#pragma once
// Where URL mode's records go, in input order:
// - standard output: one line each, LF, flushed at once;
// - --output FILE (csv, txt, jsonl): the file the window's export writes
//   (UTF-8 with byte-order mark, CR LF; jsonl: plain JSON Lines), written
//   through the atomic file as the records come and put in place only once
//   complete;
// - --output FILE (xls, xlsx): the window's spreadsheet export of every
//   record, written at Close() (a workbook is written whole, so these records
//   are held until then);
// - --resume FILE: appended to FILE, each line written at once, after a
//   cut-off last record has been cut away; records whose job never ended are
//   left out, so that the next --resume takes them up.
// With --explain (standard output or --output FILE), each record is its
// readable block of lines instead, the blocks apart by an empty line.
// After the first failed write (on standard output too) nothing more is
// written and Close() reports it.
#include <QByteArray>
#include <QString>
#include <memory>

#include "cli/options.h"
#include "run/run_host.h"
#include "run/run_summary.h"

namespace services {
class TAtomicFileTarget;
}

namespace cli {

struct TResumeFile;

// Whether a file named as an output can be written, tried before a run so
// that a bad name fails before any site is asked. A target that exists and is
// not a regular file (a pipe would wait for its reader) is taken as it is.
bool CanWriteOutputFile(const QString& file, QString& reason);

class TRecordSink {
 public:
  TRecordSink();
  ~TRecordSink();

  // Standard output, or the --output file. False (Error() tells why) when the
  // file cannot be written.
  bool Open(const QString& outputFile, TFormat format, bool explain = false);
  // Appends to the --resume file as `resume` describes it.
  bool OpenResume(const QString& resumeFile, TFormat format, const TResumeFile& resume);

  void Write(const run::TWorkRecord& record, bool ended);
  // Whether a write has failed: nothing more will be written.
  bool HasFailed() const { return failed_; }
  bool Close();
  // The failure, ready to be shown ("cannot write FILE: reason").
  QString Error() const { return error_; }

 private:
  enum class TMode { Stdout, Atomic, Append, Workbook };
  QByteArray Text(const run::TWorkRecord& record);
  void Put(const QByteArray& bytes);
  void Flush();
  void Failed(const QString& reason);

  TMode mode_ = TMode::Stdout;
  TFormat format_ = TFormat::Csv;
  bool explain_ = false;
  bool blockWritten_ = false;
  QString fileName_;
  std::unique_ptr<services::TAtomicFileTarget> atomic_;
  int appendFd_ = -1;
  run::TWorkList workbook_;
  run::TRunSummary workbookSummary_;  // of workbook_, with the versions of its evidence
  QByteArray pending_;
  QByteArray lineEnd_ = "\n";
  bool failed_ = false;
  QString error_;
};

}  // namespace cli
