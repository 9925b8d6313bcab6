#include "cli/input_lines.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

#include "run/identifier.h"

namespace cli {

namespace {

constexpr qsizetype kReadBlock = 64 * 1024;
// How long a read waits before it looks at the stop flag again.
constexpr int kStopPollMs = 100;

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32 && c != '\n'; }

}  // namespace

// The first kMaxLineBytes bytes at `start` as the line, cut before a UTF-8
// sequence they would split.
std::optional<QString> TInputLines::TooLong(const char* start) {
  qsizetype size = kMaxLineBytes;
  for (int back = 0; back < 3 && (static_cast<unsigned char>(start[size]) & 0xC0) == 0x80; ++back) --size;
  lineFault_ = QStringLiteral("URL longer than %1 bytes.").arg(kMaxLineBytes);
  return QString::fromUtf8(start, size);
}

std::optional<QString> TInputLines::Next(const std::atomic<bool>& giveUp) {
  lineFault_.clear();
  if (fromList_) {
    if (nextUrl_ >= urls_.size()) return std::nullopt;
    const QString& url = urls_.at(nextUrl_++);
    qsizetype first = 0;
    while (first < url.size() && url.at(first).unicode() <= 32) ++first;
    const QByteArray bytes = url.mid(first).toUtf8();
    if (bytes.size() > kMaxLineBytes) return TooLong(bytes.constData());
    return url;
  }
  for (;;) {
    if (dropping_) {
      const qsizetype lf = buffer_.indexOf('\n', pos_);
      dropping_ = lf < 0;
      pos_ = scan_ = dropping_ ? buffer_.size() : lf + 1;
    }
    if (!dropping_) {
      while (pos_ < buffer_.size() && IsBlank(buffer_.at(pos_))) ++pos_;
      scan_ = std::max(scan_, pos_);
      const qsizetype lf = buffer_.indexOf('\n', scan_);
      if (lf >= 0) {
        const qsizetype start = pos_;
        pos_ = scan_ = lf + 1;
        if (lf - start > kMaxLineBytes) return TooLong(buffer_.constData() + start);
        return QString::fromUtf8(buffer_.constData() + start, lf - start);
      }
      scan_ = buffer_.size();
      if (scan_ - pos_ > kMaxLineBytes) {
        // Never held whole: the record is made of its start, the rest dropped.
        const qsizetype start = pos_;
        dropping_ = true;
        pos_ = scan_;
        return TooLong(buffer_.constData() + start);
      }
      if (eof_) {
        if (pos_ >= buffer_.size()) return std::nullopt;
        const QString line = QString::fromUtf8(buffer_.constData() + pos_, buffer_.size() - pos_);
        pos_ = scan_ = buffer_.size();
        return line;
      }
    } else if (eof_) {
      return std::nullopt;
    }
    // Keep only the unfinished line before reading more.
    buffer_.remove(0, pos_);
    scan_ -= pos_;
    pos_ = 0;

    pollfd p{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&p, 1, kStopPollMs);
    if (run::StopFlag().load() || giveUp.load()) {
      eof_ = true;
      buffer_.clear();
      pos_ = scan_ = 0;
      return std::nullopt;
    }
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;

    const qsizetype old = buffer_.size();
    buffer_.resize(old + kReadBlock);
    const ssize_t n = ::read(STDIN_FILENO, buffer_.data() + old, kReadBlock);
    buffer_.resize(old + (n > 0 ? n : 0));
    if (n == 0) {
      eof_ = true;
    } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
      error_ = QString::fromLocal8Bit(std::strerror(errno));
      eof_ = true;
      buffer_.clear();
      pos_ = scan_ = 0;
    }
  }
}

}  // namespace cli
