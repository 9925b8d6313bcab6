// Requests through real proxies started here on loopback (tinyproxy for HTTP
// and CONNECT, microsocks for SOCKS5), in each of the three proxy modes. Each
// case shows from the proxy's own log that the request went through it.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "fetch/fetch.h"
#include "fetch/proxy.h"
#include "fetch_test_util.h"
#include "support/loopback_server.h"
#include "support/proxy_server.h"
#include "support/scoped_env.h"

using fetchtest::HeaderText;
using fetchtest::Page;
using testsupport::ProxyServer;

namespace {

constexpr const char* kBody = "<html><body>Powered by WordPress</body></html>";

fetch::RequestSettings Through(fetch::ProxyMode mode, const std::string& url = {}, const std::string& user = {},
                               const std::string& password = {}) {
  fetch::RequestSettings settings = fetchtest::Settings();
  settings.proxy = {mode, url, user, password};
  return settings;
}

// Every variable that could steer a request elsewhere, cleared for the test.
struct CleanEnvironment : testsupport::ScopedEnv {
  CleanEnvironment() { ClearProxyVariables(); }
};

#define SKIP_WITHOUT(kind)                                                        \
  if (!ProxyServer::Installed(kind)) GTEST_SKIP() << "proxy program not installed"

// ---- Manual mode: every kind of proxy, with and without credentials -------

struct ManualCase {
  const char* name;
  ProxyServer::Kind kind;
  bool tlsSite;      // https site: a CONNECT tunnel for the HTTP proxy
  bool credentials;  // the proxy asks for a user name and password
};

class ManualProxyTest : public testing::TestWithParam<ManualCase> {};

TEST_P(ManualProxyTest, PageAndProbeGoThroughTheProxy) {
  const ManualCase& c = GetParam();
  SKIP_WITHOUT(c.kind);
  CleanEnvironment environment;
  testsupport::LoopbackServer::Options siteOptions;
  siteOptions.tls = c.tlsSite;
  testsupport::LoopbackServer site(siteOptions);
  site.SetHandler([](const testsupport::Request&) { return testsupport::Reply::Html(kBody); });
  ProxyServer proxy({c.kind, c.credentials ? "alice" : "", c.credentials ? "s3cret" : ""});
  ASSERT_TRUE(proxy.Started()) << proxy.Problem();

  const auto settings = Through(fetch::ProxyMode::Manual, proxy.Url(), c.credentials ? "alice" : "",
                                c.credentials ? "s3cret" : "");
  EXPECT_EQ(Page(site.Url("/page"), settings), std::string(kBody) + "\r\n");
  const auto headers = HeaderText(site.Url("/page"), settings);
  ASSERT_TRUE(headers.has_value());
  EXPECT_NE(headers->find("Content-Type: text/html"), std::string::npos);
  EXPECT_TRUE(proxy.Saw(site.Port())) << proxy.Log();
  EXPECT_EQ(site.Requests().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Proxies, ManualProxyTest,
    testing::Values(ManualCase{"HttpProxyPlainSite", ProxyServer::Kind::Http, false, false},
                    ManualCase{"HttpProxyTunnelToTlsSite", ProxyServer::Kind::Http, true, false},
                    ManualCase{"HttpProxyWithBasicAuth", ProxyServer::Kind::Http, false, true},
                    ManualCase{"HttpProxyTunnelWithBasicAuth", ProxyServer::Kind::Http, true, true},
                    ManualCase{"Socks5", ProxyServer::Kind::Socks5, false, false},
                    ManualCase{"Socks5ToTlsSite", ProxyServer::Kind::Socks5, true, false},
                    ManualCase{"Socks5WithAuth", ProxyServer::Kind::Socks5, false, true}),
    [](const testing::TestParamInfo<ManualCase>& info) { return std::string(info.param.name); });

// ---- Failures told in our own words ---------------------------------------

struct FailureCase {
  const char* name;
  ProxyServer::Kind kind;
  bool proxyWantsCredentials;
  const char* user;  // what the request sends; empty: nothing
  const char* password;
  bool tlsSite;
  bool siteRefuses;        // the site's port takes no connection
  const char* scheme;      // overrides the proxy URL's scheme when set
  const char* expected;
};

class ProxyFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(ProxyFailureTest, PageFetchNamesTheProxysFault) {
  const FailureCase& c = GetParam();
  SKIP_WITHOUT(c.kind);
  CleanEnvironment environment;
  testsupport::LoopbackServer::Options siteOptions;
  siteOptions.tls = c.tlsSite;
  testsupport::LoopbackServer site(siteOptions);
  site.SetHandler([](const testsupport::Request&) { return testsupport::Reply::Html(kBody); });
  testsupport::RefusingPort refusing;
  ProxyServer proxy({c.kind, c.proxyWantsCredentials ? "alice" : "", c.proxyWantsCredentials ? "s3cret" : ""});
  ASSERT_TRUE(proxy.Started()) << proxy.Problem();

  std::string proxyUrl = proxy.Url();
  if (*c.scheme) proxyUrl = std::string(c.scheme) + proxyUrl.substr(proxyUrl.find("://"));
  const std::string siteUrl = c.siteRefuses ? std::string(c.tlsSite ? "https" : "http") + "://127.0.0.1:" +
                                                  std::to_string(refusing.Port()) + "/"
                                            : site.Url("/");
  EXPECT_EQ(Page(siteUrl, Through(fetch::ProxyMode::Manual, proxyUrl, c.user, c.password)), c.expected)
      << proxy.Log();
  EXPECT_TRUE(site.Requests().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ProxyFailureTest,
    testing::Values(
        FailureCase{"HttpProxyWantsCredentials", ProxyServer::Kind::Http, true, "", "", false, false, "",
                    "Error: Proxy requires authentication."},
        FailureCase{"TunnelWantsCredentials", ProxyServer::Kind::Http, true, "", "", true, false, "",
                    "Error: Proxy requires authentication."},
        FailureCase{"TunnelRejectsPassword", ProxyServer::Kind::Http, true, "alice", "wrong", true, false, "",
                    "Error: Proxy rejected the user name or password."},
        // For a plain request the proxy answers a wrong password with 401
        // and its own realm, not 407: still the proxy's refusal.
        FailureCase{"HttpProxyRejectsPassword", ProxyServer::Kind::Http, true, "alice", "wrong", false, false, "",
                    "Error: Proxy rejected the user name or password."},
        FailureCase{"TunnelToClosedPort", ProxyServer::Kind::Http, false, "", "", true, true, "",
                    "Error: Proxy could not connect to the site."},
        FailureCase{"Socks5WantsCredentials", ProxyServer::Kind::Socks5, true, "", "", false, false, "",
                    "Error: Proxy requires authentication."},
        FailureCase{"Socks5RejectsPassword", ProxyServer::Kind::Socks5, true, "alice", "wrong", false, false, "",
                    "Error: Proxy rejected the user name or password."},
        FailureCase{"Socks5ToClosedPort", ProxyServer::Kind::Socks5, false, "", "", false, true, "",
                    "Error: Proxy could not connect to the site."},
        FailureCase{"Socks4SpokenToSocks5Proxy", ProxyServer::Kind::Socks5, false, "", "", false, false, "socks4",
                    "Error: Proxy closed the connection."}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(ProxyFailure, ClosedProxyPortIsRefusedConnection) {
  CleanEnvironment environment;
  testsupport::LoopbackServer site;
  testsupport::RefusingPort refusing;
  const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(refusing.Port());
  EXPECT_EQ(Page(site.Url("/"), Through(fetch::ProxyMode::Manual, proxyUrl)), "Error: Proxy refused the connection.");
  EXPECT_FALSE(HeaderText(site.Url("/"), Through(fetch::ProxyMode::Manual, proxyUrl)).has_value());
  EXPECT_TRUE(site.Requests().empty());
}

// A site's own 401 through a proxy that took the credentials stays the
// site's answer.
TEST(ProxyFailure, SitesOwnUnauthorizedThroughAnAuthenticatingProxy) {
  SKIP_WITHOUT(ProxyServer::Kind::Http);
  CleanEnvironment environment;
  testsupport::LoopbackServer site;
  site.SetHandler([](const testsupport::Request&) {
    return testsupport::Reply::Status(401, "no", {{"WWW-Authenticate", "Basic realm=\"members\""}});
  });
  ProxyServer proxy({ProxyServer::Kind::Http, "alice", "s3cret"});
  ASSERT_TRUE(proxy.Started()) << proxy.Problem();
  const std::string page = Page(site.Url("/"), Through(fetch::ProxyMode::Manual, proxy.Url(), "alice", "s3cret"));
  EXPECT_TRUE(page.starts_with("Error: HTTP/1.") && page.ends_with(" 401 Unauthorized")) << page;
  EXPECT_EQ(site.Requests().size(), 1u);
}

// Proxies that misbehave at once, played by a scripted server: what the
// user reads names the proxy, never the site.
struct HostileProxyCase {
  const char* name;
  bool tlsSite;  // a CONNECT tunnel to an https site, else a plain request
  testsupport::Reply greeting;
  const char* expected;
};

void PrintTo(const HostileProxyCase& c, std::ostream* os) { *os << c.name; }

class HostileProxyTest : public testing::TestWithParam<HostileProxyCase> {};

TEST_P(HostileProxyTest, FailureNamesTheProxy) {
  const auto& c = GetParam();
  CleanEnvironment environment;
  testsupport::LoopbackServer::Options options;
  options.greeting = c.greeting;
  testsupport::LoopbackServer proxy(options);
  const std::string site = std::string(c.tlsSite ? "https" : "http") + "://127.0.0.1:9/";
  EXPECT_EQ(Page(site, Through(fetch::ProxyMode::Manual, proxy.Url())), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, HostileProxyTest,
    testing::Values(
        HostileProxyCase{"GarbageToConnect", true,
                         testsupport::Reply::Empty().ReadSome().Send("hello world\r\n\r\n").Close(),
                         "Error: Proxy answered in a way the program does not understand."},
        // Silence is a time-out as ever, not the proxy's close.
        HostileProxyCase{"SilentToConnect", true, testsupport::Reply::Empty().ReadSome().Idle(),
                         "Error: Connect timed out."},
        HostileProxyCase{"ClosesBeforeConnectAnswer", true, testsupport::Reply::Empty().ReadSome().Close(),
                         "Error: Proxy closed the connection."},
        HostileProxyCase{"ClosesAtOncePlain", false, testsupport::Reply::Empty().Close(),
                         "Error: Proxy closed the connection."},
        HostileProxyCase{"ResetsAtOncePlain", false, testsupport::Reply::Empty().Reset(),
                         "Error: Proxy closed the connection."},
        HostileProxyCase{"ResetsAfterRequestPlain", false, testsupport::Reply::Empty().ReadSome().Reset(),
                         "Error: Proxy closed the connection."}),
    [](const testing::TestParamInfo<HostileProxyCase>& info) { return std::string(info.param.name); });

// A proxy that answers every NTLM message with a new challenge: a few
// rounds, then the credentials count as rejected (not thousands of
// requests for one site).
TEST(ProxyFailure, NtlmProxyThatChallengesForeverIsBounded) {
  CleanEnvironment environment;
  // A type-2 message: signature, type, empty target name, flags, challenge.
  const std::string challenge = "TlRMTVNTUAACAAAAAAAAADAAAAABggAAASNFZ4mrze8AAAAAAAAAAAAAAAAwAAAA";
  testsupport::LoopbackServer proxy;
  proxy.SetHandler([&](const testsupport::Request& request) {
    const bool answering = request.Header("Proxy-Authorization").has_value();
    return testsupport::Reply::Status(407, "", {{"Proxy-Authenticate", answering ? "NTLM " + challenge : "NTLM"}});
  });
  for (const bool tls : {false, true}) {
    const std::size_t before = proxy.Requests().size();
    const std::string site = std::string(tls ? "https" : "http") + "://127.0.0.1:9/";
    EXPECT_EQ(Page(site, Through(fetch::ProxyMode::Manual, proxy.Url(), "alice", "pw")),
              "Error: Proxy rejected the user name or password.")
        << (tls ? "tunnel" : "plain");
    EXPECT_LE(proxy.Requests().size() - before, 8u) << (tls ? "tunnel" : "plain");
  }
}

// With a proxy password in memory the process leaves no core dump.
TEST(ProxyPassword, CoreDumpsOffOnceAPasswordIsHeld) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit some{RLIM_INFINITY, RLIM_INFINITY};
    ::setrlimit(RLIMIT_CORE, &some);  // where the user allows them
    bool ok = ::prctl(PR_GET_DUMPABLE) == 1 && fetch::KeepCoreDumpsFromPassword();
    rlimit core{};
    ok = ok && ::getrlimit(RLIMIT_CORE, &core) == 0 && core.rlim_cur == 0 && core.rlim_max == 0;
    ok = ok && ::prctl(PR_GET_DUMPABLE) == 0;
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// ---- Environment mode and the default ------------------------------------

class EnvironmentProxyTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!ProxyServer::Installed(ProxyServer::Kind::Http)) GTEST_SKIP() << "tinyproxy not installed";
    ASSERT_TRUE(proxy_.Started()) << proxy_.Problem();
    site_.SetHandler([](const testsupport::Request&) { return testsupport::Reply::Html(kBody); });
  }
  CleanEnvironment environment_;
  testsupport::LoopbackServer site_;
  ProxyServer proxy_{{ProxyServer::Kind::Http, "", ""}};
};

TEST_F(EnvironmentProxyTest, HttpProxyVariableIsFollowed) {
  environment_.Set("http_proxy", proxy_.Url().c_str());
  EXPECT_EQ(Page(site_.Url("/"), Through(fetch::ProxyMode::Environment)), std::string(kBody) + "\r\n");
  EXPECT_TRUE(proxy_.Saw(site_.Port())) << proxy_.Log();
}

TEST_F(EnvironmentProxyTest, NoProxyListSendsTheSiteDirect) {
  environment_.Set("http_proxy", proxy_.Url().c_str()).Set("no_proxy", "example.org, 127.0.0.0/8");
  EXPECT_EQ(Page(site_.Url("/"), Through(fetch::ProxyMode::Environment)), std::string(kBody) + "\r\n");
  EXPECT_FALSE(proxy_.Saw(site_.Port())) << proxy_.Log();
  EXPECT_EQ(site_.Requests().size(), 1u);
}

TEST_F(EnvironmentProxyTest, HttpsSiteTakesHttpsProxyThenAllProxy) {
  testsupport::LoopbackServer::Options tls;
  tls.tls = true;
  testsupport::LoopbackServer secure(tls);
  secure.SetHandler([](const testsupport::Request&) { return testsupport::Reply::Html(kBody); });
  environment_.Set("all_proxy", proxy_.Url().c_str());
  EXPECT_EQ(Page(secure.Url("/"), Through(fetch::ProxyMode::Environment)), std::string(kBody) + "\r\n");
  EXPECT_TRUE(proxy_.Saw(secure.Port())) << proxy_.Log();

  // https_proxy comes before all_proxy; a closed port shows which was taken.
  testsupport::RefusingPort refusing;
  environment_.Set("https_proxy", ("http://127.0.0.1:" + std::to_string(refusing.Port())).c_str());
  EXPECT_EQ(Page(secure.Url("/"), Through(fetch::ProxyMode::Environment)), "Error: Proxy refused the connection.");
}

TEST_F(EnvironmentProxyTest, NoneAndManualModesIgnoreTheEnvironment) {
  testsupport::RefusingPort refusing;
  environment_.Set("http_proxy", ("http://127.0.0.1:" + std::to_string(refusing.Port())).c_str())
      .Set("all_proxy", ("http://127.0.0.1:" + std::to_string(refusing.Port())).c_str())
      .Set("no_proxy", "*");
  // The default: direct, as if no variable were set.
  EXPECT_EQ(Page(site_.Url("/")), std::string(kBody) + "\r\n");
  // Manual: through its own proxy even though no_proxy names every host.
  EXPECT_EQ(Page(site_.Url("/"), Through(fetch::ProxyMode::Manual, proxy_.Url())), std::string(kBody) + "\r\n");
  EXPECT_TRUE(proxy_.Saw(site_.Port())) << proxy_.Log();
  EXPECT_EQ(site_.Requests().size(), 2u);
}

// ---- The rules themselves --------------------------------------------------

struct NoProxyCase {
  const char* name;
  const char* host;
  const char* list;
  bool match;
};

class NoProxyTest : public testing::TestWithParam<NoProxyCase> {};

TEST_P(NoProxyTest, MatchesAsLibcurlDoes) {
  EXPECT_EQ(fetch::NoProxyMatches(GetParam().host, GetParam().list), GetParam().match);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, NoProxyTest,
    testing::Values(NoProxyCase{"Empty", "example.com", "", false},
                    NoProxyCase{"StarAlone", "example.com", "*", true},
                    NoProxyCase{"StarInAListIsNoWildcard", "example.com", "a.org,*", false},
                    NoProxyCase{"ExactName", "example.com", "example.com", true},
                    NoProxyCase{"NameWithoutCase", "WWW.Example.COM", "example.com", true},
                    NoProxyCase{"Subdomain", "www.example.com", "example.com", true},
                    NoProxyCase{"LeadingDot", "www.example.com", ".example.com", true},
                    NoProxyCase{"LeadingDotMatchesTheDomainItself", "example.com", ".example.com", true},
                    NoProxyCase{"SuffixIsNoDomain", "badexample.com", "example.com", false},
                    NoProxyCase{"TrailingDotOfHost", "example.com.", "example.com", true},
                    NoProxyCase{"BlanksAndCommas", "b.org", " a.org ,, b.org ", true},
                    NoProxyCase{"BlankSeparated", "b.org", "a.org b.org", true},
                    NoProxyCase{"Ipv4Exact", "10.1.2.3", "10.1.2.3", true},
                    NoProxyCase{"Ipv4NotAName", "10.1.2.3", "2.3", false},
                    NoProxyCase{"Ipv4Cidr", "10.1.2.3", "10.0.0.0/8", true},
                    NoProxyCase{"Ipv4CidrOutside", "11.1.2.3", "10.0.0.0/8", false},
                    NoProxyCase{"Ipv6Bracketed", "[::1]", "::1", true},
                    NoProxyCase{"Ipv6Cidr", "[fd00::5]", "fd00::/8", true},
                    NoProxyCase{"Ipv6Outside", "[fe80::1]", "fd00::/8", false}),
    [](const testing::TestParamInfo<NoProxyCase>& info) { return std::string(info.param.name); });

TEST(ProxyUrl, OnlyTheSixSchemesWithAHostAndNothingElse) {
  using P = fetch::ProxyUrlProblem;
  const std::pair<const char*, P> cases[] = {
      {"http://proxy.example:3128", P::None},     {"https://proxy.example", P::None},
      {"socks4://10.0.0.1:1080", P::None},        {"socks4a://proxy:1080", P::None},
      {"socks5://[::1]:1080", P::None},           {"socks5h://proxy:1080/", P::None},
      {"", P::Empty},                             {"  ", P::Empty},
      {"ftp://proxy:21", P::Scheme},              {"proxy:3128", P::Scheme},
      {"http://alice:pw@proxy:3128", P::Credentials}, {"http://alice@proxy:3128", P::Credentials},
      {"http://proxy:3128/path", P::Path},        {"http://proxy:3128/?q", P::Path},
      {"http://", P::Malformed},                  {"http://proxy:99999", P::Malformed},
  };
  for (const auto& [url, problem] : cases) EXPECT_EQ(fetch::CheckProxyUrl(url), problem) << url;
}

}  // namespace
