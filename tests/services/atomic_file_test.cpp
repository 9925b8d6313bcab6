// The atomic file writer on what is not a regular file (named pipes, devices,
// folders) and the removal of temporary files that earlier writes cut short
// left behind.
#include "services/atomic_file.h"

#include <gtest/gtest.h>

#include "support/file_age.h"
#include "support/pipe_reader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using services::TFileWriteError;
using services::WriteFileAtomically;
using testsupport::SetFileAge;
using testsupport::WriteAgedFile;

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.isValid()); }

  QString Path(const QString& name) const { return folder_.filePath(name); }
  // The names in a folder (the test's own by default), sorted, one a line.
  std::string Entries(const QString& folder = QString()) const {
    return Lines(QDir(folder.isEmpty() ? folder_.path() : folder)
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
  }
  static std::string Lines(QStringList names) {
    names.sort();
    return names.join(u'\n').toStdString();
  }
  static mode_t Type(const QString& path, bool followLinks = true) {
    struct stat st {};
    const QByteArray name = QFile::encodeName(path);
    if ((followLinks ? ::stat(name.constData(), &st) : ::lstat(name.constData(), &st)) != 0) return 0;
    return st.st_mode & S_IFMT;
  }

  QTemporaryDir folder_;
};

QByteArray Pattern(qsizetype size) {
  QByteArray data(size, Qt::Uninitialized);
  for (qsizetype i = 0; i < size; ++i) data[i] = static_cast<char>('a' + i % 23);
  return data;
}

// Renaming a temporary file over a pipe would turn it into a regular file
// the reader never sees; the bytes go through the pipe instead, also when
// it is named through a link, and also more of them than the pipe holds.
TEST_F(AtomicFileTest, NamedPipeIsWrittenInPlace) {
  ASSERT_EQ(::mkfifo(QFile::encodeName(Path("pipe")).constData(), 0600), 0);
  ASSERT_TRUE(QFile::link(Path("pipe"), Path("link")));
  const QByteArray data = Pattern(300 * 1024);
  for (const char* name : {"pipe", "link"}) {
    testsupport::TPipeReader reader(Path("pipe"));
    ASSERT_TRUE(reader.Opened());
    WriteFileAtomically(Path(name), data);
    EXPECT_EQ(reader.Finish(), data) << name;
    EXPECT_EQ(Type(Path("pipe")), S_IFIFO) << name;
    EXPECT_EQ(Type(Path("link"), false), S_IFLNK) << name;
    EXPECT_EQ(Entries(), Lines({"link", "pipe"})) << name;
  }
}

