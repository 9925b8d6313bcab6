// HTTPS against loopback servers with a self-signed certificate made at run
// time: any certificate is accepted, every protocol version from TLS 1.0 to
// 1.3 works, and handshake failures carry their texts.
#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include "fetch/fetch.h"
#include "fetch_test_util.h"
#include "support/loopback_server.h"

using fetchtest::HeaderText;
using fetchtest::Page;
using testsupport::LoopbackServer;
using testsupport::Reply;

namespace {

struct VersionCase {
  const char* name;
  int version;  // the only version the server offers; 0: its defaults
};

class TlsVersionTest : public testing::TestWithParam<VersionCase> {};

TEST_P(TlsVersionTest, SelfSignedServerIsReadLikeAnyOther) {
  LoopbackServer::Options options;
  options.tls = true;
  options.tlsMinVersion = GetParam().version;
  options.tlsMaxVersion = GetParam().version;
  LoopbackServer server(options);
  server.Route("/", Reply::Status(200, "<p>secure</p>", {{"Content-Type", "text/html"}, {"Server", "tls-test"}}));
  server.Route("/moved", Reply::Redirect(301, "/"));
  EXPECT_EQ(Page(server.Url("/moved")), "<p>secure</p>\r\n");
  EXPECT_EQ(HeaderText(server.Url("/")), "Content-Type: text/html\r\nServer: tls-test\r\nContent-Length: 13\r\n");
}

INSTANTIATE_TEST_SUITE_P(Tls, TlsVersionTest,
                         testing::Values(VersionCase{"ServerDefaults", 0}, VersionCase{"Tls1_0", TLS1_VERSION},
                                         VersionCase{"Tls1_1", TLS1_1_VERSION}, VersionCase{"Tls1_2", TLS1_2_VERSION},
                                         VersionCase{"Tls1_3", TLS1_3_VERSION}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Tls, ServerNameIsSentAndCookiesAndGzipWorkOverTls) {
  LoopbackServer::Options options;
  options.tls = true;
  LoopbackServer server(options);
  server.Route("/", Reply::Redirect(302, "/page", {{"Set-Cookie", "t=1"}}));
  server.SetHandler([](const testsupport::Request& request) {
    return Reply::Status(200, fetchtest::Gzip("cookie " + request.Header("Cookie").value_or("none")),
                         {{"Content-Encoding", "gzip"}});
  });
  // "localhost" is a name, so it goes into the handshake.
  const std::string url = "https://localhost:" + std::to_string(server.Port()) + "/";
  EXPECT_EQ(Page(url), "cookie t=1\r\n");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].serverName, "localhost");
}

TEST(Tls, HandshakeFailuresAreSslConnectErrors) {
  LoopbackServer::Options closes;
  closes.greeting = Reply::Empty().ReadSome().Close();  // reads the client's hello, then ends
  LoopbackServer closing(closes);
  const std::string closingUrl = "https://127.0.0.1:" + std::to_string(closing.Port()) + "/";
  EXPECT_EQ(Page(closingUrl), "Error: Error connecting with SSL. EOF was observed that violates the protocol");

  // A plain HTTP server on the port: the TLS library's own text follows.
  LoopbackServer::Options plainText;
  plainText.greeting = Reply::Raw("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n").Close();
  LoopbackServer plain(plainText);
  const std::string plainUrl = "https://127.0.0.1:" + std::to_string(plain.Port()) + "/";
  const std::string prefix = "Error: Error connecting with SSL. ";
  const std::string text = Page(plainUrl);
  EXPECT_EQ(text.rfind(prefix, 0), 0u) << text;
  EXPECT_GT(text.size(), prefix.size()) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos) << text;
  EXPECT_EQ(HeaderText(plainUrl), std::nullopt);
}

}  // namespace
