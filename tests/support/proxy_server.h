#pragma once
// A real proxy for tests, started on a free loopback port and stopped with
// the object: tinyproxy (HTTP, with CONNECT for https sites) or microsocks
// (SOCKS5), each with or without a user name and password.
//
//   testsupport::ProxyServer proxy({testsupport::ProxyServer::Kind::Http});
//   ASSERT_TRUE(proxy.Started()) << proxy.Problem();
//   ... fetch through proxy.Url() ...
//   EXPECT_TRUE(proxy.Saw(site.Port()));   // its log names the site's port
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/loopback_server.h"

namespace testsupport {

class ProxyServer {
 public:
  enum class Kind { Http, Socks5 };
  struct Options {
    Kind kind = Kind::Http;
    std::string user;  // empty: no authentication
    std::string password;
  };
  explicit ProxyServer(Options options);
  ~ProxyServer();
  ProxyServer(const ProxyServer&) = delete;
  ProxyServer& operator=(const ProxyServer&) = delete;

  // Whether the program is installed (a test skips without it).
  static bool Installed(Kind kind);

  bool Started() const { return pid_ > 0; }
  const std::string& Problem() const { return problem_; }
  uint16_t Port() const { return port_; }
  // "http://127.0.0.1:PORT" or "socks5://127.0.0.1:PORT".
  std::string Url() const;
  // The proxy's log so far: tinyproxy's log file, microsocks' standard error.
  std::string Log() const;
  // Whether the log shows a connection or request to 127.0.0.1:`sitePort`.
  bool Saw(uint16_t sitePort) const;

 private:
  bool StartOnce();
  void Stop();

  Options options_;
  TempFolder folder_;
  pid_t pid_ = -1;
  uint16_t port_ = 0;
  std::string problem_;
};

// Whether something accepts TCP connections on 127.0.0.1:`port` now.
bool AcceptsConnections(uint16_t port);

}  // namespace testsupport
