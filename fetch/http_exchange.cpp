#include "fetch/http_exchange.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

#include "fetch/body_decoding.h"
#include "fetch/proxy.h"
#include "fetch/response_head.h"
#include "fetch/socket_errors.h"

namespace fetch {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kAccept = "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
constexpr const char* kAcceptEncoding = "Accept-Encoding: deflate, gzip, identity";
constexpr const char* kCipherList = "AES:ALL:!aNULL:!eNULL:+RC4:@STRENGTH";
// The failures of a URL that no request is made for.
constexpr const char* kUrlControlCharacter = "URL contains a control character.";
constexpr const char* kUrlBadPort = "Invalid port number.";
// How much of a redirect's HTML body is kept to look for cookie meta elements.
constexpr size_t kRedirectBodyKept = size_t{1} << 20;
// Longest single sleep while waiting for data, so that an abandon request is
// seen promptly.
constexpr long kAbandonPollMs = 100;

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool ContainsNoCase(std::string_view text, std::string_view needle) {
  auto it = std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                        [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
  return it != text.end();
}

struct EasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
  void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct UrlDeleter {
  void operator()(CURLU* h) const { curl_url_cleanup(h); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct CurlString {
  char* text = nullptr;
  ~CurlString() { curl_free(text); }
};

// Keeps SIGPIPE from the calling thread while a request runs: a write to a
// connection the server has closed must be an error, never a signal that
// ends the program. libcurl cannot ignore the signal process-wide without
// racing other threads, so each call blocks it for its own thread and takes
// any that arrived before restoring the mask.
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
  }
  ~SigpipeBlock() {
    if (sigismember(&previous_, SIGPIPE)) return;
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    timespec zero{0, 0};
    while (sigtimedwait(&set, nullptr, &zero) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;

 private:
  sigset_t previous_;
};

// What one response of the chain brought, filled by libcurl's callbacks.
struct Hop : ResponseHead {
  bool wantBody = false;  // a final answer to a GET: its body is the page

  enum class Sink { Page, Cookies, Drop } sink = Sink::Drop;
  std::unique_ptr<ContentDecoder> decoder;
  std::string body;
  // Where a page body's bytes come from; null: no budget.
  PageLease* lease = nullptr;
  const std::atomic<bool>* abandon = nullptr;
  bool abandonedWaiting = false;  // the abandon flag rose while waiting for room
  size_t dropped = 0;
  bool full = false;          // the body reached its cap; the rest was not read
  bool decodeFailed = false;  // the decompressor gave up

  bool waiting = false;  // the request is out and we wait for data
  bool answered = false;  // any byte of an answer has come
  Clock::time_point lastData;

  // What passed between us and an HTTP proxy, tunnel requests included
  // (seen only while a proxy is in use).
  int proxyDemands = 0;                       // 407 answers so far, in this transfer
  bool connectSent = false;                   // a CONNECT request went out...
  bool connectAnswered = false;               // ...and some bytes came back to it
  std::vector<std::string> proxyChallenges;   // Proxy-Authenticate values of the 407 answers

  void NextResponse() {
    ResponseHead::NextResponse();
    sink = Sink::Drop;
    decoder.reset();
    body.clear();
    dropped = 0;
    full = false;
  }

  void StartBody() {
    const bool final = (status >= 200 && status < 300) || status == 304;
    if (final && wantBody) {
      sink = Sink::Page;
    } else if (status >= 300 && status < 400 && MediaType(contentType) == "text/html") {
      sink = Sink::Cookies;
    } else {
      sink = Sink::Drop;
    }
    if (sink != Sink::Drop) decoder = std::make_unique<ContentDecoder>(contentEncoding);
    // A body of known length and no content coding gets its room at once:
    // one allocation, no copies while it grows.
    const std::string coding = MediaType(contentEncoding);
    if (sink == Sink::Page && contentLength && (coding.empty() || coding == "identity"))
      MakeRoom(std::min(*contentLength, kMaxBodyBytes), true);
  }

  // Room in the page body for `total` bytes (see MakeBodyRoom).
  void MakeRoom(size_t total, bool exact = false) {
    if (!MakeBodyRoom(body, total, exact, lease, abandon)) abandonedWaiting = true;
  }
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  Hop& hop = *static_cast<Hop*>(user);
  size_t n = size * count;
  hop.lastData = Clock::now();
  hop.answered = true;
  std::string_view line(data, n);
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (hop.headersDone) {
    // libcurl answers a proxy's demand for credentials itself, within the
    // same transfer: the next response follows the proxy's 407. Anything
    // else here is a trailer field of a chunked body ("/" is no field-name
    // character).
    if (!line.starts_with("HTTP/")) return n;
    hop.NextResponse();
  }

  if (hop.ReadLine(line)) hop.StartBody();
  if (hop.status == 407 && !hop.headersDone) {
    // Which schemes the proxy asks for, to tell a repeated challenge.
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos && EqualsNoCase(TrimBlanks(line.substr(0, colon)), "Proxy-Authenticate"))
      hop.proxyChallenges.emplace_back(TrimBlanks(line.substr(colon + 1)));
  }
  return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  Hop& hop = *static_cast<Hop*>(user);
  size_t n = size * count;
  hop.lastData = Clock::now();
  hop.answered = true;
  switch (hop.sink) {
    case Hop::Sink::Page:
      if (!hop.decoder->Feed(data, n, hop.body, kMaxBodyBytes, [&hop](size_t total) { hop.MakeRoom(total); })) {
        hop.decodeFailed = true;
        return 0;
      }
      if (hop.abandonedWaiting) return 0;
      if (hop.decoder->Full()) {
        hop.full = true;
        return 0;
      }
      return n;
    case Hop::Sink::Cookies:
      hop.decoder->Feed(data, n, hop.body, kRedirectBodyKept);  // a broken body just yields no cookies
      [[fallthrough]];
    case Hop::Sink::Drop:
      hop.dropped += n;
      if (hop.dropped > kMaxBodyBytes) {
        hop.full = true;
        return 0;
      }
      return n;
  }
  return n;
}

// 407 answers one transfer may get: NTLM takes two (the demand, then the
// challenge) before the credentials are judged; a proxy that goes on
// challenging would otherwise be asked thousands of times for one site.
constexpr int kProxyDemandLimit = 3;

// libcurl's trace of a transfer through an HTTP proxy: the only place where
// a tunnel request's answers can be seen (they never reach OnHeader).
int OnProxyTrace(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  Hop& hop = *static_cast<Hop*>(user);
  const std::string_view text(data, size);
  if (type == CURLINFO_HEADER_OUT) {
    hop.connectSent = text.starts_with("CONNECT ");
  } else if (type == CURLINFO_HEADER_IN) {
    if (hop.connectSent) hop.connectAnswered = true;
    if (text.starts_with("HTTP/")) {
      const size_t space = text.find(' ');
      if (space != std::string_view::npos && text.substr(space + 1).starts_with("407")) ++hop.proxyDemands;
    }
  }
  return 0;
}

// Called by libcurl while it works, also between the rounds of a tunnel's
// authentication, which no other callback can stop.
int OnProxyProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Hop*>(user)->proxyDemands > kProxyDemandLimit ? 1 : 0;
}

int OnRequestReady(void* user, char*, char*, int, int) {
  Hop& hop = *static_cast<Hop*>(user);
  hop.waiting = true;
  hop.lastData = Clock::now();
  return CURL_PREREQFUNC_OK;
}

CURLcode OnSslContext(CURL*, void* context, void*) {
  auto* ctx = static_cast<SSL_CTX*>(context);
  // Old sites offer only TLS 1.0 or 1.1 with SHA-1 signatures; OpenSSL 3
  // refuses those above security level 0. Certificates are not checked at
  // all, so the level buys nothing here.
  SSL_CTX_set_security_level(ctx, 0);
  // Servers without the renegotiation extension, and servers that close
  // without a close_notify alert, are common among old sites.
  SSL_CTX_set_options(ctx, SSL_OP_LEGACY_SERVER_CONNECT | SSL_OP_IGNORE_UNEXPECTED_EOF);
  return CURLE_OK;
}

// The TLS library's own words from libcurl's error text.
std::string TlsLibraryText(const std::string& curlText) {
  size_t pos = curlText.find("error:");
  if (pos != std::string::npos) return curlText.substr(pos);
  size_t colon = curlText.find(": ");
  return colon == std::string::npos ? curlText : curlText.substr(colon + 2);
}

std::string TransferFailure(CURLcode code, long osErrno, const std::string& curlText, bool https, bool inHeaders) {
  const int wsa = WsaNumberFromErrno(static_cast<int>(osErrno));
  switch (code) {
    case CURLE_OUT_OF_MEMORY:
      // libcurl gives this code when a single header line is longer than it
      // accepts (100 KB); a real shortage of memory while reading the header
      // section is far less likely than a hostile or broken server.
      if (inHeaders) return "Response header line too long.";
      break;
    case CURLE_COULDNT_RESOLVE_HOST:
      return SocketErrorMessage(kWsaHostNotFound);
    case CURLE_COULDNT_CONNECT:
      return SocketErrorMessage(wsa ? wsa : kWsaConnectionRefused);
    case CURLE_OPERATION_TIMEDOUT:
      return "Connect timed out.";  // the only time-out libcurl keeps for us
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      return "Connection Closed Gracefully.";
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      if (wsa) return SocketErrorMessage(wsa);
      break;  // a protocol fault (a broken chunk, say): libcurl's words say best what it was
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CLIENTCERT:
      if (wsa == kWsaConnectionReset) return SocketErrorMessage(wsa);
      if (ContainsNoCase(curlText, "SSL_ERROR_SYSCALL") || ContainsNoCase(curlText, "unexpected eof"))
        return "Error connecting with SSL.\r\nEOF was observed that violates the protocol";
      return "Error connecting with SSL.\r\n" + TlsLibraryText(curlText);
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
      return "Could not load SSL library.";
    case CURLE_UNSUPPORTED_PROTOCOL:
      if (https && !(curl_version_info(CURLVERSION_NOW)->features & CURL_VERSION_SSL))
        return "Could not load SSL library.";
      break;
    default:
      break;
  }
  return curlText.empty() ? std::string(curl_easy_strerror(code)) : curlText;
}

// How one transfer on the handle ended.
struct Attempt {
  CURLcode code = CURLE_OK;
  long osErrno = 0;
  bool readTimedOut = false;
  bool abandoned = false;
  bool reused = false;  // it went over a connection kept from an earlier hop
};


// Runs the transfer set up on `easy`. Drives it ourselves so that every wait
// for data has its own time-out in milliseconds and an abandon request is
// seen at once.
Attempt Transfer(CURLM* multi, CURL* easy, Hop& hop, const std::atomic<bool>* abandon, long responseTimeoutMs) {
  Attempt attempt;
  curl_multi_add_handle(multi, easy);
  for (;;) {
    int running = 0;
    curl_multi_perform(multi, &running);
    int queued = 0;
    bool done = false;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg == CURLMSG_DONE) {
        attempt.code = message->data.result;
        done = true;
      }
    }
    if (done) {
      // A transfer that failed because the abandon flag rose (while it
      // waited for room for its body, say) was abandoned, not broken.
      attempt.abandoned = attempt.code != CURLE_OK && abandon && abandon->load();
      break;
    }
    if (abandon && abandon->load()) {
      attempt.abandoned = true;
      break;
    }
    long waitMs = abandon ? kAbandonPollMs : 1000;
    if (hop.waiting && responseTimeoutMs > 0) {
      auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - hop.lastData).count();
      if (idle >= responseTimeoutMs) {
        attempt.readTimedOut = true;
        break;
      }
      waitMs = std::min<long>(waitMs, responseTimeoutMs - static_cast<long>(idle));
    }
    curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::max(1L, waitMs)), nullptr);
  }
  curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &attempt.osErrno);
  long connects = 0;
  curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &connects);
  attempt.reused = connects == 0;
  curl_multi_remove_handle(multi, easy);
  return attempt;
}

