// The run summary of the command-line tool: --summary and --summary-output
// of a loopback run of real platform pages and failing sites, and
// --summarize over its outputs and over the shards of a split run.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/platform_site.h"
#include "support/workbook_reader.h"
#include "tests/cli/cli_run.h"

namespace {

using namespace cli_test;

class Summary : public ::testing::Test {
 protected:
  RunSite site{testsupport::PlatformPage};
  QTemporaryDir folder;
  QString File(const char* name) { return folder.filePath(QString::fromLatin1(name)); }
  QStringList List() {
    QStringList urls;
    for (const char* path : {"/wp/6.4.2", "/wp/6.4.1", "/wp/5.9", "/drupal", "/joomla", "/plain", "/gone", "/gone",
                             "/broken", "/wp/6.3", "/plain"})
      urls << Q(site.Url(path));
    return urls;
  }
  static QJsonObject Json(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QJsonDocument::fromJson(file.readAll()).object();
  }
};

TEST_F(Summary, RunPrintsTheTableOnStandardErrorAndWritesJson) {
  const Outcome run = RunCli(QStringList{"--format", "jsonl", "--threads", "4", "--summary", "--summary-output",
                                         File("summary.json")} + List());
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_EQ(run.out.count('\n'), 11);  // the records stay on standard output
  const QString err = QString::fromUtf8(run.err);
  EXPECT_TRUE(err.startsWith("11 URLs: 8 answered (6 with a platform, 2 without), 3 failed, 0 not done\n")) << run.err.toStdString();
  EXPECT_TRUE(err.contains(QRegularExpression("\nWordPress +4 +50\\.0 %  6\\.4: 2, 6\\.3: 1, 5\\.9: 1\n"))) << run.err.toStdString();
  EXPECT_TRUE(err.contains(QRegularExpression("\nnginx +4 +50\\.0 %  1\\.24: 4\n")));
  EXPECT_TRUE(err.contains(QRegularExpression("\nDrupal +1 +12\\.5 %  7: 1\n")));
  EXPECT_TRUE(err.contains(QRegularExpression("\nJoomla +1 +12\\.5 %\n")));
  EXPECT_TRUE(err.contains(QRegularExpression("\nHTTP/1\\.1 404 Not Found +2\n")));

  const QJsonObject json = Json(File("summary.json"));
  EXPECT_EQ(json.value("urls").toInteger(), 11);
  EXPECT_EQ(json.value("failed").toInteger(), 3);
  EXPECT_EQ(json.value("no_platform").toInteger(), 2);
  QStringList names;
  for (const auto& platform : json.value("platforms").toArray()) names << platform.toObject().value("name").toString();
  EXPECT_EQ(names, QStringList({"WordPress", "nginx", "Apache", "Drupal", "Joomla", "PHP"}));

  // The records read back give the same summary, from jsonl (with versions)...
  QFile records(File("run.jsonl"));
  ASSERT_TRUE(records.open(QIODevice::WriteOnly));
  records.write(run.out);
  records.close();
  const Outcome again = RunCli({"--summarize", "--summary-output", File("again.json"), File("run.jsonl")});
  ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
  EXPECT_EQ(again.out, run.err);
  EXPECT_EQ(Json(File("again.json")), json);
}

// The workbook of the same run (--format xlsx) carries the same summary on
// its second sheet, read back with openpyxl, as the JSON of that run.
TEST_F(Summary, WorkbookSheetHoldsTheSummaryOfTheRun) {
  const Outcome run = RunCli(QStringList{"--format", "xlsx", "--output", File("run.xlsx"), "--summary-output",
                                         File("summary.json")} + List());
  ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
  const QJsonObject json = Json(File("summary.json"));
  const QJsonObject sheet = export_test::ReadSummarySheet(File("run.xlsx"));
  const QJsonArray rows = sheet.value("rows").toArray();
  const char* keys[] = {"urls", "answered", "identified", "no_platform", "failed", "not_done"};
  for (int r = 0; r < 6; ++r) EXPECT_EQ(rows.at(r).toArray().at(1).toInteger(), json.value(keys[r]).toInteger()) << keys[r];
  EXPECT_EQ(rows.at(0).toArray().at(1).toInteger(), 11);
  const QJsonArray platforms = json.value("platforms").toArray();
  ASSERT_EQ(platforms.size(), 6);
  for (int i = 0; i < platforms.size(); ++i) {
    const QJsonArray cells = rows.at(8 + i).toArray();
    EXPECT_EQ(cells.at(0), platforms.at(i).toObject().value("name")) << i;
    EXPECT_EQ(cells.at(1).toInteger(), platforms.at(i).toObject().value("sites").toInteger()) << i;
  }
  EXPECT_EQ(rows.at(8).toArray().at(3).toString(), QStringLiteral("6.4: 2, 6.3: 1, 5.9: 1"));
  const QJsonArray series = sheet.value("charts").toArray().at(0).toObject().value("series").toArray();
  EXPECT_EQ(series, (QJsonArray{QJsonObject{{"categories", "Summary!$A$9:$A$14"}, {"values", "Summary!$B$9:$B$14"}}}));
}

TEST_F(Summary, ShardsOfASplitRunSumUpToTheWholeRun) {
  const QStringList urls = List();
  const Outcome whole = RunCli(QStringList{"--format", "jsonl", "--summary-output", File("whole.json")} + urls);
  ASSERT_EQ(whole.exitCode, 0) << whole.err.toStdString();
  // Three shards, one of them written as the window's CSV export is
  // (--output: byte-order mark, CR LF), another from standard input.
  ASSERT_EQ(RunCli(QStringList{"--format", "jsonl", "--output", File("1.jsonl")} + urls.mid(0, 4)).exitCode, 0);
  ASSERT_EQ(RunCli(QStringList{"--format", "jsonl", "--output", File("2.jsonl")} + urls.mid(4, 4)).exitCode, 0);
  ASSERT_EQ(RunCli(QStringList{"--format", "jsonl", "--output", File("3.jsonl")} + urls.mid(8)).exitCode, 0);
  QFile third(File("3.jsonl"));
  ASSERT_TRUE(third.open(QIODevice::ReadOnly));
  const Outcome merged =
      RunCli({"--summarize", "--summary-output", File("merged.json"), File("2.jsonl"), "-", File("1.jsonl")},
             third.readAll());
  ASSERT_EQ(merged.exitCode, 0) << merged.err.toStdString();
  EXPECT_EQ(Json(File("merged.json")), Json(File("whole.json")));

  // CSV keeps no versions; counts, shares and errors are the same.
  ASSERT_EQ(RunCli(QStringList{"--output", File("all.csv")} + urls).exitCode, 0);
  const Outcome csv = RunCli({"--summarize", "--summary-output", File("csv.json"), File("all.csv")});
  ASSERT_EQ(csv.exitCode, 0) << csv.err.toStdString();
  QJsonObject fromCsv = Json(File("csv.json")), fromJson = Json(File("whole.json"));
  EXPECT_EQ(fromCsv.value("errors"), fromJson.value("errors"));
  for (const char* key : {"urls", "answered", "identified", "no_platform", "failed", "not_done"})
    EXPECT_EQ(fromCsv.value(key), fromJson.value(key)) << key;
  const QJsonArray a = fromCsv.value("platforms").toArray(), b = fromJson.value("platforms").toArray();
  ASSERT_EQ(a.size(), b.size());
  for (qsizetype i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].toObject().value("name"), b[i].toObject().value("name"));
    EXPECT_EQ(a[i].toObject().value("sites"), b[i].toObject().value("sites"));
  }
}

