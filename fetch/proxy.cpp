#include "fetch/proxy.h"

#include <arpa/inet.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fetch/socket_errors.h"

namespace fetch {
namespace {

struct UrlDeleter {
  void operator()(CURLU* h) const { curl_url_cleanup(h); }
};

struct CurlText {
  char* text = nullptr;
  ~CurlText() { curl_free(text); }
};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// A variable's value; `set` tells whether it exists at all (an empty value
// counts as set).
std::string Variable(const char* name, bool& set) {
  const char* value = std::getenv(name);
  set = value != nullptr;
  return value ? value : "";
}

// Whether `host` (an address in text form) lies in `network`/`bits`; bits 0
// means the whole address.
template <int Family, size_t Bytes>
bool InRange(const std::string& host, const std::string& network, int bits) {
  std::array<unsigned char, Bytes> a{}, b{};
  if (inet_pton(Family, host.c_str(), a.data()) != 1 || inet_pton(Family, network.c_str(), b.data()) != 1) return false;
  const int total = static_cast<int>(Bytes * 8);
  if (bits <= 0 || bits > total) bits = total;
  const int whole = bits / 8;
  if (std::memcmp(a.data(), b.data(), static_cast<size_t>(whole)) != 0) return false;
  const int rest = bits % 8;
  if (rest == 0) return true;
  const unsigned mask = (0xFFu << (8 - rest)) & 0xFFu;
  return (a[static_cast<size_t>(whole)] & mask) == (b[static_cast<size_t>(whole)] & mask);
}

bool HasCredentials(const std::string& proxyUrl) {
  std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
  if (curl_url_set(url.get(), CURLUPART_URL, proxyUrl.c_str(), CURLU_NON_SUPPORT_SCHEME | CURLU_GUESS_SCHEME) != CURLUE_OK)
    return false;
  CurlText user;
  return curl_url_get(url.get(), CURLUPART_USER, &user.text, 0) == CURLUE_OK && user.text && *user.text;
}

}  // namespace

ProxyUrlProblem CheckProxyUrl(std::string_view text) {
  const std::string url(text);
  if (url.find_first_not_of(" \t") == std::string::npos) return ProxyUrlProblem::Empty;
  if (url.find("://") == std::string::npos) return ProxyUrlProblem::Scheme;  // "proxy:3128" is not read as a scheme
  std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
  if (curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
    return ProxyUrlProblem::Malformed;
  CurlText scheme, host, user, password, path, query, fragment;
  curl_url_get(handle.get(), CURLUPART_SCHEME, &scheme.text, 0);
  const std::string_view s = scheme.text ? scheme.text : "";
  if (s != "http" && s != "https" && s != "socks4" && s != "socks4a" && s != "socks5" && s != "socks5h")
    return ProxyUrlProblem::Scheme;
  if (curl_url_get(handle.get(), CURLUPART_HOST, &host.text, 0) != CURLUE_OK || !host.text || !*host.text)
    return ProxyUrlProblem::Malformed;
  if (curl_url_get(handle.get(), CURLUPART_USER, &user.text, 0) == CURLUE_OK ||
      curl_url_get(handle.get(), CURLUPART_PASSWORD, &password.text, 0) == CURLUE_OK)
    return ProxyUrlProblem::Credentials;
  curl_url_get(handle.get(), CURLUPART_PATH, &path.text, 0);
  if ((path.text && std::strcmp(path.text, "/") != 0 && *path.text) ||
      curl_url_get(handle.get(), CURLUPART_QUERY, &query.text, 0) == CURLUE_OK ||
      curl_url_get(handle.get(), CURLUPART_FRAGMENT, &fragment.text, 0) == CURLUE_OK)
    return ProxyUrlProblem::Path;
  return ProxyUrlProblem::None;
}

std::string_view ProxyModeName(ProxyMode mode) {
  switch (mode) {
    case ProxyMode::Environment:
      return "env";
    case ProxyMode::Manual:
      return "manual";
    case ProxyMode::None:
      break;
  }
  return "none";
}

bool ProxyModeFromName(std::string_view name, ProxyMode& mode) {
  for (ProxyMode m : {ProxyMode::None, ProxyMode::Environment, ProxyMode::Manual})
    if (SameNoCase(name, ProxyModeName(m))) {
      mode = m;
      return true;
    }
  return false;
}

std::string EnvironmentProxyFor(std::string_view scheme, std::string_view host) {
  std::string name;
  for (char c : scheme) name += Lower(c);
  name += "_proxy";
  bool set = false;
  std::string proxy = Variable(name.c_str(), set);
  // HTTP_PROXY is never read: under CGI it is set from a request's header.
  if (!set && name != "http_proxy") {
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; });
    proxy = Variable(upper.c_str(), set);
  }
  if (!set) proxy = Variable("all_proxy", set);
  if (!set) proxy = Variable("ALL_PROXY", set);
  if (proxy.empty()) return {};
  std::string noProxy = Variable("no_proxy", set);
  if (!set) noProxy = Variable("NO_PROXY", set);
  if (NoProxyMatches(host, noProxy)) return {};
  return proxy;
}

