// The command-line tool's URL mode, run as a program against a loopback
// site: formats, input order, output file, options, Ctrl-C and threads.
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>

#include "support/pipe_reader.h"
#include "support/warc_builder.h"
#include "tests/cli/cli_run.h"
#include "support/proxy_server.h"
#include "support/run_site.h"
#include "support/scoped_env.h"

namespace {

using namespace cli_test;

class UrlMode : public ::testing::Test {
 protected:
  RunSite site{Answer};
  QString U(const std::string& path) { return Q(site.Url(path)); }
};

}  // namespace

// The jsonl evidence item of an X-Powered-By value (`json`: already escaped).
QString HeaderItem(const QString& json) {
  return "{\"platform\":\"" + json + "\",\"source\":\"header\",\"entry\":\"X-Powered-By\",\"match\":\"" + json +
         "\",\"offset\":null,\"before\":\"\",\"after\":\"\",\"duplicate\":false}";
}

TEST_F(UrlMode, EachFormatPrintsOneLinePerUrlInInputOrder) {
  const QString a = U("/p/a"), two = U("/two"), formula = U("/formula"), quote = U("/quote"), missing = U("/missing");
  const QStringList urls = {a, two, formula, quote, missing};
  struct Case {
    const char* format;
    QByteArray expected;
  } cases[] = {
      {"csv", (a + ",Plat-a\n" + two + ",\"Alpha, Beta\"\n" + formula + ",'=1+2\n" + quote +
               ",\"say \"\"hi\"\"\"\n" + missing + ",Error: HTTP/1.1 404 Not Found\n")
                  .toUtf8()},
      {"txt", (a + ",Plat-a\n" + two + ",Alpha, Beta\n" + formula + ",=1+2\n" + quote + ",say \"hi\"\n" + missing +
               ",Error: HTTP/1.1 404 Not Found\n")
                  .toUtf8()},
      // Each line also carries the versions and the evidence: here the
      // X-Powered-By values that name the platforms.
      {"jsonl", ("{\"url\":\"" + a + "\",\"platforms\":[\"Plat-a\"],\"error\":null,\"versions\":{},\"evidence\":[" +
                 HeaderItem("Plat-a") + "]}\n" + "{\"url\":\"" + two +
                 "\",\"platforms\":[\"Alpha\",\"Beta\"],\"error\":null,\"versions\":{},\"evidence\":[" +
                 HeaderItem("Alpha") + "," + HeaderItem("Beta") + "]}\n" + "{\"url\":\"" + formula +
                 "\",\"platforms\":[\"=1+2\"],\"error\":null,\"versions\":{},\"evidence\":[" + HeaderItem("=1+2") +
                 "]}\n" + "{\"url\":\"" + quote +
                 "\",\"platforms\":[\"say \\\"hi\\\"\"],\"error\":null,\"versions\":{},\"evidence\":[" +
                 HeaderItem("say \\\"hi\\\"") + "]}\n" + "{\"url\":\"" + missing +
                 "\",\"platforms\":[],\"error\":\"HTTP/1.1 404 Not Found\",\"versions\":{},\"evidence\":[]}\n")
                    .toUtf8()},
  };
  for (const auto& c : cases) {
    const Outcome o = RunCli(QStringList{QStringLiteral("--format"), QString::fromLatin1(c.format)} + urls);
    EXPECT_EQ(o.exitCode, 0) << c.format << o.err.toStdString();
    EXPECT_EQ(o.out.toStdString(), c.expected.toStdString()) << c.format;
    EXPECT_TRUE(o.err.isEmpty()) << o.err.toStdString();  // no progress line: not a terminal
  }
}

TEST_F(UrlMode, ProgressLineWhileStandardErrorIsATerminal) {
  int master = -1, slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  EnsureApplication();
  QProcess process;
  process.setChildProcessModifier([slave] { ::dup2(slave, STDERR_FILENO); });
  process.start(QStringLiteral(LUMASIFT_CLI_PATH), {U("/p/a"), U("/p/b"), U("/p/c")});
  process.closeWriteChannel();
  ASSERT_TRUE(process.waitForFinished(60000));
  ::close(slave);
  EXPECT_EQ(process.exitCode(), 0);
  std::string seen;
  char buf[512];
  for (;;) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 200) <= 0) break;
    const ssize_t n = ::read(master, buf, sizeof buf);
    if (n <= 0) break;
    seen.append(buf, static_cast<size_t>(n));
  }
  ::close(master);
  EXPECT_NE(seen.find("0 / 3"), std::string::npos) << seen;
  EXPECT_NE(seen.find("3 / 3"), std::string::npos) << seen;
  EXPECT_EQ(process.readAllStandardOutput().count('\n'), 3);
}

