#include "cli/text_file.h"

#include <unicode/ustring.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace cli {

std::u16string DecodeBytes(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    std::string_view rest = bytes.substr(3);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, rest.data(), static_cast<int32_t>(rest.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status)) bytes = rest;
  }
  if (bytes.size() < static_cast<std::size_t>(INT32_MAX)) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status)) {
      std::u16string text(static_cast<std::size_t>(length), u'\0');
      status = U_ZERO_ERROR;
      u_strFromUTF8(reinterpret_cast<UChar*>(text.data()), length, nullptr, bytes.data(),
                    static_cast<int32_t>(bytes.size()), &status);
      if (U_SUCCESS(status)) return text;
    }
  }
  std::u16string text;
  text.reserve(bytes.size());
  for (unsigned char b : bytes) text.push_back(b);
  return text;
}

std::u16string NormaliseLines(std::u16string_view text) {
  if (const auto nul = text.find(u'\0'); nul != std::u16string_view::npos) text = text.substr(0, nul);
  std::u16string out;
  out.reserve(text.size() + text.size() / 16 + 2);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
    out.append(text.substr(start, end - start));
    out += u"\r\n";
    if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ++end;
    start = end + 1;
  }
  return out;
}

bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& reason) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) {
    reason = std::strerror(errno);
    return false;
  }
  bytes.clear();
  char buffer[65536];
  for (;;) {
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
    bytes.append(buffer, n);
    if (n < sizeof buffer) {
      if (std::ferror(file.get())) {
        reason = std::strerror(errno);
        return false;
      }
      return true;
    }
  }
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[++i]) - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace cli
