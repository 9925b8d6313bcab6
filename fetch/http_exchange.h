#pragma once
// One HTTP request with its redirects, on its own libcurl handle.
//
// The redirects are followed here rather than by libcurl so that the limits,
// the method change after 303 and the failure of a redirect without Location
// behave exactly as the fetch needs. Cookies live on the handle and so only
// for the redirects of this one request.
#include <string>
#include <string_view>
#include <vector>

#include "fetch/fetch.h"
#include "fetch/page_budget.h"

namespace fetch {

enum class Method { Get, Head };

struct ExchangeResult {
  bool ok = false;
  // The failure's message (may hold CR LF pairs), when !ok.
  std::string error;
  // The final response.
  std::string statusLine;                // exactly as sent, without its line end
  std::vector<std::string> headerLines;  // "Name: value", in the order sent
  std::string contentType;
  // The decompressed body of a final 2xx or 304 answer to a GET (at most
  // kMaxBodyBytes); empty otherwise.
  std::string body;
  // The URL of the last request made (after redirects), also for a
  // failure; empty when none was made. Its host is as given (UTF-8, not
  // converted to its ASCII form), its path and query percent-encoded as sent.
  std::string finalUrl;
  // How many redirects were followed to reach it.
  int redirects = 0;
};

// Sends the request and follows at most `redirectLimit - 1` redirects; the
// redirect that reaches the limit becomes the final response without error.
// The page body's bytes are drawn from `pageLease` (may be null: no budget)
// before it grows, which may wait for room.
ExchangeResult RunExchange(std::u16string_view url, Method method, const RequestSettings& settings, int redirectLimit,
                           PageLease* pageLease = nullptr);

}  // namespace fetch