TEST_F(Summary, SummarizeRefusesWhatIsNoOutputAndNotesACutOffRecord) {
  QFile cut(File("cut.jsonl"));
  ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
  cut.write("{\"url\":\"http://a/\",\"platforms\":[\"WordPress\"],\"error\":null}\n{\"url\":\"http://b/\",\"plat");
  cut.close();
  const Outcome cutShort = RunCli({"--summarize", File("cut.jsonl")});
  EXPECT_EQ(cutShort.exitCode, 0);
  EXPECT_TRUE(cutShort.out.startsWith("1 URLs: 1 answered")) << cutShort.out.toStdString();
  EXPECT_EQ(cutShort.err, "lumasift-cli: " + File("cut.jsonl").toUtf8() + " is cut short: its last record is left out\n");

  QFile text(File("notes.txt"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("http://a/,WordPress\nsome notes\n");
  text.close();
  const struct {
    QStringList arguments;
    QByteArray err;
  } refusals[] = {
      {{"--summarize", File("notes.txt")},
       "lumasift-cli: cannot summarize " + File("notes.txt").toUtf8() +
           ": line 2 is not a csv or jsonl record of this tool\n"},
      {{"--summarize", File("none.csv")}, "lumasift-cli: cannot read " + File("none.csv").toUtf8() + ": "},
      // A file name from the command line reaches the terminal escaped.
      {{"--summarize", File("none\x1b]0;t\x07.csv")},
       "lumasift-cli: cannot read " + File("none\\u001b]0;t\\u0007.csv").toUtf8() + ": "},
      {{"--summarize"}, "lumasift-cli: --summarize needs at least one file (- for standard input) (see --help)\n"},
      {{"--summarize", "--format", "csv", File("cut.jsonl")},
       "lumasift-cli: --summarize takes only output files and --summary-output (see --help)\n"},
      {{"-"},
       "lumasift-cli: unknown option - (standard input is a file only for --summarize, --pages and --warc) (see --help)\n"},
      {{"--summarize", "--summary-output", folder.path(), File("cut.jsonl")}, "lumasift-cli: cannot write "},
      {{"--summary-output", folder.path(), "http://127.0.0.1:1/"}, "lumasift-cli: cannot write "},
  };
  for (const auto& c : refusals) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const Outcome o = RunCli(c.arguments);
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_TRUE(o.err.startsWith(c.err)) << o.err.toStdString();
    EXPECT_TRUE(o.out.isEmpty());
  }
}

}  // namespace
