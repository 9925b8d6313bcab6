// The spreadsheet export: the splitting rule, and real .xls and .xlsx files
// read back with python3-xlrd and python3-openpyxl.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "support/workbook_reader.h"
#include "export/export_writer.h"

namespace {

using export_test::Entries;
using export_test::ReadAll;
using export_test::ReadWorkbook;
using export_test::TReadSheet;
using export_test::WriteAll;

using TRows = std::vector<std::vector<QString>>;

std::vector<std::string> Std(const QStringList& list) {
  std::vector<std::string> out;
  for (const QString& s : list) out.push_back(s.toStdString());
  return out;
}

// Readable in failure messages, unlike QString.
std::vector<std::vector<std::string>> Std(const TRows& rows) {
  std::vector<std::vector<std::string>> out;
  for (const auto& row : rows) out.push_back(Std(QStringList(row.begin(), row.end())));
  return out;
}

TEST(ExportSplitLine, FollowsTheSplittingRule) {
  const struct {
    const char* name;
    QString line;
    char separator;
    QStringList pieces;
  } cases[] = {
      {"empty line", QString(), ',', {}},
      {"one piece", QStringLiteral("a"), ',', {QStringLiteral("a")}},
      {"two pieces", QStringLiteral("a,b"), ',', {QStringLiteral("a"), QStringLiteral("b")}},
      {"blanks stay", QStringLiteral(" a , b "), ',', {QStringLiteral(" a "), QStringLiteral(" b ")}},
      {"empty between", QStringLiteral("a,,b"), ',', {QStringLiteral("a"), QString(), QStringLiteral("b")}},
      {"separator at end", QStringLiteral("a,"), ',', {QStringLiteral("a"), QString()}},
      {"separator alone", QStringLiteral(","), ',', {QString(), QString()}},
      {"other separator", QStringLiteral("a;b, c"), ';', {QStringLiteral("a"), QStringLiteral("b, c")}},
      {"quoted separator", QStringLiteral("\"a,b\",c"), ',', {QStringLiteral("a,b"), QStringLiteral("c")}},
      {"doubled quote", QStringLiteral("\"a\"\"b\""), ',', {QStringLiteral("a\"b")}},
      {"only a doubled quote", QStringLiteral("\"\"\"\""), ',', {QStringLiteral("\"")}},
      {"empty quoted", QStringLiteral("u,\"\""), ',', {QStringLiteral("u"), QString()}},
      {"text after closing quote", QStringLiteral("\"a\"x,y"), ',',
       {QStringLiteral("a"), QStringLiteral("x"), QStringLiteral("y")}},
      {"blank after closing quote", QStringLiteral("\"a\" ,b"), ',',
       {QStringLiteral("a"), QStringLiteral(" "), QStringLiteral("b")}},
      {"text after quote at end", QStringLiteral("\"a\"x"), ',', {QStringLiteral("a"), QStringLiteral("x")}},
      {"quoted then separator at end", QStringLiteral("\"a\","), ',', {QStringLiteral("a"), QString()}},
      {"unclosed quote runs to the end", QStringLiteral("\"a,b"), ',', {QStringLiteral("a,b")}},
      {"quote inside a piece", QStringLiteral("a\"b,c"), ',', {QStringLiteral("a\"b"), QStringLiteral("c")}},
      {"blank before quote", QStringLiteral(" \"a,b\""), ',', {QStringLiteral(" \"a"), QStringLiteral("b\"")}},
      {"quoted second piece", QStringLiteral("x,\"q;r\""), ',', {QStringLiteral("x"), QStringLiteral("q;r")}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Std(exports::SplitSpreadsheetLine(c.line, QLatin1Char(c.separator))), Std(c.pieces)) << c.name;
}

class ExportWorkbook : public ::testing::TestWithParam<const char*> {
 protected:
  QString Path(const QString& base) const { return dir_.filePath(base + QString::fromLatin1(GetParam())); }
  bool IsXls() const { return QString::fromLatin1(GetParam()).compare(QLatin1String(".xls")) == 0; }

  // Every cell a text cell in text format ("@"); blank cells for empty texts.
  static void ExpectTextCells(const TReadSheet& sheet) {
    for (std::size_t r = 0; r < sheet.rows.size(); ++r)
      for (std::size_t c = 0; c < sheet.rows[r].size(); ++c) {
        const auto& cell = sheet.rows[r][c];
        EXPECT_EQ(cell.type.toStdString(), cell.value.isEmpty() ? "blank" : "text") << r << "," << c;
        EXPECT_EQ(cell.format.toStdString(), "@") << r << "," << c;
      }
  }
  // Columns 0..count-1 are 40 characters wide, no other column is changed.
  void ExpectWidened(const TReadSheet& sheet, int count) const {
    ASSERT_EQ(static_cast<int>(sheet.widths.size()), count);
    for (int c = 0; c < count; ++c) {
      ASSERT_EQ(sheet.widths.count(c), 1u) << c;
      // The .xlsx width carries the padding that spreadsheet programs add.
      EXPECT_GE(sheet.widths.at(c), 40.0);
      EXPECT_LT(sheet.widths.at(c), IsXls() ? 40.001 : 41.0);
    }
  }
  void ExpectFirstCellSelected(const TReadSheet& sheet) const {
    // An XLSX export has its summary on a second sheet.
    EXPECT_EQ(sheet.sheets, IsXls() ? 1 : 2);
    EXPECT_EQ(sheet.selectedRow, 0);
    EXPECT_EQ(sheet.selectedColumn, 0);
    EXPECT_TRUE(sheet.sheetSelected);
  }
  void ExpectReader(const TReadSheet& sheet) const {
    EXPECT_EQ(sheet.reader.toStdString(), IsXls() ? "xlrd" : "openpyxl");
  }

  QTemporaryDir dir_;
};

TEST_P(ExportWorkbook, EmptyListGivesAnEmptyFirstSheet) {
  exports::ExportToSpreadsheet({}, QLatin1Char(','), Path(QStringLiteral("empty")));
  const TReadSheet sheet = ReadWorkbook(Path(QStringLiteral("empty")));
  ASSERT_TRUE(sheet.ok);
  ExpectReader(sheet);
  EXPECT_TRUE(sheet.rows.empty());
  ExpectWidened(sheet, 0);
  ExpectFirstCellSelected(sheet);
}

TEST_P(ExportWorkbook, CommaSeparatorSplitsPlatformsIntoTrimmedTextCells) {
  const QString longLatin(20000, QLatin1Char('a'));
  const QString longestCyrillic(32767, QChar(0x0436));
  const run::TWorkList list = {
      {QStringLiteral("http://zeta.example/"), QStringLiteral("WordPress, WooCommerce"), run::kImageDone},
      {QStringLiteral("http://alpha.example/"), QString(), run::kImageNone},
      {QStringLiteral("http://q.example/"), QStringLiteral("\"Quoted, Name\" tail, Other"), run::kImageDone},
      {QStringLiteral("http://f.example/"), QStringLiteral("=1+1, =SUM(A1:A2), @x"), run::kImageDone},
      {QStringLiteral("http://i18n.example/"), QStringLiteral("Привет, 世界, Simplébo, 😀 Smile"),
       run::kImageDone},
      {QStringLiteral("http://ctrl.example/"), QStringLiteral(" \t Padded\tinside \r\n"), run::kImageDone},
      {QStringLiteral("http://a,b.example/"), QStringLiteral("X"), run::kImageDone},
      {QStringLiteral("http://long.example/"), longLatin + QStringLiteral(", ") + longestCyrillic,
       run::kImageDone},
      {QStringLiteral("http://last.example/"), QStringLiteral("A, B"), run::kImageDone},
  };
  const TRows expected = {
      {QStringLiteral("http://zeta.example/"), QStringLiteral("WordPress"), QStringLiteral("WooCommerce")},
      {QStringLiteral("http://alpha.example/"), QString()},
      {QStringLiteral("http://q.example/"), QStringLiteral("Quoted, Name"), QStringLiteral("tail"),
       QStringLiteral("Other")},
      {QStringLiteral("http://f.example/"), QStringLiteral("=1+1"), QStringLiteral("=SUM(A1:A2)"),
       QStringLiteral("@x")},
      {QStringLiteral("http://i18n.example/"), QStringLiteral("Привет"), QStringLiteral("世界"),
       QStringLiteral("Simplébo"), QStringLiteral("😀 Smile")},
      {QStringLiteral("http://ctrl.example/"), QStringLiteral("Padded\tinside")},
      {QStringLiteral("http://a"), QStringLiteral("b.example/"), QStringLiteral("X")},
      {QStringLiteral("http://long.example/"), longLatin, longestCyrillic},
      {QStringLiteral("http://last.example/"), QStringLiteral("A"), QStringLiteral("B")},
  };
  const QString file = Path(QStringLiteral("rich"));
  exports::ExportToSpreadsheet(list, QLatin1Char(','), file);
  const TReadSheet sheet = ReadWorkbook(file);
  ASSERT_TRUE(sheet.ok);
  ExpectReader(sheet);
  EXPECT_EQ(Std(sheet.Values()), Std(expected));
  ASSERT_EQ(sheet.rows.size(), expected.size());
  for (std::size_t r = 0; r < expected.size(); ++r) {
    ASSERT_EQ(sheet.rows[r].size(), expected[r].size()) << r;
    for (std::size_t c = 0; c < expected[r].size(); ++c)
      EXPECT_EQ(sheet.rows[r][c].value.toStdString(), expected[r][c].toStdString()) << r << "," << c;
  }
  ExpectTextCells(sheet);
  ExpectWidened(sheet, 3);  // the pieces of the last line, not of the widest
  ExpectFirstCellSelected(sheet);
}

TEST_P(ExportWorkbook, SemicolonSeparatorKeepsPlatformsInOneCell) {
  const run::TWorkList list = {
      {QStringLiteral("http://a.example/"), QStringLiteral("WordPress, WooCommerce"), run::kImageDone},
      {QStringLiteral("http://b.example/"), QString(), run::kImageNone},
  };
  const QString file = Path(QStringLiteral("semicolon"));
  exports::ExportToSpreadsheet(list, QLatin1Char(';'), file);
  const TReadSheet sheet = ReadWorkbook(file);
  ASSERT_TRUE(sheet.ok);
  const TRows expected = {{QStringLiteral("http://a.example/"), QStringLiteral("WordPress, WooCommerce")},
                          {QStringLiteral("http://b.example/"), QString()}};
  EXPECT_EQ(Std(sheet.Values()), Std(expected));
  ExpectTextCells(sheet);
  ExpectWidened(sheet, 2);
  ExpectFirstCellSelected(sheet);
}

TEST_P(ExportWorkbook, LinesKeepTheirRowsAndTheLastLineSetsTheWidths) {
  const QString file = Path(QStringLiteral("gaps"));
  exports::WriteSpreadsheet({QStringLiteral("a,b,c"), QString(), QStringLiteral("  "), QStringLiteral("d")},
                       QLatin1Char(','), file);
  const TReadSheet sheet = ReadWorkbook(file);
  ASSERT_TRUE(sheet.ok);
  const TRows expected = {
      {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, {}, {QString()}, {QStringLiteral("d")}};
  EXPECT_EQ(Std(sheet.Values()), Std(expected));
  ExpectTextCells(sheet);
  ExpectWidened(sheet, 1);
}

// Enough distinct strings, of every length and in 8-bit and UTF-16 form, for
// the string table to run over many CONTINUE records with strings cut at
// every kind of place.
TEST_P(ExportWorkbook, ManyStringsRoundTrip) {
  run::TWorkList list;
  TRows expected;
  const QString pieces[] = {QStringLiteral("Simplébo"), QStringLiteral("Привет"), QStringLiteral("世界"),
                            QStringLiteral("😀"), QStringLiteral("plain"), QStringLiteral("x")};
  for (int i = 0; i < 3000; ++i) {
    QString platforms = QStringLiteral("P%1-").arg(i);
    for (int k = 0; k < (i * 7) % 40; ++k) platforms += pieces[(i + k) % 6];
    const QString url = QStringLiteral("http://site-%1.example/").arg(i) + QString(i % 97, QLatin1Char('p'));
    list.push_back({url, platforms, run::kImageDone});
    expected.push_back({url, platforms});
  }
  // An unpaired surrogate cannot be stored as such; it becomes U+FFFD.
  list.push_back({QStringLiteral("http://odd.example/"), QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b"),
                  run::kImageDone});
  expected.push_back({QStringLiteral("http://odd.example/"), QStringLiteral("a\uFFFDb")});
  const QString file = Path(QStringLiteral("many"));
  exports::ExportToSpreadsheet(list, QLatin1Char(';'), file);
  const TReadSheet sheet = ReadWorkbook(file);
  ASSERT_TRUE(sheet.ok);
  const TRows values = sheet.Values();
  ASSERT_EQ(values.size(), expected.size());
  for (std::size_t r = 0; r < expected.size(); ++r)
    ASSERT_EQ(Std(QStringList(values[r].begin(), values[r].end())),
              Std(QStringList(expected[r].begin(), expected[r].end())))
        << "row " << r;
  ExpectTextCells(sheet);
  if (IsXls()) {
    EXPECT_GT(sheet.sstContinues, 20);
  }
}

TEST_P(ExportWorkbook, OverlongCellFailsAndLeavesTheTargetAsItWas) {
  const QString file = Path(QStringLiteral("overlong"));
  WriteAll(file, "previous content");
  const QStringList before = Entries(dir_.path());
  const QString line = QStringLiteral("http://a.example/,") + QString(32768, QLatin1Char('z'));
  try {
    exports::WriteSpreadsheet({line}, QLatin1Char(','), file);
    ADD_FAILURE() << "no error";
  } catch (const exports::TExportError& error) {
    EXPECT_TRUE(error.Message().contains(QStringLiteral("32768"))) << error.what();
  }
  EXPECT_EQ(ReadAll(file), QByteArray("previous content"));
  EXPECT_EQ(Entries(dir_.path()), before);
}

TEST_P(ExportWorkbook, UnwritableTargetFailsWithoutLeftovers) {
  ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("taken") + QString::fromLatin1(GetParam())));
  const QStringList before = Entries(dir_.path());
  const run::TWorkList list = {{QStringLiteral("http://a.example/"), QStringLiteral("X"), run::kImageDone}};
  for (const QString& target : {Path(QStringLiteral("taken")), Path(QStringLiteral("missing/out"))}) {
    try {
      exports::ExportToSpreadsheet(list, QLatin1Char(','), target);
      ADD_FAILURE() << "no error for " << target.toStdString();
    } catch (const exports::TExportError& error) {
      EXPECT_TRUE(error.Message().contains(target)) << error.what();
    }
    EXPECT_EQ(Entries(dir_.path()), before) << target.toStdString();
  }
  EXPECT_TRUE(QFileInfo(Path(QStringLiteral("taken"))).isDir());
}

INSTANTIATE_TEST_SUITE_P(Formats, ExportWorkbook, ::testing::Values(".xls", ".XLSX"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param[1] == 'x' ? "Xls" : "XlsxInCapitals");
                         });

