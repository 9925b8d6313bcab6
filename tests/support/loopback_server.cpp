#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <stdexcept>
#include <thread>

namespace testsupport {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string ReasonFor(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 201:
      return "Created";
    case 204:
      return "No Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 304:
      return "Not Modified";
    case 307:
      return "Temporary Redirect";
    case 308:
      return "Permanent Redirect";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

bool HasHeader(const Headers& headers, const std::string& name) {
  const std::string lname = Lower(name);
  return std::any_of(headers.begin(), headers.end(), [&](const auto& h) { return Lower(h.first) == lname; });
}

std::string HeadText(int status, const Headers& headers, const std::optional<std::string>& reason) {
  std::string out = "HTTP/1.1 " + std::to_string(status) + " " + (reason ? *reason : ReasonFor(status)) + "\r\n";
  for (const auto& [name, value] : headers) out += name + ": " + value + "\r\n";
  return out;
}

// Server threads write to peers that may be gone; they take the error from
// the call, never a signal that would end the test program.
void BlockSigpipeOnThisThread() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("loopback server: " + what + ": " + std::strerror(errno));
}

std::string OpenSslError() {
  char buffer[256] = {};
  ERR_error_string_n(ERR_get_error(), buffer, sizeof buffer);
  return buffer;
}

}  // namespace

std::optional<std::string> Request::Header(const std::string& name) const {
  const std::string lname = Lower(name);
  for (const auto& [n, v] : headers)
    if (Lower(n) == lname) return v;
  return std::nullopt;
}

std::string Request::Path() const { return target.substr(0, target.find('?')); }

// ---- Reply ----

Reply Reply::Status(int status, std::string body, Headers headers, std::optional<std::string> reason) {
  if (!HasHeader(headers, "Content-Length")) headers.emplace_back("Content-Length", std::to_string(body.size()));
  const std::string head = HeadText(status, headers, reason) + "\r\n";
  Reply r;
  r.Send(head + body);
  r.steps_.back().headLength = head.size();
  return r;
}

Reply Reply::Html(std::string body, const std::string& charset) {
  return Status(200, std::move(body),
                {{"Content-Type", charset.empty() ? "text/html" : "text/html; charset=" + charset}});
}

Reply Reply::Redirect(int status, const std::string& location, Headers headers) {
  headers.insert(headers.begin(), {"Location", location});
  return Status(status, {}, std::move(headers));
}

Reply Reply::Chunked(int status, std::vector<std::string> chunks, Headers headers) {
  headers.emplace_back("Transfer-Encoding", "chunked");
  std::string out = HeadText(status, headers, std::nullopt) + "\r\n";
  const size_t headLength = out.size();
  for (const auto& chunk : chunks) {
    if (chunk.empty()) continue;  // an empty chunk would end the body early
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
    out += size + chunk + "\r\n";
  }
  out += "0\r\n\r\n";
  Reply r;
  r.Send(std::move(out));
  r.steps_.back().headLength = headLength;
  return r;
}

Reply Reply::UntilClose(int status, std::string body, Headers headers) {
  const std::string head = HeadText(status, headers, std::nullopt) + "\r\n";
  Reply r;
  r.Send(head + body);
  r.steps_.back().headLength = head.size();
  r.Close();
  return r;
}

Reply Reply::Raw(std::string bytes) {
  Reply r;
  r.Send(std::move(bytes));
  return r;
}

Reply Reply::Empty() { return Reply(); }

