#include "engine/utf8_text.h"

namespace engine::detail {

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      AppendUtf8(0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[++i]) - 0xDC00), out);
    } else {
      AppendUtf8(c, out);
    }
  }
  return out;
}

bool FromUtf8(std::string_view bytes, std::u16string& out) {
  out.clear();
  out.reserve(bytes.size());
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char b = s[i];
    char32_t c;
    std::size_t length;
    char32_t least;
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      c = b & 0x1F, length = 2, least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      c = b & 0x0F, length = 3, least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      c = b & 0x07, length = 4, least = 0x10000;
    } else {
      return false;
    }
    if (i + length > n) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      c = (c << 6) | (s[i + k] & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += length;
  }
  return true;
}

}  // namespace engine::detail
