#pragma once
// A loopback web site for whole-run tests and benchmarks: answers every
// request on 127.0.0.1 (a random free port) from a handler the test sets,
// after an optional delay or once the test lets held requests go, and
// records what it saw (requests, how many were in progress at once).
//
// Plain C++ and POSIX sockets; no Qt, so benchmarks can use it too. Every
// response closes its connection.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

struct SiteRequest {
  std::string method;  // "GET", "HEAD"
  std::string path;    // the request target as sent
  std::map<std::string, std::string> headers;  // names in lower case
};

struct SiteReply {
  int status = 200;
  std::string reason = "OK";
  std::vector<std::pair<std::string, std::string>> headers;  // Content-Length is added
  std::string body;
  int delayMs = 0;     // wait this long before answering
  bool hold = false;   // wait until Release() (or the site stops)
};

class RunSite {
 public:
  using Handler = std::function<SiteReply(const SiteRequest&)>;

  // `threads` connections are served at once; more wait in the backlog.
  explicit RunSite(Handler handler, int threads = 32);
  ~RunSite();  // stops: held requests are let go, every thread joined
  RunSite(const RunSite&) = delete;
  RunSite& operator=(const RunSite&) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by `path`.
  std::string Url(const std::string& path) const;

  // Lets every held request go, now and from now on.
  void Release();
  // Waits until at least `n` requests are being held; false after `ms`.
  bool WaitForHeld(int n, int ms);

  // Requests being held right now.
  int Held() const {
    std::lock_guard lock(mutex_);
    return held_;
  }
  int MaxInProgress() const { return maxInProgress_.load(); }
  int RequestCount() const { return requests_.load(); }
  std::vector<SiteRequest> Requests() const;
  // Whether Requests() keeps every request (the default); a benchmark of
  // millions of requests turns it off and counts them only.
  void KeepLog(bool keep) { keepLog_.store(keep); }

 private:
  void Serve();
  void Answer(int fd);

  Handler handler_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::vector<std::thread> threads_;

  std::atomic<int> inProgress_{0};
  std::atomic<int> maxInProgress_{0};
  std::atomic<int> requests_{0};
  std::atomic<bool> keepLog_{true};

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool released_ = false;
  int held_ = 0;
  std::vector<SiteRequest> log_;
};

}  // namespace testsupport