TEST_F(UrlMode, StandardInputGoesThroughTheIntakeAndKeepsItsOrder) {
  // The first site answers last; it is still printed first. Bare host names
  // get "http://", blank lines are skipped, a repeated line is a record.
  const std::string hostPort = "127.0.0.1:" + std::to_string(site.Port());
  const QByteArray input = QByteArray::fromStdString("  " + hostPort + "/slow/first \r\n\n \t\n" + hostPort +
                                                     "/p/b\n" + hostPort + "/p/b\n");
  const Outcome o = RunCli({QStringLiteral("--format"), QStringLiteral("txt")}, input);
  EXPECT_EQ(o.exitCode, 0);
  const std::string http = "http://" + hostPort;
  EXPECT_EQ(o.out.toStdString(),
            http + "/slow/first,Plat-first\n" + http + "/p/b,Plat-b\n" + http + "/p/b,Plat-b\n");
  // The default user agent is item 1 of the window's list, for both requests.
  for (const SiteRequest& r : site.Requests()) EXPECT_EQ(r.headers.at("user-agent"), kItemOneAgent);
}

TEST_F(UrlMode, OutputFileIsTheExportFile) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("out.csv"));
  const Outcome o = RunCli({QStringLiteral("--output"), file, U("/two"), U("/p/a")});
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_TRUE(o.out.isEmpty());
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("\xEF\xBB\xBF") + (U("/two") + ",\"Alpha, Beta\"\r\n" + U("/p/a") + ",Plat-a\r\n").toUtf8());

  // No URL at all: the three mark bytes, as the export of an empty list.
  const QString empty = dir.filePath(QStringLiteral("empty.txt"));
  EXPECT_EQ(RunCli({QStringLiteral("--format"), QStringLiteral("txt"), QStringLiteral("--output"), empty}).exitCode, 0);
  QFile e(empty);
  ASSERT_TRUE(e.open(QIODevice::ReadOnly));
  EXPECT_EQ(e.readAll(), QByteArray("\xEF\xBB\xBF"));
}

TEST_F(UrlMode, BadOptionsAndUnwritableOutputExitWithTwo) {
  QTemporaryDir dir;
  const QStringList cases[] = {
      {QStringLiteral("--format"), QStringLiteral("xml"), U("/p/a")},
      {QStringLiteral("--threads"), QStringLiteral("0"), U("/p/a")},
      {QStringLiteral("--threads"), QStringLiteral("many"), U("/p/a")},
      {QStringLiteral("--connect-timeout"), QStringLiteral("soon"), U("/p/a")},
      {QStringLiteral("--response-timeout"), QStringLiteral("-1"), U("/p/a")},
      {QStringLiteral("--bogus"), U("/p/a")},
      {U("/p/a"), QStringLiteral("--output")},
      {QStringLiteral("--output"), dir.filePath(QStringLiteral("no/such/folder/out.csv")), U("/p/a")},
      {QStringLiteral("--output"), dir.filePath(QStringLiteral("no/such/folder/out.xlsx")), QStringLiteral("--format"),
       QStringLiteral("xlsx"), U("/p/a")},
      {QStringLiteral("--format"), QStringLiteral("xlsx"), U("/p/a")},  // a workbook is never printed
      {QStringLiteral("--format"), QStringLiteral("xls"), U("/p/a")},
      {QStringLiteral("--resume"), dir.filePath(QStringLiteral("r.csv")), QStringLiteral("--output"),
       dir.filePath(QStringLiteral("o.csv")), U("/p/a")},
      {QStringLiteral("--resume"), dir.filePath(QStringLiteral("r.txt")), QStringLiteral("--format"),
       QStringLiteral("txt"), U("/p/a")},
      {QStringLiteral("--resume"), dir.filePath(QStringLiteral("no/such/folder/r.csv")), U("/p/a")},
      {QStringLiteral("--proxy"), QStringLiteral("ftp://127.0.0.1:1"), U("/p/a")},
      {QStringLiteral("--proxy"), QStringLiteral("http://alice:pw@127.0.0.1:1"), U("/p/a")},
      {QStringLiteral("--proxy"), QStringLiteral("env"), QStringLiteral("--proxy-user"), QStringLiteral("alice"), U("/p/a")},
      {QStringLiteral("--proxy-user"), QStringLiteral("alice"), U("/p/a")},
      {QStringLiteral("--output"), dir.path(), U("/p/a")},
  };
  for (const QStringList& args : cases) {
    const Outcome o = RunCli(args);
    EXPECT_EQ(o.exitCode, 2) << args.join(u' ').toStdString();
    EXPECT_TRUE(o.out.isEmpty()) << args.join(u' ').toStdString();
    EXPECT_EQ(o.err.count('\n'), 1) << o.err.toStdString();
  }
  // A folder is refused before any site is asked, and says why.
  EXPECT_TRUE(RunCli({QStringLiteral("--output"), dir.path(), U("/p/a")}).err.contains(": Is a directory\n"));
  EXPECT_EQ(site.RequestCount(), 0);
}

