// lumasift-cli --pages and --warc run as a program: saved page files and
// folders, web archives written by real writers (wget, warcio) from loopback
// sites compared with URL mode on the same sites, damaged and hostile
// archives, and the options that go with them.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/warc_builder.h"
#include "tests/cli/cli_run.h"

extern char** environ;

QT_BEGIN_NAMESPACE
// Readable failures of QString and QStringList comparisons.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

// AddressSanitizer's shadow memory and its quarantine of freed blocks (256 MB)
// inflate the tool's resident memory in a sanitizer build; the bound is
// checked in the ordinary build, the rest of the checks in both.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMemoryBoundHolds = false;
#else
constexpr bool kMemoryBoundHolds = true;
#endif

using namespace cli_test;
using testsupport::GzipEach;
using testsupport::HttpAnswer;
using testsupport::ResponseRecord;
using testsupport::WarcRecordBytes;

class SavedPages : public ::testing::Test {
 protected:
  QTemporaryDir dir;

  QString Path(const QString& name) const { return dir.filePath(name); }
  QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }
  static QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }
};

// Lines of an output, without the last line end.
QStringList Lines(const QByteArray& out) {
  QStringList lines = QString::fromUtf8(out).split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

const QByteArray kWordPress = "<html>\n<link href=\"/wp-content/themes/a.css\">\n</html>\n";
const QByteArray kJoomla = "<html><head><link rel=\"stylesheet\" href=\"/templates/system/css/joomla.css\"></head></html>";
const QByteArray kNothing = "<html><body>hand-written</body></html>";

TEST_F(SavedPages, PagesIdentifiesEveryFileAsPageDoesInWalkOrder) {
  const QString wp = Write("site/blog/index.html", kWordPress);
  const QString joomla = Write("site/a.htm", kJoomla);
  const QString plain = Write("site/z/plain.HTML", kNothing);
  Write("site/style.css", "body{}");
  const QString loose = Write("loose.txt", kWordPress);
  const QString missing = Path("missing.html");
  const QStringList arguments{QStringLiteral("--pages"), Path("site"), loose, missing};
  const Outcome o = RunCli(QStringList{"--format", "txt"} + arguments);
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  EXPECT_EQ(o.err, "");
  // Each as --page gives it, named by its path; a file that cannot be read
  // is a record of its own and the run goes on.
  QStringList expected;
  for (const QString& file : {joomla, wp, plain, loose}) {
    const Outcome page = RunCli({"--page", file});
    expected << file + "," + QString::fromUtf8(page.out).trimmed();
  }
  expected << missing + ",Error: Cannot read the file: No such file or directory";
  EXPECT_EQ(Lines(o.out), expected);
  EXPECT_EQ(expected.at(1), wp + ",WordPress");

  // Every file in folders, and jsonl with the error as the fetch's.
  const Outcome every = RunCli({"--format", "jsonl", "--all-records", "--pages", Path("site"), missing});
  const QStringList lines = Lines(every.out);
  ASSERT_EQ(lines.size(), 5);
  EXPECT_TRUE(lines.at(2).startsWith("{\"url\":\"" + Path("site/style.css") + "\",\"platforms\":[],\"error\":null"));
  EXPECT_EQ(lines.at(4), "{\"url\":\"" + missing +
                             "\",\"platforms\":[],\"error\":\"Cannot read the file: No such file or directory\","
                             "\"versions\":{},\"evidence\":[]}");
}

TEST_F(SavedPages, PageNamesFromStandardInputAndResume) {
  const QString a = Write("a.html", kWordPress), b = Write("b.html", kJoomla), c = Write("c.html", kNothing);
  const Outcome o = RunCli({"--pages", "-", "--format", "csv"}, (a + "\r\n\n" + b + "\n" + c).toUtf8());
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  EXPECT_EQ(Lines(o.out), (QStringList{a + ",WordPress", b + ",Joomla", c + ","}));

  // --resume takes up where an earlier run of the same list stopped.
  const QString resume = Write("out.csv", "\xEF\xBB\xBF" + (a + ",WordPress\r\n" + b + ",Jo").toUtf8());
  const Outcome resumed = RunCli({"--pages", a, b, c, "--resume", resume});
  EXPECT_EQ(resumed.exitCode, 0) << resumed.err.toStdString();
  QFile file(resume);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), "\xEF\xBB\xBF" + (a + ",WordPress\r\n" + b + ",Joomla\r\n" + c + ",\r\n").toUtf8());
  // Records named by paths sum up as any others.
  const Outcome summed = RunCli({"--summarize", resume});
  EXPECT_EQ(summed.exitCode, 0) << summed.err.toStdString();
  EXPECT_TRUE(summed.out.startsWith("3 URLs: 3 answered (2 with a platform, 1 without)")) << summed.out.toStdString();
}

