#pragma once
// Replacing a file only with complete content.
#include <QByteArray>
#include <QString>

namespace ui {

// Writes data to fileName through a temporary file in the same folder that
// replaces the target once written and flushed to disk. On failure the
// target is left as it was, the temporary file removed, TExportError thrown.
void WriteFileAtomically(const QString& fileName, const QByteArray& data);

// The temporary file behind WriteFileAtomically, also for libraries that
// open the file by name themselves. It is created empty beside the target
// (beside the file a symbolic link points to, for a link). Commit() puts it
// in the target's place; without Commit() the destructor removes it.
class TAtomicFileTarget {
 public:
  explicit TAtomicFileTarget(const QString& fileName);  // throws TExportError
  ~TAtomicFileTarget();
  TAtomicFileTarget(const TAtomicFileTarget&) = delete;
  TAtomicFileTarget& operator=(const TAtomicFileTarget&) = delete;

  // The temporary file's path, in the local 8-bit encoding for C libraries.
  const QByteArray& TempPath() const { return tempPath_; }
  // Appends data to the temporary file; throws TExportError on failure.
  void Write(const QByteArray& data);
  // Flushes the temporary file to disk and renames it over the target;
  // throws TExportError (and removes the temporary file) on failure.
  void Commit();

 private:
  [[noreturn]] void Fail(int error);

  QString fileName_;  // as the user chose it, for messages
  QByteArray target_;
  QByteArray tempPath_;
  int fd_ = -1;
  bool done_ = false;
};

}  // namespace ui
