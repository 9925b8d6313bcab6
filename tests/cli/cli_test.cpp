// lumasift-cli run as a program: files in a private temporary folder.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <string>

namespace {

struct Outcome {
  int exitCode = -1;
  std::string out, err;
};

class CliTool : public testing::Test {
 protected:
  QTemporaryDir dir;

  QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }

  static Outcome Run(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(LUMASIFT_CLI_PATH), arguments);
    EXPECT_TRUE(process.waitForFinished(30000));
    Outcome o;
    o.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    o.out = process.readAllStandardOutput().toStdString();
    o.err = process.readAllStandardError().toStdString();
    return o;
  }
};

TEST_F(CliTool, PrintsThePlatformsTextOfPageAndHeaders) {
  const auto page = Write("page.html", "<html>\n<link href=\"/wp-content/themes/a.css\">\n</html>\n");
  const auto headers = Write("headers.txt", "Content-Type: text/html\nServer: nginx\nX-Powered-By: PHP/8.2\n");
  const auto o = Run({"--page", page, "--headers", headers});
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.out, "WordPress, nginx, PHP/8.2\n");
  EXPECT_EQ(o.err, "");
  // Without headers, and with the "--name=value" spelling.
  EXPECT_EQ(Run({"--page=" + page}).out, "WordPress\n");
}

TEST_F(CliTool, DecodesUtf8WhenValidAndBytesOtherwise) {
  const struct {
    QByteArray bytes;
    std::string expected;
  } cases[] = {
      {"<p>Redak\xC4\x8Dn\xC3\xAD syst\xC3\xA9m IPO</p>", "IPO CMS\n"},           // valid UTF-8
      {"\xEF\xBB\xBF<p>Redak\xC4\x8Dn\xC3\xAD syst\xC3\xA9m IPO</p>", "IPO CMS\n"},  // with a byte-order mark
      {"<p>Redak\xE8n\xED syst\xE9m IPO</p>", "\n"},  // another code page: one character per byte, no match
      {"<p>PHP-Nuke Copyright \xA9 2024</p>", "PHP Nuke\n"},  // ISO-8859-1: 0xA9 is the copyright sign
  };
  for (const auto& c : cases) {
    const auto o = Run({"--page", Write("page.html", c.bytes)});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.out, c.expected) << c.bytes.toStdString();
  }
}

TEST_F(CliTool, NormalisesLinesLikeThePageFetch) {
  // Bare CR and LF become line breaks: the lazy run may not cross them.
  EXPECT_EQ(Run({"--page", Write("a.html", "Powered by <a href=x>\rJForum</a>")}).out, "\n");
  EXPECT_EQ(Run({"--page", Write("b.html", "Powered by <a href=x>JForum</a>")}).out, "JForum\n");
  // Only the text before the first NUL counts.
  EXPECT_EQ(Run({"--page", Write("c.html", QByteArray("<p>x</p>\0/wp-content/\n", 23))}).out, "\n");
  // A page whose text begins with "Error: " is a page like any other: only a
  // failed fetch is an error, and a page's text never reaches the output.
  EXPECT_EQ(Run({"--page", Write("d.html", "Error: boom\nhttp://bank.example/,WordPress\n")}).out, "\n");
  EXPECT_EQ(Run({"--page", Write("d2.html", "Error: boom\n<a href=\"/wp-content/\">")}).out, "WordPress\n");
  // Header files with any line ends.
  const auto page = Write("e.html", "<p>plain</p>");
  EXPECT_EQ(Run({"--page", page, "--headers", Write("h.txt", "Server: a\rServer: b\r\nPowered-By: c")}).out,
            "a, b, c\n");
}

TEST_F(CliTool, UnreadableFileIsReportedOnStandardError) {
  const auto page = Write("page.html", "/wp-content/");
  const QString missing = dir.filePath("missing.html");
  for (const QStringList& arguments : {QStringList{"--page", missing}, QStringList{"--page", page, "--headers", missing},
                                       QStringList{"--page", dir.path()}}) {
    const auto o = Run(arguments);
    EXPECT_EQ(o.exitCode, 2);
    EXPECT_EQ(o.out, "");
    ASSERT_FALSE(o.err.empty());
    EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << "one line: " << o.err;
    EXPECT_NE(o.err.find(arguments.back().toStdString()), std::string::npos) << "names the file: " << o.err;
  }
}

