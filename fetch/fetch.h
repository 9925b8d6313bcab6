#pragma once
// Page fetch (HTTP GET) and header probe (HTTP HEAD) of one site.
//
// Call GlobalInit() once at the top of main(), before any other thread
// starts. After that both calls are re-entrant: each builds its own libcurl
// handle and shares nothing with other calls, so any number may run at once
// on any threads.
#include <atomic>
#include <optional>
#include <string>
#include <string_view>

#include "fetch/proxy.h"

namespace fetch {

class PageLease;

// Starts libcurl and the TLS library under it for the whole process; later
// calls do nothing. libcurl's start-up must not run beside other threads,
// and the TLS library's own state must belong to the main thread, not to
// whichever worker happens to make the first request. Every program that
// makes requests (front ends, test and benchmark programs) calls this from
// main() before any thread starts.
void GlobalInit();

// Ends the program with a message when GlobalInit() has not run: a program
// that forgot it must not start libcurl lazily on a worker thread. Every
// user of libcurl calls this before its first handle.
void RequireGlobalInit();

// What one request needs from the caller. The caller reads the window's
// fields afresh for every request and passes them here.
struct RequestSettings {
  long connectTimeoutMs = 5000;   // per connection attempt; 0 = no limit
  long responseTimeoutMs = 5000;  // per single wait for data; 0 = no limit
  std::u16string userAgent;       // empty: no User-Agent header at all
  ProxySettings proxy;            // the default: direct, whatever the environment says
  // When set and raised, a request in progress ends promptly with a failure
  // (used when the program ends during a run). May be null.
  const std::atomic<bool>* abandon = nullptr;
  // The page fetch draws its body's bytes from this lease (see
  // page_budget.h), so that they stay counted while the caller still holds
  // the page text. Null: a lease on the shared budget for the call alone.
  PageLease* pageLease = nullptr;
};

// A time-out field's text as milliseconds: the text read as an integer, or
// `fallback` when it is not one (an empty text is not an integer). Leading
// blanks, a sign and hexadecimal ("$1F", "0x1F") are read as integers; a
// negative value sets no limit, like 0.
long TimeoutFromText(std::u16string_view text, long fallback);

// Default time-outs for a field that holds no integer.
inline constexpr long kPageFetchDefaultTimeoutMs = 5000;
inline constexpr long kHeaderProbeDefaultTimeoutMs = 10000;

// The normalised page text (every line ended by CR LF), or "Error: " and the
// failure's message. Never throws for network reasons. When `finalUrl` is
// given it receives the URL of the last request made (after redirects), also
// for a failure, as the user would write it: the host in its Unicode form,
// the path and query percent-encoded as they were sent; it is left empty
// when no request could be made.
std::u16string GetPageText(std::u16string_view url, const RequestSettings& settings,
                           std::u16string* finalUrl = nullptr);

// The same, with the failure beside the text: a page may itself begin with
// "Error: ", so only `failed` tells a failed fetch from such a page. `text`
// is exactly what GetPageText returns.
struct PageFetch {
  std::u16string text;
  bool failed = false;
  bool redirected = false;  // the fetch followed at least one redirect
};
PageFetch FetchPage(std::u16string_view url, const RequestSettings& settings, std::u16string* finalUrl = nullptr);

// The header lines of the final response, each followed by CR LF, or nothing
// when the probe failed in any way.
std::optional<std::u16string> GetHeaderText(std::u16string_view url, const RequestSettings& settings);

}  // namespace fetch