class ExportWorkbookFormat : public ::testing::Test {
 protected:
  QTemporaryDir dir_;
};

TEST_F(ExportWorkbookFormat, XlsxInAnyCaseElseExcel97) {
  const QByteArray zip("PK\x03\x04", 4);
  const QByteArray compound("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  const struct {
    const char* name;
    const QByteArray& magic;
  } cases[] = {{"a.xlsx", zip},     {"b.Xlsx", zip},     {"c.XLSX", zip},
               {"d.xls", compound}, {"e.XLS", compound}, {"f.dat", compound},
               {"g", compound},     {"h.xlsx.bak", compound}};
  const run::TWorkList list = {{QStringLiteral("http://a.example/"), QStringLiteral("X"), run::kImageDone}};
  for (const auto& c : cases) {
    const QString file = dir_.filePath(QString::fromLatin1(c.name));
    exports::ExportToSpreadsheet(list, QLatin1Char(','), file);
    EXPECT_TRUE(ReadAll(file).startsWith(c.magic)) << c.name;
  }
}

// In .xlsx a control character is stored as "_xHHHH_", and a text that looks
// like such an escape has its "_" stored as "_x005F_", so that spreadsheet
// programs read both back unchanged. openpyxl undoes only the "_x005F_".
TEST_F(ExportWorkbookFormat, EscapeLookalikesAndControlCharacters) {
  const QString line = QStringLiteral("a\x01" "b,_x0041_,x_x00e9__xZZ99_,_x004");
  const QString xlsx = dir_.filePath(QStringLiteral("escapes.xlsx"));
  const QString xls = dir_.filePath(QStringLiteral("escapes.xls"));
  exports::WriteSpreadsheet({line}, QLatin1Char(','), xlsx);
  exports::WriteSpreadsheet({line}, QLatin1Char(','), xls);
  const TReadSheet stored = ReadWorkbook(xlsx);
  const TReadSheet plain = ReadWorkbook(xls);
  ASSERT_TRUE(stored.ok && plain.ok);
  EXPECT_EQ(Std(stored.Values()),
            Std(TRows{{QStringLiteral("a_x0001_b"), QStringLiteral("_x0041_"), QStringLiteral("x_x00e9__xZZ99_"),
                       QStringLiteral("_x004")}}));
  EXPECT_EQ(Std(plain.Values()), Std(TRows{{QStringLiteral("a\x01" "b"), QStringLiteral("_x0041_"),
                                            QStringLiteral("x_x00e9__xZZ99_"), QStringLiteral("_x004")}}));
}

