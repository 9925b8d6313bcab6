// The XLSX export's "Summary" sheet, read back with openpyxl: the table of
// the run summary and a native bar chart whose series refer to that table;
// the first sheet stays what it was.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "export/export_writer.h"
#include "support/workbook_reader.h"

namespace {

using export_test::ReadSummarySheet;

run::TWorkList Records(int platforms) {
  run::TWorkList list;
  // Platform Pi on i + 1 sites, so that the order is known.
  for (int p = 0; p < platforms; ++p)
    for (int n = 0; n <= p; ++n)
      list.push_back({QStringLiteral("http://p%1-%2.example/").arg(p).arg(n), QStringLiteral("P%1").arg(p),
                      run::kImageDone});
  list.push_back({QStringLiteral("http://x.example/"), QStringLiteral("P0, nginx/1.24.0"), run::kImageDone});
  list.push_back({QStringLiteral("http://none.example/"), QString(), run::kImageDone});
  list.push_back({QStringLiteral("http://down.example/"), QStringLiteral("Error: Read timed out."), run::kImageError});
  list.push_back({QStringLiteral("http://later.example/"), QString(), run::kImageNone});
  return list;
}

// The members of a workbook package (python's zipfile: another independent reader).
QByteArray Member(const QString& workbook, const QString& member) {
  QProcess process;
  process.start(export_test::Python(),
                {QStringLiteral("-c"),
                 QStringLiteral("import sys,zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))"),
                 workbook, member});
  EXPECT_TRUE(process.waitForFinished(60000));
  return process.readAllStandardOutput();
}

TEST(SummarySheet, TableAndChartOfTheRunBesideAnUnchangedFirstSheet) {
  QTemporaryDir folder;
  const run::TWorkList list = Records(3);
  const QString withSummary = folder.filePath(QStringLiteral("run.xlsx"));
  exports::ExportToSpreadsheet(list, QLatin1Char(','), withSummary);
  const QJsonObject read = ReadSummarySheet(withSummary);
  EXPECT_EQ(read.value("sheets").toArray(), (QJsonArray{"Sheet1", "Summary"}));

  const QJsonArray rows = read.value("rows").toArray();
  const auto row = [&](int r) { return rows.at(r).toArray(); };
  const auto cells = [&](int r, int count) {
    QJsonArray a = row(r);
    while (a.size() > count) a.removeLast();
    return a;
  };
  // 1 + 2 + 3 sites of P0..P2, one more with P0 and nginx, one without platform, one failed, one not done.
  const QJsonArray counts[] = {{"URLs", 10}, {"Answered", 8},  {"With a platform", 7},
                               {"Without a platform", 1}, {"Failed", 1}, {"Not done", 1}};
  for (int r = 0; r < 6; ++r) EXPECT_EQ(cells(r, 2), counts[r]) << r;
  EXPECT_EQ(cells(7, 4), (QJsonArray{"Platform", "Sites", "Share", "Versions"}));
  EXPECT_EQ(cells(8, 3), (QJsonArray{"P2", 3, 0.375}));
  EXPECT_EQ(cells(9, 3), (QJsonArray{"P0", 2, 0.25}));
  EXPECT_EQ(cells(10, 3), (QJsonArray{"P1", 2, 0.25}));
  EXPECT_EQ(cells(11, 4), (QJsonArray{"nginx", 1, 0.125, "1.24: 1"}));
  EXPECT_EQ(read.value("formats").toObject().value("8,2").toString(), QStringLiteral("0.0%"));
  EXPECT_EQ(cells(13, 2), (QJsonArray{"Error", "Sites"}));
  EXPECT_EQ(cells(14, 2), (QJsonArray{"Read timed out.", 1}));

  const QJsonArray charts = read.value("charts").toArray();
  ASSERT_EQ(charts.size(), 1);
  const QJsonObject chart = charts.at(0).toObject();
  EXPECT_EQ(chart.value("type").toString(), QStringLiteral("barChart"));
  EXPECT_EQ(chart.value("direction").toString(), QStringLiteral("bar"));
  // The most sites at the top (categories from the top down), counts from the left.
  EXPECT_TRUE(chart.value("categories_reversed").toBool());
  EXPECT_FALSE(chart.value("values_reversed").toBool());
  EXPECT_EQ(chart.value("series").toArray(),
            (QJsonArray{QJsonObject{{"categories", "Summary!$A$9:$A$12"}, {"values", "Summary!$B$9:$B$12"}}}));

  // The first sheet is the one the export wrote before it had a summary.
  const QString without = folder.filePath(QStringLiteral("plain.xlsx"));
  exports::WriteSpreadsheet(exports::SpreadsheetExportLines(list, QLatin1Char(',')), QLatin1Char(','), without);
  EXPECT_EQ(ReadSummarySheet(without).value("sheets").toArray(), (QJsonArray{"Sheet1"}));
  const QByteArray first = Member(withSummary, QStringLiteral("xl/worksheets/sheet1.xml"));
  EXPECT_FALSE(first.isEmpty());
  EXPECT_EQ(first, Member(without, QStringLiteral("xl/worksheets/sheet1.xml")));
}

TEST(SummarySheet, ChartShowsTheTwentyPlatformsWithTheMostSitesAndNoneForAnEmptyList) {
  QTemporaryDir folder;
  const QString many = folder.filePath(QStringLiteral("many.xlsx"));
  exports::ExportToSpreadsheet(Records(25), QLatin1Char(';'), many);
  const QJsonObject read = ReadSummarySheet(many);
  const QJsonArray rows = read.value("rows").toArray();
  EXPECT_EQ(rows.at(8).toArray().at(0).toString(), QStringLiteral("P24"));
  EXPECT_EQ(rows.at(8 + 25).toArray().at(0).toString(), QStringLiteral("nginx"));  // all 26 in the table
  const QJsonArray series = read.value("charts").toArray().at(0).toObject().value("series").toArray();
  EXPECT_EQ(series, (QJsonArray{QJsonObject{{"categories", "Summary!$A$9:$A$28"}, {"values", "Summary!$B$9:$B$28"}}}));

  const QString empty = folder.filePath(QStringLiteral("empty.xlsx"));
  exports::ExportToSpreadsheet({}, QLatin1Char(','), empty);
  const QJsonObject none = ReadSummarySheet(empty);
  EXPECT_EQ(none.value("sheets").toArray(), (QJsonArray{"Sheet1", "Summary"}));
  const QJsonArray urls = none.value("rows").toArray().at(0).toArray();
  EXPECT_EQ(urls.at(0), QJsonValue("URLs"));
  EXPECT_EQ(urls.at(1), QJsonValue(0));
  EXPECT_TRUE(none.value("charts").toArray().isEmpty());
}

// A platform name a site chose (a Server header) may hold control
// characters: the package stays readable, the cell keeps the name (stored
// as "_xHHHH_", which openpyxl leaves as it is).
TEST(SummarySheet, ControlCharactersInANameKeepThePackageReadable) {
  QTemporaryDir folder;
  const QString name = QStringLiteral("x\x1b]0;t\x07y\x01z");
  run::TWorkList list = Records(1);
  list.push_back({QStringLiteral("http://esc.example/"), name, run::kImageDone});
  const QString path = folder.filePath(QStringLiteral("esc.xlsx"));
  exports::ExportToSpreadsheet(list, QLatin1Char(','), path);
  const QJsonObject read = ReadSummarySheet(path);
  const QJsonArray rows = read.value("rows").toArray();
  QStringList names;
  for (int r = 8; r < rows.size() && !rows.at(r).toArray().isEmpty(); ++r) names << rows.at(r).toArray().at(0).toString();
  EXPECT_TRUE(names.contains(QStringLiteral("x_x001B_]0;t_x0007_y_x0001_z"))) << names.join(u'|').toStdString();
  EXPECT_EQ(read.value("charts").toArray().size(), 1);
}

}  // namespace