TEST_F(UrlMode, ExtraSignaturesAddToTheRecordsAndAFaultyFileFetchesNothing) {
  const QString ghost = U("/p/ghost");
  EXPECT_EQ(RunCli({QStringLiteral("--format"), QStringLiteral("txt"), ghost}).out.toStdString(),
            (ghost + ",Plat-ghost\n").toStdString());
  const Outcome o = RunCli({QStringLiteral("--extra"), QStringLiteral("--format"), QStringLiteral("txt"), ghost});
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  EXPECT_EQ(o.out.toStdString(), (ghost + ",Ghost CMS, Plat-ghost\n").toStdString());
  const int requests = site.RequestCount();

  QTemporaryDir dir;
  const QString faulty = dir.filePath(QStringLiteral("mine.txt"));
  QFile file(faulty);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[plain]\nno code\n[regex]\n(:-wp\n");
  file.close();
  const Outcome bad = RunCli({QStringLiteral("--extra"), QStringLiteral("--signatures"), faulty, ghost});
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_TRUE(bad.out.isEmpty());
  EXPECT_EQ(bad.err.toStdString(), (faulty + ":2: entry without \":-\" and a platform code\n" + faulty +
                                    ":4: expression of the entry does not compile: missing closing parenthesis at offset 1\n")
                                       .toStdString());
  EXPECT_EQ(site.RequestCount(), requests);
}

// An expression of the user's that runs away on a page stops at its limit:
// the run goes on (minutes per site before), each such record names it, and
// standard error says so once for the whole run.
TEST_F(UrlMode, RunawayExpressionStopsAtItsLimitAndIsReportedOnce) {
  QTemporaryDir dir;
  const QString mine = dir.filePath(QStringLiteral("mine.txt"));
  QFile file(mine);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[regex]\n[a-z]*[a-z]*=:-ghost\n");
  file.close();
  const QStringList urls{U("/letters/a"), U("/p/b"), U("/letters/c")};
  const Outcome o = RunCli(QStringList{QStringLiteral("--signatures"), mine, QStringLiteral("--format"),
                                       QStringLiteral("jsonl")} + urls);
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  const QList<QByteArray> lines = o.out.split('\n');
  ASSERT_EQ(lines.size(), 4) << o.out.toStdString();
  const QByteArray stopped = ",\"stopped\":[{\"entry\":1,\"file\":\"" + mine.toUtf8() + "\",\"line\":2}]}";
  EXPECT_TRUE(lines[0].endsWith(stopped)) << lines[0].left(300).toStdString();
  EXPECT_FALSE(lines[1].contains("stopped")) << lines[1].toStdString();
  EXPECT_TRUE(lines[2].endsWith(stopped));
  EXPECT_EQ(o.err.toStdString(),
            ("lumasift-cli: warning: expression 1 (" + mine + " line 2) stopped at its limit on " + urls[0] +
             "; a site where an expression stops is identified as if it had not matched (--explain names them; "
             "this warning is not repeated)\n")
                .toStdString());

  const Outcome explained = RunCli({QStringLiteral("--signatures"), mine, QStringLiteral("--explain"), urls[2]});
  EXPECT_EQ(explained.exitCode, 0);
  EXPECT_TRUE(explained.out.contains(("\n  expression 1 (" + mine + " line 2) stopped at its limit\n").toUtf8()))
      << explained.out.toStdString();
}

TEST_F(UrlMode, WithExtrasALinkCountsOnlyToItsOwnSite) {
  const QString own = U("/links/own"), other = U("/links/other");
  const Outcome plain = RunCli({QStringLiteral("--format"), QStringLiteral("txt"), own, other});
  EXPECT_EQ(plain.out.toStdString(), (own + ",WordPress, Plat-own\n" + other + ",WordPress, Plat-other\n").toStdString());
  const Outcome o = RunCli({QStringLiteral("--extra"), QStringLiteral("--format"), QStringLiteral("txt"), own, other});
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  EXPECT_EQ(o.out.toStdString(), (own + ",WordPress, Plat-own\n" + other + ",Plat-other\n").toStdString());
}

// A named pipe given as the output file gets the records and stays a pipe
// (renaming a finished file over it would have replaced it).
TEST_F(UrlMode, OutputIntoANamedPipe) {
  QTemporaryDir dir;
  const QString pipe = dir.filePath(QStringLiteral("pipe"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  QProcess* process = Start({QStringLiteral("--format"), QStringLiteral("txt"), QStringLiteral("--output"), pipe,
                             U("/p/a"), U("/p/b")});
  process->closeWriteChannel();
  testsupport::TPipeReader reader(pipe);
  ASSERT_TRUE(reader.Opened());
  const Outcome o = Finish(process);
  const QByteArray received = reader.Finish();
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  EXPECT_EQ(received, QByteArray("\xEF\xBB\xBF") + (U("/p/a") + ",Plat-a\r\n" + U("/p/b") + ",Plat-b\r\n").toUtf8());
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(pipe).constData(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList({"pipe"}));
}

TEST_F(UrlMode, CtrlCStopsLikeStop) {
  QStringList urls;
  for (int i = 0; i < 5; ++i) urls << U("/hold/h" + std::to_string(i));
  QProcess* process = Start(QStringList{QStringLiteral("--threads"), QStringLiteral("2")} + urls);
  process->closeWriteChannel();
  for (int i = 0; i < 2000 && site.Held() < 2; ++i) QThread::msleep(5);
  ASSERT_EQ(site.Held(), 2);
  ::kill(static_cast<pid_t>(process->processId()), SIGINT);
  QThread::msleep(100);
  site.Release();
  const Outcome o = Finish(process);
  EXPECT_EQ(o.exitCode, 130);
  // The two jobs in progress finish; the records never started are printed
  // with an empty platforms text.
  EXPECT_EQ(o.out.toStdString(), (urls[0] + ",Plat-h0\n" + urls[1] + ",Plat-h1\n" + urls[2] + ",\n" + urls[3] +
                                  ",\n" + urls[4] + ",\n")
                                     .toStdString());
}

TEST(UrlModeThreads, JobsAtOnceFollowTheOption) {
  struct Case {
    const char* threads;
    int expected;
  } cases[] = {{"1", 1}, {"3", 3}};
  for (const auto& c : cases) {
    RunSite site(Answer);
    QStringList args{QStringLiteral("--threads"), QString::fromLatin1(c.threads)};
    for (int i = 0; i < 6; ++i) args << Q(site.Url("/hold/s" + std::to_string(i)));
    QProcess* process = Start(args);
    process->closeWriteChannel();
    // Held until the expected number are in progress; a moment later no
    // further one may have come.
    for (int i = 0; i < 4000 && site.Held() < c.expected; ++i) QThread::msleep(5);
    QThread::msleep(200);
    EXPECT_EQ(site.Held(), c.expected) << c.threads;
    site.Release();
    const Outcome o = Finish(process);
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.out.count('\n'), 6);
    EXPECT_EQ(site.MaxInProgress(), c.expected) << c.threads;
  }
}

TEST_F(UrlMode, ProxyOptionWithUserAndPasswordFromTheEnvironment) {
  if (!testsupport::ProxyServer::Installed(testsupport::ProxyServer::Kind::Http)) GTEST_SKIP() << "no tinyproxy";
  testsupport::ProxyServer proxy({testsupport::ProxyServer::Kind::Http, "alice", "s3cret"});
  ASSERT_TRUE(proxy.Started()) << proxy.Problem();
  testsupport::ScopedEnv environment;
  environment.ClearProxyVariables();
  const QStringList through = {QStringLiteral("--format"), QStringLiteral("txt"), QStringLiteral("--proxy"),
                               Q(proxy.Url()), QStringLiteral("--proxy-user"), QStringLiteral("alice"), U("/p/a")};

  environment.Set("LUMASIFT_PROXY_PASSWORD", "s3cret");
  Outcome o = RunCli(through);
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  EXPECT_EQ(o.out, (U("/p/a") + QStringLiteral(",Plat-a\n")).toUtf8());
  EXPECT_TRUE(proxy.Saw(site.Port())) << proxy.Log();
  EXPECT_EQ(site.RequestCount(), 2);

  // env: the variables steer it, and no_proxy sends the site direct.
  environment.Set("http_proxy", proxy.Url().c_str());
  o = RunCli({QStringLiteral("--format"), QStringLiteral("txt"), QStringLiteral("--proxy"), QStringLiteral("env"),
              U("/p/b")});
  EXPECT_EQ(o.out, (U("/p/b") + QStringLiteral(",Error: Proxy requires authentication.\n")).toUtf8());
  environment.Set("no_proxy", "localhost,127.0.0.1");
  const int before = site.RequestCount();
  o = RunCli({QStringLiteral("--format"), QStringLiteral("txt"), QStringLiteral("--proxy"), QStringLiteral("env"),
              U("/p/c")});
  EXPECT_EQ(o.out, (U("/p/c") + QStringLiteral(",Plat-c\n")).toUtf8());
  EXPECT_EQ(site.RequestCount(), before + 2);
  EXPECT_EQ(proxy.Log().find(":" + std::to_string(site.Port()) + "/p/c"), std::string::npos) << proxy.Log();

  // The default: direct, whatever the variables say.
  o = RunCli({QStringLiteral("--format"), QStringLiteral("txt"), U("/p/d")});
  EXPECT_EQ(o.out, (U("/p/d") + QStringLiteral(",Plat-d\n")).toUtf8());
  EXPECT_EQ(proxy.Log().find("/p/d"), std::string::npos);
}

namespace {

// /wp: a page with a generator; /moved: a redirect to /gone, which is 404.
SiteReply EvidenceAnswer(const SiteRequest& request) {
  SiteReply reply;
  if (request.path == "/moved") {
    reply.status = 301;
    reply.reason = "Moved Permanently";
    reply.headers.push_back({"Location", "/gone"});
  } else if (request.path == "/gone") {
    reply.status = 404;
    reply.reason = "Not Found";
  } else {
    reply.headers.push_back({"Content-Type", "text/html"});
    reply.headers.push_back({"Server", "nginx"});
    reply.body = "<meta name=\"generator\" content=\"WordPress 6.4.2\">\n<link href=\"/wp-content/a.css\">\n";
  }
  return reply;
}

TEST(UrlModeEvidence, ExplainBlocksNameTheFindingsAndWhereAFailedFetchEnded) {
  RunSite site(EvidenceAnswer);
  const QString wp = Q(site.Url("/wp")), moved = Q(site.Url("/moved"));
  const Outcome o = RunCli({QStringLiteral("--explain"), QStringLiteral("--threads"), QStringLiteral("1"), wp, moved});
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  const QString blocks = wp + "\n"
                                       "  Platforms: WordPress, nginx\n"
                                       "  Versions: WordPress 6.4.2\n"
                                       "  WordPress: plain entry 1, offset 63\n"
                                       "    content=\"WordPress 6.4.2\">\u23CE<link href=\"[[/wp-content/]]a.css\">\u23CE\n"
                                       "  nginx: header Server\n"
                                       "    Server: nginx\n"
                                       "\n" +
                                  moved + "\n"
                                          "  Error: HTTP/1.1 404 Not Found\n"
                                          "  Ended at: " + Q(site.Url("/gone")) + "\n";
  EXPECT_EQ(o.out.toStdString(), blocks.toStdString());

  // Into a file, as the export writes its lines: mark first, CR LF.
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("why.txt"));
  const Outcome f = RunCli({QStringLiteral("--explain"), QStringLiteral("--output"), file, wp, moved});
  EXPECT_EQ(f.exitCode, 0) << f.err.toStdString();
  EXPECT_TRUE(f.out.isEmpty());
  QFile written(file);
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  EXPECT_EQ(written.readAll(), QByteArray("\xEF\xBB\xBF") + QString(blocks).replace(u'\n', QLatin1String("\r\n")).toUtf8());
}

// An international host reads as it was written ("Ended at" too), never as
// its UTF-8 bytes taken one by one; *.localhost is loopback without a name
// server.
TEST(UrlModeEvidence, ExplainShowsInternationalHostsAsWritten) {
  RunSite site(EvidenceAnswer);
  const QString port = QString::number(site.Port());
  for (const QString& host : {QStringLiteral("b\u00FCcher.localhost"), QStringLiteral("\u043A\u043D\u0438\u0433\u0438.localhost")}) {
    const QString url = QStringLiteral("http://%1:%2/moved").arg(host, port);
    const Outcome o = RunCli({QStringLiteral("--explain"), url});
    EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(o.out), url + QStringLiteral("\n  Error: HTTP/1.1 404 Not Found\n  Ended at: http://") + host +
                                            u':' + port + QStringLiteral("/gone\n"));
  }
}

}  // namespace

