#pragma once
// Files with a chosen age, for tests of what happens to old files.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace testsupport {

// Sets the modification time of `path` (of a link itself, not of its file)
// to `age` before now.
inline void SetFileAge(const QString& path, std::chrono::seconds age) {
  timespec times[2];
  ::clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= age.count();
  times[1] = times[0];
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0)
      << path.toStdString();
}

// Creates (or replaces) a small file last modified `age` ago.
inline void WriteAgedFile(const QString& path, std::chrono::seconds age) {
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write("left over");
  }
  SetFileAge(path, age);
}

}  // namespace testsupport
