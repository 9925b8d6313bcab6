// The run summary: counts, shares, versions and errors of a run's records,
// merging, the filter behind a click, and reading back the tool's outputs.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "run/record_lines.h"
#include "run/run_summary.h"
#include "run/summary_files.h"

namespace {

using run::TRunSummary;
using run::TSummaryFilter;
using run::TWorkRecord;

TWorkRecord Record(const QString& url, const QString& platforms, qint32 image,
                   std::vector<std::pair<std::u16string, std::u16string>> versions = {}) {
  TWorkRecord record(url, platforms, image);
  if (!versions.empty()) {
    engine::TSiteEvidence evidence;
    evidence.platforms = platforms.toStdU16String();
    for (auto& [name, version] : versions) evidence.versions.push_back({name, version});
    record.evidence = run::TEvidence(evidence, std::u16string_view());
  }
  return record;
}

// A small run with every kind of record.
run::TWorkList SampleList() {
  return {
      Record("http://a/", "WordPress, nginx/1.24.0", run::kImageDone, {{u"WordPress", u"6.4.2"}}),
      Record("http://b/", "WordPress, Apache/2.4.57 (Debian), PHP/8.2.12", run::kImageDone, {{u"WordPress", u"6.4.1"}}),
      Record("http://c/", "wordpress", run::kImageDone),  // a header value in other letters: the same platform
      Record("http://d/", "Drupal, nginx/1.25.3, nginx", run::kImageDone, {{u"Drupal", u"7.98"}}),
      Record("http://e/", "", run::kImageDone),
      Record("http://f/", "Error: Read timed out.", run::kImageError),
      Record("http://g/", "Error: Read timed out.", run::kImageError),
      Record("http://h/", "Error: HTTP/1.1 404 Not Found", run::kImageError),
      // A page whose platforms text begins like an error text, but whose fetch did not fail.
      Record("http://i/", "Error: Sites", run::kImageDone),
      Record("http://j/", "", run::kImageInWork),
      Record("http://k/", "", run::kImageNone),
  };
}

TEST(RunSummary, CountsEveryRecordOnceAndAddsUpToTheUrls) {
  const TRunSummary summary = TRunSummary::Of(SampleList());
  EXPECT_EQ(summary.Urls(), 11);
  EXPECT_EQ(summary.Identified(), 5);
  EXPECT_EQ(summary.NoPlatform(), 1);
  EXPECT_EQ(summary.Failed(), 3);
  EXPECT_EQ(summary.NotDone(), 2);
  EXPECT_EQ(summary.Answered(), 6);

  const auto rows = summary.Platforms();
  struct Row {
    const char* name;
    qint64 sites;
    const char* versions;  // "group:sites ..." then "-:unversioned"
  } expected[] = {
      {"WordPress", 3, "6.4:2 -:1"}, {"nginx", 2, "1.25:1 1.24:1 -:0"}, {"Apache", 1, "2.4:1 -:0"},
      {"Drupal", 1, "7.98:1 -:0"},   {"Error: Sites", 1, "-:1"},        {"PHP", 1, "8.2:1 -:0"},
  };
  ASSERT_EQ(rows.size(), std::size(expected));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(rows[i].name, QString::fromUtf8(expected[i].name));
    EXPECT_EQ(rows[i].sites, expected[i].sites);
    EXPECT_DOUBLE_EQ(rows[i].share, expected[i].sites / 6.0);
    QStringList versions;
    for (const auto& v : rows[i].versions) versions << QStringLiteral("%1:%2").arg(v.version).arg(v.sites);
    versions << QStringLiteral("-:%1").arg(rows[i].unversioned);
    EXPECT_EQ(versions.join(QLatin1Char(' ')), QString::fromUtf8(expected[i].versions));
  }
  const auto errors = summary.Errors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].error, QStringLiteral("Read timed out."));
  EXPECT_EQ(errors[0].sites, 2);
  EXPECT_EQ(errors[1].error, QStringLiteral("HTTP/1.1 404 Not Found"));
}

