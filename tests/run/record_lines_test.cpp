// The export lines' CSV field: quoting and the defused formula start.
#include <gtest/gtest.h>

#include "run/record_lines.h"

namespace {

TEST(CsvField, QuotesAndDefusesFormulas) {
  const struct {
    const char* name;
    QString field;
    char separator;
    QString expected;
  } cases[] = {
      {"plain", QStringLiteral("WordPress"), ',', QStringLiteral("WordPress")},
      {"empty", QString(), ',', QString()},
      {"separator", QStringLiteral("A, B"), ',', QStringLiteral("\"A, B\"")},
      {"other separator", QStringLiteral("A, B"), ';', QStringLiteral("A, B")},
      {"semicolon", QStringLiteral("a;b"), ';', QStringLiteral("\"a;b\"")},
      {"quote only", QStringLiteral("Say \"Hi\""), ';', QStringLiteral("\"Say \"\"Hi\"\"\"")},
      {"CR", QStringLiteral("a\rb"), ',', QStringLiteral("\"a\rb\"")},
      {"LF", QStringLiteral("a\nb"), ',', QStringLiteral("\"a\nb\"")},
      {"equals", QStringLiteral("=1+1"), ';', QStringLiteral("'=1+1")},
      {"plus", QStringLiteral("+1"), ',', QStringLiteral("'+1")},
      {"minus", QStringLiteral("-1"), ',', QStringLiteral("'-1")},
      {"at", QStringLiteral("@SUM(A1)"), ',', QStringLiteral("'@SUM(A1)")},
      {"tab", QStringLiteral("\t=1"), ',', QStringLiteral("'\t=1")},
      {"leading CR", QStringLiteral("\r=1"), ',', QStringLiteral("\"'\r=1\"")},
      {"formula with separator and quotes", QStringLiteral("=HYPERLINK(\"u\",\"a,b\")"), ',',
       QStringLiteral("\"'=HYPERLINK(\"\"u\"\",\"\"a,b\"\")\"")},
      {"equals inside", QStringLiteral("a=b"), ',', QStringLiteral("a=b")},
      {"blank before equals", QStringLiteral(" =1"), ',', QStringLiteral(" =1")},
  };
  for (const auto& c : cases)
    EXPECT_EQ(run::CsvField(c.field, QLatin1Char(c.separator)).toStdString(), c.expected.toStdString()) << c.name;
}

}  // namespace

namespace {

// What CsvExportLine writes, CsvFields reads back (the guard undone by
// CsvUnguarded), for every kind of field the writer treats apart.
TEST(CsvFields, ReadsBackWhatTheExportWrote) {
  const QString fields[] = {QStringLiteral("WordPress"), QString(), QStringLiteral("A, B"),
                            QStringLiteral("Say \"Hi\""), QStringLiteral("a\r\nb"), QStringLiteral("=1+1"),
                            QStringLiteral("-1"), QStringLiteral("\t=1"), QStringLiteral("\r=1"),
                            QStringLiteral("=HYPERLINK(\"u\",\"a,b\")"), QStringLiteral("\"\"")};
  for (const QString& url : {QStringLiteral("http://a.example/"), QStringLiteral("http://b.example/?q=\"x\",y")})
    for (const QString& platforms : fields) {
      const QString line = run::CsvExportLine(run::TMyRecord{url, platforms, run::kImageDone}, QLatin1Char(','));
      const auto read = run::CsvFields(line, QLatin1Char(','));
      ASSERT_TRUE(read.has_value()) << line.toStdString();
      ASSERT_EQ(read->size(), 2) << line.toStdString();
      EXPECT_EQ(read->at(0), url);
      EXPECT_EQ(run::CsvUnguarded(read->at(1)), platforms) << line.toStdString();
    }
}

TEST(CsvFields, RefusesWhatNoWriterWrites) {
  for (const char* line : {"\"http://a", "\"http://a\"x,b", "http://a,b\"c", "http://a,\"b\"\"", "http://a,\"b\"c"})
    EXPECT_FALSE(run::CsvFields(QString::fromLatin1(line), QLatin1Char(',')).has_value()) << line;
  EXPECT_EQ(run::CsvFields(u"a,,b", QLatin1Char(',')), QStringList({"a", "", "b"}));
  EXPECT_EQ(run::CsvFields(u"a,", QLatin1Char(',')), QStringList({"a", ""}));
}

}  // namespace
