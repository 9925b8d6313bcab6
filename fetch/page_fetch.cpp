// GetPageText, GetHeaderText and the reading of the time-out fields.
#include <climits>
#include <string>

#include "fetch/body_decoding.h"
#include "fetch/fetch.h"
#include "fetch/http_exchange.h"
#include "fetch/page_budget.h"

namespace fetch {
namespace {

// A page fetch gives up after the tenth redirect, a header probe after the ninth.
constexpr int kPageRedirectLimit = 10;
constexpr int kProbeRedirectLimit = 9;

std::u16string ErrorText(const std::string& message) {
  std::u16string text = u"Error: ";
  for (size_t i = 0; i < message.size(); ++i) {
    if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') {
      text += u' ';
      ++i;
    } else {
      text += static_cast<char16_t>(static_cast<unsigned char>(message[i]));
    }
  }
  return text;
}

}  // namespace

long TimeoutFromText(std::u16string_view text, long fallback) {
  size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;  // leading blanks are allowed, as in the field's own reading
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  int base = 10;
  if (i < text.size() && text[i] == u'$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return fallback;
  long long value = 0;
  for (; i < text.size(); ++i) {
    char16_t c = text[i];
    int digit;
    if (c >= u'0' && c <= u'9')
      digit = c - u'0';
    else if (base == 16 && c >= u'a' && c <= u'f')
      digit = c - u'a' + 10;
    else if (base == 16 && c >= u'A' && c <= u'F')
      digit = c - u'A' + 10;
    else
      return fallback;
    value = value * base + digit;
    if (value > static_cast<long long>(INT_MAX) + 1) return fallback;
  }
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return fallback;
  // A negative wait has no meaning; like 0 it sets no limit.
  return value < 0 ? 0 : static_cast<long>(value);
}

PageFetch FetchPage(std::u16string_view url, const RequestSettings& settings, std::u16string* finalUrl) {
  // Without a lease of the caller's, the body's bytes are held for this call.
  PageLease ownLease;
  ExchangeResult result =
      RunExchange(url, Method::Get, settings, kPageRedirectLimit, settings.pageLease ? settings.pageLease : &ownLease);
  // libcurl keeps a host as it was given, in UTF-8; the path and query are
  // percent-encoded ASCII.
  if (finalUrl != nullptr) *finalUrl = DecodeText(result.finalUrl, "UTF-8");
  const bool redirected = result.redirects > 0;
  if (!result.ok) return {ErrorText(result.error), true, redirected};
  if (result.body.empty()) return {{}, false, redirected};
  const std::string charset = ChooseCharset(result.contentType, result.body);
  return {PageText(std::move(result.body), charset), false, redirected};
}

std::u16string GetPageText(std::u16string_view url, const RequestSettings& settings, std::u16string* finalUrl) {
  return FetchPage(url, settings, finalUrl).text;
}

std::optional<std::u16string> GetHeaderText(std::u16string_view url, const RequestSettings& settings) {
  ExchangeResult result = RunExchange(url, Method::Head, settings, kProbeRedirectLimit);
  if (!result.ok) return std::nullopt;
  std::u16string text;
  for (const std::string& line : result.headerLines) {
    text += Latin1ToUtf16(line);
    text += u"\r\n";
  }
  return text;
}

}  // namespace fetch
