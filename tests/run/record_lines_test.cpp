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
