#pragma once
// The input of URL mode as run::TStreamHost::NextLine takes it: the URLs of
// the command line, or the lines of standard input read as they come (never
// more than one read block ahead of the run).
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <optional>

namespace cli {

// The longest URL line taken, in bytes from its first character that is not
// a blank (blanks before it are dropped by the intake anyway). A longer line
// is never held whole: its first kMaxLineBytes bytes become a record with an
// error, and the rest is read and dropped as it comes.
inline constexpr qsizetype kMaxLineBytes = 64 * 1024;

class TInputLines {
 public:
  // Lines of standard input.
  TInputLines() = default;
  // The given URLs, one per line.
  explicit TInputLines(QStringList urls) : urls_(std::move(urls)), fromList_(true) {}

  // The next line (UTF-8, without its LF; a last line without LF counts), or
  // nothing at the end of the input. Once run::StopFlag() or `giveUp` is set,
  // a read that would wait ends the input instead. A read error ends the
  // input too, and Error() then tells it.
  std::optional<QString> Next(const std::atomic<bool>& giveUp);

  // Why the line Next() returned last is no URL ("URL longer than 65536
  // bytes."), or empty.
  QString LineFault() const { return lineFault_; }

  QString Error() const { return error_; }

 private:
  std::optional<QString> TooLong(const char* start);

  QStringList urls_;
  bool fromList_ = false;
  qsizetype nextUrl_ = 0;

  QByteArray buffer_;
  qsizetype pos_ = 0;    // start of the unread part of buffer_
  qsizetype scan_ = 0;   // buffer_[pos_, scan_) is known to hold no LF
  bool dropping_ = false;  // inside a line that was too long: its rest is dropped
  bool eof_ = false;
  QString lineFault_;
  QString error_;
};

}  // namespace cli