bool NoProxyMatches(std::string_view host, std::string_view noProxy) {
  if (noProxy.empty()) return false;
  if (noProxy == "*") return true;
  enum class Kind { Name, V4, V6 } kind = Kind::Name;
  std::string name(host);
  if (!name.empty() && name.front() == '[') {
    const size_t close = name.find(']');
    if (close == std::string::npos) return false;
    name = name.substr(1, close - 1);
    kind = Kind::V6;
  } else {
    in_addr v4{};
    in6_addr v6{};
    if (inet_pton(AF_INET, name.c_str(), &v4) == 1)
      kind = Kind::V4;
    else if (inet_pton(AF_INET6, name.c_str(), &v6) == 1)
      kind = Kind::V6;
    else if (!name.empty() && name.back() == '.')
      name.pop_back();  // a fully qualified name's final dot changes nothing
  }
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t i = 0;
  while (i < noProxy.size()) {
    while (i < noProxy.size() && (blank(noProxy[i]) || noProxy[i] == ',')) ++i;
    const size_t start = i;
    while (i < noProxy.size() && !blank(noProxy[i]) && noProxy[i] != ',') ++i;
    std::string_view token = noProxy.substr(start, i - start);
    if (token.empty()) continue;
    if (kind == Kind::Name) {
      if (token.back() == '.') token.remove_suffix(1);
      if (!token.empty() && token.front() == '.') token.remove_prefix(1);
      if (token.empty()) continue;
      if (token.size() == name.size() && SameNoCase(token, name)) return true;
      if (token.size() < name.size() && name[name.size() - token.size() - 1] == '.' &&
          SameNoCase(token, std::string_view(name).substr(name.size() - token.size())))
        return true;
    } else {
      std::string network(token);
      int bits = 0;
      const size_t slash = network.find('/');
      if (slash != std::string::npos) {
        bits = std::atoi(network.c_str() + slash + 1);
        network.resize(slash);
      }
      if (!network.empty() && network.front() == '[' && network.back() == ']') network = network.substr(1, network.size() - 2);
      if (kind == Kind::V4 ? InRange<AF_INET, 4>(name, network, bits) : InRange<AF_INET6, 16>(name, network, bits))
        return true;
    }
  }
  return false;
}

bool KeepCoreDumpsFromPassword() {
  const bool undumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
  const rlimit none{0, 0};
  return ::setrlimit(RLIMIT_CORE, &none) == 0 && undumpable;
}

std::string ApplyProxy(CURL* easy, const ProxySettings& settings, std::string_view scheme, std::string_view host) {
  std::string proxy;
  if (settings.mode == ProxyMode::Manual)
    proxy = settings.url;
  else if (settings.mode == ProxyMode::Environment)
    proxy = EnvironmentProxyFor(scheme, host);
  // An empty proxy is a direct connection: libcurl then reads no variable.
  // The choice above is final, so libcurl's own no_proxy reading is off.
  curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
  // A tunnel's own answer is not the site's: the header callbacks see only
  // the site's responses.
  curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  const bool credentials = settings.mode == ProxyMode::Manual && !settings.user.empty();
  curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, credentials ? settings.user.c_str() : nullptr);
  curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, credentials ? settings.password.c_str() : nullptr);
  // Offices often ask for NTLM or Negotiate rather than Basic; libcurl picks
  // the best method the proxy offers.
  curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));
  return proxy;
}

std::string ProxyFailureText(CURL* easy, CURLcode code, long httpStatus, const std::string& proxyUrl, bool credentials) {
  if (proxyUrl.empty()) return {};
  credentials = credentials || HasCredentials(proxyUrl);
  auto authentication = [credentials] {
    return std::string(credentials ? "Proxy rejected the user name or password." : "Proxy requires authentication.");
  };
  long connectCode = 0;
  curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connectCode);
  // Some proxies answer a tunnel request with bad credentials by 401.
  // A proxy that refuses a request often closes the connection at once,
  // before the request's body is sent: the 407 still tells why.
  if (connectCode == 407 || connectCode == 401 || httpStatus == 407) return authentication();
  if (code == CURLE_OK) return {};
  if (connectCode >= 300) return connectCode >= 500 ? "Proxy could not connect to the site." : "Proxy refused the request.";
  switch (code) {
    case CURLE_COULDNT_RESOLVE_PROXY:
      return "Proxy host not found.";
    case CURLE_COULDNT_CONNECT: {
      long osErrno = 0;
      curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
      return osErrno == ECONNREFUSED ? "Proxy refused the connection." : "Proxy could not be reached.";
    }
    case CURLE_PROXY:
      break;
    default:
      return {};
  }
  long detail = CURLPX_OK;
  curl_easy_getinfo(easy, CURLINFO_PROXY_ERROR, &detail);
  switch (static_cast<CURLproxycode>(detail)) {
    case CURLPX_NO_AUTH:
      return "Proxy requires authentication.";
    case CURLPX_USER_REJECTED:
      return authentication();
    case CURLPX_REQUEST_FAILED:  // a SOCKS4 proxy's refusal, which names no reason
    case CURLPX_REPLY_CONNECTION_REFUSED:
    case CURLPX_REPLY_HOST_UNREACHABLE:
    case CURLPX_REPLY_NETWORK_UNREACHABLE:
    case CURLPX_REPLY_TTL_EXPIRED:
    case CURLPX_REPLY_GENERAL_SERVER_FAILURE:
      return "Proxy could not connect to the site.";
    case CURLPX_REPLY_NOT_ALLOWED:
    case CURLPX_REPLY_COMMAND_NOT_SUPPORTED:
    case CURLPX_REPLY_ADDRESS_TYPE_NOT_SUPPORTED:
      return "Proxy refused the request.";
    case CURLPX_RESOLVE_HOST:
      return SocketErrorMessage(kWsaHostNotFound);  // the site's name, resolved here for SOCKS4 and SOCKS5
    case CURLPX_CLOSED:
    case CURLPX_RECV_ADDRESS:
    case CURLPX_RECV_AUTH:
    case CURLPX_RECV_CONNECT:
    case CURLPX_RECV_REQACK:
    case CURLPX_SEND_AUTH:
    case CURLPX_SEND_CONNECT:
    case CURLPX_SEND_REQUEST:
      return "Proxy closed the connection.";
    default:
      return "Proxy answered in a way the program does not understand.";
  }
}

}  // namespace fetch