TEST(RunSummary, ItemsAndVersionGroups) {
  const struct {
    const char* item;
    const char* name;
    const char* version;
  } items[] = {
      {"WordPress", "WordPress", ""},
      {"nginx/1.24.0", "nginx", "1.24.0"},
      {"Apache/2.4.57 (Debian) OpenSSL/3.0", "Apache", "2.4.57"},
      {"Microsoft-IIS/10.0", "Microsoft-IIS", "10.0"},
      {"ASP.NET", "ASP.NET", ""},
      {"nginx/", "nginx/", ""},               // nothing after the slash
      {"a/b", "a/b", ""},                     // no number after the slash
      {"Some Server/2.0", "Some Server/2.0", ""},  // a blank before the slash: a name of its own
      {"/1.0", "/1.0", ""},
  };
  for (const auto& c : items) {
    const QString item = QString::fromUtf8(c.item);  // the views point into it
    const run::TItemPlatform platform = run::ItemPlatform(item);
    EXPECT_EQ(platform.name.toString(), QString::fromUtf8(c.name)) << c.item;
    EXPECT_EQ(platform.version.toString(), QString::fromUtf8(c.version)) << c.item;
  }
  const std::pair<const char*, const char*> groups[] = {{"6.4.2", "6.4"}, {"10", "10"},        {"5.0-beta", "5.0"},
                                                        {"7.", "7"},      {"1.9.3.2", "1.9"},  {"2023-01", "2023"},
                                                        {"v2", "v2"},     {"", ""}};
  for (const auto& [version, group] : groups)
    EXPECT_EQ(run::VersionGroup(QString::fromUtf8(version)), QString::fromUtf8(group)) << version;
}

// A random run over a few platforms, versions and errors.
run::TWorkList RandomList(QRandomGenerator& random, int count) {
  const QStringList names = {"WordPress", "wordpress", "Drupal", "Joomla", "nginx/1.24.0", "nginx/1.25.1",
                             "Apache/2.4.1", "PHP/8.1.2", "Shopify", "Magento"};
  const QStringList errors = {"Error: Read timed out.", "Error: Connect timed out.", "Error: HTTP/1.1 500 Oops"};
  const char16_t* versions[] = {u"6.4.2", u"6.3", u"7.0.1", u"1.9.4"};
  run::TWorkList list;
  for (int i = 0; i < count; ++i) {
    const QString url = QStringLiteral("http://s%1/").arg(i);
    const int kind = random.bounded(10);
    if (kind == 0) {
      list.push_back(Record(url, QString(), run::kImageNone));
    } else if (kind <= 2) {
      list.push_back(Record(url, errors[random.bounded(errors.size())], run::kImageError));
    } else if (kind == 3) {
      list.push_back(Record(url, QString(), run::kImageDone));
    } else {
      QStringList items;
      std::vector<std::pair<std::u16string, std::u16string>> found;
      for (int n = 1 + random.bounded(3); n > 0; --n) {
        const QString name = names[random.bounded(names.size())];
        items << name;
        if (random.bounded(2) == 0) found.push_back({name.toStdU16String(), versions[random.bounded(4)]});
      }
      list.push_back(Record(url, items.join(QStringLiteral(", ")), run::kImageDone, found));
    }
  }
  return list;
}

TEST(RunSummary, ShardsMergedInAnyOrderGiveTheSummaryOfTheWholeRun) {
  QRandomGenerator random(19);
  for (int round = 0; round < 20; ++round) {
    const run::TWorkList list = RandomList(random, 200);
    const TRunSummary whole = TRunSummary::Of(list);
    // Cut into shards at random places, summed up apart, merged last to first.
    std::vector<TRunSummary> shards(1);
    for (const TWorkRecord& record : list) {
      if (random.bounded(20) == 0) shards.emplace_back();
      shards.back().Add(record);
    }
    TRunSummary merged;
    for (auto it = shards.rbegin(); it != shards.rend(); ++it) merged.Merge(*it);
    ASSERT_EQ(merged.ToJson(), whole.ToJson()) << "round " << round;
    EXPECT_EQ(whole.Urls(), static_cast<qint64>(list.size()));
  }
}

