#pragma once
// The proxy a request goes through, shared by the page fetch, the header
// probe and the maker's service requests.
//
// Three modes: None sends every request directly, whatever the environment
// says; Environment takes the proxy from http_proxy, https_proxy/HTTPS_PROXY,
// all_proxy/ALL_PROXY and no_proxy/NO_PROXY with libcurl's rules; Manual
// sends every request through one proxy URL, ignoring the environment.
//
// Everything here is re-entrant; ApplyProxy reads the environment, so the
// environment must not change while requests run (only tests change it).
#include <curl/curl.h>

#include <string>
#include <string_view>

namespace fetch {

enum class ProxyMode { None, Environment, Manual };

struct ProxySettings {
  ProxyMode mode = ProxyMode::None;
  std::string url;       // Manual: "scheme://host[:port]", see CheckProxyUrl
  std::string user;      // Manual: empty sends no credentials
  std::string password;  // Manual: with `user`
  bool operator==(const ProxySettings&) const = default;
};

// Why a manual proxy URL is not usable.
enum class ProxyUrlProblem {
  None,
  Empty,
  Malformed,    // no host, or not a URL at all
  Scheme,       // not http, https, socks4, socks4a, socks5 or socks5h
  Credentials,  // a user name or password inside the URL
  Path,         // a path, query or fragment after the host
};
ProxyUrlProblem CheckProxyUrl(std::string_view url);

// A proxy password is held in this process's memory from now on: no core
// dump may carry it, and no other process of the user may read it by
// attaching to this one (as password managers do: not dumpable, core size
// 0). Lasts for the rest of the process; true when both took effect.
bool KeepCoreDumpsFromPassword();

// The mode's keyword as settings.ini and the command line spell it ("none",
// "env", "manual") and back (without case); false for any other text.
std::string_view ProxyModeName(ProxyMode mode);
bool ProxyModeFromName(std::string_view name, ProxyMode& mode);

// Environment mode: the proxy libcurl would take for a request with this
// scheme ("http", "https") to this host, or empty for a direct request.
// <scheme>_proxy first (upper case too, except HTTP_PROXY), then all_proxy,
// ALL_PROXY; a variable that is set but empty means no proxy. no_proxy (else
// NO_PROXY) lists host names, domain suffixes (with or without a leading
// dot), IP addresses and CIDR ranges, separated by commas or blanks; "*"
// alone matches every host.
std::string EnvironmentProxyFor(std::string_view scheme, std::string_view host);
bool NoProxyMatches(std::string_view host, std::string_view noProxy);

// Sets the proxy options of `easy` for one request to `scheme`://`host`.
// Returns the proxy URL in use, empty for a direct request.
std::string ApplyProxy(CURL* easy, const ProxySettings& settings, std::string_view scheme, std::string_view host);

// Our text for a failed transfer that went through `proxyUrl`, or empty when
// the failure is not the proxy's (the site's own failure, told as without a
// proxy). `httpStatus` is the final answer's status (0 when none), which a
// proxy uses for 407 on plain http requests. `credentials`: whether a user
// name went with the request.
std::string ProxyFailureText(CURL* easy, CURLcode code, long httpStatus, const std::string& proxyUrl,
                             bool credentials);

}  // namespace fetch
