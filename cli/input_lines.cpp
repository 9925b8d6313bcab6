#include "cli/input_lines.h"

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

}  // namespace

std::optional<QString> TInputLines::Next(const std::atomic<bool>& giveUp) {
  if (fromList_) {
    if (nextUrl_ >= urls_.size()) return std::nullopt;
    return urls_.at(nextUrl_++);
  }
  for (;;) {
    const qsizetype lf = buffer_.indexOf('\n', pos_);
    if (lf >= 0) {
      const QString line = QString::fromUtf8(buffer_.constData() + pos_, lf - pos_);
      pos_ = lf + 1;
      return line;
    }
    if (eof_) {
      if (pos_ >= buffer_.size()) return std::nullopt;
      const QString line = QString::fromUtf8(buffer_.constData() + pos_, buffer_.size() - pos_);
      pos_ = buffer_.size();
      return line;
    }
    // Keep only the unfinished line before reading more.
    buffer_.remove(0, pos_);
    pos_ = 0;

    pollfd p{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&p, 1, kStopPollMs);
    if (run::StopFlag().load() || giveUp.load()) {
      eof_ = true;
      buffer_.clear();
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
    }
  }
}

}  // namespace cli
