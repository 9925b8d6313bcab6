// Writes that fail halfway (the file system refusing more bytes, as on a
// full disk) leave the chosen file as it was and no temporary file behind;
// a link, a named pipe or a folder as the chosen file.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "export/export_writer.h"
#include "support/pipe_reader.h"
#include "support/workbook_reader.h"

namespace {

using export_test::Entries;
using export_test::ReadAll;
using export_test::WriteAll;

// Caps the size of any file this process writes; a write beyond the cap
// fails with EFBIG instead of raising SIGXFSZ. Undone when it goes.
class TFileSizeCap {
 public:
  explicit TFileSizeCap(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit capped = old_;
    capped.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &capped);
  }
  ~TFileSizeCap() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  TFileSizeCap(const TFileSizeCap&) = delete;
  TFileSizeCap& operator=(const TFileSizeCap&) = delete;

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = SIG_DFL;
};

TEST(ExportWriteFailure, FileStaysAsItWasInEveryFormat) {
  run::TWorkList list;
  for (int i = 0; i < 5000; ++i)
    list.push_back({QStringLiteral("http://site-%1.example/").arg(i), QStringLiteral("Platform %1, Other").arg(i * 7919),
                    run::kImageDone});
  const struct {
    const char* name;
    void (*write)(const run::TWorkList&, const QString&);
  } cases[] = {
      {"out.txt", [](const run::TWorkList& l, const QString& f) { exports::ExportToText(l, f); }},
      {"out.csv", [](const run::TWorkList& l, const QString& f) { exports::ExportToCsv(l, QLatin1Char(';'), f); }},
      {"out.xls", [](const run::TWorkList& l, const QString& f) { exports::ExportToSpreadsheet(l, QLatin1Char(','), f); }},
      {"out.xlsx", [](const run::TWorkList& l, const QString& f) { exports::ExportToSpreadsheet(l, QLatin1Char(','), f); }},
  };
  QTemporaryDir dir;
  for (const auto& c : cases) {
    const QString file = dir.filePath(QString::fromLatin1(c.name));
    WriteAll(file, "previous export");
    const QStringList before = Entries(dir.path());
    {
      TFileSizeCap cap(8192);
      try {
        c.write(list, file);
        ADD_FAILURE() << "no error for " << c.name;
      } catch (const exports::TExportError& error) {
        EXPECT_TRUE(error.Message().contains(file)) << error.what();
      }
    }
    EXPECT_EQ(ReadAll(file), QByteArray("previous export")) << c.name;
    EXPECT_EQ(Entries(dir.path()), before) << c.name;
    // Without the cap the same export goes through.
    c.write(list, file);
    EXPECT_GT(ReadAll(file).size(), 8192) << c.name;
  }
}

TEST(ExportWriteFailure, SavingOverALinkReplacesTheLinkedFile) {
  QTemporaryDir dir;
  const QString real = dir.filePath(QStringLiteral("real.txt"));
  const QString link = dir.filePath(QStringLiteral("link.txt"));
  WriteAll(real, "old");
  ASSERT_TRUE(QFile::link(real, link));
  exports::ExportToText({{QStringLiteral("http://a.example/"), QStringLiteral("X"), run::kImageDone}}, link);
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_EQ(ReadAll(real), QByteArray("\xEF\xBB\xBFhttp://a.example/,X\r\n"));
}

// Every format goes through a named pipe chosen as the file, and the pipe
// stays a pipe; what came through is what a regular file receives (a
// workbook, whose package holds its time of writing, reads back the same).
// A folder is refused with the reason.
TEST(ExportWriteFailure, NamedPipeGetsTheExportAndAFolderIsRefused) {
  run::TWorkList list;
  for (int i = 0; i < 500; ++i)
    list.push_back({QStringLiteral("http://site-%1.example/").arg(i), QStringLiteral("Platform %1, Other").arg(i),
                    run::kImageDone});
  const struct {
    const char* name;
    bool workbook;
    void (*write)(const run::TWorkList&, const QString&);
  } cases[] = {
      {"out.txt", false, [](const run::TWorkList& l, const QString& f) { exports::ExportToText(l, f); }},
      {"out.csv", false, [](const run::TWorkList& l, const QString& f) { exports::ExportToCsv(l, QLatin1Char(';'), f); }},
      {"out.xls", true, [](const run::TWorkList& l, const QString& f) { exports::ExportToSpreadsheet(l, QLatin1Char(','), f); }},
      {"out.xlsx", true, [](const run::TWorkList& l, const QString& f) { exports::ExportToSpreadsheet(l, QLatin1Char(','), f); }},
  };
  QTemporaryDir dir;
  for (const auto& c : cases) {
    const QString name = QString::fromLatin1(c.name);
    const QString pipe = dir.filePath(QStringLiteral("pipe-") + name);
    const QString file = dir.filePath(QStringLiteral("file-") + name);
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    testsupport::TPipeReader reader(pipe);
    ASSERT_TRUE(reader.Opened());
    c.write(list, pipe);
    const QByteArray received = reader.Finish();
    c.write(list, file);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(pipe).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << c.name;
    if (c.workbook) {
      const QString copy = dir.filePath(QStringLiteral("copy-") + name);
      WriteAll(copy, received);
      EXPECT_EQ(export_test::ReadWorkbook(copy).Values(), export_test::ReadWorkbook(file).Values()) << c.name;
    } else {
      EXPECT_EQ(received, ReadAll(file)) << c.name;
    }
  }
  EXPECT_EQ(Entries(dir.path()).filter(QStringLiteral(".tmp")), QStringList()) << Entries(dir.path()).join(u' ').toStdString();

  try {
    exports::ExportToText(list, dir.path());
    ADD_FAILURE() << "no error for a folder";
  } catch (const exports::TExportError& error) {
    EXPECT_EQ(error.Message(), QStringLiteral("Cannot write \"%1\": Is a directory").arg(dir.path()));
  }
}

}  // namespace
