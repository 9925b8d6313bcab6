// lumasift-cli on long lists: standard input read as the run goes, --resume
// after a complete or a cut-short output, and GNU parallel spreading a list
// over several runs.
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
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

// Only a cut-off last line may ever be cut away: a file of another format, or
// with a damaged line before its last, is refused (exit code 2, FILE:LINE
// named) and left as it is; without --format the file's own format is taken.
TEST_F(LongList, ResumeKeepsEveryRecordOrRefusesTheFile) {
  const QByteArray a = U("/p/a").toUtf8(), b = U("/p/b").toUtf8(), c = U("/p/c").toUtf8();
  const QByteArray jsonA = "{\"url\":\"" + a + "\",\"platforms\":[\"Plat-a\"],\"error\":null,\"versions\":{},\"evidence\":[]}\n";
  struct Case {
    const char* name;
    QByteArray content;
    const char* format;  // --format, or none
    const char* refusal;  // what standard error says after FILE, or none: the run goes on
    QByteArray kept;      // with the run going on: the bytes FILE keeps before the new records
    int fetched;          // with the run going on: sites fetched (of /p/a, /p/b, /p/c)
  } cases[] = {
      {"jsonl without --format: appended as jsonl", jsonA, nullptr, nullptr, jsonA, 2},
      {"jsonl with --format csv", jsonA, "csv", ":1: a jsonl record: resume this file with --format jsonl\n", {}, 0},
      {"csv with --format jsonl", a + ",Plat-a\r\n", "jsonl", ":1: a csv record: resume this file with --format csv\n", {}, 0},
      {"csv quote not closed in the middle", a + ",Plat-a\r\n\"" + b + ",Plat-b\r\n" + c + ",Plat-c\r\n", nullptr,
       ":2: not a csv record of this tool\n", {}, 0},
      {"csv junk after a closing quote", a + ",\"Plat\"-a\r\n" + b + ",Plat-b\r\n", nullptr,
       ":1: not a csv record of this tool\n", {}, 0},
      {"csv three fields", a + ",Plat-a,x\r\n" + b + ",Plat-b\r\n", nullptr, ":1: not a csv record of this tool\n", {}, 0},
      {"csv empty line", a + ",Plat-a\r\n\r\n" + b + ",Plat-b\r\n", nullptr, ":2: not a csv record of this tool\n", {}, 0},
      {"jsonl damaged line in the middle", jsonA + "{\"url\":\"" + b + "\",\n" + jsonA, nullptr,
       ":2: not a jsonl record of this tool\n", {}, 0},
      {"jsonl then a csv line", jsonA + b + ",Plat-b\n", nullptr, ":2: not a jsonl record of this tool\n", {}, 0},
      {"no line feed, no record", "shopping list", nullptr, ":1: not a csv or jsonl record of this tool\n", {}, 0},
      {"notes", "shopping list\neggs\n", "csv", ":1: not a csv record of this tool\n", {}, 0},
      {"cut-off record only: started afresh", a + ",Pla", nullptr, nullptr, "\xEF\xBB\xBF", 3},
      {"csv record open since an earlier line", a + ",Plat-a\r\n" + b + ",\"x\r\ny", nullptr,
       ":2: not a csv record of this tool\n", {}, 0},
      {"csv quoted line break of an older file", a + ",\"Error: x\ny\"\r\n" + b + ",Plat-b\r\n", nullptr, nullptr,
       a + ",\"Error: x\ny\"\r\n" + b + ",Plat-b\r\n", 1},
      {"jsonl cut inside the first line", jsonA + "{\"url\":\"ht", nullptr, nullptr, jsonA, 2},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const QString file = dir.filePath(QStringLiteral("resume"));
    WriteAll(file, k.content);
    QStringList args{QStringLiteral("--resume"), file, U("/p/a"), U("/p/b"), U("/p/c")};
    if (k.format) args << QStringLiteral("--format") << QString::fromLatin1(k.format);
    const int before = site.RequestCount();
    const Outcome o = RunCli(args);
    if (k.refusal) {
      EXPECT_EQ(o.exitCode, 2);
      EXPECT_EQ(o.err.toStdString(), ("lumasift-cli: " + file).toStdString() + k.refusal);
      EXPECT_EQ(ReadAll(file), k.content);
      EXPECT_EQ(site.RequestCount(), before);
    } else {
      EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
      const QByteArray written = ReadAll(file);
      EXPECT_TRUE(written.startsWith(k.kept)) << written.toStdString();
      EXPECT_EQ(written.count('\n') - k.kept.count('\n'), k.fetched) << written.toStdString();
      EXPECT_EQ(site.RequestCount() - before, 2 * k.fetched);
    }
  }
}

// A URL with a control character is written escaped in csv: a second run
// over the same list finds its record all the same and adds nothing.
TEST_F(LongList, ResumeFindsTheRecordsOfUrlsWithControlCharacters) {
  const QStringList urls = {U("/p/a"), U("/p/b\x1b[2J"), U("/p/c\td")};
  for (const char* format : {"csv", "jsonl"}) {
    SCOPED_TRACE(format);
    const QString file = dir.filePath(QStringLiteral("again.") + QLatin1String(format));
    const QStringList args = QStringList{QStringLiteral("--format"), QLatin1String(format), QStringLiteral("--resume"), file} + urls;
    ASSERT_EQ(RunCli(args).exitCode, 0);
    const QByteArray first = ReadAll(file);
    EXPECT_EQ(first.count('\n'), 3);
    const Outcome again = RunCli(args);
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(ReadAll(file), first);
  }
}

// A named pipe or a device is refused at once instead of being waited on.
TEST_F(LongList, ResumeRefusesWhatIsNotARegularFile) {
  const QString pipe = dir.filePath(QStringLiteral("pipe"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  for (const QString& file : {pipe, QStringLiteral("/dev/null"), dir.path()}) {
    const Outcome o = RunCli({QStringLiteral("--resume"), file, U("/p/a")});
    EXPECT_EQ(o.exitCode, 2) << file.toStdString();
    EXPECT_TRUE(o.err.startsWith(("lumasift-cli: cannot resume from " + file + ": ").toUtf8())) << o.err.toStdString();
  }
  EXPECT_TRUE(RunCli({QStringLiteral("--resume"), pipe, U("/p/a")}).err.endsWith(": not a regular file\n"));
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(pipe).constData(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
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
