#include "fetch/response_head.h"

#include <algorithm>
#include <cstdlib>

namespace fetch {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool ResponseHead::ReadLine(std::string_view line) {
  if (expectStatus) {
    if (line.empty()) return false;
    // A new response: the first one, or the real one after an interim 1xx.
    expectStatus = false;
    statusLine = std::string(line);
    headers.clear();
    contentType.clear();
    contentEncoding.clear();
    transferEncoding.clear();
    location.reset();
    contentLength.reset();
    const size_t space = line.find(' ');
    status = space == std::string_view::npos ? 0
                                             : std::strtol(std::string(line.substr(space + 1, 3)).c_str(), nullptr, 10);
    return false;
  }
  if (line.empty()) {
    if (status >= 100 && status < 200) {
      expectStatus = true;  // an interim answer; the real one follows
      return false;
    }
    headersDone = true;
    return true;
  }
  if ((line.front() == ' ' || line.front() == '\t') && !headers.empty()) {
    // An old-style continuation of the previous field's value.
    const std::string_view more = TrimBlanks(line);
    if (!more.empty()) headers.back() += " " + std::string(more);
    return false;
  }
  const size_t colon = line.find(':');
  const std::string_view name = TrimBlanks(line.substr(0, colon));
  const std::string_view value =
      colon == std::string_view::npos ? std::string_view() : TrimBlanks(line.substr(colon + 1));
  headers.push_back(std::string(name) + ": " + std::string(value));
  if (EqualsNoCase(name, "Content-Type")) {
    contentType = std::string(value);
  } else if (EqualsNoCase(name, "Content-Encoding")) {
    contentEncoding = std::string(value);
  } else if (EqualsNoCase(name, "Transfer-Encoding")) {
    transferEncoding = std::string(value);
  } else if (EqualsNoCase(name, "Location") && !value.empty()) {
    location = std::string(value);
  } else if (EqualsNoCase(name, "Content-Length")) {
    char* end = nullptr;
    const std::string digits(value);
    const unsigned long long length = std::strtoull(digits.c_str(), &end, 10);
    if (!digits.empty() && *end == '\0' && digits.front() != '-') contentLength = length;
  }
  return false;
}

void ResponseHead::NextResponse() {
  expectStatus = true;
  headersDone = false;
}

}  // namespace fetch
