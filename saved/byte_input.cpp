#include "saved/byte_input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace saved {

namespace {

constexpr int kStopPollMs = 100;

}  // namespace

FileInput::FileInput(int fd, std::function<bool()> stop) : fd_(fd), stop_(std::move(stop)) {
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) size_ = static_cast<std::uint64_t>(info.st_size);
}

std::ptrdiff_t FileInput::Read(char* buffer, std::size_t size) {
  for (;;) {
    if (stop_ && !size_) {
      pollfd p{fd_, POLLIN, 0};
      const int ready = ::poll(&p, 1, kStopPollMs);
      if (stop_()) return 0;
      if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    }
    const ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    error_ = std::strerror(errno);
    return -1;
  }
}

std::ptrdiff_t MemoryInput::Read(char* buffer, std::size_t size) {
  const std::size_t n = std::min({size, piece_, bytes_.size() - at_});
  if (n > 0) std::memcpy(buffer, bytes_.data() + at_, n);
  at_ += n;
  return static_cast<std::ptrdiff_t>(n);
}

}  // namespace saved
