// Writes that fail halfway (the file system refusing more bytes, as on a
// full disk) leave the chosen file as it was and no temporary file behind.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>

#include "support/workbook_reader.h"
#include "export/export_writer.h"

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

}  // namespace
