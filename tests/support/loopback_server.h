#pragma once
// A scripted HTTP/1.1 server on the loopback interface, for tests.
//
// Each test starts its own server on a free port (127.0.0.1 or ::1), decides
// per request what goes back (a normal answer, chunks, delays, silence, an
// early close, a reset, or raw bytes) and afterwards reads what the client
// sent. Plain TCP or TLS with a self-signed certificate made at run time.
//
//   testsupport::LoopbackServer server;            // listens at once
//   server.SetHandler([](const testsupport::Request& r) {
//     return testsupport::Reply::Html("<p>hi</p>").Delay(std::chrono::milliseconds(50));
//   });
//   server.Route("/old", testsupport::Reply::Redirect(302, "/new"));
//   ... fetch server.Url("/old") ...
//   server.Requests();                              // what arrived, in order
//
// Threads: one thread accepts, one thread serves each connection; handlers
// run on those threads, several at once, so they must be thread-safe (an
// exception from a handler becomes a 500 answer with its text). The
// destructor (or Stop) interrupts every delay and idle wait, closes every
// connection and joins every thread: nothing outlives the server.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

using Headers = std::vector<std::pair<std::string, std::string>>;

// One request as the server read it.
struct Request {
  std::string method;      // "GET", "HEAD", "POST"...
  std::string target;      // as sent: "/path?query"
  std::string version;     // "HTTP/1.1"
  Headers headers;         // in the order sent, names as sent
  std::string head;        // the exact bytes of request line and headers, up to and including the blank line
  std::string body;        // by Content-Length or chunked; empty otherwise
  int connection = 0;      // 1 for the first connection the server accepted, 2 for the next...
  std::string serverName;  // the name the client sent in its TLS handshake (SNI); empty: none or plain TCP

  // The value of the first header of that name (case-insensitive), if any.
  std::optional<std::string> Header(const std::string& name) const;
  // The path part of the target, without the query.
  std::string Path() const;
};

// What to do with one request: a list of steps run in order on the
// connection. When the last step leaves the connection open, the server
// reads the next request on it (HTTP/1.1 keep-alive). A HEAD request gets
// the answers built by Status, Html, Redirect, Chunked and UntilClose
// without their body; Raw and Send bytes go out as they are.
class Reply {
 public:
  // A complete answer with Content-Length. The reason phrase is the usual one
  // for the status unless `reason` is given. `headers` come after the status
  // line in order; Content-Length is added unless `headers` already has one.
  static Reply Status(int status, std::string body = {}, Headers headers = {},
                      std::optional<std::string> reason = std::nullopt);
  // 200 with Content-Type text/html (charset given when not empty).
  static Reply Html(std::string body, const std::string& charset = {});
  // A redirect with a Location header and an empty body.
  static Reply Redirect(int status, const std::string& location, Headers headers = {});
  // The body in the given chunks (Transfer-Encoding: chunked, last chunk and
  // empty trailer added).
  static Reply Chunked(int status, std::vector<std::string> chunks, Headers headers = {});
  // Status line and headers without Content-Length; the body ends when the
  // server closes the connection.
  static Reply UntilClose(int status, std::string body, Headers headers = {});
  // Exactly these bytes, nothing added.
  static Reply Raw(std::string bytes);
  // Nothing at all; add steps with the functions below.
  static Reply Empty();

  // Steps, appended in call order.
  Reply& Send(std::string bytes);
  Reply& Sleep(std::chrono::milliseconds pause);
  // Wait for the client to go away (or the server to stop), sending nothing.
  Reply& Idle();
  // Wait for the next bytes from the client and discard them (one read).
  Reply& ReadSome();
  // Close the connection in an orderly way (FIN) / abortively (RST).
  Reply& Close();
  Reply& Reset();

  // A pause before the first step: Reply::Html("...").Delay(50ms) answers
  // after 50 ms.
  Reply& Delay(std::chrono::milliseconds pause);

  struct Step {
    enum class Kind { Send, Sleep, Idle, ReadSome, Close, Reset } kind;
    std::string bytes;
    std::chrono::milliseconds pause{0};
    // For the answers built above: the length of status line and headers,
    // which is all that goes back to a HEAD request. npos: send all bytes.
    size_t headLength = std::string::npos;
  };
  const std::vector<Step>& Steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
};

// A self-signed certificate (EC P-256, CN and SAN "localhost", 127.0.0.1,
// ::1) made once per test program and kept in memory.
struct Certificate {
  std::string certificatePem;
  std::string privateKeyPem;
  static const Certificate& Shared();
  // Writes cert.pem and key.pem into `folder`.
  void WriteTo(const std::filesystem::path& folder) const;
};

class LoopbackServer {
 public:
  struct Options {
    bool tls = false;
    bool ipv6 = false;  // listen on ::1 instead of 127.0.0.1
    // TLS protocol versions offered (OpenSSL's TLS1_VERSION ... TLS1_3_VERSION);
    // 0 leaves OpenSSL's default.
    int tlsMinVersion = 0;
    int tlsMaxVersion = 0;
    // Steps run on every new connection before any request is read (after
    // the TLS handshake, if any): for servers that speak first or misbehave
    // at once. When they leave the connection open, requests follow.
    std::optional<Reply> greeting;
    // The certificate and key a TLS server shows; none: Certificate::Shared().
    std::optional<Certificate> certificate;
  };
  using Handler = std::function<Reply(const Request&)>;

  LoopbackServer();  // plain HTTP on 127.0.0.1
  explicit LoopbackServer(Options options);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Answers for requests whose path (without query) equals `path`; checked
  // before the handler. A route serves any number of requests.
  void Route(const std::string& path, Reply reply);
  // Answers for every other request. Default: 404 with a short body.
  void SetHandler(Handler handler);

  uint16_t Port() const { return port_; }
  // "http://127.0.0.1:PORT" + path ("https://", "[::1]" as configured).
  std::string Url(const std::string& path = "/") const;
  // Every request read so far, in arrival order.
  std::vector<Request> Requests() const;
  size_t ConnectionCount() const;
  // Ends every connection and thread; called by the destructor.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  uint16_t port_ = 0;
};

// A TCP port on 127.0.0.1 that refuses connections for as long as the
// object lives (bound, never listening, so no one else takes it).
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// A loopback port that was free a moment ago, for programs that need a port
// number before they start (they should retry when it has been taken).
uint16_t FreeLoopbackPort();

// A private folder under the system's temporary folder, removed with all it
// holds when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  // Writes `content` to Path()/name (creating subfolders) and returns its path.
  std::filesystem::path Write(const std::string& name, const std::string& content) const;

 private:
  std::filesystem::path path_;
};

}  // namespace testsupport