// A failed transfer through an HTTP proxy that the proxy itself ended: it
// answered a tunnel request with something that is no HTTP answer, or it
// closed the connection before a tunnel or an answer came (a failure that
// would otherwise read as the site's). Empty for anything else.
std::string HttpProxyFault(CURL* easy, CURLcode code, const Hop& hop, bool tunnel) {
  long connectCode = 0;
  curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connectCode);
  if (tunnel) {
    // A proxy that says nothing until the connect time-out ends is told as
    // any such wait is.
    if (!hop.connectSent || connectCode != 0 || code == CURLE_OPERATION_TIMEDOUT) return {};
    return hop.connectAnswered ? "Proxy answered in a way the program does not understand."
                               : "Proxy closed the connection.";
  }
  const bool closed = code == CURLE_GOT_NOTHING || code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR;
  return closed && !hop.answered ? "Proxy closed the connection." : std::string();
}

// Whether a 401 that came after the proxy's 407 is the proxy's own
// refusal of the credentials: some proxies answer a plain request with a
// wrong password so, challenging with the very words of their 407. A
// site's 401 names its own realm.
bool ProxyRefusedAsSite(const Hop& hop) {
  if (hop.proxyChallenges.empty()) return false;
  for (const std::string& header : hop.headers) {
    constexpr std::string_view kName = "WWW-Authenticate: ";
    if (header.size() < kName.size() || !EqualsNoCase(std::string_view(header).substr(0, kName.size()), kName)) continue;
    const std::string_view value = std::string_view(header).substr(kName.size());
    for (const std::string& challenge : hop.proxyChallenges)
      if (EqualsNoCase(value, challenge)) return true;
  }
  return false;
}