namespace {

// Texts a hostile site controls: /forge, a page that begins like a failure
// and carries a record line of its own; /esc, ESC sequences, a bell and a C1
// control in header values and around a signature; /status, a status line
// with ESC.
SiteReply HostileAnswer(const SiteRequest& request) {
  SiteReply reply;
  reply.headers.push_back({"Content-Type", "text/html"});
  if (request.path == "/forge") {
    reply.body = "Error: x\nhttp://bank.example/,WordPress\n";
  } else if (request.path == "/esc") {
    reply.headers.push_back({"Server", "x\x1b]0;pwned\x07y"});
    reply.headers.push_back({"X-Powered-By", "a\x9b" "31mb"});
    reply.body = "<link href=\"/wp-content/\x1b]8;;http://evil.example/\x1b\\\">";
  } else {
    reply.status = 404;
    reply.reason = "Not\x1b[2JFound";
  }
  return reply;
}

// The output's characters other than the line feeds that end its lines:
// none may be a control character (C0 but the tab, DEL, C1).
std::string ControlsIn(const QByteArray& out) {
  std::string found;
  for (const QChar c : QString::fromUtf8(out)) {
    const char16_t u = c.unicode();
    if (u != u'\n' && ((u < 0x20 && u != u'\t') || (u >= 0x7f && u <= 0x9f))) found += std::to_string(u) + " ";
  }
  return found;
}

}  // namespace

