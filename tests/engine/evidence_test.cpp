// The findings behind the platforms text, the versions, and the header
// de-duplication that both share.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "engine/evidence.h"
#include "engine/identify.h"
#include "engine/literal_reference.h"
#include "engine/page_corpus.h"
#include "engine/signature_tables.h"

namespace {

using namespace std::literals;
using engine::TFindingSource;

using corpus::Narrow;

// A finding in one line: "plain 1 [/wp-content/] @12 dup".
std::string Describe(const engine::TFinding& f) {
  std::string out = f.source == TFindingSource::Plain ? "plain " : f.source == TFindingSource::Regex ? "regex " : "header ";
  out += f.source == TFindingSource::Header ? Narrow(f.header) : std::to_string(f.entry);
  out += " " + Narrow(f.platform) + " [" + Narrow(f.match) + "]";
  if (f.offset) out += " @" + std::to_string(*f.offset);
  if (f.duplicate) out += " dup";
  return out;
}

std::vector<std::string> DescribeAll(const engine::TSiteEvidence& e) {
  std::vector<std::string> out;
  for (const auto& f : e.findings) out.push_back(Describe(f));
  return out;
}

// Every page finding sits where it says, with its context around it.
void ExpectPlacedInPage(const engine::TSiteEvidence& e, std::u16string_view page) {
  for (const auto& f : e.findings) {
    if (f.source == TFindingSource::Header) {
      EXPECT_FALSE(f.offset.has_value());
      continue;
    }
    ASSERT_TRUE(f.offset.has_value()) << Describe(f);
    ASSERT_LE(*f.offset + f.match.size(), page.size()) << Describe(f);
    EXPECT_EQ(Narrow(page.substr(*f.offset, f.match.size())), Narrow(f.match)) << Describe(f);
    EXPECT_LE(f.match.size(), engine::kMatchCut);
    EXPECT_LE(f.before.size(), engine::kContextUnits);
    EXPECT_LE(f.after.size(), engine::kContextUnits);
  }
}

struct EvidenceCase {
  const char* name;
  std::u16string_view page;
  std::u16string_view headers;
  std::u16string_view platforms;
  std::vector<std::string> findings;
};

void PrintTo(const EvidenceCase& c, std::ostream* os) { *os << c.name; }

class Findings : public testing::TestWithParam<EvidenceCase> {};

TEST_P(Findings, ExplainThePlatformsText) {
  const auto& c = GetParam();
  const auto e = engine::IdentifySiteWithEvidence(c.page, c.headers);
  EXPECT_EQ(Narrow(e.platforms), Narrow(c.platforms));
  EXPECT_EQ(Narrow(e.platforms), Narrow(engine::IdentifySite(c.page, c.headers)));
  EXPECT_EQ(DescribeAll(e), c.findings);
  ExpectPlacedInPage(e, c.page);
}

const EvidenceCase kEvidenceCases[] = {
    {"Nothing", u"<p>hello</p>\r\n", u"Content-Type: text/html\r\n", u"", {}},
    {"ErrorPageHasNone", u"Error: HTTP/1.1 404 Not Found", u"Server: nginx\r\n", u"Error: HTTP/1.1 404 Not Found", {}},
    // Entry 1 has two alternatives; the one that occurs first is shown.
    {"EarliestAlternativeOfWinningEntry",
     u"<a href=\"/wp-include/x\">\r\n<link href=\"/wp-content/y.css\">\r\n/wp-include/\r\n", u"", u"WordPress",
     {"plain 1 WordPress [/wp-include/] @9"}},
    {"LaterEntryOccurringEarlierLoses", u"/skin/frontend/ and /wp-content/\r\n", u"", u"WordPress",
     {"plain 1 WordPress [/wp-content/] @20"}},
    // Offsets count UTF-16 units: "é" one, the emoji two, CR LF two.
    {"OffsetsAfterNonAsciiAndAstral", u"é😀\r\n日本 /wp-content/\r\n", u"", u"WordPress",
     {"plain 1 WordPress [/wp-content/] @8"}},
    {"RegexMatchedText", u"<p>😀 Powered by <a href=x>JForum</a> and more</p>\r\n", u"", u"JForum",
     {"regex 2 JForum [Powered by <a href=x>JForum</a>] @6"}},
    // The regex table's 48th entry has no code: the one after it is number 49.
    {"RegexNumberCountsCodelessEntry", u"<a href=\"x/on/demandware.static/y\">\r\n", u"", u"Salesforce Commerce Cloud",
     {"regex 49 Salesforce Commerce Cloud [href=\"x/on/demandware.static] @3"}},
    {"HeaderNameAsSent", u"", u"server: nginx/1.25\r\nX-POWERED-BY: PHP/8.2.36\r\n", u"nginx/1.25, PHP/8.2.36",
     {"header server nginx/1.25 [nginx/1.25]", "header X-POWERED-BY PHP/8.2.36 [PHP/8.2.36]"}},
    {"DuplicatesKeptAndMarked",
     u"<link href=\"/wp-content/x.css\">\r\n", u"Server: wordpress\r\nServer: Apache\r\nX-Powered-By: APACHE\r\n",
     u"WordPress, Apache",
     {"plain 1 WordPress [/wp-content/] @12", "header Server wordpress [wordpress] dup", "header Server Apache [Apache]",
      "header X-Powered-By APACHE [APACHE] dup"}},
    {"BothTables",
     u"ezinfo/copyright <script src=\"/extension/iagutils/design/ezwebin/a.js\"></script>\r\n", u"", u"eZ Publish",
     {"plain 61 eZ Publish [ezinfo/copyright] @0",
      "regex 45 eZ Publish [<script src=\"/extension/iagutils/design/ezwebin/a.js\"></script>] @17 dup"}},
    // The header matcher's quirks stay: leading empty values add nothing,
    // an empty value in the middle is an item, a trailing one is not.
    {"EmptyHeaderValues", u"", u"Server:\r\nServer: a\r\nServer:\r\nServer: b\r\nServer:\r\n", u"a, , b",
     {"header Server a [a]", "header Server  []", "header Server b [b]"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, Findings, testing::ValuesIn(kEvidenceCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FindingContext, UpToFortyUnitsEachSideWithLineBreaksMarked) {
  const std::u16string page = u"line one\r\nline two\rline three\u2028" + std::u16string(40, u'x') +
                              u"/wp-content/" + u"\r\nafter" + std::u16string(50, u'y');
  auto e = engine::IdentifySiteWithEvidence(page, u"");
  ASSERT_EQ(e.findings.size(), 1u);
  EXPECT_EQ(Narrow(e.findings[0].before), Narrow(std::u16string(40, u'x')));
  EXPECT_EQ(Narrow(e.findings[0].after), Narrow(u"\u23CEafter" + std::u16string(33, u'y')));

  const std::u16string shortPage = u"a\r\nb\rc\nd\u2029/wp-content/e\r\n";
  e = engine::IdentifySiteWithEvidence(shortPage, u"");
  ASSERT_EQ(e.findings.size(), 1u);
  EXPECT_EQ(Narrow(e.findings[0].before), Narrow(u"a\u23CEb\u23CEc\u23CEd\u23CE"));
  EXPECT_EQ(Narrow(e.findings[0].after), Narrow(u"e\u23CE"));

  // Never half a surrogate pair at either end of the context.
  const std::u16string astral = std::u16string(u"😀") + std::u16string(39, u'z') + u"/wp-content/" +
                                std::u16string(39, u'z') + u"😀tail";
  e = engine::IdentifySiteWithEvidence(astral, u"");
  ASSERT_EQ(e.findings.size(), 1u);
  EXPECT_EQ(Narrow(e.findings[0].before), Narrow(std::u16string(39, u'z')));
  EXPECT_EQ(Narrow(e.findings[0].after), Narrow(std::u16string(39, u'z')));
}

TEST(FindingMatch, LongRegexMatchIsCutAt200Units) {
  const std::u16string page = u"Powered by " + std::u16string(300, u'q') + u"JForum</a>\r\n";
  const auto e = engine::IdentifySiteWithEvidence(page, u"");
  ASSERT_EQ(e.findings.size(), 1u);
  EXPECT_EQ(e.findings[0].match.size(), 200u);
  EXPECT_EQ(*e.findings[0].offset, 0u);
  EXPECT_EQ(Narrow(e.findings[0].after), Narrow(u"\u23CE"));  // after the whole match, not the cut
  ExpectPlacedInPage(e, page);
}

// Every alternative of both tables, behind text full of non-ASCII and
// astral characters and every kind of line break: the finding is where the
// page holds it.
TEST(FindingOffsets, EveryAlternativeBehindNonAsciiText) {
  const std::u16string prefix = u"«日本» 😀\r\n\u0085x\u2028😀😀\r\ré\n" + corpus::OrdinaryPage(400, false, 5);
  for (int t = 0; t < 2; ++t) {
    const auto table = t ? engine::RegExSignatures() : engine::PlainSignatures();
    for (std::size_t e = 0; e < table.size(); ++e) {
      const auto entry = engine::ParseSignatureEntry(table[e]);
      if (!entry || entry->code.empty()) continue;
      for (auto alternative : entry->alternatives) {
        const std::u16string text = t ? corpus::Witness(alternative, {u" 😀é ", u"ü", 0}) : std::u16string(alternative);
        const std::u16string page = prefix + u"<div>" + text + u"</div>\r\n";
        const auto evidence = engine::IdentifySiteWithEvidence(page, u"");
        ASSERT_FALSE(evidence.findings.empty()) << Narrow(alternative);
        ExpectPlacedInPage(evidence, page);
      }
    }
  }
}

// The de-duplication keeps the first of each text (ASCII case ignored) in
// order: the same text as the literal method over many header lines.
TEST(Deduplication, ManyHeaderValuesKeepFirstOfEachInOrder) {
  std::u16string headers;
  for (int i = 0; i < 3000; ++i) {
    std::u16string value = u"Srv" + std::u16string(1, char16_t(u'a' + i % 26)) + u"-" + std::u16string(1, char16_t(u'A' + (i / 26) % 26));
    if (i % 3 == 1) {
      for (auto& c : value) c = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
    }
    headers += (i % 2 ? u"Server: " : u"X-Powered-By: ") + value + u"\r\n";
  }
  headers += u"Server: Ünï\r\nServer: üNÏ\r\n";  // differ beyond ASCII: both kept
  const std::u16string page = u"<link href=\"/wp-content/x.css\">\r\n";
  const auto fast = engine::IdentifySite(page, headers);
  EXPECT_EQ(Narrow(fast), Narrow(reference::IdentifySite(page, headers)));
  EXPECT_TRUE(fast.ends_with(u", Ünï, üNÏ"));
  const auto e = engine::IdentifySiteWithEvidence(page, headers);
  EXPECT_EQ(e.platforms, fast);
  std::size_t kept = 0;
  for (const auto& f : e.findings) kept += f.duplicate ? 0 : 1;
  EXPECT_EQ(kept, 1u + 26u * 26u + 2u);
}

struct VersionCase {
  const char* name;
  std::u16string_view page;
  std::vector<std::pair<std::u16string, std::u16string>> versions;
};

void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.name; }

class Versions : public testing::TestWithParam<VersionCase> {};

TEST_P(Versions, ComeFromTheGeneratorOfAFoundPlatform) {
  const auto& c = GetParam();
  const auto e = engine::IdentifySiteWithEvidence(c.page, u"Server: Apache/2.4.58\r\n");
  std::vector<std::pair<std::u16string, std::u16string>> got;
  for (const auto& v : e.versions) got.emplace_back(v.platform, v.version);
  EXPECT_EQ(got, c.versions);
}

const VersionCase kVersionCases[] = {
    {"NameThenContent", u"<meta name=\"generator\" content=\"WordPress 6.3.1\" />\r\n/wp-content/\r\n",
     {{u"WordPress", u"6.3.1"}}},
    {"ContentThenNameSingleQuotesCapitals",
     u"<META CONTENT='wordpress 6.4-beta2 (x)' Name='Generator'>\r\n/wp-content/\r\n", {{u"WordPress", u"6.4-beta2"}}},
    {"AttributesAcrossLines", u"<meta\r\n  name=\"generator\"\r\n  content=\"WordPress 5.9\">\r\n/wp-content/\r\n",
     {{u"WordPress", u"5.9"}}},
    {"KnownGeneratorName",
     u"<meta name=\"generator\" content=\"Joomla! - Open Source Content Management - Version 3.10.12\" />\r\n"
     u"<link href=\"/templates/x/css/joomla.css\">\r\ncss/joomla.css\r\n",
     {{u"Joomla", u"3.10.12"}}},
    {"NoDigitTokenNoVersion", u"<meta name=\"generator\" content=\"WordPress.com\">\r\n/wp-content/\r\n", {}},
    {"OtherPlatformsGenerator", u"<meta name=\"generator\" content=\"Hugo 0.120\">\r\n/wp-content/\r\n", {}},
    {"NotTheGeneratorMeta", u"<meta name=\"description\" content=\"WordPress 6.3 generator\">\r\n/wp-content/\r\n", {}},
    {"PlatformNotFound", u"<meta name=\"generator\" content=\"WordPress 6.3.1\">\r\n", {}},
    {"SecondGeneratorElement",
     u"<meta name=\"generator\" content=\"Site Kit\">\r\n<meta name=\"generator\" content=\"WordPress 6.2\">\r\n"
     u"/wp-content/\r\n",
     {{u"WordPress", u"6.2"}}},
    {"VersionTokenInsideNameIsNot", u"<meta name=generator content=\"TYPO3 CMS\">\r\n", {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, Versions, testing::ValuesIn(kVersionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GeneratorVersion, TokenRules) {
  EXPECT_EQ(Narrow(engine::GeneratorVersion(u"Drupal 10 (https://www.drupal.org)", u"Drupal", u"dru")), "10");
  EXPECT_EQ(Narrow(engine::GeneratorVersion(u"TYPO3 CMS 12.4", u"TYPO3 CMS", u"tp3")), "12.4");
  EXPECT_EQ(Narrow(engine::GeneratorVersion(u"Ghost 5.74", u"Ghost CMS", u"ghost")), "5.74");
  EXPECT_EQ(Narrow(engine::GeneratorVersion(u"Drupal v7", u"Drupal", u"dru")), "");
  EXPECT_EQ(Narrow(engine::GeneratorVersion(u"Drupalish 7", u"Drupal", u"dru")), "7");  // begins with the name
  EXPECT_EQ(Narrow(engine::GeneratorVersion(u"Joomla 4.2", u"WordPress", u"wp")), "");
}

}  // namespace
