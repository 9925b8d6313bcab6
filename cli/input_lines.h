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

  QString Error() const { return error_; }

 private:
  QStringList urls_;
  bool fromList_ = false;
  qsizetype nextUrl_ = 0;

  QByteArray buffer_;
  qsizetype pos_ = 0;  // start of the unread part of buffer_
  bool eof_ = false;
  QString error_;
};

}  // namespace cli