TEST(UrlModeHostileSite, SiteTextsNeitherForgeRecordsNorReachTheTerminal) {
  RunSite site(HostileAnswer);
  const QString forge = Q(site.Url("/forge")), esc = Q(site.Url("/esc")), status = Q(site.Url("/status"));
  // A URL from the input with a control sequence of its own.
  const QString input = Q(site.Url("/p/q\x1b[31m"));
  const QStringList urls = {forge, esc, status, input};
  const QString inputShown = Q(site.Url("/p/q\\u001b[31m"));
  const QString escPlatforms = QStringLiteral("WordPress, x\\u001b]0;pwned\\u0007y, a\\u009b31mb");

  Outcome o = RunCli(QStringList{QStringLiteral("--format"), QStringLiteral("txt")} + urls);
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  const QByteArray first = (forge + ",\n" + esc + "," + escPlatforms + "\n" + status +
                            ",Error: HTTP/1.1 404 Not\\u001b[2JFound\n" + inputShown + ",Error: ").toUtf8();
  EXPECT_EQ(o.out.left(first.size()).toStdString(), first.toStdString());
  EXPECT_EQ(o.out.count('\n'), 4);
  EXPECT_EQ(ControlsIn(o.out), "");

  o = RunCli(QStringList{QStringLiteral("--format"), QStringLiteral("csv")} + urls);
  EXPECT_TRUE(o.out.startsWith((forge + ",\n" + esc + ",\"" + escPlatforms + "\"\n").toUtf8())) << o.out.toStdString();
  EXPECT_EQ(o.out.count('\n'), 4);
  EXPECT_EQ(ControlsIn(o.out), "");

  // jsonl: the page that begins with "Error: " is no failure.
  o = RunCli(QStringList{QStringLiteral("--format"), QStringLiteral("jsonl")} + urls);
  const QList<QByteArray> lines = o.out.split('\n');
  ASSERT_EQ(lines.size(), 5);
  EXPECT_TRUE(lines[0].startsWith(("{\"url\":\"" + forge + "\",\"platforms\":[],\"error\":null,").toUtf8()))
      << lines[0].toStdString();
  EXPECT_NE(lines[1].indexOf("\"x\\u001b]0;pwned\\u0007y\",\"a\\u009b31mb\""), -1) << lines[1].toStdString();
  EXPECT_NE(lines[2].indexOf("\"error\":\"HTTP/1.1 404 Not\\u001b[2JFound\""), -1) << lines[2].toStdString();
  EXPECT_EQ(ControlsIn(o.out), "");

  // --explain: the context around a match, the header lines, the URL.
  o = RunCli(QStringList{QStringLiteral("--explain")} + urls);
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(ControlsIn(o.out), "");
  EXPECT_NE(o.out.indexOf((forge + "\n  Platforms: \n  Nothing matched.\n\n").toUtf8()), -1) << o.out.toStdString();
  EXPECT_NE(o.out.indexOf("    <link href=\"[[/wp-content/]]\\u001b]8;;http://evil.example/\\u001b\\\">\u23CE\n"), -1)
      << o.out.toStdString();
  EXPECT_NE(o.out.indexOf("    Server: x\\u001b]0;pwned\\u0007y\n"), -1);
  EXPECT_NE(o.out.indexOf(("\n" + inputShown + "\n").toUtf8()), -1);
}

