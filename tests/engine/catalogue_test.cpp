// The catalogue, the tables' shape and the entry grammar.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>
#include <string>

#include "engine/identify.h"
#include "engine/signature_tables.h"

namespace {

using engine::GetPlatformName;
using engine::ParseSignatureEntry;

std::u16string CodeOf(std::u16string_view row) { return std::u16string(row.substr(0, row.find(u','))); }

TEST(Catalogue, RowsHaveThreeFieldsAndUniqueWellFormedCodes) {
  const auto rows = engine::CatalogueRows();
  ASSERT_EQ(rows.size(), 191u);
  EXPECT_EQ(CodeOf(rows.front()), u"abc");
  EXPECT_EQ(CodeOf(rows.back()), u"zyro");
  std::set<std::u16string> codes;
  for (const auto row : rows) {
    EXPECT_EQ(std::count(row.begin(), row.end(), u','), 2) << std::string(row.begin(), row.end());
    const auto code = CodeOf(row);
    EXPECT_GE(code.size(), 2u);
    EXPECT_LE(code.size(), 11u);
    for (char16_t c : code) EXPECT_TRUE((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_');
    EXPECT_TRUE(codes.insert(code).second) << "duplicate code";
    const auto home = row.substr(row.rfind(u',') + 1);
    EXPECT_TRUE(home.starts_with(u"https://") || home.starts_with(u"http://"));
  }
}

TEST(Catalogue, GetPlatformNameLooksUpWholeCodesExactly) {
  const struct {
    std::u16string_view code, name;
  } cases[] = {
      {u"wp", u"WordPress"},
      {u"abc", u"Adobe Business Catalyst"},  // first row
      {u"zyro", u"Zyro"},                    // last row
      {u"ezpu", u"eZ Publish"},
      {u"ezpub", u"eZ Publish"},             // names need not be unique
      {u"spb", u"Simplébo"},                 // non-ASCII kept exactly
      {u"yabb", u"YaBB (Yet another Bulletin Board)"},
      {u"oracle_atg", u"Oracle ATG Web Commerce"},
      {u"mnet", u"mono.net"},
      {u"", u""},                            // empty code: empty text
      {u"WP", u"WP"},                        // case-sensitive: unknown, returned unchanged
      {u"ez", u"ez"},                        // only the beginning of a code
      {u"mg", u"Magento"},                   // not a prefix match of a longer code
      {u"nosuchcode", u"nosuchcode"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetPlatformName(c.code), c.name) << std::string(c.code.begin(), c.code.end());
  }
}

TEST(SignatureTables, CountsAndCodesAreThoseOfTheCatalogue) {
  std::set<std::u16string> catalogue;
  for (const auto row : engine::CatalogueRows()) catalogue.insert(CodeOf(row));

  std::set<std::u16string> yielded;
  std::size_t plainAlternatives = 0, regexAlternatives = 0, codeless = 0;
  ASSERT_EQ(engine::PlainSignatures().size(), 128u);
  for (const auto text : engine::PlainSignatures()) {
    const auto entry = ParseSignatureEntry(text);
    ASSERT_TRUE(entry.has_value());
    plainAlternatives += entry->alternatives.size();
    EXPECT_TRUE(catalogue.count(std::u16string(entry->code)));
    yielded.emplace(entry->code);
    for (auto a : entry->alternatives) EXPECT_FALSE(a.empty());
  }
  ASSERT_EQ(engine::RegExSignatures().size(), 64u);
  for (std::size_t i = 0; i < engine::RegExSignatures().size(); ++i) {
    const auto entry = ParseSignatureEntry(engine::RegExSignatures()[i]);
    if (!entry) {
      ++codeless;
      // It stands between the "btree" and "sfcc" entries.
      EXPECT_EQ(ParseSignatureEntry(engine::RegExSignatures()[i - 1])->code, u"btree");
      EXPECT_EQ(ParseSignatureEntry(engine::RegExSignatures()[i + 1])->code, u"sfcc");
      continue;
    }
    regexAlternatives += entry->alternatives.size();
    EXPECT_TRUE(catalogue.count(std::u16string(entry->code)));
    yielded.emplace(entry->code);
  }
  EXPECT_EQ(codeless, 1u);
  EXPECT_EQ(plainAlternatives, 229u);
  EXPECT_EQ(regexAlternatives, 74u);
  EXPECT_EQ(yielded.size(), 149u);
}

TEST(SignatureTables, EntryGrammar) {
  // Cut at the first ":-"; trim codes <= U+0020 on both sides; split at every
  // "||", keeping empty pieces and inner blanks.
  auto e = ParseSignatureEntry(u" \t a||b :-c||d:-x \r\n");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->code, u"c||d:-x");
  ASSERT_EQ(e->alternatives.size(), 2u);
  EXPECT_EQ(e->alternatives[0], u"a");
  EXPECT_EQ(e->alternatives[1], u"b");

  e = ParseSignatureEntry(u"||x||||y :-z");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->alternatives, (std::vector<std::u16string_view>{u"", u"x", u"", u"y"}));

  EXPECT_FALSE(ParseSignatureEntry(u"no code here"));
  EXPECT_FALSE(ParseSignatureEntry(u"a:b:c"));

  // Stored alternatives keep their own blanks and colons.
  e = ParseSignatureEntry(engine::PlainSignatures()[24]);
  EXPECT_EQ(e->alternatives[0], u"serendipityQuickSearchTermField ");
  e = ParseSignatureEntry(engine::PlainSignatures()[62]);
  EXPECT_EQ(e->alternatives[1], u" by DNN Corporation -->");
  e = ParseSignatureEntry(engine::PlainSignatures()[105]);
  EXPECT_EQ(e->alternatives[0], u"<body class=\"gridlock shifter\">::::<div class=\"shifter-page\">");
  EXPECT_EQ(e->code, u"btree");
}

}  // namespace
