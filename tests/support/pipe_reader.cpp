#include "support/pipe_reader.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace testsupport {

namespace {

// Appends what the pipe holds now; false once it holds nothing.
bool ReadAvailable(int fd, QByteArray& to) {
  char buffer[65536];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  if (n <= 0) return false;
  to.append(buffer, n);
  return true;
}

}  // namespace

TPipeReader::TPipeReader(const QString& path) {
  fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return;
  thread_ = std::thread([this] {
    while (!stop_.load()) {
      pollfd p{fd_, POLLIN, 0};
      ::poll(&p, 1, 20);
      if (!ReadAvailable(fd_, received_)) ::usleep(1000);
    }
  });
}

TPipeReader::~TPipeReader() {
  Stop();
  if (fd_ >= 0) ::close(fd_);
}

void TPipeReader::Stop() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
}

QByteArray TPipeReader::Finish() {
  Stop();
  if (fd_ >= 0) {
    while (ReadAvailable(fd_, received_)) {
    }
  }
  return received_;
}

}  // namespace testsupport