// A reader that has gone fails the write with the pipe's error; the
// program is not ended by SIGPIPE (its default action is restored here).
TEST_F(AtomicFileTest, PipeWhoseReaderHasGoneFailsTheWrite) {
  ASSERT_EQ(::mkfifo(QFile::encodeName(Path("pipe")).constData(), 0600), 0);
  const int reader = ::open(QFile::encodeName(Path("pipe")).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  const auto previous = std::signal(SIGPIPE, SIG_DFL);
  try {
    services::TAtomicFileTarget target(Path("pipe"));
    EXPECT_TRUE(target.InPlace());
    EXPECT_TRUE(target.TempPath().isEmpty());
    ::close(reader);
    target.Write(Pattern(1000));
    target.Commit();
    ADD_FAILURE() << "no error";
  } catch (const TFileWriteError& error) {
    EXPECT_EQ(error.Reason(), qt_error_string(EPIPE));
  }
  std::signal(SIGPIPE, previous);
  EXPECT_EQ(Type(Path("pipe")), S_IFIFO);
  EXPECT_EQ(Entries(), "pipe");
}

// A character device (a null device made here, never the system's own)
// stays a device. Making one needs the right to create device files.
TEST_F(AtomicFileTest, CharacterDeviceStaysADevice) {
  if (::mknod(QFile::encodeName(Path("null")).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
    GTEST_SKIP() << "cannot make a device file here: " << std::strerror(errno);
  WriteFileAtomically(Path("null"), "gone");
  EXPECT_EQ(Type(Path("null")), S_IFCHR);
  EXPECT_EQ(Entries(), "null");
}

// A folder (or a link to one) is refused at once with the system's reason,
// before anything is created beside it.
TEST_F(AtomicFileTest, FolderIsRefused) {
  ASSERT_TRUE(QDir(folder_.path()).mkdir(QStringLiteral("folder")));
  ASSERT_TRUE(QFile::link(Path("folder"), Path("link")));
  for (const char* name : {"folder", "link", "folder/"}) {
    const QString target = Path(QString::fromLatin1(name));
    try {
      services::TAtomicFileTarget file(target);
      ADD_FAILURE() << "no error for " << name;
    } catch (const TFileWriteError& error) {
      EXPECT_EQ(error.Message(), QStringLiteral("Cannot write \"%1\": Is a directory").arg(target)) << name;
    }
    EXPECT_THROW(WriteFileAtomically(target, "x"), TFileWriteError) << name;
    EXPECT_EQ(Entries(), Lines({"folder", "link"})) << name;
    EXPECT_EQ(Entries(Path("folder")), "") << name;
  }
}

// Only our own temporary files of the file being written, older than a
// minute, in the folder it is written to, go: not another program's name,
// not another file's, not a young one that another running copy may still be
// writing, not a link or a folder of that name, not one in a sub-folder.
TEST_F(AtomicFileTest, WritingRemovesOnlyOurOwnStaleTemporaryFilesOfThatFile) {
  using std::chrono::seconds;
  const QString longName = QString(100, u'n') + QStringLiteral(".txt");
  const struct {
    QString name;
    int age;
    bool removed;
  } files[] = {
      {".settings.ini.0123abcd.tmp", 120, true},
      {".settings.ini.89abcdef.tmp", 3600 * 24 * 400, true},
      {".settings.ini.456789ab.tmp", 30, false},       // another copy may be writing it
      {".settings.ini.0123ABCD.tmp", 120, false},      // not our digits
      {".settings.ini.0123abc.tmp", 120, false},       // seven digits
      {".settings.ini.0123abcde.tmp", 120, false},     // nine
      {".settings.ini.0123abcd.tmp~", 120, false},
      {"settings.ini.0123abcd.tmp", 120, false},       // not hidden
      {".settings.ini.0123abcd.temp", 120, false},
      {".list.txt.0123abcd.tmp", 120, false},          // another file's
      {".settings.ini..0123abcd.tmp", 120, false},
      {"." + longName.left(64) + ".0123abcd.tmp", 120, true},  // the long name shortened as when made
      {"." + longName + ".0123abcd.tmp", 120, false},
  };
  for (const auto& f : files) WriteAgedFile(Path(f.name), seconds(f.age));
  ASSERT_TRUE(QDir(folder_.path()).mkdir(QStringLiteral(".settings.ini.0000beef.tmp")));
  SetFileAge(Path(".settings.ini.0000beef.tmp"), seconds(120));
  ASSERT_TRUE(QFile::link(Path("elsewhere"), Path(".settings.ini.0000cafe.tmp")));
  SetFileAge(Path(".settings.ini.0000cafe.tmp"), seconds(120));
  ASSERT_TRUE(QDir(folder_.path()).mkdir(QStringLiteral("sub")));
  WriteAgedFile(Path("sub/.settings.ini.0123abcd.tmp"), seconds(120));

  WriteFileAtomically(Path("settings.ini"), "new");
  WriteFileAtomically(Path(longName), "new");

  QStringList expected = {"settings.ini", longName, ".settings.ini.0000beef.tmp", ".settings.ini.0000cafe.tmp", "sub"};
  for (const auto& f : files) {
    if (!f.removed) expected << f.name;
  }
  EXPECT_EQ(Entries(), Lines(expected));
  EXPECT_EQ(Entries(Path("sub")), ".settings.ini.0123abcd.tmp");
}

// A write through a link works in the folder of the link's file, and so
// does the sweep; the sweep alone reports what it removed.
TEST_F(AtomicFileTest, StaleTemporaryFilesOfALinkedFileGoFromItsOwnFolder) {
  using std::chrono::seconds;
  ASSERT_TRUE(QDir(folder_.path()).mkpath(QStringLiteral("real")));
  WriteAgedFile(Path("real/list.txt"), seconds(0));
  ASSERT_TRUE(QFile::link(Path("real/list.txt"), Path("list.txt")));
  WriteAgedFile(Path("real/.list.txt.0123abcd.tmp"), seconds(120));
  WriteAgedFile(Path("real/.list.txt.89abcdef.tmp"), seconds(120));
  WriteAgedFile(Path(".list.txt.0123abcd.tmp"), seconds(120));

  EXPECT_EQ(services::RemoveStaleTemporaryFiles(Path("list.txt")), 2);
  EXPECT_EQ(Entries(Path("real")), "list.txt");
  EXPECT_EQ(Entries(), Lines({".list.txt.0123abcd.tmp", "list.txt", "real"}));
  EXPECT_EQ(services::RemoveStaleTemporaryFiles(Path("list.txt")), 0);
  EXPECT_EQ(services::RemoveStaleTemporaryFiles(Path("no/such/folder/list.txt")), 0);
}


// Who may read what a write leaves: a private file its owner alone, a shared
// one what the umask allows, and a file that was there keeps its mode in
// every case. The temporary file is the owner's alone while it is written.
class FileModeTest : public AtomicFileTest {
 protected:
  void SetUp() override {
    AtomicFileTest::SetUp();
    oldMask_ = ::umask(027);
  }
  void TearDown() override { ::umask(oldMask_); }
  static mode_t Mode(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return 0;
    return st.st_mode & 07777;
  }
  mode_t oldMask_ = 0;
};

TEST_F(FileModeTest, NewFilesGetTheModeOfTheirKindAndOldOnesKeepTheirs) {
  using services::TFileAccess;
  struct Case {
    const char* name;
    TFileAccess access;
    mode_t before;  // 0: no file yet
    mode_t after;
  };
  const Case cases[] = {
      {"new private", TFileAccess::Private, 0, 0600},
      {"new shared (umask 027)", TFileAccess::Shared, 0, 0640},
      {"private over 0644", TFileAccess::Private, 0644, 0644},
      {"shared over 0600", TFileAccess::Shared, 0600, 0600},
      {"shared over 0755", TFileAccess::Shared, 0755, 0755},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = Path(QString::fromLatin1(c.name).replace(u' ', u'_'));
    if (c.before != 0) {
      WriteFileAtomically(path, "old");
      ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), c.before), 0);
    }
    services::TAtomicFileTarget target(path, c.access);
    EXPECT_EQ(Mode(QFile::decodeName(target.TempPath())), mode_t(0600));
    target.Write("new");
    target.Commit();
    EXPECT_EQ(Mode(path), c.after);
  }
}

TEST_F(FileModeTest, PrivateFoldersAreMadeForTheOwnerAloneAndExistingOnesKept) {
  const QString existing = Path("existing");
  ASSERT_TRUE(QDir().mkpath(existing));
  ASSERT_EQ(::chmod(QFile::encodeName(existing).constData(), 0755), 0);
  EXPECT_TRUE(services::MakePrivateFolders(existing + "/a/b"));
  EXPECT_EQ(Mode(existing), mode_t(0755));
  EXPECT_EQ(Mode(existing + "/a"), mode_t(0700));
  EXPECT_EQ(Mode(existing + "/a/b"), mode_t(0700));
  EXPECT_TRUE(services::MakePrivateFolders(existing + "/a/b/"));  // there already
  WriteFileAtomically(Path("file"), "x");
  EXPECT_FALSE(services::MakePrivateFolders(Path("file") + "/below"));
}

}  // namespace
