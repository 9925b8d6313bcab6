#include "services/atomic_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace services {

TFileWriteError::TFileWriteError(const QString& fileName, const QString& reason)
    : std::runtime_error(QStringLiteral("Cannot write \"%1\": %2")
                             .arg(QDir::toNativeSeparators(fileName), reason)
                             .toStdString()),
      reason_(reason) {}

void WriteFileAtomically(const QString& fileName, const QByteArray& data) {
  TAtomicFileTarget target(fileName);
  target.Write(data);
  target.Commit();
}

TAtomicFileTarget::TAtomicFileTarget(const QString& fileName) : fileName_(fileName) {
  QFileInfo info(fileName);
  // Saving over a symbolic link replaces the file it points to, not the link.
  if (info.isSymLink() && !info.canonicalFilePath().isEmpty()) info = QFileInfo(info.canonicalFilePath());
  target_ = QFile::encodeName(info.absoluteFilePath());
  const QString folder = info.absolutePath();
  // A hidden name in the target's own folder, so that the final rename stays
  // on one file system; the target's name is shortened to keep the
  // temporary name within the file system's limit.
  for (int attempt = 0; attempt < 64; ++attempt) {
    const QString candidate = QStringLiteral("%1/.%2.%3.tmp")
                                  .arg(folder, info.fileName().left(64))
                                  .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    const QByteArray encoded = QFile::encodeName(candidate);
    // 0666 lets the process's umask decide the permissions, as for any new file.
    fd_ = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      tempPath_ = encoded;
      return;
    }
    if (errno != EEXIST) {
      done_ = true;
      throw TFileWriteError(fileName_, qt_error_string(errno));
    }
  }
  done_ = true;
  throw TFileWriteError(fileName_, QStringLiteral("no free temporary file name"));
}

TAtomicFileTarget::~TAtomicFileTarget() {
  if (fd_ >= 0) ::close(fd_);
  if (!done_) ::unlink(tempPath_.constData());
}

void TAtomicFileTarget::Fail(int error) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ::unlink(tempPath_.constData());
  done_ = true;
  throw TFileWriteError(fileName_, qt_error_string(error));
}

void TAtomicFileTarget::Write(const QByteArray& data) {
  const char* next = data.constData();
  qsizetype left = data.size();
  while (left > 0) {
    const ssize_t written = ::write(fd_, next, static_cast<size_t>(left));
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    next += written;
    left -= written;
  }
}

void TAtomicFileTarget::Commit() {
  // fsync works on the file, so it also flushes what a library wrote to the
  // same file through its own descriptor.
  if (::fsync(fd_) != 0) Fail(errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail(errno);
  // An existing file keeps its permissions, as when it is overwritten in place.
  struct stat existing;
  if (::stat(target_.constData(), &existing) == 0 && S_ISREG(existing.st_mode))
    ::chmod(tempPath_.constData(), existing.st_mode & 07777);
  if (::rename(tempPath_.constData(), target_.constData()) != 0) Fail(errno);
  done_ = true;
}

}  // namespace services
