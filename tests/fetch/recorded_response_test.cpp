// Recorded responses (as web archives hold them) decoded as the page fetch
// decodes what it reads: the same answer served on loopback and fetched
// gives the same page text, failure and header lines; and the cases only a
// recording has (a body cut by the recorder, chunks recorded undone).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fetch/fetch.h"
#include "fetch/recorded_response.h"
#include "fetch_test_util.h"
#include "support/loopback_server.h"

using testsupport::LoopbackServer;
using testsupport::Reply;

namespace {

const std::string kHtml = "<html><head><title>Shop</title></head>\n<body>Powered by osCommerce</body></html>";

std::string Answer(const std::string& head, const std::string& body) { return head + "\r\n" + body; }

struct SameAsFetched {
  const char* name;
  std::string recorded;  // the answer's bytes as sent
};

std::vector<SameAsFetched> SameAsFetchedCases() {
  const std::string gzip = fetchtest::Gzip(kHtml);
  const std::string big(17u << 20, 'a');
  const std::string bomb = fetchtest::Gzip(std::string(17u << 20, '\0'));
  const std::string meta = "<meta charset=\"iso-8859-2\"><title>\xB1\xB6</title>0123456789abcdef";
  return {
      {"length", Answer("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nServer: nginx/1.24.0\r\nContent-Length: " +
                            std::to_string(kHtml.size()) + "\r\n",
                        kHtml)},
      {"chunked_with_extension_and_trailer",
       Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nX-Powered-By: PHP/8.2\r\n",
              "a;name=x\r\n" + kHtml.substr(0, 10) + "\r\n" + [] {
                char size[16];
                std::snprintf(size, sizeof size, "%zx", kHtml.size() - 10);
                return std::string(size);
              }() + "\r\n" + kHtml.substr(10) + "\r\n0\r\nX-Trailer: t\r\n\r\n")},
      {"gzip", Answer("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " + std::to_string(gzip.size()) +
                          "\r\n",
                      gzip)},
      {"gzip_chunked", Answer("HTTP/1.1 200 OK\r\nContent-Encoding: GZip\r\nTransfer-Encoding: chunked\r\n",
                              [&] {
                                char size[16];
                                std::snprintf(size, sizeof size, "%zX", gzip.size());
                                return std::string(size) + "\r\n" + gzip + "\r\n0\r\n\r\n";
                              }())},
      {"charset_from_header", Answer("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=windows-1251\r\n"
                                     "Content-Length: 10\r\n",
                                     "\xCF\xF0\xE8\xE2\xE5\xF2 CMS")},
      {"charset_from_meta", Answer("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                       std::to_string(meta.size()) + "\r\n",
                                   meta)},
      {"not_found", Answer("HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n", "no!")},
      {"redirect_without_location", Answer("HTTP/1.1 302 Found\r\nContent-Length: 0\r\n", "")},
      {"interim_answer_first", "HTTP/1.1 100 Continue\r\n\r\n" + Answer("HTTP/1.1 200 OK\r\nContent-Length: " +
                                                                            std::to_string(kHtml.size()) + "\r\n",
                                                                        kHtml)},
      {"until_close", Answer("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n", kHtml)},
      {"folded_header", Answer("HTTP/1.1 200 OK\r\nX-Powered-By: Alpha\r\n   Beta\r\nContent-Length: 2\r\n", "ok")},
      {"broken_gzip", Answer("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 12\r\n", "not gzip!!!!")},
      {"gzip_ends_early", Answer("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
                                     std::to_string(gzip.size() / 2) + "\r\n",
                                 gzip.substr(0, gzip.size() / 2))},
      {"beyond_the_cap", Answer("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(big.size()) + "\r\n", big)},
      {"gzip_bomb", Answer("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " + std::to_string(bomb.size()) +
                               "\r\n",
                           bomb)},
  };
}

TEST(RecordedResponse, DecodedAsTheSameAnswerFetched) {
  LoopbackServer server;
  const auto cases = SameAsFetchedCases();
  for (const auto& c : cases) server.Route(std::string("/") + c.name, Reply::Raw(c.recorded).Close());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string url = server.Url(std::string("/") + c.name);
    const fetch::PageFetch fetched = fetch::FetchPage(fetchtest::Utf16(url), fetchtest::Settings());
    const fetch::RecordedPage recorded = fetch::DecodeRecordedResponse(c.recorded, false);
    EXPECT_EQ(recorded.failed, fetched.failed);
    EXPECT_TRUE(recorded.pageText == fetched.text)
        << fetchtest::Utf8(recorded.pageText).substr(0, 200) << "\n" << fetchtest::Utf8(fetched.text).substr(0, 200);
    // The header probe reads the same lines from the same answer.
    if (!fetched.failed) {
      const std::optional<std::string> probed = fetchtest::HeaderText(url);
      ASSERT_TRUE(probed);
      EXPECT_EQ(fetchtest::Utf8(recorded.headerText), *probed);
    }
  }
}

struct OnlyRecorded {
  const char* name;
  std::string recorded;
  bool cut;
  std::string page;  // UTF-8
  bool failed;
};

TEST(RecordedResponse, WhatOnlyARecordingHas) {
  const std::string gzip = fetchtest::Gzip(kHtml);
  const std::string page = "<html><head><title>Shop</title></head>\r\n<body>Powered by osCommerce</body></html>\r\n";
  const OnlyRecorded cases[] = {
      // Some writers store the body with its chunks undone and keep the header.
      {"chunks_recorded_undone", Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n", kHtml), false, page, false},
      {"chunks_cut_short", Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n", "5\r\n<html\r\n20\r\n><bo"),
       false, "<html><bo\r\n", false},
      {"chunks_broken_in_the_middle",
       Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n", "5\r\n<html\r\nzz\r\nmore\r\n0\r\n\r\n"), false,
       "Error: Broken chunked transfer coding.", true},
      {"chunk_without_its_line_end", Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n", "2\r\nabcd\r\n0\r\n\r\n"),
       false, "Error: Broken chunked transfer coding.", true},
      {"shorter_than_its_length", Answer("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n", "<p>half"), false, "<p>half\r\n",
       false},
      {"longer_than_its_length", Answer("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n", "<p>and more"), false, "<p>\r\n",
       false},
      {"gzip_cut_by_the_recorder",
       Answer("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " + std::to_string(gzip.size()) + "\r\n",
              gzip.substr(0, gzip.size() - 12)),
       true, "", false},
      {"redirect_with_location", Answer("HTTP/1.1 301 Moved Permanently\r\nLocation: /new\r\nContent-Length: 4\r\n", "gone"),
       false, "", false},
      {"not_http", "<html>a page without its answer</html>", false, "Error: Not an HTTP response.", true},
      {"head_never_ends", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n", true, "Error: Not an HTTP response.", true},
      {"only_an_interim_answer", "HTTP/1.1 100 Continue\r\n\r\n", false, "Error: Not an HTTP response.", true},
      {"empty", "", false, "Error: Not an HTTP response.", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fetch::RecordedPage recorded = fetch::DecodeRecordedResponse(c.recorded, c.cut);
    EXPECT_EQ(recorded.failed, c.failed);
    if (std::string(c.name) == "gzip_cut_by_the_recorder") {
      // As far as the compressed stream goes: a part of the page, no error.
      EXPECT_TRUE(page.starts_with(fetchtest::Utf8(recorded.pageText).substr(0, 20)));
      EXPECT_FALSE(recorded.pageText.empty());
    } else {
      EXPECT_EQ(fetchtest::Utf8(recorded.pageText), c.page);
    }
  }
  // The same gzip cut short without the recorder saying so is the fetch's error.
  const std::string cut = Answer("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
                                     std::to_string(gzip.size() - 12) + "\r\n",
                                 gzip.substr(0, gzip.size() - 12));
  EXPECT_EQ(fetchtest::Utf8(fetch::DecodeRecordedResponse(cut, false).pageText), "Error: ZLib Error (-5)");
}

TEST(RecordedResponse, HeadersOfAFailedAnswerStillGoToTheHeaderText) {
  const fetch::RecordedPage page =
      fetch::DecodeRecordedResponse("HTTP/1.1 503 Busy\r\nServer:  Apache/2.4 \r\n\r\n", false);
  EXPECT_TRUE(page.failed);
  EXPECT_EQ(fetchtest::Utf8(page.pageText), "Error: HTTP/1.1 503 Busy");
  EXPECT_EQ(fetchtest::Utf8(page.headerText), "Server: Apache/2.4\r\n");
}

TEST(RecordedResponse, DechunkTellsWholeCutBrokenAndNotChunked) {
  using Kind = fetch::Dechunked::Kind;
  const struct {
    const char* body;
    Kind kind;
    const char* out;
  } cases[] = {
      {"3\r\nabc\r\n0\r\n\r\n", Kind::Whole, "abc"},
      {"3\nabc\n0\n\n", Kind::Whole, "abc"},
      {"3 ; ext=1\r\nabc\r\n0\r\n", Kind::Whole, "abc"},
      {"3\r\nab", Kind::Cut, "ab"},
      {"3\r\nabc\r\n", Kind::Cut, "abc"},
      {"3", Kind::Cut, ""},
      {"<html>", Kind::NotChunked, ""},
      {"3\r\nabc\r\nxyz\r\n", Kind::Broken, "abc"},
      {"ffffffffffffffffffff\r\nabc", Kind::NotChunked, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    const fetch::Dechunked d = fetch::Dechunk(c.body);
    EXPECT_EQ(d.kind, c.kind);
    EXPECT_EQ(d.body, c.out);
  }
}

}  // namespace
