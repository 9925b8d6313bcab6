#pragma once
// Small helpers shared by the fetch tests: calls in UTF-8 for readable
// assertions, and compression of test bodies.
#include <QString>
#include <optional>
#include <string>
#include <string_view>

#include "fetch/fetch.h"
#include "tests/support/compress.h"

namespace fetchtest {

inline std::string Utf8(const std::u16string& text) { return QString::fromStdU16String(text).toStdString(); }
inline std::u16string Utf16(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdU16String();
}

// Short time-outs keep failing cases fast; loopback answers in microseconds.
inline fetch::RequestSettings Settings(long responseTimeoutMs = 3000, std::u16string userAgent = u"LumasiftTest/1.0") {
  fetch::RequestSettings settings;
  settings.connectTimeoutMs = 3000;
  settings.responseTimeoutMs = responseTimeoutMs;
  settings.userAgent = std::move(userAgent);
  return settings;
}

inline std::string Page(const std::string& url, const fetch::RequestSettings& settings = Settings()) {
  return Utf8(fetch::GetPageText(Utf16(url), settings));
}

inline std::optional<std::string> HeaderText(const std::string& url,
                                             const fetch::RequestSettings& settings = Settings()) {
  auto text = fetch::GetHeaderText(Utf16(url), settings);
  if (!text) return std::nullopt;
  return Utf8(*text);
}

using testsupport::Compress;
using testsupport::Gzip;
using testsupport::Zlib;

}  // namespace fetchtest
