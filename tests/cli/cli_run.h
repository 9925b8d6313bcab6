#pragma once
// Shared by the URL-mode tests: the loopback site's answers and running the
// built tool as a program.
#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <string>

#include "support/run_site.h"

namespace cli_test {

using testsupport::RunSite;
using testsupport::SiteReply;
using testsupport::SiteRequest;


inline constexpr const char* kItemOneAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/100.0.4896.127 Safari/537.36";

// /links/own, /links/other: WordPress by a link to its own or another site's
// uploads (and Plat-own, Plat-other);
// /p/<name>: platform "Plat-<name>" (/p/ghost: also a page only the shipped
// extra signatures know); /two: two platforms; /formula: a header
// value a spreadsheet would take for a formula; /quote: one with quotes;
// /slow/<name>, /hold/<name>: as /p/ after 150 ms or once let go;
// /letters/<name>: as /p/ with a megabyte of letters as the page;
// /missing: 404.
inline SiteReply Answer(const SiteRequest& request) {
  SiteReply reply;
  const std::string& path = request.path;
  if (path == "/missing") {
    reply.status = 404;
    reply.reason = "Not Found";
    return reply;
  }
  reply.headers.push_back({"Content-Type", "text/html"});
  reply.body = "<html><head><title>t</title></head><body>nothing to see</body></html>";
  if (path == "/two") {
    reply.headers.push_back({"X-Powered-By", "Alpha"});
    reply.headers.push_back({"X-Powered-By", "Beta"});
  } else if (path == "/formula") {
    reply.headers.push_back({"X-Powered-By", "=1+2"});
  } else if (path == "/quote") {
    reply.headers.push_back({"X-Powered-By", "say \"hi\""});
  } else {
    reply.headers.push_back({"X-Powered-By", "Plat-" + path.substr(path.rfind('/') + 1)});
  }
  // A file under another site's (or this site's own) WordPress uploads.
  if (path == "/links/own" || path == "/links/other") {
    const auto host = request.headers.find("host");
    const std::string site = path == "/links/own" && host != request.headers.end() ? host->second : "files.other.example";
    reply.body = "<html><body><a href=\"http://" + site + "/wp-content/uploads/a.pdf\">a</a></body></html>";
  }
  if (path == "/p/ghost") reply.body = "<html><head><meta name=\"generator\" content=\"Ghost 5.2\"></head></html>";
  // A megabyte of letters, then ";=": minutes for "[a-z]*[a-z]*=" without limits.
  if (path.starts_with("/letters/")) reply.body = "<html>" + std::string(1 << 20, 'q') + ";=</html>";
  if (path.starts_with("/slow/")) reply.delayMs = 150;
  if (path.starts_with("/hold/")) reply.hold = true;
  return reply;
}

inline void EnsureApplication() {
  static int argc = 1;
  static char name[] = "cli_tests";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

struct Outcome {
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
};

inline QProcess* Start(const QStringList& arguments) {
  EnsureApplication();
  auto* process = new QProcess;
  process->start(QStringLiteral(LUMASIFT_CLI_PATH), arguments);
  EXPECT_TRUE(process->waitForStarted(10000));
  return process;
}

inline Outcome Finish(QProcess* process) {
  Outcome o;
  EXPECT_TRUE(process->waitForFinished(60000));
  o.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
  o.out = process->readAllStandardOutput();
  o.err = process->readAllStandardError();
  delete process;
  return o;
}

inline Outcome RunCli(const QStringList& arguments, const QByteArray& input = QByteArray()) {
  QProcess* process = Start(arguments);
  if (!input.isEmpty()) process->write(input);
  process->closeWriteChannel();
  return Finish(process);
}

inline QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace cli_test
