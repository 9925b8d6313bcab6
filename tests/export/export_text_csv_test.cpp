// Text and CSV export against real files, and the list separator.
#include <gtest/gtest.h>

#include <QLocale>
#include <QTemporaryDir>

#include "support/workbook_reader.h"
#include "export/export_writer.h"

namespace {

using export_test::Entries;
using export_test::ReadAll;
using export_test::WriteAll;

std::string Bytes(const QString& path) { return ReadAll(path).toStdString(); }

const std::string kBom = "\xEF\xBB\xBF";

// A list in no sorted order (as a sort of the results view may leave it),
// with the cases that matter for quoting.
run::TWorkList SampleList() {
  return {
      {QStringLiteral("http://zeta.example/"), QStringLiteral("WordPress, WooCommerce"), run::kImageDone},
      {QStringLiteral("http://alpha.example/"), QString(), run::kImageNone},
      {QStringLiteral("http://mid.example/"), QStringLiteral("Say \"Hi\""), run::kImageDone},
      {QStringLiteral("http://x.example/a;b"), QStringLiteral("=HYPERLINK(\"http://evil.example\")"),
       run::kImageDone},
      {QStringLiteral("http://ru.example/"), QStringLiteral("Error: Привет, Simplébo 世界"), run::kImageError},
  };
}

TEST(ExportListSeparator, FollowsTheLocalesDecimalMark) {
  const struct {
    const char* locale;
    char separator;
  } cases[] = {
      {"C", ','},     {"en_US", ','}, {"ja_JP", ','}, {"de_CH", ','},  // decimal point
      {"de_DE", ';'}, {"fr_FR", ';'}, {"ru_RU", ';'}, {"pt_BR", ';'},  // decimal comma
  };
  for (const auto& c : cases)
    EXPECT_EQ(exports::ListSeparatorFor(QLocale(QString::fromLatin1(c.locale))), QLatin1Char(c.separator))
        << c.locale;
  const QChar system = exports::SystemListSeparator();
  EXPECT_TRUE(system == QLatin1Char(',') || system == QLatin1Char(';'));
}

class ExportTextFile : public ::testing::Test {
 protected:
  QString Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
  QTemporaryDir dir_;
};

TEST_F(ExportTextFile, EmptyListWritesOnlyTheByteOrderMark) {
  exports::ExportToText({}, Path("empty.txt"));
  exports::ExportToCsv({}, QLatin1Char(','), Path("empty.csv"));
  EXPECT_EQ(Bytes(Path("empty.txt")), kBom);
  EXPECT_EQ(Bytes(Path("empty.csv")), kBom);
}

TEST_F(ExportTextFile, TextLinesAreUnquotedInListOrder) {
  const run::TWorkList list = SampleList();
  exports::ExportToText(list, Path("out.txt"));
  EXPECT_EQ(Bytes(Path("out.txt")),
            kBom +
                "http://zeta.example/,WordPress, WooCommerce\r\n"
                "http://alpha.example/,\r\n"
                "http://mid.example/,Say \"Hi\"\r\n"
                "http://x.example/a;b,=HYPERLINK(\"http://evil.example\")\r\n"
                "http://ru.example/,Error: Привет, Simplébo 世界\r\n");
}

TEST_F(ExportTextFile, CsvWithCommaSeparator) {
  exports::ExportToCsv(SampleList(), QLatin1Char(','), Path("comma.csv"));
  EXPECT_EQ(Bytes(Path("comma.csv")),
            kBom +
                "http://zeta.example/,\"WordPress, WooCommerce\"\r\n"
                "http://alpha.example/,\r\n"
                "http://mid.example/,\"Say \"\"Hi\"\"\"\r\n"
                "http://x.example/a;b,\"'=HYPERLINK(\"\"http://evil.example\"\")\"\r\n"
                "http://ru.example/,\"Error: Привет, Simplébo 世界\"\r\n");
}

TEST_F(ExportTextFile, CsvWithSemicolonSeparator) {
  exports::ExportToCsv(SampleList(), QLatin1Char(';'), Path("semicolon.csv"));
  EXPECT_EQ(Bytes(Path("semicolon.csv")),
            kBom +
                "http://zeta.example/;WordPress, WooCommerce\r\n"
                "http://alpha.example/;\r\n"
                "http://mid.example/;\"Say \"\"Hi\"\"\"\r\n"
                "\"http://x.example/a;b\";\"'=HYPERLINK(\"\"http://evil.example\"\")\"\r\n"
                "http://ru.example/;Error: Привет, Simplébo 世界\r\n");
}

TEST_F(ExportTextFile, ReplacesAnExistingFileWhole) {
  WriteAll(Path("old.txt"), QByteArray(10000, 'x'));
  exports::ExportToText({{QStringLiteral("http://a.example/"), QStringLiteral("Joomla"), run::kImageDone}},
                   Path("old.txt"));
  EXPECT_EQ(Bytes(Path("old.txt")), kBom + "http://a.example/,Joomla\r\n");
  EXPECT_EQ(Entries(dir_.path()), QStringList{QStringLiteral("old.txt")});
}

TEST_F(ExportTextFile, FailureLeavesNoFileAndTheListAsItWas) {
  const run::TWorkList list = SampleList();
  const run::TWorkList before = list;
  ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("taken.csv")));
  WriteAll(Path("plain"), "not a folder");
  const QStringList entries = Entries(dir_.path());
  for (const char* name : {"missing/out.txt", "taken.csv", "plain/out.csv"}) {
    const QString target = Path(name);
    try {
      exports::ExportToCsv(list, QLatin1Char(','), target);
      ADD_FAILURE() << "no error for " << name;
    } catch (const exports::TExportError& error) {
      EXPECT_FALSE(error.Message().isEmpty());
      EXPECT_TRUE(error.Message().contains(target)) << error.what();
    }
    EXPECT_EQ(Entries(dir_.path()), entries) << name;
  }
  EXPECT_TRUE(QFileInfo(Path("taken.csv")).isDir());
  EXPECT_EQ(Bytes(Path("plain")), "not a folder");
  ASSERT_EQ(list.size(), before.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i].FURL, before[i].FURL);
    EXPECT_EQ(list[i].FPlatform, before[i].FPlatform);
    EXPECT_EQ(list[i].FImageNo, before[i].FImageNo);
  }
}

}  // namespace
