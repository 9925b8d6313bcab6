// Loopback servers for the service tests: plain HTTP or HTTPS with a
// certificate from a test authority made at run time, one scripted reply for
// every request, and a record of what arrived.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <openssl/types.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace services_test {

// A certificate authority of its own and a server certificate it signed for
// 127.0.0.1 and localhost. CaFile() is the authority's certificate as PEM,
// for a client that should trust it.
class TTestAuthority {
 public:
  TTestAuthority();
  ~TTestAuthority();
  TTestAuthority(const TTestAuthority&) = delete;
  TTestAuthority& operator=(const TTestAuthority&) = delete;

  QString CaFile() const { return caFile_; }
  SSL_CTX* ServerContext() const { return context_; }

 private:
  QTemporaryDir folder_;
  QString caFile_;
  SSL_CTX* context_ = nullptr;
};

struct TReceivedRequest {
  std::string method;
  std::string target;
  std::string headers;  // the raw header lines, CR LF separated
  std::string body;
  // The value of the first header of that name (case-insensitive), or "".
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
};

struct TReply {
  int status = 200;
  std::string contentType = "text/plain; charset=utf-8";
  std::string body;
  int delayMs = 0;  // wait this long before answering
};

class TLoopbackServer {
 public:
  // tls: the authority whose server certificate the server shows, or null for
  // plain HTTP.
  explicit TLoopbackServer(const TTestAuthority* tls = nullptr);
  ~TLoopbackServer();
  TLoopbackServer(const TLoopbackServer&) = delete;
  TLoopbackServer& operator=(const TLoopbackServer&) = delete;

  int Port() const { return port_; }
  void SetReply(const TReply& reply);
  std::vector<TReceivedRequest> Requests() const;
  int FailedHandshakes() const { return failedHandshakes_.load(); }

 private:
  void Serve();
  void Handle(int socket);

  const TTestAuthority* tls_;
  int listener_ = -1;
  int port_ = 0;
  int wake_[2] = {-1, -1};
  mutable std::mutex mutex_;
  std::condition_variable stopped_;
  bool stop_ = false;
  TReply reply_;
  std::vector<TReceivedRequest> requests_;
  std::atomic<int> failedHandshakes_{0};
  std::thread thread_;
};

// A loopback port that refuses every connection: bound, never listening.
class TRefusingPort {
 public:
  TRefusingPort();
  ~TRefusingPort();
  int Port() const { return port_; }

 private:
  int socket_ = -1;
  int port_ = 0;
};

}  // namespace services_test