// The connection was reset or closed after the request went out on a reused
// connection and before any byte of an answer came.
bool DiedBeforeAnswer(const Attempt& attempt, const Hop& hop) {
  if (attempt.abandoned || attempt.readTimedOut || !attempt.reused || hop.answered) return false;
  return attempt.code == CURLE_SEND_ERROR || attempt.code == CURLE_RECV_ERROR || attempt.code == CURLE_GOT_NOTHING;
}

// The failure's text for a URL that libcurl cannot take: a port that cannot
// be (above 65535, not a number) says so; anything else is a host that
// cannot be found, as the page fetch has always said.
std::string UrlFailure(CURLUcode code) {
  if (code == CURLUE_BAD_PORT_NUMBER) return kUrlBadPort;
  return SocketErrorMessage(kWsaHostNotFound);
}

// The request's URL in libcurl's form; scheme checked. Empty `error` on success.
struct Target {
  std::string url;
  std::string host;
  std::string path;
  bool https = false;
  std::string proxy;  // the proxy it goes through; empty: direct
  std::string error;
};

Target CheckTarget(CURLU* handle) {
  Target target;
  CurlString scheme, url, host, port, path;
  if (curl_url_get(handle, CURLUPART_SCHEME, &scheme.text, 0) != CURLUE_OK ||
      curl_url_get(handle, CURLUPART_HOST, &host.text, 0) != CURLUE_OK || !*host.text) {
    target.error = SocketErrorMessage(kWsaHostNotFound);
    return target;
  }
  // Port 0 parses, but no connection can be made to it: it is as impossible
  // as a port above 65535, and says so instead of "Connection refused".
  if (curl_url_get(handle, CURLUPART_PORT, &port.text, CURLU_NO_DEFAULT_PORT) == CURLUE_OK &&
      std::strtol(port.text, nullptr, 10) == 0) {
    target.error = kUrlBadPort;
    return target;
  }
  std::string s = scheme.text;
  if (s != "http" && s != "https") {
    // With an explicit port the request goes there as plain HTTP; without
    // one there is nowhere to go.
    if (port.text == nullptr) {
      target.error = "Unknown Protocol";
      return target;
    }
    curl_url_set(handle, CURLUPART_SCHEME, "http", 0);
    s = "http";
  }
  target.https = s == "https";
  // No credentials are ever sent, not even those written into a URL.
  curl_url_set(handle, CURLUPART_USER, nullptr, 0);
  curl_url_set(handle, CURLUPART_PASSWORD, nullptr, 0);
  curl_url_set(handle, CURLUPART_OPTIONS, nullptr, 0);
  curl_url_get(handle, CURLUPART_URL, &url.text, 0);
  curl_url_get(handle, CURLUPART_PATH, &path.text, 0);
  target.url = url.text;
  target.host = host.text;
  target.path = path.text ? path.text : "/";
  return target;
}