// A click selects exactly the records that the clicked row counts.
TEST(RunSummary, FilterSelectsTheSitesEachRowCounts) {
  QRandomGenerator random(7);
  const run::TWorkList list = RandomList(random, 300);
  const TRunSummary summary = TRunSummary::Of(list);
  const auto matching = [&](const TSummaryFilter& filter) {
    return std::count_if(list.begin(), list.end(), [&](const TWorkRecord& r) { return run::SummaryMatches(r, filter); });
  };
  for (const auto& row : summary.Platforms()) {
    EXPECT_EQ(matching({TSummaryFilter::TKind::Platform, row.name.toUpper(), {}, {}}), row.sites) << row.name.toStdString();
    for (const auto& version : row.versions)
      EXPECT_EQ(matching({TSummaryFilter::TKind::Version, row.name, version.version, {}}), version.sites);
    EXPECT_EQ(matching({TSummaryFilter::TKind::Version, row.name, QString(), {}}), row.unversioned);
  }
  for (const auto& row : summary.Errors())
    EXPECT_EQ(matching({TSummaryFilter::TKind::Error, {}, {}, row.error}), row.sites);
  EXPECT_EQ(matching({TSummaryFilter::TKind::Failed, {}, {}, {}}), summary.Failed());
  EXPECT_EQ(matching({TSummaryFilter::TKind::NoPlatform, {}, {}, {}}), summary.NoPlatform());
}

TEST(RunSummary, JsonAndTableForms) {
  const TRunSummary summary = TRunSummary::Of(SampleList());
  QJsonParseError error;
  const QJsonObject json = QJsonDocument::fromJson(summary.ToJson(), &error).object();
  ASSERT_EQ(error.error, QJsonParseError::NoError);
  EXPECT_EQ(json.value("urls").toInteger(), 11);
  EXPECT_EQ(json.value("answered").toInteger(), 6);
  EXPECT_EQ(json.value("identified").toInteger(), 5);
  EXPECT_EQ(json.value("no_platform").toInteger(), 1);
  EXPECT_EQ(json.value("failed").toInteger(), 3);
  EXPECT_EQ(json.value("not_done").toInteger(), 2);
  const QJsonObject first = json.value("platforms").toArray().at(0).toObject();
  EXPECT_EQ(first.value("name").toString(), QStringLiteral("WordPress"));
  EXPECT_EQ(first.value("sites").toInteger(), 3);
  EXPECT_DOUBLE_EQ(first.value("share").toDouble(), 0.5);
  EXPECT_EQ(first.value("unversioned").toInteger(), 1);
  EXPECT_EQ(first.value("versions").toArray().at(0).toObject(), (QJsonObject{{"version", "6.4"}, {"sites", 2}}));
  EXPECT_EQ(json.value("errors").toArray().at(0).toObject(),
            (QJsonObject{{"error", "Read timed out."}, {"sites", 2}}));

  const QString table = summary.ToTable();
  EXPECT_TRUE(table.startsWith(
      QStringLiteral("11 URLs: 6 answered (5 with a platform, 1 without), 3 failed, 2 not done\n\n"
                     "Platform         Sites    Share  Versions\n"
                     "WordPress            3   50.0 %  6.4: 2, no version: 1\n"
                     "nginx                2   33.3 %  1.25: 1, 1.24: 1\n")))
      << table.toStdString();
  EXPECT_TRUE(table.endsWith(QStringLiteral("Error                      Sites\n"
                                            "Read timed out.                2\n"
                                            "HTTP/1.1 404 Not Found         1\n")))
      << table.toStdString();

  // What a site sent cannot act on the terminal the table is printed on.
  TRunSummary hostile;
  hostile.AddFailed(u"Error: HTTP/1.1 500 \x1b]0;pwned\x07");
  EXPECT_TRUE(hostile.ToTable().contains(QStringLiteral("500 \\u001b]0;pwned\\u0007"))) << hostile.ToTable().toStdString();
  EXPECT_EQ(TRunSummary().ToTable(), QStringLiteral("0 URLs: 0 answered (0 with a platform, 0 without), 0 failed, 0 not done\n"));
}

