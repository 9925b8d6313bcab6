#pragma once
// Whole-file replacement that never leaves a half-written file: the bytes go
// to a temporary file in the target's folder, which is flushed to disk and
// then renamed over the target. On any failure the target keeps its old
// content and the temporary file is removed.
//
// Saving over a symbolic link replaces the file the link points to and keeps
// the link; an existing file keeps its permissions.
#include <QByteArray>
#include <QString>
#include <stdexcept>

namespace services {

// A file that could not be written. what() is the message in UTF-8, ready
// to be shown to the user: Cannot write "<file>": <reason>.
class TFileWriteError : public std::runtime_error {
 public:
  TFileWriteError(const QString& fileName, const QString& reason);
  QString Message() const { return QString::fromUtf8(what()); }
  // The reason alone (the system's error text, as a rule).
  const QString& Reason() const { return reason_; }

 private:
  QString reason_;
};

// Writes data to fileName through a TAtomicFileTarget; throws
// TFileWriteError on failure.
void WriteFileAtomically(const QString& fileName, const QByteArray& data);

// The temporary file behind WriteFileAtomically, also for writers that
// append piece by piece and for libraries that open the file by name
// themselves. It is created empty beside the target (beside the file a
// symbolic link points to, for a link). Commit() puts it in the target's
// place; without Commit() the destructor removes it.
class TAtomicFileTarget {
 public:
  explicit TAtomicFileTarget(const QString& fileName);  // throws TFileWriteError
  ~TAtomicFileTarget();
  TAtomicFileTarget(const TAtomicFileTarget&) = delete;
  TAtomicFileTarget& operator=(const TAtomicFileTarget&) = delete;

  // The temporary file's path, in the local 8-bit encoding for C libraries.
  const QByteArray& TempPath() const { return tempPath_; }
  // Appends data to the temporary file; throws TFileWriteError (and removes
  // the temporary file) on failure.
  void Write(const QByteArray& data);
  // Flushes the temporary file to disk and renames it over the target;
  // throws TFileWriteError (and removes the temporary file) on failure.
  void Commit();

 private:
  [[noreturn]] void Fail(int error);

  QString fileName_;  // as the caller named it, for messages
  QByteArray target_;
  QByteArray tempPath_;
  int fd_ = -1;
  bool done_ = false;
};

}  // namespace services
