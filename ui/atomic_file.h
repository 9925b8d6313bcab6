#pragma once
// Replacing a file only with complete content.
#include <QByteArray>
#include <QString>

namespace ui {

// Writes data to fileName through a temporary file in the same folder that
// replaces the target once written and flushed to disk. On failure the
// target is left as it was, the temporary file removed, TExportError thrown.
void WriteFileAtomically(const QString& fileName, const QByteArray& data);

// For writers that need a path to write to (a library that opens the file
// itself): creates an empty temporary file beside the target. Commit() puts
// it in the target's place; without Commit() the destructor removes it.
class TAtomicFileTarget {
 public:
  explicit TAtomicFileTarget(const QString& fileName);  // throws TExportError
  ~TAtomicFileTarget();
  TAtomicFileTarget(const TAtomicFileTarget&) = delete;
  TAtomicFileTarget& operator=(const TAtomicFileTarget&) = delete;

  // The temporary file's path, in the local 8-bit encoding for C libraries.
  const QByteArray& TempPath() const { return tempPath_; }
  // Flushes the temporary file to disk and renames it over the target;
  // throws TExportError (and removes the temporary file) on failure.
  void Commit();

 private:
  QString fileName_;
  QByteArray tempPath_;
  bool committed_ = false;
};

}  // namespace ui