// Hands cookies from <meta http-equiv="Set-Cookie"> elements to libcurl's
// cookie store, scoped like a Set-Cookie header of the same response.
void AddMetaCookies(CURL* easy, const Target& target, const std::string& html) {
  for (const std::string& content : HtmlMetaCookies(html)) {
    std::string_view rest(content);
    size_t semicolon = rest.find(';');
    std::string_view pair = TrimBlanks(rest.substr(0, semicolon));
    size_t equals = pair.find('=');
    if (equals == std::string_view::npos || equals == 0) continue;
    std::string name(TrimBlanks(pair.substr(0, equals)));
    std::string value(TrimBlanks(pair.substr(equals + 1)));
    std::string path = target.path.substr(0, target.path.rfind('/'));
    if (path.empty()) path = "/";
    bool secure = false;
    while (semicolon != std::string_view::npos) {
      rest.remove_prefix(semicolon + 1);
      semicolon = rest.find(';');
      std::string_view attribute = TrimBlanks(rest.substr(0, semicolon));
      if (EqualsNoCase(attribute, "secure")) secure = true;
      if (attribute.size() > 5 && EqualsNoCase(attribute.substr(0, 5), "path=")) path = TrimBlanks(attribute.substr(5));
    }
    if (path.empty() || path.front() != '/') path = "/";
    if (name.find_first_of("\t\r\n") != std::string::npos || value.find_first_of("\t\r\n") != std::string::npos)
      continue;
    std::string host = target.host;
    if (host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
    std::string line = host + "\tFALSE\t" + path + "\t" + (secure ? "TRUE" : "FALSE") + "\t0\t" + name + "\t" + value;
    curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
  }
}

std::atomic<bool> globalInitDone{false};

}  // namespace

