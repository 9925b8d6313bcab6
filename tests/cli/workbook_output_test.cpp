// lumasift-cli --format xls|xlsx --output FILE writes the window's
// spreadsheet export of the records, read back by independent readers.
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "export/export_writer.h"
#include "support/workbook_reader.h"
#include "tests/cli/cli_run.h"

namespace {

using namespace cli_test;

}  // namespace

TEST(WorkbookOutput, CellsEqualTheWindowsExportOfTheSameRecords) {
  RunSite site(Answer);
  const QString a = Q(site.Url("/p/a")), two = Q(site.Url("/two")), formula = Q(site.Url("/formula")),
                quote = Q(site.Url("/quote")), missing = Q(site.Url("/missing"));
  // The records as the run leaves them, for the window's export.
  const run::TWorkList list = {
      {a, QStringLiteral("Plat-a"), run::kImageDone},
      {two, QStringLiteral("Alpha, Beta"), run::kImageDone},
      {formula, QStringLiteral("=1+2"), run::kImageDone},
      {quote, QStringLiteral("say \"hi\""), run::kImageDone},
      {missing, QStringLiteral("Error: HTTP/1.1 404 Not Found"), run::kImageError},
  };
  QTemporaryDir dir;
  struct Case {
    const char* format;
    const char* file;  // the format is the option's, whatever the name says
    const char* reader;
  } cases[] = {{"xlsx", "out.xlsx", "openpyxl"}, {"xls", "out.xls", "xlrd"}, {"xls", "book.xlsx", "xlrd"}};
  for (const Case& c : cases) {
    const QString file = dir.filePath(QString::fromLatin1(c.file));
    const Outcome o = RunCli({QStringLiteral("--format"), QString::fromLatin1(c.format), QStringLiteral("--output"), file,
                              a, two, formula, quote, missing});
    ASSERT_EQ(o.exitCode, 0) << c.format << o.err.toStdString();
    EXPECT_TRUE(o.out.isEmpty());

    const QString window = dir.filePath(QStringLiteral("window.") + QString::fromLatin1(c.format));
    exports::ExportToSpreadsheet(list, exports::SystemListSeparator(), window);
    const export_test::TReadSheet got = export_test::ReadWorkbook(file);
    const export_test::TReadSheet want = export_test::ReadWorkbook(window);
    ASSERT_TRUE(got.ok && want.ok);
    EXPECT_EQ(got.reader, QString::fromLatin1(c.reader)) << c.file;
    EXPECT_EQ(got.Values(), want.Values()) << c.file;
    ASSERT_EQ(got.rows.size(), want.rows.size());
    for (std::size_t r = 0; r < got.rows.size(); ++r) {
      ASSERT_EQ(got.rows[r].size(), want.rows[r].size());
      for (std::size_t col = 0; col < got.rows[r].size(); ++col) {
        EXPECT_EQ(got.rows[r][col].type, want.rows[r][col].type) << c.file << " " << r << "," << col;
        EXPECT_EQ(got.rows[r][col].format, want.rows[r][col].format) << c.file << " " << r << "," << col;
      }
    }
    EXPECT_EQ(got.widths, want.widths) << c.file;
    // Text cells, the formula one included; the error text as it stands.
    EXPECT_EQ(got.rows.at(2).at(1).value, QStringLiteral("=1+2"));
    EXPECT_EQ(got.rows.at(2).at(1).type, QStringLiteral("text"));
    EXPECT_EQ(got.rows.at(4).at(1).value, QStringLiteral("Error: HTTP/1.1 404 Not Found"));
  }
}
