#pragma once
// The status line and header fields of an HTTP/1.x response, read one line at
// a time: from libcurl's header callback during a fetch, or from the bytes of
// a response that an archive recorded. Both read the same fields the same
// way, so a recorded response gives the header text a fetched one gives.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fetch {

struct ResponseHead {
  std::string statusLine;            // exactly as sent, without its line end
  long status = 0;                   // the three digits after the first blank; 0 when none
  std::vector<std::string> headers;  // "Name: value", blanks around both dropped, in the order sent
  std::string contentType;
  std::string contentEncoding;
  std::string transferEncoding;
  std::optional<std::string> location;  // an empty Location leads nowhere: as if absent
  std::optional<size_t> contentLength;

  bool expectStatus = true;  // the next non-empty line is a status line
  bool headersDone = false;  // the blank line after a final (not 1xx) answer's fields has come

  // Takes one line without its line end (CR LF or LF). Empty lines before a
  // status line are skipped; an interim 1xx answer is forgotten at its blank
  // line and the next status line starts over; a line that begins with a
  // blank continues the previous field's value. True exactly when this line
  // ended the head of the final answer.
  bool ReadLine(std::string_view line);

  // Ready for another response on the same handle (after headersDone).
  void NextResponse();
};

// A header's value without the blanks and tabs around it.
std::string_view TrimBlanks(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace fetch
