#pragma once
// Small helpers shared by the fetch tests: calls in UTF-8 for readable
// assertions, and compression of test bodies.
#include <zlib.h>

#include <QString>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "fetch/fetch.h"

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

// `windowBits` 16 + MAX_WBITS: gzip; MAX_WBITS: zlib; -MAX_WBITS: raw deflate.
inline std::string Compress(const std::string& data, int windowBits) {
  z_stream stream{};
  if (deflateInit2(&stream, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&stream, data.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}
inline std::string Gzip(const std::string& data) { return Compress(data, 16 + MAX_WBITS); }
inline std::string Zlib(const std::string& data) { return Compress(data, MAX_WBITS); }

}  // namespace fetchtest
