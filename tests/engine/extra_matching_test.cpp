// Extra signatures in identification: built-in tables first, then the files
// in order, for plain texts and expressions separately; what the findings
// say about an extra entry.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "engine/evidence.h"
#include "engine/generator_entries.h"
#include "engine/extra_signatures.h"
#include "engine/identify.h"
#include "engine/utf8_text.h"

namespace {

std::string Narrow(std::u16string_view s) { return engine::detail::ToUtf8(s); }

std::vector<engine::TSignatureFile> Files(std::initializer_list<std::pair<const char*, const char*>> texts) {
  std::vector<engine::TSignatureFile> files;
  for (const auto& [name, text] : texts) {
    auto check = engine::ParseSignatureFile(name, text);
    EXPECT_EQ(check.errors, std::vector<std::string>()) << name;
    files.push_back(std::move(check.file));
  }
  return files;
}

struct MatchCase {
  const char* name;
  const char* shipped;  // the first file
  const char* user;     // the second file
  std::u16string_view page, headers;
  const char* expected;  // platforms text with both files
};

void PrintTo(const MatchCase& c, std::ostream* os) { *os << c.name; }

class ExtraMatching : public testing::TestWithParam<MatchCase> {};

TEST_P(ExtraMatching, AddsNamesOnlyWhereTheBuiltInTableFindsNothing) {
  const auto& c = GetParam();
  engine::LoadPlatformInformation();
  const engine::TExtraSignatures extras(Files({{"extra.txt", c.shipped}, {"mine.txt", c.user}}));
  EXPECT_EQ(Narrow(engine::IdentifySite(c.page, c.headers, &extras)), c.expected);
  EXPECT_EQ(Narrow(engine::IdentifySiteWithEvidence(c.page, c.headers, &extras).platforms), c.expected);
  // Without extras, and with a null set: the built-in result.
  EXPECT_EQ(engine::IdentifySite(c.page, c.headers, nullptr), engine::IdentifySite(c.page, c.headers));
}

const MatchCase kMatchCases[] = {
    {"BuiltInPlainWins", "[plain]\n<meta name=\"generator\" content=\"Ghost :-ghost\n", "",
     u"<meta name=\"generator\" content=\"Ghost 5.1\"><link href=\"/wp-content/a.css\">", u"", "WordPress"},
    {"ExtraPlainWhereBuiltInFindsNothing", "[plain]\n<meta name=\"generator\" content=\"Ghost :-ghost\n", "",
     u"<meta name=\"generator\" content=\"Ghost 5.1\">", u"", "Ghost CMS"},
    {"TablesAreSeparate", "[regex]\n/media/system/js/core(\\.min)?\\.js:-joom\n", "",
     u"<link href=\"/wp-content/a.css\"><script src=\"/media/system/js/core.min.js\">", u"", "WordPress, Joomla"},
    {"BuiltInExpressionWins", "[regex]\nPowered by [A-Za-z]+:-joom\n", "",
     u"Powered by <a href=x>JForum</a>", u"", "JForum"},
    {"ShippedSetBeforeUserFile", "[plain]\nshared-marker:-ghost\n", "[plain]\nshared-marker:-tp3\n",
     u"<p>shared-marker</p>", u"", "Ghost CMS"},
    {"FileOrderNotPageOrder", "[plain]\nsecond-in-page:-ghost\nfirst-in-page:-tp3\n", "",
     u"first-in-page second-in-page", u"", "Ghost CMS"},
    {"UserFileWhenShippedSetFindsNothing", "[plain]\nnot-here:-ghost\n",
     "[platforms]\nnewcms,New CMS,https://new.example/\n[plain]\n/newcms/assets/:-newcms\n",
     u"<script src=\"/newcms/assets/app.js\"></script>", u"", "New CMS"},
    {"CaseSensitiveText", "[plain]\nGhost-Marker:-ghost\n", "", u"ghost-marker", u"", ""},
    {"HeadersAsBefore", "[plain]\nmarker-x:-ghost\n", "", u"marker-x", u"Server: nginx\r\nX-Powered-By: Ghost CMS\r\n",
     "Ghost CMS, nginx"},
    {"ErrorTextUnchanged", "[plain]\nError:-ghost\n", "", u"Error: Timeout", u"", "Error: Timeout"},
    {"EmptyMatchRefused", "[regex]\n(?:q)*:-ghost\n", "", u"nothing to see", u"", ""},
    {"ExpressionCrossesLineBreakAsPcre2Does", "[regex]\n<html [^>]*data-wf-site=:-wflow\n", "",
     u"<html lang=\"en\"\r\n data-wf-site=\"1\">", u"", "Webflow CMS"},
    {"ExpressionBranchesEachFiltered", "[regex]\nalpha-one|beta-two:-ghost\n", "", u"x beta-two y", u"", "Ghost CMS"},
    {"OptionalLiteralNotRequired", "[regex]\nabcX?def:-ghost\n", "", u"abcdef", u"", "Ghost CMS"},
    {"CaselessOptionHonoured", "[regex]\n(?i)GHOST-MARK:-ghost\n", "", u"ghost-mark", u"", "Ghost CMS"},
    {"TextOutsideTheBasicPlane", "[plain]\nbuilt with 😀 care:-ghost\n", "", u"<p>built with 😀 care</p>", u"",
     "Ghost CMS"},
    // Generator entries: a third page item after the tables' names, before
    // the header values; never a name the tables gave already.
    {"GeneratorAfterTheTables", "[generator]\nGhost:-ghost\n", "",
     u"<meta name=\"generator\" content=\"Ghost 5.1\"><link href=\"/wp-content/a.css\">", u"Server: nginx",
     "WordPress, Ghost CMS, nginx"},
    {"GeneratorNamedAlreadyIsNotRepeated", "[generator]\nWordPress:-wp\n", "",
     u"<meta name=\"generator\" content=\"WordPress 6.4.2\"><link href=\"/wp-content/a.css\">", u"", "WordPress"},
    {"GeneratorBeforeAHeaderOfTheSameName", "[generator]\nGhost:-ghost\n", "",
     u"<meta name=\"generator\" content=\"Ghost 5.1\">", u"X-Powered-By: ghost cms\r\nServer: nginx",
     "Ghost CMS, nginx"},
    {"GeneratorWordBoundary", "[generator]\nDrupal:-dru\n", "",
     u"<meta name=\"generator\" content=\"DrupalGap 7.x-1.0\">", u"", ""},
    {"GeneratorAnyCaseValueAttributeEitherOrder", "[generator]\nDrupal:-dru\n", "",
     u"<META VALUE='drupal 7 (http://drupal.org)'\r\n NAME=Generator>", u"", "Drupal"},
    {"GeneratorContentBeforeValue", "[generator]\nDrupal:-dru\nHugo:-hugo\n", "",
     u"<meta name=\"generator\" value=\"Drupal 7\" content=\"Hugo 0.120\">", u"", "Hugo"},
    {"GeneratorFirstEntryWinsNotFirstElement", "[generator]\nHugo:-hugo\n", "[generator]\nWordPress:-wp\n",
     u"<meta name=\"generator\" content=\"WordPress 6.4\">\r\n<meta name=\"generator\" content=\"Hugo 0.120\">",
     u"", "Hugo"},
    {"GeneratorAlternatives", "[generator]\nJoomla! - Open Source Content Management||Joomla!:-joom\n", "",
     u"<meta name=\"generator\" content=\"Joomla! 1.5 - Open Source Content Management\" />", u"", "Joomla"},
    {"GeneratorOnlyInAMetaElement", "[generator]\nGhost:-ghost\n", "",
     u"<p>generator: Ghost 5</p><meta name=\"description\" content=\"Ghost 5\">", u"", ""},
    {"GeneratorOfAPlatformOfTheFile", "",
     "[platforms]\nnewcms,New CMS,https://new.example/\n[generator]\nNCMS:-newcms\n",
     u"<meta content=\"NCMS\" name=\"generator\">", u"", "New CMS"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ExtraMatching, testing::ValuesIn(kMatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ExtraFindings, NameTheFileTheLineAndTheEntrysNumberInItsFile) {
  engine::LoadPlatformInformation();
  const engine::TExtraSignatures extras(Files({
      {"/opt/lumasift/Signatures/extra.txt", "[plain]\nnot-here:-ghost\n[regex]\nnot-(here|there):-ghost\n"},
      {"/home/me/signatures.txt", "# mine\n[plain]\nalso-not:-tp3\nmy-marker:-tp3\n[regex]\n\nv(\\d+)-mark:-joom\n"},
  }));
  const std::u16string page = u"<p>my-marker and v12-mark</p>";
  const auto evidence = engine::IdentifySiteWithEvidence(page, u"Server: x", &extras);
  EXPECT_EQ(Narrow(evidence.platforms), "TYPO3 CMS, Joomla, x");
  ASSERT_EQ(evidence.findings.size(), 3u);
  const auto& plain = evidence.findings[0];
  EXPECT_EQ(plain.source, engine::TFindingSource::Plain);
  EXPECT_EQ(Narrow(plain.file), "/home/me/signatures.txt");
  EXPECT_EQ(plain.line, 4u);
  EXPECT_EQ(plain.entry, 2u);
  EXPECT_EQ(Narrow(plain.match), "my-marker");
  EXPECT_EQ(plain.offset, page.find(u"my-marker"));
  const auto& regex = evidence.findings[1];
  EXPECT_EQ(regex.source, engine::TFindingSource::Regex);
  EXPECT_EQ(Narrow(regex.file), "/home/me/signatures.txt");
  EXPECT_EQ(regex.line, 7u);
  EXPECT_EQ(regex.entry, 1u);
  EXPECT_EQ(Narrow(regex.match), "v12-mark");
  EXPECT_TRUE(evidence.findings[2].file.empty());
  // A built-in finding keeps its table number and names no file.
  const auto builtIn = engine::IdentifySiteWithEvidence(u"/wp-content/", u"", &extras);
  ASSERT_EQ(builtIn.findings.size(), 1u);
  EXPECT_TRUE(builtIn.findings[0].file.empty());
  EXPECT_EQ(builtIn.findings[0].entry, 1u);
}

TEST(ExtraFindings, AGeneratorEntryNamesItsFileLineAndTheElementsContent) {
  engine::LoadPlatformInformation();
  const engine::TExtraSignatures extras(Files({
      {"extra.txt", "[generator]\nnot-here:-ghost\n"},
      {"mine.txt", "[platforms]\nnewcms,New CMS,https://new.example/\n[generator]\n\nNot this:-tp3\nNCMS||New CMS:-newcms\n"},
  }));
  const std::u16string page = u"<head>\r\n<meta name=\"generator\" content=\"New CMS 4.1 (new.example)\">";
  const auto evidence = engine::IdentifySiteWithEvidence(page, u"", &extras);
  EXPECT_EQ(Narrow(evidence.platforms), "New CMS");
  ASSERT_EQ(evidence.findings.size(), 1u);
  const auto& f = evidence.findings[0];
  EXPECT_EQ(f.source, engine::TFindingSource::Generator);
  EXPECT_EQ(Narrow(f.file), "mine.txt");
  EXPECT_EQ(f.line, 6u);
  EXPECT_EQ(f.entry, 2u);
  EXPECT_EQ(Narrow(f.match), "New CMS 4.1 (new.example)");
  EXPECT_EQ(f.offset, page.find(u"New CMS 4.1"));
  EXPECT_EQ(Narrow(f.before), "<head>\u23CE<meta name=\"generator\" content=\"");
  EXPECT_EQ(Narrow(f.after), "\">");
  // The version of a platform found by its generator entry's name.
  ASSERT_EQ(evidence.versions.size(), 1u);
  EXPECT_EQ(Narrow(evidence.versions[0].platform), "New CMS");
  EXPECT_EQ(Narrow(evidence.versions[0].version), "4.1");
  // The same platform found by a table: the generator item is a duplicate,
  // and the version comes from the entry's other name.
  const engine::TExtraSignatures tables(Files({
      {"mine.txt", "[platforms]\nnewcms,New CMS,https://new.example/\n[plain]\nncms.js:-newcms\n"
                   "[generator]\nNCMS:-newcms\n"},
  }));
  const auto both =
      engine::IdentifySiteWithEvidence(u"<meta name=generator content=\"NCMS 2\"><script src=/ncms.js>", u"", &tables);
  EXPECT_EQ(Narrow(both.platforms), "New CMS");
  ASSERT_EQ(both.findings.size(), 2u);
  EXPECT_EQ(both.findings[1].source, engine::TFindingSource::Generator);
  EXPECT_TRUE(both.findings[1].duplicate);
  ASSERT_EQ(both.versions.size(), 1u);
  EXPECT_EQ(Narrow(both.versions[0].version), "2");
}

struct NameCase {
  std::u16string_view name, content;
  bool begins;
};

TEST(GeneratorNames, BeginTheContentUpToTheEndOfAWord) {
  const NameCase cases[] = {
      {u"Drupal", u"Drupal 7 (http://drupal.org)", true},
      {u"Drupal", u"Drupal 10 (https://www.drupal.org)", true},
      {u"Drupal", u"drupal", true},
      {u"Drupal", u"  Drupal 9", true},  // blanks before the content's first word
      {u"Drupal", u"DrupalGap 7", false},
      {u"Drupal", u"Drupal_x", false},
      {u"Drupal", u"Drupalé 1", false},  // a letter of any script goes on with the word
      {u"Drupal", u"Drupal-based site", true},
      {u"Drupal", u"Drupal® 8", true},
      {u"Drupal", u"Drupa", false},
      {u"Drupal", u"A Drupal site", false},
      {u"WordPress", u"WordPress.com", true},
      {u"Joomla!", u"Joomla!5", true},  // the name ends with no word
      {u"Éric CMS", u"éric cms 2", true},
      {u"Битрикс", u"БИТРИКС 20", true},
      {u"Ghost", u"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(engine::detail::GeneratorNameBegins(c.content, c.name), c.begins)
        << Narrow(c.name) << " / " << Narrow(c.content);
  }
}

}  // namespace
