// Body matchers, header matcher and the assembly of the platforms text.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "engine/identify.h"

namespace {

using namespace std::literals;
using engine::FindByHeaders;
using engine::FindByRegEx;
using engine::FindBySignature;
using engine::IdentifySite;

std::string Narrow(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? char(c) : '?';
  return out;
}

struct BodyCase {
  const char* name;
  std::u16string_view page;
  std::u16string_view plain;  // expected FindBySignature
  std::u16string_view regex;  // expected FindByRegEx
};

void PrintTo(const BodyCase& c, std::ostream* os) { *os << c.name; }

class BodyMatchers : public testing::TestWithParam<BodyCase> {};

TEST_P(BodyMatchers, GiveTheFirstEntrysName) {
  const auto& c = GetParam();
  EXPECT_EQ(Narrow(FindBySignature(c.page)), Narrow(c.plain));
  EXPECT_EQ(Narrow(FindByRegEx(c.page)), Narrow(c.regex));
}

const BodyCase kBodyCases[] = {
    {"EmptyPage", u"", u"", u""},
    {"NameNotCode", u"<link href=\"/wp-content/themes/x.css\">\r\n", u"WordPress", u""},
    {"EarlierPlainEntryWins", u"/skin/frontend/ and /wp-content/\r\n", u"WordPress", u""},
    {"SameCodeThreeEntries", u"vBulletin_init(); Powered by vBulletin\r\n", u"vBulletin", u""},
    {"CaseSensitiveLiteral", u"powered by smf\r\n", u"", u""},
    {"UpperCaseBitrixMissed", u"BITRIX\r\n", u"", u""},
    {"BitrixEitherSpelling", u"Bitrix\r\n", u"Bitrix", u""},
    {"FourColonsAreText", u"<body class=\"gridlock shifter\">::::<div class=\"shifter-page\">\r\n", u"BigTree CMS", u""},
    {"FourColonsMissing", u"<body class=\"gridlock shifter\"><div class=\"shifter-page\">\r\n", u"", u""},
    {"TrailingBlankNeeded", u"serendipityQuickSearchTermField\"\r\n", u"", u""},
    {"TrailingBlankPresent", u"serendipityQuickSearchTermField \r\n", u"Serendipity", u""},
    {"NoBlankInIpsUsername", u"ips_username and ips_password\r\n", u"", u""},
    {"IpsUsernameExact", u"ips_usernameand ips_password\r\n", u"IP.Board community forum", u""},
    {"LazyRunStopsAtLineBreak", u"Powered by <a>\r\nJForum</a>\r\n", u"", u""},
    {"LazyRunOnOneLine", u"Powered by <a href=x>JForum</a>\r\n", u"", u"JForum"},
    {"LazyRunStopsAtLineSeparator", u"Powered by <a>\u2028JForum</a>\r\n", u"", u""},
    {"LazyRunStopsAtNextLine", u"Powered by <a>\u0085JForum</a>\r\n", u"", u""},
    {"LazyRunStopsAtVerticalTab", u"Powered by <a>\vJForum</a>\r\n", u"", u""},
    {"LazyRunCrossesNonAscii", u"Powered by «日本» JForum 😀</a>\r\n", u"", u"JForum"},
    {"BothTablesEzPublish",
     u"ezinfo/copyright <script src=\"/extension/iagutils/design/ezwebin/a.js\"></script>\r\n", u"eZ Publish",
     u"eZ Publish"},
    {"EmptyBranchIsLegal", u"<a href=\"/css/rwd_shoper.css\">\r\n", u"", u"Shoper"},
    {"EarlierRegexEntryWins", u"Powered by <b>NodeBB</a> Powered by x JForum</a>\r\n", u"", u"JForum"},
    {"DigitClassIsAscii", u"<a href=\"x\">main_bigware_٣.php\r\n", u"", u""},
    {"DigitClassAsciiDigit", u"<a href=\"x\">main_bigware_3.php\r\n", u"", u"Bigware"},
    {"DotMatchesOneNonAsciiChar", u"<link href=\"//cdn11ébigcommerce.com/x\">\r\n", u"", u"BigCommerce"},
    {"DotMatchesSurrogatePair", u"<link href=\"//cdn11😀bigcommerce.com/x\">\r\n", u"", u"BigCommerce"},
    {"CodelessEntryCreditsNothing", u"powered by opensolution.org Sklep internetowy\r\n", u"", u""},
    {"NonAsciiLiteral", u"<p>Redakční systém IPO</p>\r\n", u"IPO CMS", u""},
    {"NonAsciiLiteralMisdecoded", u"<p>RedakÄnÃ­ systÃ©m IPO</p>\r\n", u"", u""},
};

INSTANTIATE_TEST_SUITE_P(Cases, BodyMatchers, testing::ValuesIn(kBodyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HeaderMatcher, PicksTheThreeHeadersInOrder) {
  const struct {
    std::u16string_view headers, expected;
  } cases[] = {
      {u"Server: Apache\r\nX-Powered-By: PHP/7.4.33\r\n", u"Apache\r\nPHP/7.4.33"},
      {u"server:   nginx  \r\nSERVER: IIS\r\n", u"nginx\r\nIIS"},
      {u"Powered-By: Plone\r\n", u"Plone"},
      {u"X-Powered-By-Plesk: PleskLin\r\nServer-Timing: db;dur=53\r\n", u""},
      {u"Server : Apache\r\n", u""},
      {u"X-Powered-By: A\r\nX-Powered-By: B\r\n", u"A\r\nB"},
      {u"Server: a:b:c\r\n", u"a:b:c"},
      {u"Server:\r\nX-Powered-By: PHP\r\n", u"PHP"},
      {u"X-Powered-By: PHP\r\nServer:\r\n", u"PHP\r\n"},
      {u"Content-Type: text/html\r\n   folded Server: x\r\n", u""},
      {u"  Server: indented\r\n", u"indented"},
      {u"Server: a\nServer: b\rServer: c", u"a\r\nb\r\nc"},
      {u"Server: before\r\n\0Server: after\r\n"sv, u"before"},
      {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(Narrow(FindByHeaders(c.headers)), Narrow(c.expected)) << Narrow(c.headers);
}

TEST(Assembly, BuildsThePlatformsText) {
  const std::u16string wp = u"<link href=\"/wp-content/x.css\">\r\n";
  const std::u16string ez =
      u"ezinfo/copyright <script src=\"/extension/iagutils/design/ezwebin/a.js\"></script>\r\n";
  const struct {
    const char* name;
    std::u16string page, headers, expected;
  } cases[] = {
      {"ErrorTextPassesThrough", u"Error: Read timed out.", u"Server: nginx\r\n", u"Error: Read timed out."},
      {"PageThatLooksLikeAnError", u"Error: not really\r\n/wp-content/\r\n", u"", u"Error: not really\r\n/wp-content/\r\n"},
      {"LowerCaseErrorIsAPage", u"error: x /wp-content/\r\n", u"", u"WordPress"},
      {"PlainRegexHeadersInOrder", wp, u"Server: nginx\r\nX-Powered-By: PHP/8.2\r\n", u"WordPress, nginx, PHP/8.2"},
      {"SameNameOnce", ez, u"", u"eZ Publish"},
      {"AsciiCaseFolded", wp, u"X-Powered-By: WORDPRESS\r\n", u"WordPress"},
      {"NonAsciiNotFolded", u"simplebo.fr/\r\n", u"Server: SIMPLÉBO\r\nServer: Simplébo\r\nServer: SIMPLéBO\r\n",
       u"Simplébo, SIMPLÉBO"},
      {"DuplicateHeaders", u"", u"Server: nginx\r\nServer: NGINX\r\n", u"nginx"},
      {"HeaderAlone", u"<p>plain</p>\r\n", u"Server: Apache\r\n", u"Apache"},
      {"NothingFound", u"<p>plain</p>\r\n", u"", u""},
      {"EmptyValueBecomesItem", wp, u"Server: nginx\r\nServer:\r\nX-Powered-By: PHP/8.2\r\n",
       u"WordPress, nginx, , PHP/8.2"},
      {"TwoEmptyValuesOnce", u"", u"Server: a\r\nServer:\r\nServer:\r\nServer: b\r\n", u"a, , b"},
  };
  for (const auto& c : cases) EXPECT_EQ(Narrow(IdentifySite(c.page, c.headers)), Narrow(c.expected)) << c.name;
  // Non-ASCII must come back exactly, not just as the same narrow text.
  EXPECT_EQ(IdentifySite(u"simplebo.fr/\r\n", u"Server: SIMPLÉBO\r\n"), u"Simplébo, SIMPLÉBO");
}

}  // namespace