Reply& Reply::Send(std::string bytes) {
  steps_.push_back({Step::Kind::Send, std::move(bytes), {}});
  return *this;
}
Reply& Reply::Sleep(std::chrono::milliseconds pause) {
  steps_.push_back({Step::Kind::Sleep, {}, pause});
  return *this;
}
Reply& Reply::Idle() {
  steps_.push_back({Step::Kind::Idle, {}, {}});
  return *this;
}
Reply& Reply::ReadSome() {
  steps_.push_back({Step::Kind::ReadSome, {}, {}});
  return *this;
}
Reply& Reply::Close() {
  steps_.push_back({Step::Kind::Close, {}, {}});
  return *this;
}
Reply& Reply::Reset() {
  steps_.push_back({Step::Kind::Reset, {}, {}});
  return *this;
}
Reply& Reply::Delay(std::chrono::milliseconds pause) {
  steps_.insert(steps_.begin(), {Step::Kind::Sleep, {}, pause});
  return *this;
}

// ---- Certificate ----

const Certificate& Certificate::Shared() {
  static const Certificate certificate = [] {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (!key) throw std::runtime_error("key generation failed: " + OpenSslError());
    X509* x509 = X509_new();
    X509_set_version(x509, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x509), 1);
    X509_gmtime_adj(X509_getm_notBefore(x509), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x509), 30L * 24 * 3600);
    X509_set_pubkey(x509, key);
    X509_NAME* name = X509_get_subject_name(x509);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1,
                               0);
    X509_set_issuer_name(x509, name);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, x509, x509, nullptr, nullptr, 0);
    X509_EXTENSION* san = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1,IP:::1");
    X509_add_ext(x509, san, -1);
    X509_EXTENSION_free(san);
    if (!X509_sign(x509, key, EVP_sha256())) throw std::runtime_error("signing failed: " + OpenSslError());
    auto pem = [](auto write) {
      BIO* bio = BIO_new(BIO_s_mem());
      write(bio);
      char* data = nullptr;
      long size = BIO_get_mem_data(bio, &data);
      std::string text(data, static_cast<size_t>(size));
      BIO_free(bio);
      return text;
    };
    Certificate c;
    c.certificatePem = pem([&](BIO* b) { PEM_write_bio_X509(b, x509); });
    c.privateKeyPem = pem([&](BIO* b) { PEM_write_bio_PrivateKey(b, key, nullptr, nullptr, 0, nullptr, nullptr); });
    X509_free(x509);
    EVP_PKEY_free(key);
    return c;
  }();
  return certificate;
}

void Certificate::WriteTo(const std::filesystem::path& folder) const {
  std::ofstream(folder / "cert.pem", std::ios::binary) << certificatePem;
  std::ofstream(folder / "key.pem", std::ios::binary) << privateKeyPem;
}

// ---- Server ----

struct LoopbackServer::Impl {
  Options options;
  int listenFd = -1;
  int wakePipe[2] = {-1, -1};
  SSL_CTX* sslContext = nullptr;
  std::atomic<bool> stopping{false};

  mutable std::mutex mutex;
  std::condition_variable wake;
  std::map<std::string, Reply> routes;
  Handler handler;
  std::vector<Request> requests;
  std::set<int> openFds;
  // Connection threads; finished ones are joined as new connections come,
  // so a long benchmark does not pile up ended threads.
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Worker> workers;
  int connections = 0;
  std::thread acceptThread;

  // One connection's byte stream, plain or TLS.
  struct Stream {
    Impl* server;
    int fd;
    SSL* ssl = nullptr;