TEST_F(CliTool, ChecksSignatureFilesWithoutFetching) {
  const auto good = Write("good.txt", "\xEF\xBB\xBF# mine\r\n[platforms]\r\nnewcms,New CMS,https://new.example/\r\n"
                                      "[plain]\r\n/newcms/assets/:-newcms\r\n[regex]\r\nghost-(\\d+):-ghost\r\n"
                                      "[generator]\r\nNew CMS:-newcms\r\n");
  const auto bad = Write("bad.txt", "[plain]\nno code here\n[regex]\nx(:-wp\n");
  const QString missing = dir.filePath("missing.txt");
  const std::string kGoodSummary = ": 1 platforms, 1 plain entries, 1 regular-expression entries, 1 generator entries\n";

  auto o = Run({"--check-signatures", good});
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.out, good.toStdString() + kGoodSummary);
  EXPECT_EQ(o.err, "");

  // Every file is checked; one with faults makes the exit status 2. (A URL
  // among the files would be a missing file: nothing is fetched.)
  o = Run({"--check-signatures", bad, good, missing, "http://127.0.0.1:1/"});
  EXPECT_EQ(o.exitCode, 2);
  EXPECT_EQ(o.out, good.toStdString() + kGoodSummary);
  EXPECT_EQ(o.err, bad.toStdString() + ":2: entry without \":-\" and a platform code\n" + bad.toStdString() +
                       ":4: expression of the entry does not compile: missing closing parenthesis at offset 2\n" +
                       missing.toStdString() + ": cannot read: No such file or directory\n" +
                       "http://127.0.0.1:1/: cannot read: No such file or directory\n");
}

TEST_F(CliTool, ExtraSignaturesWithAPage) {
  // Only the shipped set knows this page; the built-in tables know the header.
  const auto page = Write("page.html", "<meta name=\"generator\" content=\"TYPO3 CMS\" />\n<p>shared-marker</p>\n");
  const auto headers = Write("headers.txt", "Server: nginx\n");
  const auto mine = Write("mine.txt", "[platforms]\nnewcms,New CMS,https://new.example/\n[plain]\nshared-marker:-newcms\n");
  const struct {
    QStringList extras;
    std::string expected;
  } cases[] = {
      {{}, "nginx\n"},
      {{"--extra"}, "TYPO3 CMS, nginx\n"},
      {{"--signatures", mine}, "New CMS, nginx\n"},
      // The shipped set comes first, whatever the order on the command line.
      {{"--signatures", mine, "--extra"}, "TYPO3 CMS, nginx\n"},
  };
  for (const auto& c : cases) {
    const auto o = Run(c.extras + QStringList{"--page", page, "--headers", headers});
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, c.expected) << c.extras.join(' ').toStdString();
  }
  const auto missing = dir.filePath("missing.txt");
  const auto o = Run({"--signatures", missing, "--page", page});
  EXPECT_EQ(o.exitCode, 2);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, missing.toStdString() + ": cannot read: No such file or directory\n");
}

// With extra signatures, a match inside a link to another site credits
// nothing; --url (else the canonical address) tells which site is the page's.
TEST_F(CliTool, LinksToOtherSitesWithExtrasAndUrl) {
  const auto page = Write("page.html", "<p><a href=\"https://www.shop.example/wp-content/uploads/price-list.pdf\">"
                                       "Price list</a></p>\n");
  const auto canonical = Write("canonical.html", "<link rel=\"canonical\" href=\"https://shop.example/news/\">\n"
                                                 "<a href=\"https://www.shop.example/wp-content/uploads/a.pdf\">a</a>\n");
  const struct {
    QStringList arguments;
    std::string expected;
  } cases[] = {
      {{"--page", page}, "WordPress\n"},  // the built-in tables alone: as ever
      {{"--page", page, "--url", "https://shop.example/"}, "WordPress\n"},
      {{"--extra", "--page", page}, "\n"},  // the page's site unknown: a link elsewhere
      {{"--extra", "--page", page, "--url", "https://news.example/"}, "\n"},
      {{"--extra", "--page", page, "--url", "https://shop.example/about"}, "WordPress\n"},
      {{"--extra", "--page", page, "--url=shop.example"}, "WordPress\n"},  // read as a URL argument is
      {{"--extra", "--page", canonical}, "WordPress\n"},
      {{"--extra", "--page", canonical, "--url", "http://elsewhere.example/"}, "\n"},  // --url goes first
  };
  for (const auto& c : cases) {
    const auto o = Run(c.arguments);
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.out, c.expected) << c.arguments.join(' ').toStdString();
  }
  for (const QStringList& arguments : {QStringList{"--url", "https://shop.example/"},
                                       QStringList{"--url", "https://shop.example/", "https://shop.example/"},
                                       QStringList{"--page", page, "--url", ""},
                                       QStringList{"--check-signatures", "a.txt", "--url", "https://a.example/"}}) {
    const auto o = Run(arguments);
    EXPECT_EQ(o.exitCode, 2) << arguments.join(' ').toStdString();
    EXPECT_EQ(o.out, "");
    EXPECT_FALSE(o.err.empty());
  }
}