// A loopback site of a few platforms and a missing page, the URLs in a list.
class ArchivedSites : public SavedPages {
 protected:
  RunSite site{Answer};
  QStringList urls{U("/p/alpha"), U("/two"), U("/missing"), U("/p/ghost"), U("/quote")};
  QString U(const std::string& path) { return Q(site.Url(path)); }

  // What URL mode gives for the same sites, in this format.
  QByteArray UrlMode(const QStringList& options) {
    const Outcome o = RunCli(options + urls);
    EXPECT_EQ(o.exitCode, 0);
    return o.out;
  }
  // Fetched by wget into an archive (gzip unless `plain`).
  QString Wget(bool plain) {
    Write("urls.txt", urls.join('\n').toUtf8());
    QProcess wget;
    QStringList arguments{"--quiet", "--tries=1", "--delete-after", "-P", Path("wget"), "-i", Path("urls.txt"),
                          "--warc-file=" + Path("wget")};
    if (plain) arguments << "--no-warc-compression";
    wget.start("wget", arguments);
    EXPECT_TRUE(wget.waitForFinished(60000));
    const QString archive = Path(plain ? "wget.warc" : "wget.warc.gz");
    EXPECT_TRUE(QFile::exists(archive));
    return archive;
  }
  // warcio is installed beside its writer by scripts/install-deps.sh. A
  // checkout where that script never ran (another worktree on the same
  // machine) gets the same pinned versions from npm's own cache, which that
  // run filled: never from the network while the tests run.
  static void EnsureWarcio() {
    const QString folder = QFileInfo(QStringLiteral(LUMASIFT_WARCIO_WRITER)).absolutePath();
    if (QFileInfo::exists(folder + "/node_modules/warcio/package.json")) return;
    QProcess npm;
    npm.start("npm", {"ci", "--offline", "--prefix", folder, "--no-audit", "--no-fund", "--loglevel=error"});
    ASSERT_TRUE(npm.waitForFinished(120000));
    ASSERT_EQ(npm.exitCode(), 0) << "warcio is missing: run scripts/install-deps.sh\n"
                                 << npm.readAllStandardError().toStdString();
  }
  QString Warcio(const QString& version, bool gzip) {
    EnsureWarcio();
    const QString archive = Path(gzip ? "warcio.warc.gz" : "warcio.warc");
    QProcess node;
    node.start("node", QStringList{LUMASIFT_WARCIO_WRITER, archive, version, gzip ? "gzip" : "plain", "--revisit"} + urls);
    EXPECT_TRUE(node.waitForFinished(60000));
    EXPECT_EQ(node.exitCode(), 0) << node.readAllStandardError().toStdString();
    return archive;
  }
};

// Every record as URL mode gives it; by default the 404 is left out.
void ExpectSameAsUrlMode(const QByteArray& archived, const QByteArray& fetched, bool all) {
  QStringList expected = Lines(fetched);
  if (!all) expected.removeIf([](const QString& line) { return line.contains("/missing"); });
  EXPECT_EQ(Lines(archived), expected);
}

TEST_F(ArchivedSites, WgetArchivesGiveWhatUrlModeGives) {
  const QByteArray csv = UrlMode({"--format", "csv"});
  const QByteArray txt = UrlMode({"--format", "txt"});
  for (const bool plain : {false, true}) {
    SCOPED_TRACE(plain ? "plain" : "gzip");
    const QString archive = Wget(plain);
    const Outcome o = RunCli({"--warc", archive});
    EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
    EXPECT_EQ(o.err, "");
    ExpectSameAsUrlMode(o.out, csv, false);
    ExpectSameAsUrlMode(RunCli({"--warc", archive, "--all-records", "--format", "txt"}).out, txt, true);
  }
}

