#include "ui/atomic_file.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ui/export_writer.h"

namespace ui {

namespace {

QString SystemReason(int error) { return qt_error_string(error); }

QString Quoted(const QString& fileName) {
  return QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(fileName));
}

}  // namespace

void WriteFileAtomically(const QString& fileName, const QByteArray& data) {
  // QSaveFile writes to a temporary file beside the target, syncs it and
  // renames it over the target in commit(); it never falls back to writing
  // the target directly (direct-write fallback stays off).
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly))
    throw TExportError(QStringLiteral("Cannot create %1: %2").arg(Quoted(fileName), file.errorString()));
  if (file.write(data) != data.size()) {
    const QString reason = file.errorString();
    file.cancelWriting();
    throw TExportError(QStringLiteral("Cannot write %1: %2").arg(Quoted(fileName), reason));
  }
  if (!file.commit())
    throw TExportError(QStringLiteral("Cannot write %1: %2").arg(Quoted(fileName), file.errorString()));
}

TAtomicFileTarget::TAtomicFileTarget(const QString& fileName) : fileName_(fileName) {
  const QFileInfo info(fileName);
  const QString folder = info.absolutePath();
  // A hidden name in the target's own folder, so that the final rename stays
  // on one file system and cannot leave a half-copied file behind.
  for (int attempt = 0; attempt < 64; ++attempt) {
    const QString candidate = QStringLiteral("%1/.%2.%3.tmp")
                                  .arg(folder, info.fileName())
                                  .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    const QByteArray encoded = QFile::encodeName(candidate);
    // 0666 lets the process's umask decide the permissions, as for any new file.
    const int fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      tempPath_ = encoded;
      return;
    }
    if (errno != EEXIST)
      throw TExportError(QStringLiteral("Cannot create %1: %2").arg(Quoted(fileName), SystemReason(errno)));
  }
  throw TExportError(QStringLiteral("Cannot create %1: no free temporary name").arg(Quoted(fileName)));
}

TAtomicFileTarget::~TAtomicFileTarget() {
  if (!committed_ && !tempPath_.isEmpty()) ::unlink(tempPath_.constData());
}

void TAtomicFileTarget::Commit() {
  const auto fail = [this](int error) {
    ::unlink(tempPath_.constData());
    committed_ = true;  // nothing left to remove
    throw TExportError(QStringLiteral("Cannot write %1: %2").arg(Quoted(fileName_), SystemReason(error)));
  };
  const int fd = ::open(tempPath_.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(errno);
  if (::fsync(fd) != 0) {
    const int error = errno;
    ::close(fd);
    fail(error);
  }
  ::close(fd);
  const QByteArray target = QFile::encodeName(fileName_);
  // An existing file keeps its permissions, as when it is overwritten in place.
  struct stat existing;
  if (::stat(target.constData(), &existing) == 0 && S_ISREG(existing.st_mode))
    ::chmod(tempPath_.constData(), existing.st_mode & 07777);
  if (::rename(tempPath_.constData(), target.constData()) != 0) fail(errno);
  committed_ = true;
}

}  // namespace ui
