#include "support/proxy_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace testsupport {
namespace {

constexpr const char* kTinyproxy = "/usr/bin/tinyproxy";
constexpr const char* kMicrosocks = "/usr/bin/microsocks";

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

bool AcceptsConnections(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

bool ProxyServer::Installed(Kind kind) {
  return std::filesystem::exists(kind == Kind::Http ? kTinyproxy : kMicrosocks);
}

ProxyServer::ProxyServer(Options options) : options_(std::move(options)) {
  if (!Installed(options_.kind)) {
    problem_ = std::string(options_.kind == Kind::Http ? kTinyproxy : kMicrosocks) + " is not installed";
    return;
  }
  // A port chosen free may be taken before the proxy binds it: try again.
  for (int attempt = 0; attempt < 3 && !Started(); ++attempt) StartOnce();
}

ProxyServer::~ProxyServer() { Stop(); }

bool ProxyServer::StartOnce() {
  port_ = FreeLoopbackPort();
  const auto log = folder_.Path() / "proxy.log";
  std::vector<std::string> args;
  if (options_.kind == Kind::Http) {
    std::ofstream config(folder_.Path() / "tinyproxy.conf");
    config << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 50\n"
           << "LogFile \"" << log.string() << "\"\nLogLevel Connect\nDisableViaHeader Yes\n";
    if (!options_.user.empty()) config << "BasicAuth " << options_.user << " " << options_.password << "\n";
    config.close();
    args = {kTinyproxy, "-d", "-c", (folder_.Path() / "tinyproxy.conf").string()};
  } else {
    args = {kMicrosocks, "-i", "127.0.0.1", "-p", std::to_string(port_)};
    if (!options_.user.empty()) args.insert(args.end(), {"-u", options_.user, "-P", options_.password});
  }
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    // Its output goes to the log (microsocks logs every connection there).
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd >= 0) {
      ::dup2(fd, STDOUT_FILENO);
      ::dup2(fd, STDERR_FILENO);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  for (int i = 0; i < 100 && pid_ > 0; ++i) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    if (AcceptsConnections(port_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  Stop();
  problem_ = "the proxy did not start: " + ReadAll(log);
  return false;
}

void ProxyServer::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string ProxyServer::Url() const {
  return std::string(options_.kind == Kind::Http ? "http" : "socks5") + "://127.0.0.1:" + std::to_string(port_);
}

std::string ProxyServer::Log() const { return ReadAll(folder_.Path() / "proxy.log"); }

bool ProxyServer::Saw(uint16_t sitePort) const {
  return Log().find("127.0.0.1:" + std::to_string(sitePort)) != std::string::npos;
}

}  // namespace testsupport