TEST_F(ArchivedSites, WarcioArchivesGiveWhatUrlModeGivesWithTheirDates) {
  const QByteArray csv = UrlMode({"--format", "csv"});
  for (const bool gzip : {true, false}) {
    SCOPED_TRACE(gzip ? "gzip" : "plain");
    const QString archive = Warcio(gzip ? "WARC/1.1" : "WARC/1.0", gzip);
    // The revisit record at the end names a page again: it is left out.
    ExpectSameAsUrlMode(RunCli({"--warc", archive}).out, csv, false);
    ExpectSameAsUrlMode(RunCli({"--warc", archive, "--all-records"}).out, csv, true);
  }
  // jsonl names each record by its URI and the date it was recorded; the
  // fields after it are URL mode's.
  const QString archive = Path("warcio.warc.gz");
  const QStringList archived = Lines(RunCli({"--warc", archive, "--format", "jsonl"}).out);
  const QStringList fetched = Lines(UrlMode({"--format", "jsonl"}));
  ASSERT_EQ(archived.size(), 4);
  EXPECT_EQ(archived.at(0), QString(fetched.at(0)).replace("\"url\":\"" + urls.at(0) + "\",",
                                                           "\"url\":\"" + urls.at(0) + "\",\"date\":\"2024-05-06T07:08:09Z\","));
  // Standard input, and --explain's line for the date.
  QFile file(archive);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const Outcome explained = RunCli({"--warc", "-", "--explain"}, file.readAll());
  EXPECT_TRUE(explained.out.startsWith((urls.at(0) + "\n  Platforms: Plat-alpha\n  Recorded: 2024-05-06T07:08:09Z\n").toUtf8()))
      << explained.out.toStdString();
}

TEST_F(ArchivedSites, TheSummaryOfAnArchiveIsTheSummaryOfTheSites) {
  const QString archive = Wget(false);
  const Outcome fetched = RunCli(QStringList{"--summary-output", Path("fetched.json")} + urls);
  const Outcome archived = RunCli({"--warc", archive, "--all-records", "--summary-output", Path("archived.json")});
  ASSERT_EQ(fetched.exitCode, 0);
  ASSERT_EQ(archived.exitCode, 0) << archived.err.toStdString();
  QFile a(Path("fetched.json")), b(Path("archived.json"));
  ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
  const QByteArray summary = a.readAll();
  EXPECT_TRUE(summary.contains("\"failed\": 1")) << summary.toStdString();
  EXPECT_EQ(b.readAll(), summary);
  // The shards of a split run sum up to the same.
  RunCli({"--warc", archive, "--all-records", "--format", "jsonl", "--output", Path("whole.jsonl")});
  const Outcome merged = RunCli({"--summarize", Path("whole.jsonl"), "--summary-output", Path("merged.json")});
  ASSERT_EQ(merged.exitCode, 0) << merged.err.toStdString();
  QFile m(Path("merged.json"));
  ASSERT_TRUE(m.open(QIODevice::ReadOnly));
  EXPECT_EQ(m.readAll(), summary);
}

TEST_F(ArchivedSites, ResumeOfAnArchiveRun) {
  const QString archive = Wget(false);
  const QByteArray whole = RunCli({"--warc", archive, "--format", "jsonl"}).out;
  const QStringList lines = Lines(whole);
  ASSERT_EQ(lines.size(), 4);
  const QString resume = Write("out.jsonl", (lines.at(0) + "\n" + lines.at(1).left(20)).toUtf8());
  const Outcome o = RunCli({"--warc", archive, "--format", "jsonl", "--resume", resume});
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  QFile file(resume);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), whole);
}

