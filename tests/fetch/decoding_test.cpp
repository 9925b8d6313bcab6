// Content codings and character sets of fetched pages, end to end through a
// loopback server.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "fetch/body_decoding.h"
#include "fetch/fetch.h"
#include "fetch_test_util.h"
#include "support/loopback_server.h"

using fetchtest::Page;
using testsupport::LoopbackServer;
using testsupport::Reply;

namespace {

const std::string kHtml = "<html><head><title>Shop</title></head>\n<body>Powered by osCommerce</body></html>";

TEST(Decoding, GzipAndDeflateBodiesAreDecompressed) {
  LoopbackServer server;
  server.Route("/gzip", Reply::Status(200, fetchtest::Gzip(kHtml),
                                      {{"Content-Type", "text/html"}, {"Content-Encoding", "gzip"}}));
  server.Route("/deflate", Reply::Status(200, fetchtest::Zlib(kHtml),
                                         {{"Content-Type", "text/html"}, {"Content-Encoding", "Deflate"}}));
  server.Route("/gzip-chunked",
               Reply::Chunked(200, {fetchtest::Gzip(kHtml).substr(0, 10), fetchtest::Gzip(kHtml).substr(10)},
                              {{"Content-Encoding", "gzip"}}));
  server.Route("/brotli", Reply::Status(200, "\x0b\x02\x80raw", {{"Content-Encoding", "br"}}));
  server.Route("/empty-gzip", Reply::Status(200, "", {{"Content-Encoding", "gzip"}}));
  const std::string expected =
      "<html><head><title>Shop</title></head>\r\n<body>Powered by osCommerce</body></html>\r\n";
  EXPECT_EQ(Page(server.Url("/gzip")), expected);
  EXPECT_EQ(Page(server.Url("/deflate")), expected);
  EXPECT_EQ(Page(server.Url("/gzip-chunked")), expected);
  // Other codings are left as they came (here: bytes read one per character).
  EXPECT_EQ(fetch::GetPageText(fetchtest::Utf16(server.Url("/brotli")), fetchtest::Settings()),
            std::u16string(u"\x0b\x02\x80raw\r\n"));
  EXPECT_EQ(Page(server.Url("/empty-gzip")), "");
}

TEST(Decoding, BrokenCompressedBodiesGiveZlibsOwnErrorCode) {
  const std::string gzip = fetchtest::Gzip(kHtml);
  LoopbackServer server;
  server.Route("/garbage", Reply::Status(200, "this is not gzip at all", {{"Content-Encoding", "gzip"}}));
  server.Route("/truncated", Reply::Status(200, gzip.substr(0, gzip.size() / 2), {{"Content-Encoding", "gzip"}}));
  // "deflate" means the zlib format; a raw deflate stream is an error.
  server.Route("/raw-deflate", Reply::Status(200, fetchtest::Compress(kHtml, -15), {{"Content-Encoding", "deflate"}}));
  EXPECT_EQ(Page(server.Url("/garbage")), "Error: ZLib Error (-3)");
  EXPECT_EQ(Page(server.Url("/truncated")), "Error: ZLib Error (-5)");
  EXPECT_EQ(Page(server.Url("/raw-deflate")), "Error: ZLib Error (-3)");
  // The probe reads no body, so a broken one does not matter there.
  EXPECT_TRUE(fetchtest::HeaderText(server.Url("/garbage")));
}

struct CharsetCase {
  const char* name;
  std::string contentType;  // empty: no Content-Type header
  std::string body;
  std::string expected;  // UTF-8, before line normalisation
};

void PrintTo(const CharsetCase& c, std::ostream* os) { *os << c.name; }

class CharsetTest : public testing::TestWithParam<CharsetCase> {};

TEST_P(CharsetTest, PageIsDecodedInTheChosenCharacterSet) {
  const CharsetCase& c = GetParam();
  LoopbackServer server;
  testsupport::Headers headers;
  if (!c.contentType.empty()) headers.emplace_back("Content-Type", c.contentType);
  server.Route("/", Reply::Status(200, c.body, headers));
  EXPECT_EQ(Page(server.Url("/")), c.expected + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Decoding, CharsetTest,
    testing::Values(
        // The header's charset.
        CharsetCase{"Windows1250", "text/html; charset=windows-1250", "Redak\xe8n\xed syst\xe9m IPO",
                    "Redakční systém IPO"},
        CharsetCase{"Windows1251", "text/html; charset=\"windows-1251\"", "\xcf\xf0\xe8\xe2\xe5\xf2", "Привет"},
        CharsetCase{"ShiftJis", "text/html; charset=Shift_JIS", "\x93\xfa\x96\x7b\x8c\xea", "日本語"},
        CharsetCase{"Gbk", "text/html; charset=GBK", "\xd6\xd0\xce\xc4", "中文"},
        // GBK characters under the older label, as servers send them.
        CharsetCase{"Gb2312LabelHoldsGbk", "text/html; charset=gb2312", "\xd6\xd0\x81\x40", "中丂"},
        CharsetCase{"EucKr", "text/html;charset=euc-kr", "\xc7\xd1\xb1\xb9\xbe\xee", "한국어"},
        CharsetCase{"Iso8859_2", "text/plain; charset=ISO-8859-2",
                    "\xb3\xf3"
                    "d\xbc",
                    "łódź"},
        CharsetCase{"Iso8859_7", "text/plain; charset=iso-8859-7", "\xd9\xec\xe5\xe3\xe1", "Ωμεγα"},
        CharsetCase{"Utf8Header", "text/html; charset=utf-8",
                    "Simpl\xc3\xa9"
                    "bo",
                    "Simplébo"},
        // No character set anywhere: one character per byte.
        CharsetCase{"NoneIsBytePerCharacter", "text/html", "Redak\xc4\x8dn\xc3\xad", "RedakÄ\u008dnÃ­"},
        CharsetCase{"NoContentType", "", "caf\xc3\xa9", "cafÃ©"},
        CharsetCase{"UnknownCharsetIsBytePerCharacter", "text/html; charset=no-such-set", "caf\xe9", "café"},
        // HTML meta elements win over the header.
        CharsetCase{"MetaCharsetWins", "text/html; charset=iso-8859-1",
                    "<html><head><meta charset=\"utf-8\"></head>Redak\xc4\x8dn\xc3\xad",
                    "<html><head><meta charset=\"utf-8\"></head>Redakční"},
        CharsetCase{"MetaHttpEquiv", "text/html",
                    "<HEAD><META HTTP-EQUIV=Content-Type CONTENT='text/html; charset=windows-1251'></HEAD>\xcf",
                    "<HEAD><META HTTP-EQUIV=Content-Type CONTENT='text/html; charset=windows-1251'></HEAD>П"},
        CharsetCase{"MetaInXhtml", "application/xhtml+xml", "<html><head><meta charset=Shift_JIS/></head>\x93\xfa",
                    "<html><head><meta charset=Shift_JIS/></head>日"},
        CharsetCase{"MetaInCommentIgnored", "text/html; charset=windows-1251",
                    "<head><!-- <meta charset=\"utf-8\"> --></head>\xcf",
                    "<head><!-- <meta charset=\"utf-8\"> --></head>П"},
        CharsetCase{"MetaInBodyIgnored", "text/html; charset=windows-1251",
                    "<head></head><body><meta charset=\"utf-8\">\xcf", "<head></head><body><meta charset=\"utf-8\">П"},
        CharsetCase{"MetaUtf16MeansUtf8", "text/html", "<meta charset=\"utf-16\">\xc3\xa9",
                    "<meta charset=\"utf-16\">é"},
        // XML decides by itself; the header's charset is not used.
        CharsetCase{"XmlDeclaration", "application/rss+xml; charset=iso-8859-1",
                    "<?xml version=\"1.0\" encoding=\"windows-1251\"?><rss>\xcf</rss>",
                    "<?xml version=\"1.0\" encoding=\"windows-1251\"?><rss>П</rss>"},
        CharsetCase{"XmlDefaultsToUtf8", "application/xml; charset=iso-8859-1", "<a>\xc3\xa9</a>", "<a>é</a>"},
        CharsetCase{"XmlUtf16Bom", "application/xml", std::string("\xff\xfe<\0a\0>\0\xe9\0", 10), "<a>é"},
        // text/xml is text: its header charset counts.
        CharsetCase{"TextXmlUsesHeader", "text/xml; charset=windows-1251", "<a>\xcf</a>", "<a>П</a>"}),
    [](const auto& info) { return std::string(info.param.name); });

// The page text is normalised in place, from the back; a plain forward
// splitter is the reference over many generated texts full of CR, LF and NUL,
// in both decoding paths (byte per character and ICU).
std::u16string ReferenceLines(std::u16string_view text) {
  text = text.substr(0, text.find(u'\0'));
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find_first_of(u"\r\n", i);
    if (end == std::u16string_view::npos) end = text.size();
    out.append(text.substr(i, end - i));
    out.append(u"\r\n");
    if (end == text.size()) break;
    i = end + ((text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ? 2 : 1);
  }
  return out;
}

TEST(Decoding, LinesNormalisedInPlaceMatchAPlainSplitter) {
  std::mt19937 random(20261210);
  const char alphabet[] = {'a', 'b', '\r', '\n', '\r', '\n', '\0', 'z'};
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 24, ' ');
    for (char& c : bytes) c = alphabet[random() % sizeof alphabet];
    if (round % 10 == 0) bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    const std::u16string expected = ReferenceLines(fetch::Latin1ToUtf16(bytes));
    ASSERT_EQ(fetch::PageText(bytes, ""), expected) << round;
    ASSERT_EQ(fetch::PageText(bytes, "windows-1252"), expected) << round;
    ASSERT_EQ(fetch::NormaliseLines(fetch::Latin1ToUtf16(bytes)), expected) << round;
  }
}

}  // namespace