    long Read(char* buffer, size_t size) {
      if (ssl) {
        int n = SSL_read(ssl, buffer, static_cast<int>(size));
        return n > 0 ? n : -1;
      }
      for (;;) {
        ssize_t n = ::recv(fd, buffer, size, 0);
        if (n < 0 && errno == EINTR) continue;
        return n > 0 ? static_cast<long>(n) : -1;
      }
    }
    bool Write(const std::string& bytes) {
      size_t done = 0;
      while (done < bytes.size()) {
        if (ssl) {
          int n = SSL_write(ssl, bytes.data() + done, static_cast<int>(bytes.size() - done));
          if (n <= 0) return false;
          done += static_cast<size_t>(n);
        } else {
          ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) return false;
          done += static_cast<size_t>(n);
        }
      }
      return true;
    }
  };

  bool SleepFor(std::chrono::milliseconds pause) {
    std::unique_lock lock(mutex);
    return !wake.wait_for(lock, pause, [&] { return stopping.load(); });
  }

  void AcceptLoop() {
    BlockSigpipeOnThisThread();
    for (;;) {
      pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (stopping || (fds[1].revents & POLLIN)) return;
      int fd = ::accept(listenFd, nullptr, nullptr);
      if (fd < 0) continue;
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      std::lock_guard lock(mutex);
      if (stopping) {
        ::close(fd);
        return;
      }
      openFds.insert(fd);
      int number = ++connections;
      for (auto it = workers.begin(); it != workers.end();) {
        if (it->done->load()) {
          it->thread.join();
          it = workers.erase(it);
        } else {
          ++it;
        }
      }
      auto done = std::make_shared<std::atomic<bool>>(false);
      workers.push_back({std::thread([this, fd, number, done] {
                           Serve(fd, number);
                           done->store(true);
                         }),
                         done});
    }
  }

  void Forget(int fd, bool reset) {
    {
      std::lock_guard lock(mutex);
      openFds.erase(fd);
    }
    if (reset) {
      linger l{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    ::close(fd);
  }

  void Serve(int fd, int number) {
    BlockSigpipeOnThisThread();
    Stream stream{this, fd};
    if (sslContext) {
      stream.ssl = SSL_new(sslContext);
      SSL_set_fd(stream.ssl, fd);
      if (SSL_accept(stream.ssl) <= 0) {
        SSL_free(stream.ssl);
        Forget(fd, false);
        return;
      }
    }
    std::string serverName;
    if (stream.ssl) {
      const char* name = SSL_get_servername(stream.ssl, TLSEXT_NAMETYPE_host_name);
      if (name) serverName = name;
    }
    bool reset = false;
    ServeRequests(stream, number, serverName, reset);
    if (stream.ssl) {
      if (!reset) SSL_shutdown(stream.ssl);
      SSL_free(stream.ssl);
    }
    Forget(fd, reset);
  }

  // Runs a reply's steps; false when the connection is to end.
  bool RunSteps(Stream& stream, const Reply& reply, bool& reset, bool headRequest = false) {
    char chunk[16384];
    for (const auto& step : reply.Steps()) {
      if (stopping) return false;
      switch (step.kind) {
        case Reply::Step::Kind::Send:
          if (!stream.Write(headRequest ? step.bytes.substr(0, step.headLength) : step.bytes)) return false;
          break;
        case Reply::Step::Kind::Sleep:
          if (!SleepFor(step.pause)) return false;
          break;
        case Reply::Step::Kind::Idle:
          // Discard whatever comes until the client closes or we stop.
          while (!stopping && stream.Read(chunk, sizeof chunk) > 0) {
          }
          return false;
        case Reply::Step::Kind::ReadSome:
          if (stream.Read(chunk, sizeof chunk) <= 0) return false;
          break;
        case Reply::Step::Kind::Close:
          return false;
        case Reply::Step::Kind::Reset:
          reset = true;
          return false;
      }
    }
    return true;
  }

  // Reads requests and runs their replies until the connection ends.
  void ServeRequests(Stream& stream, int number, const std::string& serverName, bool& reset) {
    std::string buffer;
    char chunk[16384];
    if (options.greeting && !RunSteps(stream, *options.greeting, reset)) return;
    for (;;) {
      size_t headEnd;
      while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
        long n = stream.Read(chunk, sizeof chunk);
        if (n <= 0 || stopping) return;
        buffer.append(chunk, static_cast<size_t>(n));
      }
      Request request;
      request.connection = number;
      request.serverName = serverName;
      request.head = buffer.substr(0, headEnd + 4);
      buffer.erase(0, headEnd + 4);
      ParseHead(request);
      if (!ReadBody(stream, request, buffer)) return;

      Reply reply;
      {
        std::unique_lock lock(mutex);
        requests.push_back(request);
        auto route = routes.find(request.Path());
        if (route != routes.end()) {
          reply = route->second;
        } else if (handler) {
          Handler h = handler;
          lock.unlock();
          try {
            reply = h(request);
          } catch (const std::exception& e) {
            // A failing handler must not take the test program down with it.
            reply = Reply::Status(500, std::string("handler failed: ") + e.what(), {{"Content-Type", "text/plain"}});
          }
        } else {
          reply = Reply::Status(404, "not found", {{"Content-Type", "text/plain"}});
        }
      }
      if (!RunSteps(stream, reply, reset, request.method == "HEAD")) return;
      auto connection = request.Header("Connection");
      if (connection && Lower(*connection) == "close") return;
    }
  }

  static void ParseHead(Request& request) {
    size_t lineEnd = request.head.find("\r\n");
    std::string line = request.head.substr(0, lineEnd);
    size_t a = line.find(' ');
    size_t b = line.find(' ', a == std::string::npos ? a : a + 1);
    request.method = line.substr(0, a);
    if (a != std::string::npos) request.target = line.substr(a + 1, b == std::string::npos ? b : b - a - 1);
    if (b != std::string::npos) request.version = line.substr(b + 1);
    size_t pos = lineEnd + 2;
    while (pos < request.head.size()) {
      size_t end = request.head.find("\r\n", pos);
      if (end == pos || end == std::string::npos) break;
      std::string header = request.head.substr(pos, end - pos);
      size_t colon = header.find(':');
      std::string value = colon == std::string::npos ? std::string() : header.substr(colon + 1);
      value.erase(0,
                  value.find_first_not_of(" \t") == std::string::npos ? value.size() : value.find_first_not_of(" \t"));
      request.headers.emplace_back(header.substr(0, colon), value);
      pos = end + 2;
    }
  }

  bool ReadBody(Stream& stream, Request& request, std::string& buffer) {
    char chunk[16384];
    auto fill = [&](size_t need) {
      while (buffer.size() < need) {
        long n = stream.Read(chunk, sizeof chunk);
        if (n <= 0 || stopping) return false;
        buffer.append(chunk, static_cast<size_t>(n));
      }
      return true;
    };
    if (auto length = request.Header("Content-Length")) {
      size_t size = std::strtoul(length->c_str(), nullptr, 10);
      if (!fill(size)) return false;
      request.body = buffer.substr(0, size);
      buffer.erase(0, size);
    } else if (auto coding = request.Header("Transfer-Encoding"); coding && Lower(*coding) == "chunked") {
      for (;;) {
        size_t lineEnd;
        while ((lineEnd = buffer.find("\r\n")) == std::string::npos)
          if (!fill(buffer.size() + 1)) return false;
        size_t size = std::strtoul(buffer.c_str(), nullptr, 16);
        buffer.erase(0, lineEnd + 2);
        if (size == 0) {
          size_t end;
          while ((end = buffer.find("\r\n")) == std::string::npos)
            if (!fill(buffer.size() + 1)) return false;
          buffer.erase(0, end + 2);  // empty trailer assumed
          return true;
        }
        if (!fill(size + 2)) return false;
        request.body += buffer.substr(0, size);
        buffer.erase(0, size + 2);
      }
    }
    return true;
  }
};