TEST_F(SavedPages, DamagedArchivesAreReportedWithOffsetsAndTheRunGoesOn) {
  const std::string a = testsupport::Gzip(ResponseRecord("http://a.example/", HttpAnswer(kWordPress.toStdString())));
  std::string broken = testsupport::Gzip(ResponseRecord("http://b.example/", HttpAnswer(kJoomla.toStdString())));
  broken[broken.size() / 2] ^= 0x5A;
  broken[broken.size() / 2 + 1] ^= 0x5A;
  const std::string c = testsupport::Gzip(ResponseRecord("http://c.example/", HttpAnswer(kJoomla.toStdString())));
  const std::string d = testsupport::Gzip(ResponseRecord("http://d.example/", HttpAnswer(kNothing.toStdString())));
  const QString first = Write("first.warc.gz", Bytes(a + broken + "garbage!" + c + d.substr(0, d.size() - 30)));
  const QString second = Write("second.warc", Bytes(ResponseRecord("http://e.example/", HttpAnswer(kWordPress.toStdString()))));
  const Outcome o = RunCli({"--warc", first, Path("absent.warc"), second});
  EXPECT_EQ(Lines(o.out), (QStringList{"http://a.example/,WordPress", "http://c.example/,Joomla", "http://e.example/,WordPress"}));
  const auto n = [](std::size_t v) { return QString::number(v); };
  // The damaged member and the bytes after it are one problem: the search
  // for the next member starts right after the damaged one's start.
  EXPECT_EQ(Lines(o.err), (QStringList{
                              "lumasift-cli: " + first + ": offset " + n(a.size()) +
                                  ": gzip member cannot be decompressed (zlib error -3)",
                              "lumasift-cli: " + first + ": offset " + n(a.size() + broken.size() + 8 + c.size()) +
                                  ": the file ends inside this record",
                              "lumasift-cli: cannot read " + Path("absent.warc") + ": No such file or directory",
                          }));
  // An archive that could not be read makes the exit code 2; damage alone does not.
  EXPECT_EQ(o.exitCode, 2);
  EXPECT_EQ(RunCli({"--warc", first}).exitCode, 0);
}