namespace {

// The tool with its standard output on /dev/full, so that every write fails.
Outcome RunIntoFullDisk(const QStringList& arguments, const QByteArray& input = QByteArray()) {
  EnsureApplication();
  auto* process = new QProcess;
  process->setStandardOutputFile(QStringLiteral("/dev/full"));
  process->start(QStringLiteral(LUMASIFT_CLI_PATH), arguments);
  EXPECT_TRUE(process->waitForStarted(10000));
  if (!input.isEmpty()) process->write(input);
  process->closeWriteChannel();
  return Finish(process);
}

}  // namespace

// Every write to standard output is checked: a full disk is an error, not
// records silently lost, and a run whose records cannot be written stops.
TEST_F(UrlMode, WriteErrorsOnStandardOutputExitWithTwo) {
  QTemporaryDir dir;
  const QString page = dir.filePath(QStringLiteral("page.html")), signatures = dir.filePath(QStringLiteral("s.txt"));
  const QString records = dir.filePath(QStringLiteral("records.csv"));
  const QString archive = dir.filePath(QStringLiteral("a.warc"));
  for (const auto& [path, bytes] : {std::pair{page, QByteArray("<a href=\"/wp-content/\">")},
                                    std::pair{signatures, QByteArray("[plain]\nnewcms-marker:-wp\n")},
                                    std::pair{records, QByteArray("http://a.example/,WordPress\r\n")},
                                    std::pair{archive, QByteArray::fromStdString(testsupport::ResponseRecord(
                                                           "http://a.example/", testsupport::HttpAnswer("<html>a</html>")))}}) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  QStringList many{QStringLiteral("--threads"), QStringLiteral("1")};
  for (int i = 0; i < 20; ++i) many << U("/p/s" + std::to_string(i));
  const QStringList cases[] = {
      {QStringLiteral("--version")},
      {QStringLiteral("--help")},
      {QStringLiteral("--page"), page},
      {QStringLiteral("--page"), page, QStringLiteral("--explain")},
      {QStringLiteral("--check-signatures"), signatures},
      {QStringLiteral("--format"), QStringLiteral("jsonl"), U("/p/a")},
      {QStringLiteral("--explain"), U("/p/a")},
      {QStringLiteral("--summary"), U("/p/a")},
      {QStringLiteral("--summarize"), records},
      {QStringLiteral("--pages"), page},
      {QStringLiteral("--warc"), archive},
      many,
  };
  for (const QStringList& args : cases) {
    const Outcome o = RunIntoFullDisk(args);
    EXPECT_EQ(o.exitCode, 2) << args.join(u' ').toStdString();
    EXPECT_EQ(o.err.toStdString(), "lumasift-cli: Error writing standard output: No space left on device\n")
        << args.join(u' ').toStdString();
  }
  // The long list stopped at its first record instead of fetching every site.
  EXPECT_LT(site.RequestCount(), 2 * 20 - 4);
  // Standard input's list too.
  const Outcome o = RunIntoFullDisk({}, (U("/p/in") + QLatin1Char('\n')).toUtf8());
  EXPECT_EQ(o.exitCode, 2);
}

