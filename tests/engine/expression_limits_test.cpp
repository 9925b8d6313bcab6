// Expressions of signature files run under limits: a runaway expression
// stops, says so in the evidence, and leaves the rest of the page's
// identification as it would be; the built-in tables never come near the
// limits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/evidence.h"
#include "engine/compiled_signatures.h"
#include "engine/expression_limits.h"
#include "engine/extra_signatures.h"
#include "engine/identify.h"
#include "engine/signature_tables.h"
#include "engine/utf8_text.h"
#include "page_corpus.h"

namespace {

std::string Narrow(std::u16string_view s) { return engine::detail::ToUtf8(s); }

std::u16string Repeat(std::u16string_view unit, std::size_t length) {
  std::u16string out;
  out.reserve(length + unit.size());
  while (out.size() < length) out += unit;
  out.resize(length);
  return out;
}

struct RunawayCase {
  const char* name;
  const char* expression;  // the file's second expression; the first never matches, the third always does
  std::u16string page;
};

void PrintTo(const RunawayCase& c, std::ostream* os) { *os << c.name; }

class Runaway : public testing::TestWithParam<RunawayCase> {};

// Without limits each of these runs for minutes or takes gigabytes: now the
// expression stops, the evidence names it with its file and line, and the
// expressions after it are still tried.
TEST_P(Runaway, StopsAndIsReportedWhileTheOthersStillCount) {
  const auto& c = GetParam();
  engine::LoadPlatformInformation();
  const std::string file = std::string("[regex]\nnever-on-this-page-zq:-ghost\n") + c.expression +
                           ":-tp3\n<body>:-mycms\n[platforms]\nmycms,My CMS,https://my.example/\n";
  auto check = engine::ParseSignatureFile("mine.txt", file);
  ASSERT_EQ(check.errors, std::vector<std::string>());
  std::vector<engine::TSignatureFile> files;
  files.push_back(std::move(check.file));
  const engine::TExtraSignatures extras(std::move(files));

  const std::u16string page = u"<body>" + c.page;
  const auto evidence = engine::IdentifyPageWithEvidence(page, u"", &extras);
  EXPECT_EQ(Narrow(evidence.platforms), "My CMS");
  ASSERT_EQ(evidence.stopped.size(), 1u);
  EXPECT_EQ(evidence.stopped[0].entry, 2u);
  EXPECT_EQ(Narrow(evidence.stopped[0].file), "mine.txt");
  EXPECT_EQ(evidence.stopped[0].line, 3u);
}

INSTANTIATE_TEST_SUITE_P(
    ExtraExpressions, Runaway,
    testing::Values(
        // Each starting point scans the rest of the run again and again.
        RunawayCase{"QuadraticRunsOnAMegabyteOfLetters", "[a-z]*[a-z]*=", Repeat(u"abcdefgh", 1 << 20) + u";="},
        // A frame per character: gigabytes for the interpreter.
        RunawayCase{"FramePerCharacterOnEightMegabytes", "(a|b)*c", Repeat(u"ab", 8 << 20) + u"!c"},
        // Exponential backtracking at one starting point on a short page.
        RunawayCase{"NestedQuantifiersOnAShortLine", "(x+x+)+y", Repeat(u"x", 64) + u"!y"}),
    [](const testing::TestParamInfo<RunawayCase>& info) { return std::string(info.param.name); });

// A stopped expression that comes before the winning one is reported; so
// is one when nothing matches; the same expression compiled as a built-in
// would run unlimited (here: the built-in tables never hold it).
TEST(ExpressionLimits, OrdinaryExpressionsMatchAsWithoutLimits) {
  engine::LoadPlatformInformation();
  auto check = engine::ParseSignatureFile(
      "mine.txt", "[regex]\n(a|b)*c:-tp3\ndata-x=\"[0-9]+\":-ghost\n");
  ASSERT_EQ(check.errors, std::vector<std::string>());
  std::vector<engine::TSignatureFile> files;
  files.push_back(std::move(check.file));
  const engine::TExtraSignatures extras(std::move(files));
  // Short runs: nowhere near a limit, matched exactly.
  const auto small = engine::IdentifyPageWithEvidence(u"<p data-x=\"12\">ababc</p>", u"", &extras);
  EXPECT_EQ(Narrow(small.platforms), "TYPO3 CMS");
  EXPECT_TRUE(small.stopped.empty());
  const auto other = engine::IdentifyPageWithEvidence(u"<p data-x=\"12\">abab</p>", u"", &extras);
  EXPECT_EQ(Narrow(other.platforms), "Ghost CMS");
  EXPECT_TRUE(other.stopped.empty());
}

// The limits must never change what the built-in tables find: the built-in
// expressions compiled as a signature file's are, every one under the
// limits, find on every page of the engine's corpus (the benchmark's pages,
// the hostile one-line page, a page per expression that it matches) what
// the built-in tables find, and none of them stops.
TEST(ExpressionLimits, NoBuiltInExpressionReachesTheLimitsOnTheCorpus) {
  engine::LoadPlatformInformation();
  std::vector<std::u16string> pages = {
      corpus::OrdinaryPage(20'000),
      corpus::OrdinaryPage(100'000),
      corpus::OrdinaryPage(1'000'000),
      corpus::OrdinaryPage(4'000'000, true),
      corpus::HostileOneLinePage(1'000'000, 10'000),
      corpus::HostileOneLinePage(20'000, 200),
  };
  for (const auto entry : engine::RegExSignatures()) {
    const auto parsed = engine::ParseSignatureEntry(entry);
    if (!parsed) continue;
    for (const auto alternative : parsed->alternatives) {
      if (!alternative.empty()) {
        pages.push_back(corpus::HostileOneLinePage(20'000, 200) + corpus::Witness(alternative) +
                        corpus::OrdinaryPage(20'000, false, 2));
      }
    }
  }
  const auto& builtIn = engine::detail::CompiledSignatures();
  const auto limited = engine::detail::CompileSignatureSet(
      {}, engine::detail::BuiltInSources(engine::RegExSignatures()), true);
  ASSERT_EQ(engine::detail::CompileReport(*limited).limitedRegexAlternatives,
            engine::detail::CompileReport(builtIn).regexAlternatives);
  EXPECT_EQ(engine::detail::CompileReport(builtIn).limitedRegexAlternatives, 0u);
  for (std::size_t p = 0; p < pages.size(); ++p) {
    const auto expected = engine::detail::RegExHit(builtIn, engine::detail::ScanPage(builtIn, pages[p]), pages[p]);
    const auto hit = engine::detail::RegExHit(*limited, engine::detail::ScanPage(*limited, pages[p]), pages[p]);
    EXPECT_EQ(hit.stopped, std::vector<int>()) << "page " << p;
    EXPECT_EQ(hit.entry, expected.entry) << "page " << p;
    EXPECT_EQ(hit.alternative, expected.alternative) << "page " << p;
    EXPECT_EQ(hit.offset, expected.offset) << "page " << p;
    EXPECT_EQ(hit.length, expected.length) << "page " << p;
  }
}

}  // namespace
