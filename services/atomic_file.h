#pragma once
// Whole-file replacement that never leaves a half-written file: the bytes go
// to a temporary file in the target's folder, which is flushed to disk and
// then renamed over the target. On any failure the target keeps its old
// content and the temporary file is removed.
//
// Saving over a symbolic link replaces the file the link points to and keeps
// the link; an existing file keeps its permissions. A new file gets the
// permissions its kind asks for (TFileAccess); the temporary file is readable
// by its owner alone until then, so no other user sees the bytes on the way. A target that exists and
// is not a regular file (after following links: a named pipe, a terminal,
// /dev/null) is written in place, as a shell's redirection would: such a
// file has no content to keep whole, and renaming over it would replace the
// device or pipe with a regular file. A folder is refused.
//
// The temporary file is named ".<target name>.<8 hex digits>.tmp". One that
// a write cut short (a crash, kill -9) leaves behind is removed by a later
// write of the same target once it is older than a minute, so that a write
// still under way in another copy of the program is not disturbed.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
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

// Who may read a file that a write creates (an existing file keeps its
// permissions whatever is asked here):
//   Shared   the process's umask decides, as for any editor's save: exports
//            and other documents of the user;
//   Private  the owner alone (0600): the program's own data files, which hold
//            proxy settings and the user's URL list.
enum class TFileAccess { Shared, Private };

// Writes data to fileName through a TAtomicFileTarget; throws
// TFileWriteError on failure.
void WriteFileAtomically(const QString& fileName, const QByteArray& data,
                         TFileAccess access = TFileAccess::Shared);

// The temporary file behind WriteFileAtomically, also for writers that
// append piece by piece and for libraries that open the file by name
// themselves. It is created empty beside the target (beside the file a
// symbolic link points to, for a link). Commit() puts it in the target's
// place; without Commit() the destructor removes it. Creating one first
// removes the target's stale temporary files (RemoveStaleTemporaryFiles).
//
// A target that exists and is not a regular file is opened for writing
// instead (for a named pipe this waits for a reader, as a shell's
// redirection does): Write() goes straight to it, Commit() closes it, and
// there is no temporary file. A folder is refused with TFileWriteError.
class TAtomicFileTarget {
 public:
  // throws TFileWriteError
  explicit TAtomicFileTarget(const QString& fileName, TFileAccess access = TFileAccess::Shared);
  ~TAtomicFileTarget();
  TAtomicFileTarget(const TAtomicFileTarget&) = delete;
  TAtomicFileTarget& operator=(const TAtomicFileTarget&) = delete;

  // True when the target is written in place (see above).
  bool InPlace() const { return inPlace_; }
  // The temporary file's path, in the local 8-bit encoding for C libraries;
  // empty when the target is written in place.
  const QByteArray& TempPath() const { return tempPath_; }
  // Appends data to the temporary file (to the target, in place); throws
  // TFileWriteError (and removes the temporary file) on failure. A pipe
  // whose reader has gone is such a failure, not a signal.
  void Write(const QByteArray& data);
  // Flushes the temporary file to disk and renames it over the target (in
  // place: closes the target); throws TFileWriteError (and removes the
  // temporary file) on failure.
  void Commit();

 private:
  [[noreturn]] void Fail(int error);
  void OpenInPlace();

  QString fileName_;  // as the caller named it, for messages
  QByteArray target_;
  QByteArray tempPath_;
  int fd_ = -1;
  TFileAccess access_;
  bool inPlace_ = false;
  bool done_ = false;
};

// How old a temporary file must be before it counts as left behind.
inline constexpr std::chrono::seconds kStaleTemporaryAge{60};

// Removes the temporary files that writes of fileName cut short have left in
// its folder (the folder a symbolic link's file lies in, for a link): regular
// files named as TAtomicFileTarget names them, last modified more than
// minimumAge ago. Nothing else is touched: no other name, no other folder,
// no link or folder of that name. Failures are ignored (a file that cannot
// be removed stays). Returns how many were removed.
int RemoveStaleTemporaryFiles(const QString& fileName, std::chrono::seconds minimumAge = kStaleTemporaryAge);

// Creates `folder` and every missing folder above it, each readable by its
// owner alone (0700); folders that exist are left as they are. False when
// the folder is not there afterwards.
bool MakePrivateFolders(const QString& folder);

}  // namespace services
