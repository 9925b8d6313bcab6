// lumasift-cli on long lists: standard input read as the run goes, --resume
// after a complete or a cut-short output, and GNU parallel spreading a list
// over several runs.
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <map>

#include "support/workbook_reader.h"
#include "tests/cli/cli_run.h"

namespace {

using namespace cli_test;
using export_test::ReadAll;
using export_test::WriteAll;

class LongList : public ::testing::Test {
 protected:
  RunSite site{Answer};
  QTemporaryDir dir;
  QString U(const std::string& path) { return Q(site.Url(path)); }

  // How many page fetches each path got (the probe is a HEAD).
  std::map<std::string, int> Fetches() const {
    std::map<std::string, int> counts;
    for (const SiteRequest& r : site.Requests())
      if (r.method == "GET") ++counts[r.path];
    return counts;
  }
};

}  // namespace

TEST_F(LongList, RecordIsPrintedBeforeTheInputEnds) {
  QProcess* process = Start({});
  process->write((U("/p/first") + QLatin1Char('\n')).toUtf8());
  // Standard input stays open: the record must come all the same.
  ASSERT_TRUE(process->waitForReadyRead(20000));
  for (int i = 0; i < 100 && !process->canReadLine(); ++i) process->waitForReadyRead(100);
  EXPECT_EQ(process->readLine(), (U("/p/first") + ",Plat-first\n").toUtf8());
  process->write((U("/p/second")).toUtf8());  // a last line without LF counts
  process->closeWriteChannel();
  const Outcome o = Finish(process);
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.out, (U("/p/second") + ",Plat-second\n").toUtf8());
}