TEST_F(ExportWorkbookFormat, Excel97LimitsFailInsteadOfDroppingCells) {
  const QString file = dir_.filePath(QStringLiteral("big.xls"));
  QStringList rows(65536, QStringLiteral("http://a.example/,X"));
  exports::WriteSpreadsheet(rows, QLatin1Char(','), file);  // the most rows the format holds
  const QByteArray written = ReadAll(file);
  EXPECT_TRUE(written.startsWith("\xD0\xCF\x11\xE0"));

  rows.append(QStringLiteral("http://b.example/,Y"));
  EXPECT_THROW(exports::WriteSpreadsheet(rows, QLatin1Char(','), file), exports::TExportError);
  QStringList wide(257, QStringLiteral("c"));
  EXPECT_THROW(exports::WriteSpreadsheet({wide.join(QLatin1Char(','))}, QLatin1Char(','), file), exports::TExportError);
  EXPECT_EQ(ReadAll(file), written);
  EXPECT_EQ(Entries(dir_.path()), QStringList{QStringLiteral("big.xls")});

  // The newer format holds both.
  const QString xlsx = dir_.filePath(QStringLiteral("wide.xlsx"));
  exports::WriteSpreadsheet({wide.join(QLatin1Char(','))}, QLatin1Char(','), xlsx);
  EXPECT_TRUE(ReadAll(xlsx).startsWith("PK"));
}

}  // namespace