TEST_F(CliTool, HelpVersionAndWrongCommandLines) {
  const auto help = Run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--version"), std::string::npos);
  // The version is the project's, as the package states it; --version wins
  // over what follows it, as --help does.
  for (const QStringList& arguments : {QStringList{"--version"}, QStringList{"--version", "--bogus"}}) {
    const auto version = Run(arguments);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "lumasift-cli " LUMASIFT_PROJECT_VERSION "\n");
    EXPECT_EQ(version.err, "");
  }
  EXPECT_NE(help.out.find("--page FILE"), std::string::npos);
  EXPECT_NE(help.out.find("--headers FILE"), std::string::npos);
  EXPECT_NE(help.out.find("--threads N"), std::string::npos);
  // (No arguments at all reads URLs from standard input, and a bare word is
  // a URL: both belong to URL mode's tests.)
  for (const QStringList& arguments :
       {QStringList{"--bogus"}, QStringList{"--page"}, QStringList{"--help=yes"},
        QStringList{"--page", "page.html", "http://127.0.0.1:1/"}, QStringList{"--page", "page.html", "--threads", "2"},
        QStringList{"--headers", "headers.txt"}, QStringList{"--check-signatures"},
        QStringList{"--check-signatures", "a.txt", "--page", "p.html"},
        QStringList{"--check-signatures", "a.txt", "--format", "jsonl"},
        QStringList{"--check-signatures", "a.txt", "--extra"}, QStringList{"--signatures"}}) {
    const auto o = Run(arguments);
    EXPECT_EQ(o.exitCode, 2) << arguments.join(' ').toStdString();
    EXPECT_EQ(o.out, "");
    EXPECT_FALSE(o.err.empty());
  }
}

}  // namespace

namespace {

TEST_F(CliTool, PageJsonlCarriesVersionsAndEvidence) {
  const auto page = Write("wp.html",
                          "<meta name=\"generator\" content=\"WordPress 6.3.1\" />\n"
                          "<link rel=\"stylesheet\" href=\"/wp-content/themes/a.css\">\n");
  const auto headers = Write("h.txt", "Server: nginx\nX-Powered-By: WORDPRESS\n");
  const auto o = Run({"--page", page, "--headers", headers, "--format", "jsonl"});
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.out,
            "{\"platforms\":[\"WordPress\",\"nginx\"],\"error\":null,\"versions\":{\"WordPress\":\"6.3.1\"},"
            "\"evidence\":[{\"platform\":\"WordPress\",\"source\":\"plain\",\"entry\":1,\"match\":\"/wp-content/\","
            "\"offset\":82,\"before\":\"6.3.1\\\" />\u23CE<link rel=\\\"stylesheet\\\" href=\\\"\","
            "\"after\":\"themes/a.css\\\">\u23CE\",\"duplicate\":false},"
            "{\"platform\":\"nginx\",\"source\":\"header\",\"entry\":\"Server\",\"match\":\"nginx\",\"offset\":null,"
            "\"before\":\"\",\"after\":\"\",\"duplicate\":false},"
            "{\"platform\":\"WORDPRESS\",\"source\":\"header\",\"entry\":\"X-Powered-By\",\"match\":\"WORDPRESS\","
            "\"offset\":null,\"before\":\"\",\"after\":\"\",\"duplicate\":true}]}\n");
  // A saved page is never a failure, whatever it begins with; --format txt
  // is the default's text.
  EXPECT_EQ(Run({"--page", Write("e.html", "Error: boom"), "--format", "jsonl"}).out,
            "{\"platforms\":[],\"error\":null,\"versions\":{},\"evidence\":[]}\n");
  EXPECT_EQ(Run({"--page", page, "--format", "txt"}).out, "WordPress\n");
}

TEST_F(CliTool, PageExplainIsOneReadableBlock) {
  const auto page = Write("wp.html",
                          "<meta name=\"generator\" content=\"WordPress 6.3.1\" />\n"
                          "<p>Powered by <a href=\"https://x.example/\">JForum</a></p>\n");
  const auto headers = Write("h.txt", "server: Apache\n");
  const auto o = Run({"--page", page, "--headers", headers, "--explain"});
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.out, page.toStdString() +
                       "\n"
                       "  Platforms: JForum, Apache\n"
                       "  JForum: expression 2, offset 56\n"
                       "    rator\" content=\"WordPress 6.3.1\" />\u23CE<p>[[Powered by <a href=\"https://x.example/\">JForum</a>]]</p>\u23CE\n"
                       "  Apache: header server\n"
                       "    server: Apache\n");
  const auto nothing = Run({"--page", Write("n.html", "<p>plain</p>"), "--explain"});
  EXPECT_EQ(nothing.out, dir.filePath("n.html").toStdString() + "\n  Platforms: \n  Nothing matched.\n");
}