void GlobalInit() {
  if (globalInitDone.load()) return;
  curl_global_init(CURL_GLOBAL_DEFAULT);
  globalInitDone.store(true);
}

void RequireGlobalInit() {
  if (globalInitDone.load()) return;
  std::fputs("fetch::GlobalInit() was not called from main() before the first request\n", stderr);
  std::abort();
}

ExchangeResult RunExchange(std::u16string_view url, Method method, const RequestSettings& settings, int redirectLimit,
                           PageLease* pageLease) {
  RequireGlobalInit();
  SigpipeBlock sigpipeBlock;
  ExchangeResult result;

  // A control character has no place in a URL, and a NUL would cut it short:
  // no request is made for a URL other than the one given.
  if (std::any_of(url.begin(), url.end(), [](char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); })) {
    result.error = kUrlControlCharacter;
    return result;
  }
  std::unique_ptr<CURLU, UrlDeleter> location(curl_url());
  const std::string start = Utf16ToUtf8(std::u16string(url.begin(), url.end()));
  const unsigned urlFlags = CURLU_NON_SUPPORT_SCHEME | CURLU_URLENCODE | CURLU_ALLOW_SPACE;
  if (const CURLUcode parsed = curl_url_set(location.get(), CURLUPART_URL, start.c_str(), urlFlags); parsed != CURLUE_OK) {
    result.error = UrlFailure(parsed);
    return result;
  }

  std::unique_ptr<CURL, EasyDeleter> easyHandle(curl_easy_init());
  std::unique_ptr<CURLM, MultiDeleter> multiHandle(curl_multi_init());
  CURL* easy = easyHandle.get();
  CURLM* multi = multiHandle.get();
  if (!easy || !multi) {
    result.error = "Out of memory.";
    return result;
  }

  std::unique_ptr<curl_slist, SlistDeleter> headers;
  auto addHeader = [&](const std::string& line) { headers.reset(curl_slist_append(headers.release(), line.c_str())); };
  addHeader(kAccept);
  addHeader(kAcceptEncoding);
  if (!settings.userAgent.empty()) {
    std::string agent = Utf16ToUtf8(settings.userAgent);
    agent.erase(std::remove_if(agent.begin(), agent.end(), [](char c) { return c == '\r' || c == '\n'; }), agent.end());
    addHeader("User-Agent: " + agent);
  }

  char errorText[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);  // decoded here, with zlib's own error codes
  curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");             // cookie store for this request only
  // 0 would give libcurl's own default of 300 s; no limit means the
  // operating system decides when a connection attempt has failed.
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                   settings.connectTimeoutMs > 0 ? settings.connectTimeoutMs : static_cast<long>(INT_MAX));
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(easy, CURLOPT_SSLVERSION,
                   static_cast<long>(CURL_SSLVERSION_TLSv1_0) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_3));
  curl_easy_setopt(easy, CURLOPT_SSL_CIPHER_LIST, kCipherList);
  curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, OnSslContext);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, OnRequestReady);

  const long responseTimeoutMs = std::max(0L, settings.responseTimeoutMs);
  bool head = method == Method::Head;
  int redirects = 0;
  for (;;) {
    if (settings.abandon && settings.abandon->load()) {
      result.error = "Request abandoned.";
      return result;
    }
    Target target = CheckTarget(location.get());
    if (!target.error.empty()) {
      result.error = target.error;
      return result;
    }
    result.finalUrl = target.url;
    target.proxy = ApplyProxy(easy, settings.proxy, target.https ? "https" : "http", target.host);
    const bool httpProxy = !target.proxy.empty() && !target.proxy.starts_with("socks");
    const bool proxyCredentials = settings.proxy.mode == ProxyMode::Manual && !settings.proxy.user.empty();
    Hop hop;
    Attempt attempt;
    curl_easy_setopt(easy, CURLOPT_VERBOSE, httpProxy ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, httpProxy ? OnProxyTrace : nullptr);
    curl_easy_setopt(easy, CURLOPT_DEBUGDATA, httpProxy ? &hop : nullptr);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, httpProxy ? 0L : 1L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, httpProxy ? OnProxyProgress : nullptr);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, httpProxy ? &hop : nullptr);
    for (bool retried = false;;) {
      hop = Hop();
      hop.wantBody = method == Method::Get;  // a probe turned into GET by a 303 still wants no page
      hop.lease = pageLease;
      hop.abandon = settings.abandon;
      errorText[0] = '\0';
      curl_easy_setopt(easy, CURLOPT_URL, target.url.c_str());
      if (head)
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
      else
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
      curl_easy_setopt(easy, CURLOPT_HEADERDATA, &hop);
      curl_easy_setopt(easy, CURLOPT_WRITEDATA, &hop);
      curl_easy_setopt(easy, CURLOPT_PREREQDATA, &hop);
      curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, retried ? 1L : 0L);
      attempt = Transfer(multi, easy, hop, settings.abandon, responseTimeoutMs);
      // A kept-alive connection that the server had already given up
      // swallows the request; the request never reached anyone, so it goes
      // once more on a connection of its own, as browsers do. (libcurl
      // retries this itself only five times in a handle's life.)
      if (retried || hop.proxyDemands > kProxyDemandLimit || !DiedBeforeAnswer(attempt, hop)) break;
      retried = true;
    }
    const CURLcode code = attempt.code;
    const bool readTimedOut = attempt.readTimedOut;
    const bool abandoned = attempt.abandoned;
    const long osErrno = attempt.osErrno;

    if (abandoned) {
      result.error = "Request abandoned.";
      return result;
    }
    // The proxy kept asking for credentials: it takes none of ours.
    if (hop.proxyDemands > kProxyDemandLimit) {
      result.error = ProxyFailureText(easy, CURLE_OK, 407, target.proxy, proxyCredentials);
      return result;
    }
    if (hop.decodeFailed) {
      result.error = "ZLib Error (" + std::to_string(hop.decoder->Error()) + ")";
      return result;
    }
    const bool bodyIsPage = hop.headersDone && hop.sink == Hop::Sink::Page;
    const bool cutShort = readTimedOut || (code != CURLE_OK && !hop.full) || !hop.headersDone;
    // Once the status of an answer whose body is not the page is known, a
    // failure while reading that body changes nothing.
    if (cutShort && !(hop.headersDone && !bodyIsPage)) {
      std::string proxyFailure;
      if (!readTimedOut && code != CURLE_OK && httpProxy) proxyFailure = HttpProxyFault(easy, code, hop, target.https);
      if (!readTimedOut && code != CURLE_OK && proxyFailure.empty())
        proxyFailure = ProxyFailureText(easy, code, hop.status, target.proxy, proxyCredentials);
      if (readTimedOut)
        result.error = "Read timed out.";
      else if (!proxyFailure.empty())
        result.error = proxyFailure;
      else if (code != CURLE_OK)
        result.error = TransferFailure(code, osErrno, errorText, target.https, !hop.headersDone);
      else
        result.error = "Connection Closed Gracefully.";  // the headers never ended
      return result;
    }

    const long status = hop.status;
    if ((status >= 300 && status < 400 && status != 304) || status >= 400) {
      if (status >= 400 || !hop.location) {
        // A proxy's demand for credentials is told as the proxy's failure.
        const std::string proxyFailure =
            status == 407 || (status == 401 && httpProxy && proxyCredentials && ProxyRefusedAsSite(hop))
                ? ProxyFailureText(easy, CURLE_OK, 407, target.proxy, proxyCredentials)
                : std::string();
        result.error = proxyFailure.empty() ? hop.statusLine : proxyFailure;
        return result;
      }
      ++redirects;
      result.redirects = redirects;
      if (redirects < redirectLimit) {
        if (hop.sink == Hop::Sink::Cookies) AddMetaCookies(easy, target, hop.body);
        if (const CURLUcode parsed = curl_url_set(location.get(), CURLUPART_URL, hop.location->c_str(), urlFlags);
            parsed != CURLUE_OK) {
          result.error = UrlFailure(parsed);
          return result;
        }
        if (status == 303) head = false;
        continue;
      }
      // The redirect that reaches the limit is the final answer.
      hop.body.clear();
    } else if (status < 200 && status != 0) {
      result.error = hop.statusLine;
      return result;
    } else if (status == 0) {
      result.error = "Connection Closed Gracefully.";
      return result;
    }

    if (bodyIsPage && !hop.full && !hop.decoder->Finish()) {
      result.error = "ZLib Error (" + std::to_string(hop.decoder->Error()) + ")";
      return result;
    }
    result.ok = true;
    result.statusLine = std::move(hop.statusLine);
    result.headerLines = std::move(hop.headers);
    result.contentType = std::move(hop.contentType);
    if (bodyIsPage) result.body = std::move(hop.body);
    return result;
  }
}

}  // namespace fetch