// ---- reading back the tool's outputs ------------------------------------

QString JsonString(const QString& s) {
  return QString::fromUtf8(QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

// The tool's jsonl line of a record (evidence left as an opaque array).
QByteArray JsonLine(const TWorkRecord& r) {
  QString line = QStringLiteral("{\"url\":") + JsonString(r.FURL) + QStringLiteral(",\"platforms\":[");
  const bool failed = r.FImageNo == run::kImageError;
  if (!failed && !r.FPlatform.isEmpty()) {
    QStringList names;
    for (const QString& name : r.FPlatform.split(QStringLiteral(", "))) names << JsonString(name);
    line += names.join(QLatin1Char(','));
  }
  line += QStringLiteral("],\"error\":") + (failed ? JsonString(r.FPlatform.mid(7)) : QStringLiteral("null"));
  line += QStringLiteral(",\"versions\":{");
  QStringList versions;
  for (const auto& v : r.evidence.Versions())
    versions << JsonString(QString::fromStdU16String(v.platform)) + QLatin1Char(':') +
                    JsonString(QString::fromStdU16String(v.version));
  line += versions.join(QLatin1Char(',')) +
          QStringLiteral("},\"evidence\":[{\"platform\":\"x\",\"match\":\"a \\\"}] b\",\"offset\":null}]}\n");
  return line.toUtf8();
}

TEST(SummaryFiles, JsonLinesReadBackAsTheRunCountedThem) {
  QRandomGenerator random(3);
  run::TWorkList list = RandomList(random, 500);
  QByteArray bytes;
  TRunSummary expected;
  for (const TWorkRecord& r : list) {
    bytes += JsonLine(r);
    // A stopped run prints its records that never ended without platforms.
    if (run::SummaryStateOf(r) == run::TSummaryState::NotDone)
      expected.AddAnswered({});
    else
      expected.Add(r);
  }
  TRunSummary read;
  QString error;
  const auto result = run::AddOutputBytes(bytes, read, error);
  ASSERT_TRUE(result.has_value()) << error.toStdString();
  EXPECT_EQ(result->records, 500);
  EXPECT_FALSE(result->cutShort);
  EXPECT_EQ(read.ToJson(), expected.ToJson());
}

TEST(SummaryFiles, CsvReadsBackWithMarkLineEndsQuotesAndGuards) {
  const run::TWorkList list = {
      Record("http://a/", "WordPress, nginx/1.24.0", run::kImageDone),
      Record("http://b/", "=1+2, Joomla", run::kImageDone),  // written as '=1+2
      Record("http://c/", "say \"hi\"", run::kImageDone),
      Record("http://d/", "two\r\nlines", run::kImageDone),
      Record("http://e/", "", run::kImageDone),
      Record("http://f/", "Error: Read timed out.", run::kImageError),
  };
  TRunSummary expected = TRunSummary::Of(list);
  for (const QByteArray& lineEnd : {QByteArray("\n"), QByteArray("\r\n")}) {
    QByteArray bytes = lineEnd == "\r\n" ? QByteArray("\xEF\xBB\xBF") : QByteArray();
    for (const TWorkRecord& r : list) bytes += run::CsvExportLine(r, QLatin1Char(',')).toUtf8() + lineEnd;
    TRunSummary read;
    QString error;
    const auto result = run::AddOutputBytes(bytes, read, error);
    ASSERT_TRUE(result.has_value()) << error.toStdString();
    EXPECT_EQ(result->records, 6);
    EXPECT_EQ(read.ToJson(), expected.ToJson()) << read.ToJson().toStdString();
  }
}

TEST(SummaryFiles, CutShortFilesAndLinesThatAreNoRecords) {
  const QByteArray whole = "http://a/,WordPress\n{\"url\":\"http://b/\",\"platforms\":[\"Drupal\"],\"error\":null}\n";
  const struct {
    const char* name;
    QByteArray bytes;
    qint64 records;  // -1: refused
    bool cutShort;
    const char* error;
  } cases[] = {
      {"whole, csv and jsonl mixed", whole, 2, false, ""},
      {"cut inside a json line", whole + "{\"url\":\"http://c/\",\"platf", 2, true, ""},
      {"cut inside a csv line", whole + "http://c/,Jooml", 2, true, ""},
      {"cut inside a quoted field with a line break", whole + "http://c/,\"a\nb", 2, true, ""},
      {"blank lines", "\n" + whole + "\r\n", 2, false, ""},
      {"empty file", "", 0, false, ""},
      {"only the mark", "\xEF\xBB\xBF", 0, false, ""},
      {"text line", whole + "hello world\n", -1, false, "line 3 is not a csv or jsonl record of this tool"},
      {"json without url", "{\"platforms\":[],\"error\":null}\n", -1, false, "line 1 is not"},
      {"json with an empty name", "{\"url\":\"\",\"platforms\":[],\"error\":null}\n", -1, false, "line 1"},
      {"csv with an empty name", ",WordPress\n", -1, false, "line 1"},
      // Records of saved page files (--pages) are named by their paths.
      {"saved pages", "site/a.html,WordPress\n{\"url\":\"site/b.html\",\"platforms\":[],\"error\":null}\n", 2, false, ""},
      {"json platforms not an array", "{\"url\":\"http://x\",\"platforms\":\"A\",\"error\":null}\n", -1, false, "line 1"},
      {"json error a number", "{\"url\":\"http://x\",\"platforms\":[],\"error\":1}\n", -1, false, "line 1"},
      {"json with trailing text", "{\"url\":\"http://x\",\"platforms\":[],\"error\":null} x\n", -1, false, "line 1"},
      {"broken json", "{\"url\":\"http://x\",\"platforms\":[\n", -1, false, "line 1"},
      {"csv with three fields", "http://a/,b,c\n", -1, false, "line 1"},
      {"csv of the window with another separator", "http://a/;WordPress\n", -1, false, "line 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRunSummary summary;
    QString error;
    const auto result = run::AddOutputBytes(c.bytes, summary, error);
    if (c.records < 0) {
      EXPECT_FALSE(result.has_value());
      EXPECT_TRUE(error.startsWith(QString::fromUtf8(c.error))) << error.toStdString();
      continue;
    }
    ASSERT_TRUE(result.has_value()) << error.toStdString();
    EXPECT_EQ(result->records, c.records);
    EXPECT_EQ(result->cutShort, c.cutShort);
    EXPECT_EQ(summary.Urls(), c.records);
  }
}

TEST(SummaryFiles, LongFilesAcrossReadBlocks) {
  // Records that straddle the reader's blocks, and a missing file.
  QTemporaryDir folder;
  const QString path = folder.filePath("long.jsonl");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  const QString padding(3000, QLatin1Char('x'));
  for (int i = 0; i < 2000; ++i)
    file.write(QStringLiteral("{\"url\":\"http://s%1/\",\"platforms\":[\"P%2\"],\"error\":null,\"pad\":\"%3\"}\n")
                   .arg(i)
                   .arg(i % 7)
                   .arg(padding.left(i % 3000))
                   .toUtf8());
  file.close();
  TRunSummary summary;
  QString error;
  const auto result = run::AddOutputFile(path, summary, error);
  ASSERT_TRUE(result.has_value()) << error.toStdString();
  EXPECT_EQ(result->records, 2000);
  EXPECT_EQ(summary.Identified(), 2000);
  EXPECT_EQ(summary.Platforms().size(), 7u);

  EXPECT_FALSE(run::AddOutputFile(folder.filePath("none.csv"), summary, error).has_value());
  EXPECT_FALSE(error.isEmpty());
}

}  // namespace