// Runs the tool with its standard output in a file; returns the exit code
// and the child's own peak resident memory in KiB.
std::pair<int, long> RunMeasured(const QStringList& arguments, const QString& output) {
  std::vector<std::string> storage{LUMASIFT_CLI_PATH};
  for (const QString& a : arguments) storage.push_back(a.toStdString());
  std::vector<char*> argv;
  for (std::string& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  EXPECT_EQ(posix_spawn(&pid, LUMASIFT_CLI_PATH, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  EXPECT_EQ(::wait4(pid, &status, 0, &usage), pid);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
}

TEST_F(SavedPages, HostileArchivesEndInBoundedTimeAndMemory) {
  // A record of 1 GiB (a sparse file: its block is a page, then zeros) with a
  // record after it.
  const std::string head = "WARC/1.0\r\nWARC-Type: response\r\nWARC-Target-URI: http://big.example/\r\nContent-Length: " +
                           std::to_string(1u << 30) + "\r\n\r\n";
  const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + kWordPress.toStdString();
  const std::string after = "\r\n\r\n" + ResponseRecord("http://after.example/", HttpAnswer(kJoomla.toStdString()));
  const QString big = Write("big.warc", Bytes(head + answer));
  {
    const int fd = ::open(big.toLocal8Bit().constData(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const off_t end = static_cast<off_t>(head.size()) + (off_t{1} << 30);
    ASSERT_EQ(::pwrite(fd, after.data(), after.size(), end), static_cast<ssize_t>(after.size()));
    ::close(fd);
  }
  const auto [code, peakKiB] = RunMeasured({"--warc", big}, Path("big.csv"));
  EXPECT_EQ(code, 0);
  QFile out(Path("big.csv"));
  ASSERT_TRUE(out.open(QIODevice::ReadOnly));
  EXPECT_EQ(out.readAll(), "http://big.example/,WordPress\nhttp://after.example/,Joomla\n");
  if (kMemoryBoundHolds) {
    EXPECT_LT(peakKiB, 300 * 1024) << "peak resident memory in KiB";
  }
  std::printf("1 GiB record: peak %ld KiB\n", peakKiB);
  QFile::remove(big);

  // 100,000 tiny records and a body that is a gzip bomb (1 GiB of zeros).
  std::string many;
  const std::string tiny = testsupport::Gzip(ResponseRecord("http://tiny.example/", HttpAnswer("<p>tiny</p>")));
  for (int i = 0; i < 100000; ++i) many += tiny;
  const std::string bombBody = testsupport::GzipWithZeros("<html>", std::uint64_t{1} << 30, "</html>");
  many += testsupport::Gzip(ResponseRecord(
      "http://bomb.example/", HttpAnswer(bombBody, "text/html", "HTTP/1.1 200 OK", "Content-Encoding: gzip\r\n")));
  const QString manyFile = Write("many.warc.gz", Bytes(many));
  const auto [manyCode, manyPeak] = RunMeasured({"--warc", manyFile, "--format", "txt"}, Path("many.txt"));
  EXPECT_EQ(manyCode, 0);
  QFile manyOut(Path("many.txt"));
  ASSERT_TRUE(manyOut.open(QIODevice::ReadOnly));
  const QStringList lines = Lines(manyOut.readAll());
  ASSERT_EQ(lines.size(), 100001);
  EXPECT_EQ(lines.last(), "http://bomb.example/,");
  if (kMemoryBoundHolds) {
    EXPECT_LT(manyPeak, 300 * 1024);
  }
  std::printf("100,000 records and a bomb: peak %ld KiB\n", manyPeak);
}

// The README's many-archives recipe, on this machine alone (no ssh): one
// archive per job, a shard and its damage reports per archive, a second run
// after the first ended skips what the job log records, and the shards sum
// up to the summary of one run over every archive.
TEST_F(SavedPages, GnuParallelOverArchivesAndTheSummaryOfItsShards) {
  const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
  ASSERT_FALSE(parallel.isEmpty()) << "GNU parallel is missing: scripts/install-deps.sh installs it";
  const std::string wp = HttpAnswer(kWordPress.toStdString()), joomla = HttpAnswer(kJoomla.toStdString());
  const QString a = Write("crawl/a.warc.gz", Bytes(GzipEach({ResponseRecord("http://a.example/", wp),
                                                             ResponseRecord("http://b.example/", joomla)})));
  const std::string first = GzipEach({ResponseRecord("http://c.example/", wp)});
  const QString b = Write("crawl/b.warc.gz", Bytes(first + "garbage" + GzipEach({ResponseRecord("http://e.example/", joomla)})));
  const QString c = Write("crawl/c.warc", Bytes(ResponseRecord("http://d.example/", HttpAnswer(kNothing.toStdString()))));
  QDir().mkpath(Path("out"));
  const auto recipe = [&] {
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(parallel, {"--will-cite", "-j", "2", "--joblog", "jobs.log", "--resume", "--results", "out/{/.}.jsonl",
                             LUMASIFT_CLI_PATH, "--warc", "{}", "--format", "jsonl"});
    EXPECT_TRUE(process.waitForStarted(10000));
    process.write((a + "\n" + b + "\n" + c + "\n").toUtf8());
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  };
  const auto read = [&](const QString& name) {
    QFile file(Path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
  };
  recipe();
  EXPECT_EQ(Lines(read("out/a.warc.jsonl")).size(), 2);
  EXPECT_TRUE(read("out/b.warc.jsonl").startsWith("{\"url\":\"http://c.example/\""));
  EXPECT_EQ(read("out/b.warc.jsonl.err"), "lumasift-cli: " + b.toUtf8() + ": offset " + QByteArray::number(qulonglong(first.size())) +
                                              ": 7 bytes that are no gzip member skipped\n");
  EXPECT_EQ(read("out/c.jsonl.err"), "");
  const QByteArray log = read("jobs.log");
  EXPECT_EQ(Lines(log).size(), 4) << log.toStdString();

  // Run again: every archive is done, nothing runs.
  recipe();
  EXPECT_EQ(read("jobs.log"), log);

  ASSERT_EQ(RunCli({"--warc", a, b, c, "--summary-output", Path("whole.json")}).exitCode, 0);
  const Outcome merged = RunCli(
      {"--summarize", Path("out/a.warc.jsonl"), Path("out/b.warc.jsonl"), Path("out/c.jsonl"), "--summary-output", Path("merged.json")});
  ASSERT_EQ(merged.exitCode, 0) << merged.err.toStdString();
  EXPECT_TRUE(merged.out.startsWith("5 URLs: 5 answered (4 with a platform, 1 without)")) << merged.out.toStdString();
  EXPECT_EQ(read("merged.json"), read("whole.json"));
}

TEST_F(SavedPages, OptionsThatDoNotGoWithSavedPages) {
  for (const QStringList& arguments :
       {QStringList{"--pages"}, QStringList{"--warc"}, QStringList{"--pages", "--warc", "a"},
        QStringList{"--all-records", "http://127.0.0.1:1/"}, QStringList{"-"},
        QStringList{"--warc", "a.warc", "--proxy", "env"}, QStringList{"--pages", "a", "--user-agent", "x"},
        QStringList{"--pages", "a", "--connect-timeout", "5"}, QStringList{"--page", "p.html", "--pages", "a"},
        QStringList{"--warc", "a.warc", "--headers", "h.txt"}, QStringList{"--check-signatures", "--warc", "a"}}) {
    const Outcome o = RunCli(arguments);
    EXPECT_EQ(o.exitCode, 2) << arguments.join(' ').toStdString();
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(o.err.contains("(see --help)")) << o.err.toStdString();
  }
}

}  // namespace
