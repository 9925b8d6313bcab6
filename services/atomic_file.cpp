#include "services/atomic_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <optional>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace services {

namespace {

// Where a write of fileName goes: the file a symbolic link points to, for a
// link (a dangling link stays itself and is replaced).
QFileInfo ResolvedTarget(const QString& fileName) {
  QFileInfo info(fileName);
  if (info.isSymLink() && !info.canonicalFilePath().isEmpty()) info = QFileInfo(info.canonicalFilePath());
  return info;
}

// ".<name>.", how every temporary file of a target begins, in the local
// 8-bit encoding. The name is shortened so that the whole temporary name
// stays within the file system's limit.
QByteArray TemporaryPrefix(const QFileInfo& target) {
  return QFile::encodeName(QStringLiteral(".%1.").arg(target.fileName().left(64)));
}

constexpr int kHexDigits = 8;
constexpr char kTemporarySuffix[] = ".tmp";

// True for prefix + 8 lower-case hexadecimal digits + ".tmp", the names
// TAtomicFileTarget gives.
bool IsTemporaryName(const char* name, const QByteArray& prefix) {
  const size_t length = std::strlen(name);
  const size_t suffixLength = sizeof kTemporarySuffix - 1;
  if (length != static_cast<size_t>(prefix.size()) + kHexDigits + suffixLength) return false;
  if (std::memcmp(name, prefix.constData(), static_cast<size_t>(prefix.size())) != 0) return false;
  const char* digits = name + prefix.size();
  for (int i = 0; i < kHexDigits; ++i) {
    if (!((digits[i] >= '0' && digits[i] <= '9') || (digits[i] >= 'a' && digits[i] <= 'f'))) return false;
  }
  return std::memcmp(digits + kHexDigits, kTemporarySuffix, suffixLength) == 0;
}

int RemoveStale(const QFileInfo& target, std::chrono::seconds minimumAge) {
  DIR* folder = ::opendir(QFile::encodeName(target.absolutePath()).constData());
  if (!folder) return 0;
  const QByteArray prefix = TemporaryPrefix(target);
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  int removed = 0;
  while (const dirent* entry = ::readdir(folder)) {
    if (!IsTemporaryName(entry->d_name, prefix)) continue;
    struct stat file;
    if (::fstatat(::dirfd(folder), entry->d_name, &file, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(file.st_mode))
      continue;
    if (now.tv_sec - file.st_mtim.tv_sec <= minimumAge.count()) continue;
    if (::unlinkat(::dirfd(folder), entry->d_name, 0) == 0) ++removed;
  }
  ::closedir(folder);
  return removed;
}

// Keeps SIGPIPE from this thread while it writes to a pipe or device, so
// that a reader that has gone makes the write fail with EPIPE instead of
// ending the program. A SIGPIPE the writes raised is taken off before the
// old mask returns; one that was already pending stays.
class TSigPipeHeld {
 public:
  TSigPipeHeld() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  ~TSigPipeHeld() {
    sigset_t pending;
    sigpending(&pending);
    if (!wasPending_ && sigismember(&pending, SIGPIPE) == 1) {
      const timespec none{};
      sigtimedwait(&pipe_, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  TSigPipeHeld(const TSigPipeHeld&) = delete;
  TSigPipeHeld& operator=(const TSigPipeHeld&) = delete;

 private:
  sigset_t pipe_;
  sigset_t old_;
  bool wasPending_ = false;
};

// The process's file-creation mask, read without changing it (umask() can
// only be read by setting it, which would race with other threads creating
// files).
mode_t ProcessUmask() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (status.open(QIODevice::ReadOnly)) {
    for (QByteArray line; !(line = status.readLine()).isEmpty();) {
      if (!line.startsWith("Umask:")) continue;
      bool ok = false;
      const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
      if (ok) return static_cast<mode_t>(mask & 0777);
    }
  }
  return 022;  // the usual mask, for a kernel that does not say
}

}  // namespace

TFileWriteError::TFileWriteError(const QString& fileName, const QString& reason)
    : std::runtime_error(QStringLiteral("Cannot write \"%1\": %2")
                             .arg(QDir::toNativeSeparators(fileName), reason)
                             .toStdString()),
      reason_(reason) {}

void WriteFileAtomically(const QString& fileName, const QByteArray& data, TFileAccess access) {
  TAtomicFileTarget target(fileName, access);
  target.Write(data);
  target.Commit();
}

bool MakePrivateFolders(const QString& folder) {
  const QString path = QDir::cleanPath(QDir(folder).absolutePath());
  // From the top down, so that each level is made by us with our mode.
  qsizetype next = 1;
  while (next <= path.size()) {
    qsizetype slash = path.indexOf(u'/', next);
    if (slash < 0) slash = path.size();
    const QByteArray level = QFile::encodeName(path.left(slash));
    if (::mkdir(level.constData(), 0700) != 0 && errno != EEXIST) return false;
    next = slash + 1;
  }
  return QFileInfo(path).isDir();
}

int RemoveStaleTemporaryFiles(const QString& fileName, std::chrono::seconds minimumAge) {
  return RemoveStale(ResolvedTarget(fileName), minimumAge);
}

TAtomicFileTarget::TAtomicFileTarget(const QString& fileName, TFileAccess access)
    : fileName_(fileName), access_(access) {
  const QFileInfo info = ResolvedTarget(fileName);
  target_ = QFile::encodeName(info.absoluteFilePath());
  struct stat existing;
  if (::stat(target_.constData(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
    if (S_ISDIR(existing.st_mode)) throw TFileWriteError(fileName_, qt_error_string(EISDIR));
    OpenInPlace();
    return;
  }
  RemoveStale(info, kStaleTemporaryAge);
  // A hidden name in the target's own folder, so that the final rename stays
  // on one file system.
  const QByteArray start = QFile::encodeName(info.absolutePath()) + '/' + TemporaryPrefix(info);
  for (int attempt = 0; attempt < 64; ++attempt) {
    const QByteArray candidate =
        start + QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(kHexDigits, '0') +
        kTemporarySuffix;
    // The owner's alone while it is written; Commit() gives it its final mode.
    fd_ = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      tempPath_ = candidate;
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

void TAtomicFileTarget::OpenInPlace() {
  inPlace_ = true;
  do {
    fd_ = ::open(target_.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) throw TFileWriteError(fileName_, qt_error_string(errno));
}

TAtomicFileTarget::~TAtomicFileTarget() {
  if (fd_ >= 0) ::close(fd_);
  if (!done_ && !inPlace_) ::unlink(tempPath_.constData());
}

void TAtomicFileTarget::Fail(int error) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!inPlace_) ::unlink(tempPath_.constData());
  done_ = true;
  throw TFileWriteError(fileName_, qt_error_string(error));
}

void TAtomicFileTarget::Write(const QByteArray& data) {
  std::optional<TSigPipeHeld> held;
  if (inPlace_) held.emplace();
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
  if (inPlace_) {
    // A pipe or device has nothing to flush to a disk and no name to rename.
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail(errno);
    done_ = true;
    return;
  }
  // fsync works on the file, so it also flushes what a library wrote to the
  // same file through its own descriptor.
  if (::fsync(fd_) != 0) Fail(errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail(errno);
  // An existing file keeps its permissions, as when it is overwritten in
  // place; a new one gets those of its kind.
  struct stat existing;
  mode_t mode = 0600;
  if (::stat(target_.constData(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    mode = existing.st_mode & 07777;
  } else if (access_ == TFileAccess::Shared) {
    mode = 0666 & ~ProcessUmask();
  }
  if (mode != 0600) ::chmod(tempPath_.constData(), mode);
  if (::rename(tempPath_.constData(), target_.constData()) != 0) Fail(errno);
  done_ = true;
}

}  // namespace services