// Started with its standard descriptors closed, the tool neither hangs nor
// writes where it should not: a closed standard input is an empty list.
TEST_F(UrlMode, ClosedStandardDescriptorsAreAnEmptyInputAndNoOutput) {
  EnsureApplication();
  for (const int closed : {0, 1, 2}) {
    QProcess process;
    process.setChildProcessModifier([closed] { ::close(closed); });
    process.start(QStringLiteral(LUMASIFT_CLI_PATH), closed == 0 ? QStringList() : QStringList{U("/p/a")});
    ASSERT_TRUE(process.waitForStarted(10000));
    const bool ended = process.waitForFinished(20000);
    EXPECT_TRUE(ended) << "descriptor " << closed;
    if (!ended) process.kill(), process.waitForFinished();
    EXPECT_EQ(process.exitCode(), 0) << "descriptor " << closed;
    const QByteArray record = (U("/p/a") + ",Plat-a\n").toUtf8();
    EXPECT_EQ(process.readAllStandardOutput(), closed == 2 ? record : QByteArray()) << "descriptor " << closed;
  }
  EXPECT_EQ(site.RequestCount(), 4);
}

// Input lines that are no URL to fetch get a record with an error, in their
// place, and are never fetched: a line longer than 64 KiB (never held whole),
// a URL with a NUL or another control character (once fetched cut at the
// NUL), an impossible port. A scheme in capitals is the scheme.
TEST_F(UrlMode, InputLinesThatAreNoUrlGetAnErrorRecord) {
  const std::string hostPort = "127.0.0.1:" + std::to_string(site.Port());
  const QByteArray longLine = QByteArray::fromStdString("  http://" + hostPort + "/") + QByteArray(1 << 20, 'a');
  const QByteArray input = QByteArray::fromStdString("http://" + hostPort + "/p/first\n") + longLine + "\n" +
                           QByteArray::fromStdString("http://" + hostPort + "/p/a") + QByteArray(1, '\0') + "evil\n" +
                           QByteArray::fromStdString("HTTP://" + hostPort + "/p/upper\n") +
                           "http://127.0.0.1:99999/\n" + longLine;  // the last line without LF
  const Outcome o = RunCli({QStringLiteral("--format"), QStringLiteral("txt")}, input);
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  const QList<QByteArray> lines = o.out.split('\n');
  ASSERT_EQ(lines.size(), 7) << o.out.left(300).toStdString();
  const QByteArray cut = longLine.mid(2, 64 * 1024);
  EXPECT_EQ(lines[0].toStdString(), "http://" + hostPort + "/p/first,Plat-first");
  EXPECT_EQ(lines[1], cut + ",Error: URL longer than 65536 bytes.");
  EXPECT_EQ(lines[2].toStdString(), "http://" + hostPort + "/p/a\\u0000evil,Error: URL contains a control character.");
  EXPECT_EQ(lines[3].toStdString(), "http://" + hostPort + "/p/upper,Plat-upper");
  EXPECT_EQ(lines[4].toStdString(), "http://127.0.0.1:99999/,Error: Invalid port number.");
  EXPECT_EQ(lines[5], cut + ",Error: URL longer than 65536 bytes.");
  EXPECT_EQ(site.RequestCount(), 4);  // /p/first and /p/upper, page and probe each

  // The same cap for a URL on the command line.
  const QString longArgument = U("/") + QString(70'000, u'b');
  const Outcome a = RunCli({QStringLiteral("--format"), QStringLiteral("jsonl"), longArgument});
  EXPECT_TRUE(a.out.startsWith("{\"url\":\"" + longArgument.left(64 * 1024).toUtf8() +
                               "\",\"platforms\":[],\"error\":\"URL longer than 65536 bytes.\""))
      << a.out.left(200).toStdString();
  EXPECT_EQ(site.RequestCount(), 4);
}
