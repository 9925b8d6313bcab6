#include "support/run_site.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>

namespace testsupport {

namespace {

bool SendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

}  // namespace

RunSite::RunSite(Handler handler, int threads) : handler_(std::move(handler)) {
  // Non-blocking: every serving thread wakes from poll() for one connection;
  // the ones that lose the race must not stay blocked in accept().
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  if (listenFd_ < 0) throw std::runtime_error("socket failed");
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 1024) != 0) {
    ::close(listenFd_);
    throw std::runtime_error("bind/listen failed");
  }
  // Several threads wait for the same socket: the losers of a race for one
  // connection must not block in accept().
  ::fcntl(listenFd_, F_SETFL, ::fcntl(listenFd_, F_GETFL) | O_NONBLOCK);
  socklen_t len = sizeof addr;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Serve(); });
}

RunSite::~RunSite() {
  stopping_.store(true);
  Release();
  for (auto& t : threads_) t.join();
  ::close(listenFd_);
}

std::string RunSite::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void RunSite::Release() {
  {
    std::lock_guard lock(mutex_);
    released_ = true;
  }
  cv_.notify_all();
}

bool RunSite::WaitForHeld(int n, int ms) {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return held_ >= n; });
}

std::vector<SiteRequest> RunSite::Requests() const {
  std::lock_guard lock(mutex_);
  return log_;
}

void RunSite::Serve() {
  while (!stopping_.load()) {
    // Poll instead of blocking in accept(), so that stopping is seen.
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int fd = ::accept(listenFd_, nullptr, nullptr);
    if (fd < 0) continue;
    Answer(fd);
    ::close(fd);
  }
}

void RunSite::Answer(int fd) {
  std::string raw;
  char buf[4096];
  while (raw.find("\r\n\r\n") == std::string::npos) {
    if (stopping_.load()) return;
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, 50);
    if (r == 0) continue;
    if (r < 0) return;
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return;
    raw.append(buf, static_cast<size_t>(n));
  }

  SiteRequest request;
  const size_t lineEnd = raw.find("\r\n");
  const std::string line = raw.substr(0, lineEnd);
  const size_t sp1 = line.find(' ');
  const size_t sp2 = line.find(' ', sp1 + 1);
  request.method = line.substr(0, sp1);
  request.path = line.substr(sp1 + 1, sp2 - sp1 - 1);
  size_t pos = lineEnd + 2;
  for (;;) {
    const size_t e = raw.find("\r\n", pos);
    if (e == pos || e == std::string::npos) break;
    const std::string h = raw.substr(pos, e - pos);
    const size_t colon = h.find(':');
    if (colon != std::string::npos) {
      size_t v = colon + 1;
      while (v < h.size() && h[v] == ' ') ++v;
      request.headers[Lower(h.substr(0, colon))] = h.substr(v);
    }
    pos = e + 2;
  }

  const int now = inProgress_.fetch_add(1) + 1;
  int seen = maxInProgress_.load();
  while (now > seen && !maxInProgress_.compare_exchange_weak(seen, now)) {
  }
  requests_.fetch_add(1);
  if (keepLog_.load()) {
    std::lock_guard lock(mutex_);
    log_.push_back(request);
  }

  const SiteReply reply = handler_(request);
  if (reply.hold) {
    std::unique_lock lock(mutex_);
    ++held_;
    cv_.notify_all();
    cv_.wait(lock, [&] { return released_ || stopping_.load(); });
    --held_;
  }
  if (reply.delayMs > 0) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(reply.delayMs);
    std::unique_lock lock(mutex_);
    cv_.wait_until(lock, until, [&] { return stopping_.load(); });
  }

  std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
  for (const auto& [name, value] : reply.headers) out += name + ": " + value + "\r\n";
  out += "Content-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
  if (request.method != "HEAD") out += reply.body;
  // Counted out before the answer leaves, so that the next request of the
  // same job never overlaps this one in the count.
  inProgress_.fetch_sub(1);
  SendAll(fd, out);
}

}  // namespace testsupport
