#include "fetch/recorded_response.h"

#include <algorithm>
#include <optional>

#include "fetch/body_decoding.h"
#include "fetch/page_budget.h"

namespace fetch {

namespace {

// The next line of `text` from `at` (without CR LF or LF), moving `at` past
// it; nothing when no line end follows.
std::optional<std::string_view> NextLine(std::string_view text, size_t& at) {
  const size_t lf = text.find('\n', at);
  if (lf == std::string_view::npos) return std::nullopt;
  std::string_view line = text.substr(at, lf - at);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  at = lf + 1;
  return line;
}

// A chunk-size line: hexadecimal digits, then blanks or ";extensions".
std::optional<size_t> ChunkSize(std::string_view line) {
  size_t size = 0;
  size_t i = 0;
  for (; i < line.size(); ++i) {
    const char c = line[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      break;
    if (size > (SIZE_MAX >> 4)) return std::nullopt;  // more than any body
    size = size * 16 + static_cast<size_t>(digit);
  }
  if (i == 0) return std::nullopt;
  const std::string_view rest = TrimBlanks(line.substr(i));
  if (!rest.empty() && rest.front() != ';') return std::nullopt;
  return size;
}

bool LastCodingIsChunked(std::string_view transferEncoding) {
  const size_t comma = transferEncoding.rfind(',');
  const std::string_view last =
      TrimBlanks(comma == std::string_view::npos ? transferEncoding : transferEncoding.substr(comma + 1));
  return EqualsNoCase(last, "chunked");
}

std::u16string Failure(std::string_view text) { return Latin1ToUtf16("Error: " + std::string(text)); }

}  // namespace

RecordedHead ReadRecordedHead(std::string_view message) {
  RecordedHead result;
  size_t at = 0;
  while (auto line = NextLine(message, at)) {
    // Only an HTTP status line starts an answer (blank lines before one pass).
    if (result.head.expectStatus && !line->empty() && !line->starts_with("HTTP/")) return result;
    if (result.head.ReadLine(*line)) {
      result.complete = true;
      result.bodyOffset = at;
      return result;
    }
  }
  return result;
}

Dechunked Dechunk(std::string_view body) {
  Dechunked result;
  size_t at = 0;
  bool first = true;
  for (;;) {
    const auto line = NextLine(body, at);
    if (!line) {
      // A cut-off first line that is still a chunk size is a chunked body too.
      if (first && !ChunkSize(body)) result.kind = Dechunked::Kind::NotChunked;
      else result.kind = Dechunked::Kind::Cut;
      return result;
    }
    const std::optional<size_t> size = ChunkSize(*line);
    if (!size) {
      result.kind = first ? Dechunked::Kind::NotChunked : Dechunked::Kind::Broken;
      if (first) result.body.clear();
      return result;
    }
    first = false;
    if (*size == 0) return result;  // the last chunk; trailer fields are not wanted
    const size_t take = std::min(*size, body.size() - at);
    result.body.append(body.substr(at, take));
    at += take;
    if (take < *size) {
      result.kind = Dechunked::Kind::Cut;
      return result;
    }
    const auto end = NextLine(body, at);
    if (!end) {
      result.kind = Dechunked::Kind::Cut;
      return result;
    }
    if (!end->empty()) {
      result.kind = Dechunked::Kind::Broken;
      return result;
    }
  }
}

RecordedPage DecodeRecordedResponse(std::string_view message, bool cut, PageLease* lease) {
  RecordedPage page;
  const RecordedHead recorded = ReadRecordedHead(message);
  const ResponseHead& head = recorded.head;
  for (const std::string& line : head.headers) {
    page.headerText += Latin1ToUtf16(line);
    page.headerText += u"\r\n";
  }
  page.failed = true;
  if (!recorded.complete || head.status < 200) {
    page.pageText = Failure("Not an HTTP response.");
    return page;
  }
  if (head.status >= 400 || (head.status >= 300 && head.status != 304 && !head.location)) {
    page.pageText = Failure(head.statusLine);
    return page;
  }
  page.failed = false;
  if (head.status >= 300 && head.status != 304) return page;  // a redirect: the page is at its Location

  std::string_view body = message.substr(recorded.bodyOffset);
  std::string dechunked;
  bool ended = true;  // the body reached its declared end
  if (LastCodingIsChunked(head.transferEncoding)) {
    Dechunked chunks = Dechunk(body);
    switch (chunks.kind) {
      case Dechunked::Kind::NotChunked:
        break;
      case Dechunked::Kind::Broken:
        page.failed = true;
        page.pageText = Failure("Broken chunked transfer coding.");
        return page;
      case Dechunked::Kind::Cut:
        ended = false;
        [[fallthrough]];
      case Dechunked::Kind::Whole:
        dechunked = std::move(chunks.body);
        body = dechunked;
        break;
    }
  } else if (head.contentLength) {
    if (*head.contentLength > body.size())
      ended = false;
    else
      body = body.substr(0, *head.contentLength);
  }

  std::string decoded;
  ContentDecoder decoder(head.contentEncoding);
  const std::string coding = MediaType(head.contentEncoding);
  if (coding.empty() || coding == "identity") MakeBodyRoom(decoded, std::min(body.size(), kMaxBodyBytes), true, lease, nullptr);
  const bool fed = decoder.Feed(body.data(), body.size(), decoded, kMaxBodyBytes,
                                [&](size_t total) { MakeBodyRoom(decoded, total, false, lease, nullptr); });
  std::string().swap(dechunked);
  if (!fed || (ended && !cut && !decoder.Full() && !decoder.Finish())) {
    page.failed = true;
    page.pageText = Failure("ZLib Error (" + std::to_string(decoder.Error()) + ")");
    return page;
  }
  if (decoded.empty()) return page;
  const std::string charset = ChooseCharset(head.contentType, decoded);
  page.pageText = PageText(std::move(decoded), charset);
  return page;
}

}  // namespace fetch
