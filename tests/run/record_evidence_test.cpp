// The evidence kept beside each work-list record: packed and read back
// whole, shared by copies, and stored by a run with the platforms text.
#include <gtest/gtest.h>

#include <string>

#include "engine/evidence.h"
#include "engine/identify.h"
#include "run/evidence_text.h"
#include "run/record_evidence.h"
#include "support/run_site.h"
#include "test_host.h"

namespace {

using testsupport::RunSite;
using testsupport::SiteReply;
using testsupport::SiteRequest;

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string Describe(const engine::TFinding& f) {
  return std::to_string(int(f.source)) + "|" + QString::fromStdU16String(f.platform).toStdString() + "|" +
         std::to_string(f.entry) + "|" + QString::fromStdU16String(f.file).toStdString() + "|" + std::to_string(f.line) +
         "|" + QString::fromStdU16String(f.header).toStdString() + "|" + QString::fromStdU16String(f.match).toStdString() +
         "|" + (f.offset ? std::to_string(*f.offset) : "none") + "|" +
         QString::fromStdU16String(f.before).toStdString() + "|" + QString::fromStdU16String(f.after).toStdString() +
         "|" + (f.duplicate ? "dup" : "");
}

TEST(RecordEvidence, PacksAndReadsBackEveryField) {
  engine::TSiteEvidence e;
  e.findings.push_back({engine::TFindingSource::Plain, u"WordPress", 1, u"", 0, u"", u"/wp-content/", 12, u"a\u23CEb", u"😀", false});
  e.findings.push_back({engine::TFindingSource::Regex, u"JForum", 7, u"my.txt", 42, u"", u"Powered by x", 0, u"", u"", true});
  e.findings.push_back({engine::TFindingSource::Header, u"nginx", 0, u"", 0, u"server", u"nginx", std::nullopt, u"", u"", false});
  e.versions.push_back({u"WordPress", u"6.3.1"});
  const run::TEvidence packed(e, u"https://example.org/");
  const auto findings = packed.Findings();
  ASSERT_EQ(findings.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(Describe(findings[i]), Describe(e.findings[i]));
  ASSERT_EQ(packed.Versions().size(), 1u);
  EXPECT_EQ(packed.Versions()[0].platform, u"WordPress");
  EXPECT_EQ(packed.Versions()[0].version, u"6.3.1");
  EXPECT_EQ(packed.FinalUrl(), QStringLiteral("https://example.org/"));

  // Copies share the block; the last one frees it (ASan checks the rest).
  run::TEvidence copy = packed;
  run::TEvidence moved = std::move(copy);
  EXPECT_EQ(moved.BlockBytes(), packed.BlockBytes());
  EXPECT_EQ(moved.Findings().size(), 3u);

  // Nothing to keep takes no block.
  const run::TEvidence none(engine::TSiteEvidence(), u"");
  EXPECT_TRUE(none.IsEmpty());
  EXPECT_TRUE(none.Findings().empty());
  EXPECT_TRUE(none.FinalUrl().isEmpty());
}

// Expressions that stopped at their limit ride beside the findings, in
// their order, and are not findings themselves; the readable form names
// each after the findings, a file name holding "%2" left as it is.
TEST(RecordEvidence, StoppedExpressionsFollowTheFindings) {
  engine::TSiteEvidence e;
  e.findings.push_back({engine::TFindingSource::Plain, u"WordPress", 1, u"", 0, u"", u"/wp-content/", 5, u"", u"", false});
  e.versions.push_back({u"WordPress", u"6.3.1"});
  e.stopped.push_back({2, u"mine %2.txt", 7});
  e.stopped.push_back({5, u"other.txt", 19});
  const run::TEvidence packed(e, u"");
  ASSERT_EQ(packed.Findings().size(), 1u);
  EXPECT_EQ(Describe(packed.Findings()[0]), Describe(e.findings[0]));
  ASSERT_EQ(packed.Versions().size(), 1u);
  EXPECT_EQ(packed.Versions()[0].version, u"6.3.1");
  const auto stopped = packed.Stopped();
  ASSERT_EQ(stopped.size(), 2u);
  EXPECT_EQ(stopped[1].entry, 5u);
  EXPECT_EQ(stopped[1].file, u"other.txt");
  EXPECT_EQ(stopped[1].line, 19u);
  EXPECT_EQ(run::ExplainText("http://a.example/", "WordPress", false, packed).toStdString(),
            "http://a.example/\n"
            "  Platforms: WordPress\n"
            "  Versions: WordPress 6.3.1\n"
            "  WordPress: plain entry 1, offset 5\n"
            "    [[/wp-content/]]\n"
            "  expression 2 (mine %2.txt line 7) stopped at its limit\n"
            "  expression 5 (other.txt line 19) stopped at its limit");

  // Alone, they still take a block; no finding appears.
  engine::TSiteEvidence only;
  only.stopped.push_back({1, u"x.txt", 3});
  const run::TEvidence alone(only, u"");
  EXPECT_FALSE(alone.IsEmpty());
  EXPECT_TRUE(alone.Findings().empty());
  EXPECT_EQ(alone.Stopped().size(), 1u);
  EXPECT_TRUE(run::TEvidence(e, u"").Stopped().size() == 2u);
}

// /wp: WordPress with a version; /moved: a redirect to a 404.
SiteReply Answer(const SiteRequest& request) {
  SiteReply reply;
  if (request.path == "/moved") {
    reply.status = 302;
    reply.reason = "Found";
    reply.headers.push_back({"Location", "/gone"});
  } else if (request.path == "/gone") {
    reply.status = 404;
    reply.reason = "Not Found";
  } else {
    reply.headers.push_back({"Content-Type", "text/html"});
    reply.headers.push_back({"Server", "nginx"});
    reply.body = "<meta name=\"generator\" content=\"WordPress 6.3.1\">\n<link href=\"/wp-content/a.css\">\n";
  }
  return reply;
}

TEST(RecordEvidence, ARunStoresItBesideEachRecord) {
  RunSite site(Answer);
  TestHost host;
  host.multi = false;
  host.lines = {Q(site.Url("/wp")), Q(site.Url("/moved"))};
  const RunResult result = RunToEnd(host);
  ASSERT_TRUE(result.ended);
  ASSERT_EQ(host.list.size(), 2u);

  EXPECT_EQ(host.list[0].FPlatform, QStringLiteral("WordPress, nginx"));
  const auto findings = host.list[0].evidence.Findings();
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_EQ(findings[0].match, u"/wp-content/");
  EXPECT_EQ(findings[1].header, u"Server");
  ASSERT_EQ(host.list[0].evidence.Versions().size(), 1u);
  EXPECT_EQ(host.list[0].evidence.Versions()[0].version, u"6.3.1");
  EXPECT_TRUE(host.list[0].evidence.FinalUrl().isEmpty()) << "not redirected: nothing to tell";

  EXPECT_EQ(host.list[1].FPlatform, QStringLiteral("Error: HTTP/1.1 404 Not Found"));
  EXPECT_TRUE(host.list[1].evidence.Findings().empty());
  EXPECT_EQ(host.list[1].evidence.FinalUrl(), Q(site.Url("/gone")));
}

}  // namespace