TEST_F(LongList, ResumeSkipsFinishedRecordsRepairsACutLineAndAppends) {
  // A URL given twice has two records; the file's one covers only the first.
  const QStringList urls = {U("/p/a"), U("/two"), U("/p/b"), U("/two"), U("/quote")};
  struct Case {
    const char* name;
    const char* format;
    bool fromStdout;  // the earlier run printed (LF, no mark) instead of writing the file itself
    int keptRecords;  // complete records left in the file
    int cutBytes;     // bytes of the next record left after them (0: none)
  } cases[] = {
      {"csv complete", "csv", false, 5, 0},
      {"csv cut mid-line", "csv", false, 2, 7},
      {"csv cut before LF", "csv", false, 3, -1},
      {"csv printed, cut", "csv", true, 3, 4},
      {"csv only the mark", "csv", false, 0, 0},
      {"csv no file", "csv", false, -1, 0},
      {"jsonl complete", "jsonl", false, 5, 0},
      {"jsonl cut mid-line", "jsonl", false, 3, 12},
      {"jsonl cut before LF", "jsonl", false, 1, -1},
      {"jsonl no file", "jsonl", false, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString format = QString::fromLatin1(c.format);
    // The complete output of one run, as --resume writes a new file.
    const QString reference = dir.filePath(QStringLiteral("reference.") + format);
    QFile::remove(reference);
    ASSERT_EQ(RunCli(QStringList{QStringLiteral("--format"), format, QStringLiteral("--resume"), reference} + urls).exitCode, 0);
    QByteArray full = ReadAll(reference);
    if (c.fromStdout) {
      full = RunCli(QStringList{QStringLiteral("--format"), format} + urls).out;
    } else if (format == QLatin1String("csv")) {
      ASSERT_TRUE(full.startsWith("\xEF\xBB\xBF"));  // as --output writes it
      ASSERT_EQ(full.count("\r\n"), 5);
    }
    // What a crash left behind.
    const QString file = dir.filePath(QStringLiteral("out.") + format);
    QFile::remove(file);
    if (c.keptRecords >= 0) {
      const QByteArray end = full.contains("\r\n") ? "\r\n" : "\n";
      qsizetype at = full.startsWith("\xEF\xBB\xBF") ? 3 : 0;
      for (int i = 0; i < c.keptRecords; ++i) at = full.indexOf(end, at) + end.size();
      const qsizetype cut = c.cutBytes >= 0 ? at + c.cutBytes : full.indexOf('\n', at);
      WriteAll(file, full.left(cut));
    }

    const int fetchesBefore = static_cast<int>(site.Requests().size());
    const Outcome o = RunCli(QStringList{QStringLiteral("--format"), format, QStringLiteral("--resume"), file} + urls);
    EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
    EXPECT_TRUE(o.out.isEmpty());
    EXPECT_EQ(ReadAll(file), full);
    // Only the records the file lacked were fetched (page and probe each).
    const int lacking = 5 - std::max(0, c.keptRecords);
    EXPECT_EQ(static_cast<int>(site.Requests().size()) - fetchesBefore, 2 * lacking);
  }
}

TEST_F(LongList, ResumeRefusesAFileOfAnotherKind) {
  const QString file = dir.filePath(QStringLiteral("notes.csv"));
  const QByteArray notes = "shopping list\neggs\n";
  WriteAll(file, notes);
  const QString jsonl = dir.filePath(QStringLiteral("out.jsonl"));
  WriteAll(jsonl, (U("/p/a") + ",Plat-a\n").toUtf8());
  for (const QStringList& args : {QStringList{QStringLiteral("--resume"), file, U("/p/a")},
                                  QStringList{QStringLiteral("--format"), QStringLiteral("jsonl"),
                                              QStringLiteral("--resume"), jsonl, U("/p/a")}}) {
    const Outcome o = RunCli(args);
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_NE(o.err.indexOf("line 1 is not a"), -1) << o.err.toStdString();
  }
  EXPECT_EQ(ReadAll(file), notes);
  EXPECT_EQ(site.RequestCount(), 0);
}

TEST_F(LongList, CtrlCWithResumeLeavesTheUnfinishedForTheNextRun) {
  QStringList urls;
  for (int i = 0; i < 5; ++i) urls << U("/hold/h" + std::to_string(i));
  const QString file = dir.filePath(QStringLiteral("out.jsonl"));
  const QStringList args = QStringList{QStringLiteral("--threads"), QStringLiteral("2"), QStringLiteral("--format"),
                                       QStringLiteral("jsonl"), QStringLiteral("--resume"), file} + urls;
  QProcess* process = Start(args);
  process->closeWriteChannel();
  ASSERT_TRUE(site.WaitForHeld(2, 10000));
  ::kill(static_cast<pid_t>(process->processId()), SIGINT);
  QThread::msleep(100);
  site.Release();
  EXPECT_EQ(Finish(process).exitCode, 130);
  // Each whole line up to the evidence fields, which name the test signature.
  const auto line = [&](int i) {
    return "{\"url\":\"" + urls[i] + "\",\"platforms\":[\"Plat-h" + QString::number(i) + "\"],\"error\":null";
  };
  const auto heads = [&] {
    const QByteArray bytes = ReadAll(file);
    EXPECT_TRUE(bytes.endsWith('\n'));
    QStringList lines = QString::fromUtf8(bytes).split(u'\n');
    lines.removeLast();
    for (QString& l : lines) {
      EXPECT_TRUE(l.endsWith(u'}')) << l.toStdString();
      l.truncate(l.indexOf(QLatin1String(",\"versions\":")));
    }
    return lines;
  };
  EXPECT_EQ(heads(), (QStringList{line(0), line(1)}));

  EXPECT_EQ(RunCli(args).exitCode, 0);
  EXPECT_EQ(heads(), (QStringList{line(0), line(1), line(2), line(3), line(4)}));
  for (const auto& [path, count] : Fetches()) EXPECT_EQ(count, 1) << path;
}

TEST_F(LongList, GnuParallelOnOneMachineGivesTheOutputOfOneRun) {
  const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
  ASSERT_FALSE(parallel.isEmpty()) << "GNU parallel is missing: scripts/install-deps.sh installs it";
  QByteArray list;
  for (int i = 0; i < 20; ++i) list += (U("/p/s" + std::to_string(i)) + QLatin1Char('\n')).toUtf8();
  const Outcome single = RunCli({QStringLiteral("--format"), QStringLiteral("jsonl")}, list);
  ASSERT_EQ(single.exitCode, 0);
  ASSERT_EQ(single.out.count('\n'), 20);

  // The README's one-machine command, with blocks small enough that this
  // short list makes several runs.
  EnsureApplication();
  QProcess process;
  process.start(parallel, {QStringLiteral("--will-cite"), QStringLiteral("--pipe"), QStringLiteral("--keep-order"),
                           QStringLiteral("--block"), QStringLiteral("200"), QStringLiteral("-j"), QStringLiteral("2"),
                           QStringLiteral(LUMASIFT_CLI_PATH), QStringLiteral("--format"), QStringLiteral("jsonl")});
  ASSERT_TRUE(process.waitForStarted(10000));
  process.write(list);
  process.closeWriteChannel();
  ASSERT_TRUE(process.waitForFinished(120000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  EXPECT_EQ(process.readAllStandardOutput(), single.out);
  // Each URL fetched once by each of the two ways.
  for (const auto& [path, count] : Fetches()) EXPECT_EQ(count, 2) << path;
}