LoopbackServer::LoopbackServer() : LoopbackServer(Options()) {}

LoopbackServer::LoopbackServer(Options options) : impl_(std::make_unique<Impl>()) {
  impl_->options = options;
  if (options.tls) {
    const Certificate& certificate = options.certificate ? *options.certificate : Certificate::Shared();
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    BIO* certBio =
        BIO_new_mem_buf(certificate.certificatePem.data(), static_cast<int>(certificate.certificatePem.size()));
    BIO* keyBio = BIO_new_mem_buf(certificate.privateKeyPem.data(), static_cast<int>(certificate.privateKeyPem.size()));
    X509* cert = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    BIO_free(certBio);
    BIO_free(keyBio);
    if (!cert || !key || SSL_CTX_use_certificate(ctx, cert) != 1 || SSL_CTX_use_PrivateKey(ctx, key) != 1)
      throw std::runtime_error("loopback server: TLS set-up failed: " + OpenSslError());
    X509_free(cert);
    EVP_PKEY_free(key);
    if (options.tlsMinVersion) SSL_CTX_set_min_proto_version(ctx, options.tlsMinVersion);
    if (options.tlsMaxVersion) SSL_CTX_set_max_proto_version(ctx, options.tlsMaxVersion);
    if (options.tlsMinVersion && options.tlsMinVersion < TLS1_2_VERSION) {
      // Old protocol versions need OpenSSL's lowest security level.
      SSL_CTX_set_security_level(ctx, 0);
      SSL_CTX_set_cipher_list(ctx, "DEFAULT:@SECLEVEL=0");
    }
    impl_->sslContext = ctx;
  }

  if (::pipe(impl_->wakePipe) != 0) Fail("pipe");
  impl_->listenFd = ::socket(options.ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (impl_->listenFd < 0) Fail("socket");
  int one = 1;
  ::setsockopt(impl_->listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (options.ipv6) {
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    if (::bind(impl_->listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Fail("bind");
    socklen_t size = sizeof address;
    ::getsockname(impl_->listenFd, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin6_port);
  } else {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(impl_->listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Fail("bind");
    socklen_t size = sizeof address;
    ::getsockname(impl_->listenFd, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  if (::listen(impl_->listenFd, 128) != 0) Fail("listen");
  impl_->acceptThread = std::thread([this] { impl_->AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() { Stop(); }

void LoopbackServer::Stop() {
  if (!impl_ || impl_->stopping.exchange(true)) return;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->wake.notify_all();
    // Wakes every thread blocked in a read on its connection.
    for (int fd : impl_->openFds) ::shutdown(fd, SHUT_RDWR);
  }
  char byte = 1;
  [[maybe_unused]] auto written = ::write(impl_->wakePipe[1], &byte, 1);
  impl_->acceptThread.join();
  std::vector<Impl::Worker> workers;
  {
    std::lock_guard lock(impl_->mutex);
    workers.swap(impl_->workers);
  }
  for (auto& w : workers) w.thread.join();
  ::close(impl_->listenFd);
  ::close(impl_->wakePipe[0]);
  ::close(impl_->wakePipe[1]);
  if (impl_->sslContext) SSL_CTX_free(impl_->sslContext);
}

void LoopbackServer::Route(const std::string& path, Reply reply) {
  std::lock_guard lock(impl_->mutex);
  impl_->routes[path] = std::move(reply);
}

void LoopbackServer::SetHandler(Handler handler) {
  std::lock_guard lock(impl_->mutex);
  impl_->handler = std::move(handler);
}

std::string LoopbackServer::Url(const std::string& path) const {
  return std::string(impl_->options.tls ? "https://" : "http://") + (impl_->options.ipv6 ? "[::1]" : "127.0.0.1") +
         ":" + std::to_string(port_) + path;
}

std::vector<Request> LoopbackServer::Requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

size_t LoopbackServer::ConnectionCount() const {
  std::lock_guard lock(impl_->mutex);
  return static_cast<size_t>(impl_->connections);
}

// ---- RefusingPort, FreeLoopbackPort ----

RefusingPort::RefusingPort() {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Fail("bind");
  socklen_t size = sizeof address;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
}

RefusingPort::~RefusingPort() { ::close(fd_); }

uint16_t FreeLoopbackPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Fail("bind");
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

// ---- TempFolder ----

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumasift-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) Fail("mkdtemp");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempFolder::Write(const std::string& name, const std::string& content) const {
  std::filesystem::path file = path_ / name;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
  return file;
}

}  // namespace testsupport