// Findings of a signature file name the file and the line of their entry,
// and say they come from an extra entry, in jsonl and in --explain.
TEST_F(CliTool, ExtraEntriesInTheEvidence) {
  const auto page = Write("p.html", "<p>shared-marker</p>\n<i>ghost-7</i>\n<meta name=generator content=\"Ghost 5.2\">\n");
  const auto mine = Write("mine.txt",
                          "[platforms]\nnewcms,New CMS,https://new.example/\nghostly,Ghostly,https://g.example/\n"
                          "[plain]\n# one comment line\nshared-marker:-newcms\n[regex]\nghost-[0-9]:-ghostly\n"
                          "[generator]\nGhost:-ghost\n");
  const auto json = Run({"--signatures", mine, "--page", page, "--format", "jsonl"});
  EXPECT_EQ(json.exitCode, 0) << json.err;
  const std::string file = mine.toStdString();
  EXPECT_EQ(json.out,
            "{\"platforms\":[\"New CMS\",\"Ghostly\",\"Ghost CMS\"],\"error\":null,\"versions\":{\"Ghost CMS\":\"5.2\"},"
            "\"evidence\":["
            "{\"platform\":\"New CMS\",\"source\":\"extra-plain\",\"entry\":1,\"file\":\"" + file + "\",\"line\":6,"
            "\"match\":\"shared-marker\",\"offset\":3,\"before\":\"<p>\","
            "\"after\":\"</p>\u23CE<i>ghost-7</i>\u23CE<meta name=generat\",\"duplicate\":false},"
            "{\"platform\":\"Ghostly\",\"source\":\"extra-regex\",\"entry\":1,\"file\":\"" + file + "\",\"line\":8,"
            "\"match\":\"ghost-7\",\"offset\":25,\"before\":\"<p>shared-marker</p>\u23CE<i>\","
            "\"after\":\"</i>\u23CE<meta name=generator content=\\\"Ghos\",\"duplicate\":false},"
            "{\"platform\":\"Ghost CMS\",\"source\":\"extra-generator\",\"entry\":1,\"file\":\"" + file + "\",\"line\":10,"
            "\"match\":\"Ghost 5.2\",\"offset\":68,\"before\":\"st-7</i>\u23CE<meta name=generator content=\\\"\","
            "\"after\":\"\\\">\u23CE\",\"duplicate\":false}]}\n");
  const auto explain = Run({"--signatures", mine, "--page", page, "--explain"});
  EXPECT_EQ(explain.exitCode, 0) << explain.err;
  EXPECT_EQ(explain.out, page.toStdString() +
                             "\n"
                             "  Platforms: New CMS, Ghostly, Ghost CMS\n"
                             "  Versions: Ghost CMS 5.2\n"
                             "  New CMS: extra plain entry 1 (" + file + " line 6), offset 3\n"
                             "    <p>[[shared-marker]]</p>\u23CE<i>ghost-7</i>\u23CE<meta name=generat\n"
                             "  Ghostly: extra expression 1 (" + file + " line 8), offset 25\n"
                             "    <p>shared-marker</p>\u23CE<i>[[ghost-7]]</i>\u23CE<meta name=generator content=\"Ghos\n"
                             "  Ghost CMS: extra generator entry 1 (" + file + " line 10), offset 68\n"
                             "    st-7</i>\u23CE<meta name=generator content=\"[[Ghost 5.2]]\">\u23CE\n");
}

TEST_F(CliTool, EvidenceOptionsThatDoNotFit) {
  const auto page = Write("page.html", "/wp-content/");
  for (const QStringList& arguments : {QStringList{"--page", page, "--format", "csv"},
                                       QStringList{"--page", page, "--format", "jsonl", "--explain"},
                                       QStringList{"--explain", "--format", "txt", "http://127.0.0.1:1/"},
                                       QStringList{"--page", page, "--format", "xlsx"},
                                       QStringList{"--explain", "--resume", dir.filePath("out.csv"), "http://127.0.0.1:1/"}}) {
    const auto o = Run(arguments);
    EXPECT_EQ(o.exitCode, 2) << arguments.join(' ').toStdString();
    EXPECT_EQ(o.out, "");
    EXPECT_FALSE(o.err.empty());
  }
  // An unreadable page stays an error on standard error in every format.
  const auto o = Run({"--page", dir.filePath("missing.html"), "--format", "jsonl"});
  EXPECT_EQ(o.exitCode, 2);
  EXPECT_EQ(o.out, "");
  EXPECT_NE(o.err.find("missing.html"), std::string::npos);
}

}  // namespace
