#include "engine/scanner_dialect.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/utf8_text.h"

namespace engine::detail {

namespace {

void HexByte(std::string& out, unsigned char b) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[b >> 4];
  out += kHex[b & 15];
}

}  // namespace

std::size_t Utf16Units(const char* text, std::size_t bytes) {
  std::size_t units = 0;
  for (std::size_t b = 0; b < bytes; ++b) {
    const unsigned char byte = static_cast<unsigned char>(text[b]);
    units += ((byte & 0xC0) != 0x80) + (byte >= 0xF0);
  }
  return units;
}

std::size_t ScannerText(std::u16string_view text, char* out) {
  const std::size_t n = text.size();
  const char16_t* s = text.data();
  char* w = out;
  std::size_t i = 0;
  while (i < n) {
    // Most of a web page is ASCII other than line breaks: eight at a time.
    if (i + 8 <= n) {
      std::uint64_t a, b;
      std::memcpy(&a, s + i, 8);
      std::memcpy(&b, s + i + 4, 8);
      if (((a | b) & 0xFF80FF80FF80FF80ULL) == 0) {
        bool plain = true;
        for (int k = 0; k < 8; ++k) {
          const char16_t c = s[i + k];
          plain &= c > 0x0D || c < 0x0A;
          w[k] = static_cast<char>(c);
        }
        if (plain) {
          w += 8;
          i += 8;
          continue;
        }
      }
    }
    const char16_t c = s[i++];
    if (c < 0x80) {
      *w++ = (c >= 0x0A && c <= 0x0D) ? '\n' : static_cast<char>(c);
    } else if (c < 0x800) {
      if (c == 0x85) {
        *w++ = '\n';
      } else {
        *w++ = static_cast<char>(0xC0 | (c >> 6));
        *w++ = static_cast<char>(0x80 | (c & 0x3F));
      }
    } else if (c < 0xD800 || c > 0xDFFF) {
      if (c == 0x2028 || c == 0x2029) {
        *w++ = '\n';
      } else {
        *w++ = static_cast<char>(0xE0 | (c >> 12));
        *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *w++ = static_cast<char>(0x80 | (c & 0x3F));
      }
    } else if (c <= 0xDBFF && i < n && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
      const char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(s[i++]) - 0xDC00);
      *w++ = static_cast<char>(0xF0 | (cp >> 18));
      *w++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *w++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *w++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *w++ = '\n';  // an unpaired surrogate: nothing matches across it either
    }
  }
  return static_cast<std::size_t>(w - out);
}

std::optional<TScannerExpression> ScannerExpression(std::u16string_view pattern) {
  // One character of valid UTF-8 other than a line feed (every line break
  // and invalid unit is a line feed in the scanner text).
  // Any character of more than one byte.
  static const std::string kWideChar =
      "[\\xc2-\\xdf][\\x80-\\xbf]|[\\xe0-\\xef][\\x80-\\xbf][\\x80-\\xbf]|[\\xf0-\\xf4][\\x80-\\xbf][\\x80-\\xbf][\\x80-"
      "\\xbf]";
  static const std::string kOneChar = "(?:[\\x00-\\x09\\x0b-\\x7f]|" + kWideChar + ")";
  auto printable = [](char16_t c) { return c > u' ' && c < 0x7F; };
  TScannerExpression out;
  std::string& text = out.pattern;
  int depth = 0;
  // Where the last atom starts in `text` (npos: none a quantifier may follow).
  std::size_t atom = std::string::npos;
  std::vector<std::size_t> groupStarts;
  // The current run of literal characters; whether the last atom is one.
  std::size_t run = 0;
  bool literalAtom = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    const char16_t next = i + 1 < pattern.size() ? pattern[i + 1] : u'\0';
    const std::size_t start = text.size();
    // Every atom but a literal character ends the run of literal characters;
    // a quantifier takes its character out of the run.
    const bool literal =
        (c == u'\\' && next != u'd') || (c >= 0x80 && !(c >= 0xD800 && c <= 0xDFFF)) ||
        (c >= u' ' && c < 0x80 && std::u16string_view(u"().|[]*+?{}^$").find(c) == std::u16string_view::npos);
    if (!literal) {
      if ((c == u'*' || c == u'+' || c == u'?' || c == u'{') && literalAtom && run > 0) --run;
      out.longestLiteral = std::max(out.longestLiteral, run);
      run = 0;
    } else {
      ++run;
    }
    literalAtom = literal;
    if (c == u'(') {
      if (next == u'?') {
        if (i + 2 >= pattern.size() || pattern[i + 2] != u':') return std::nullopt;
        i += 2;
      }
      groupStarts.push_back(start);
      text += "(?:";
      ++depth;
      atom = std::string::npos;
      continue;
    }
    if (c == u')') {
      if (--depth < 0) return std::nullopt;
      text += ')';
      atom = groupStarts.back();
      groupStarts.pop_back();
    } else if (c == u'|') {
      text += '|';
      atom = std::string::npos;
      continue;
    } else if (c == u'.') {
      if (next == u'*' || next == u'+') {
        // A run within a line: the scanner text is valid UTF-8, so bytes
        // other than a line feed make whole characters.
        text += next == u'*' ? "[^\\n]*" : "[^\\n]+";
        ++i;
        if (i + 1 < pattern.size() && pattern[i + 1] == u'?') ++i;
        if (i + 1 < pattern.size() && pattern[i + 1] == u'+') return std::nullopt;  // possessive
        atom = std::string::npos;
        continue;
      }
      text += kOneChar;
      atom = start;
    } else if (c == u'\\') {
      if (next == u'd') {
        text += "[0-9]";
      } else if (printable(next) && !std::isalnum(static_cast<unsigned char>(next))) {
        HexByte(text, static_cast<unsigned char>(next));
      } else {
        return std::nullopt;
      }
      ++i;
      atom = start;
    } else if (c == u'[') {
      // A class of ASCII characters: members, ranges and escaped punctuation.
      std::size_t k = i + 1;
      const bool negated = k < pattern.size() && pattern[k] == u'^';
      if (negated) ++k;
      if (k < pattern.size() && pattern[k] == u']') return std::nullopt;  // "]" first: not followed
      std::string members;
      char16_t last = 0;
      bool range = false;
      for (; k < pattern.size() && pattern[k] != u']'; ++k) {
        char16_t m = pattern[k];
        if (m == u'[') return std::nullopt;  // POSIX classes and the like
        if (m == u'-' && last != 0 && k + 1 < pattern.size() && pattern[k + 1] != u']') {
          range = true;
          continue;
        }
        if (m == u'\\') {
          if (k + 1 >= pattern.size() || !printable(pattern[k + 1]) ||
              std::isalnum(static_cast<unsigned char>(pattern[k + 1]))) {
            return std::nullopt;
          }
          m = pattern[++k];
        } else if (!printable(m) && m != u' ') {
          return std::nullopt;
        }
        if (range) {
          if (m < last) return std::nullopt;
          members += '-';
          range = false;
        }
        HexByte(members, static_cast<unsigned char>(m));
        last = m;
      }
      if (k >= pattern.size()) return std::nullopt;
      i = k;
      if (negated) {
        // Every character but the members: line breaks too, which the
        // scanner text holds as line feeds.
        out.crossesLines = true;
        const char16_t after = k + 1 < pattern.size() ? pattern[k + 1] : u'\0';
        const char16_t then = k + 2 < pattern.size() ? pattern[k + 2] : u'\0';
        if ((after == u'*' || after == u'+') && then != u'+') {
          // A run of them: the scanner text is valid UTF-8 and the members
          // are ASCII, so a run of bytes other than the members between two
          // characters is a run of such characters. Much cheaper to compile.
          text += "[^" + members + "]";
          text += static_cast<char>(after);
          i = then == u'?' ? k + 2 : k + 1;
          atom = std::string::npos;
          continue;
        }
        text += "(?:[^" + members + "\\x80-\\xff]|" + kWideChar + ")";
      } else {
        text += "[" + members + "]";
      }
      atom = start;
    } else if (c == u'*' || c == u'+' || c == u'?' || c == u'{') {
      if (atom == std::string::npos) return std::nullopt;
      std::string quantifier(1, static_cast<char>(c));
      if (c == u'{') {
        std::size_t k = i + 1;
        bool digits = false, comma = false;
        for (; k < pattern.size() && pattern[k] != u'}'; ++k) {
          if (pattern[k] >= u'0' && pattern[k] <= u'9') {
            digits = digits || !comma;
          } else if (pattern[k] == u',' && !comma) {
            comma = true;
          } else {
            return std::nullopt;
          }
          quantifier += static_cast<char>(pattern[k]);
        }
        if (k >= pattern.size() || !digits) return std::nullopt;
        quantifier += '}';
        i = k;
      }
      if (i + 1 < pattern.size() && pattern[i + 1] == u'+') return std::nullopt;  // possessive
      if (i + 1 < pattern.size() && pattern[i + 1] == u'?') ++i;                 // lazy: same matches
      // The atom as a whole, whatever its length in the scanner text.
      text.insert(atom, "(?:");
      text += ')';
      text += quantifier;
      atom = std::string::npos;
      continue;
    } else if (c == u'^' || c == u'$' || c == u']' || c == u'}') {
      return std::nullopt;
    } else if (IsLineBreak(c) || (c >= 0xD800 && c <= 0xDFFF) || c < u' ') {
      return std::nullopt;
    } else if (c < 0x80 && std::isalnum(static_cast<unsigned char>(c))) {
      text += static_cast<char>(c);
      atom = start;
    } else {
      std::string bytes;
      AppendUtf8(c, bytes);
      for (unsigned char b : bytes) HexByte(text, b);
      atom = start;
    }
  }
  if (depth != 0) return std::nullopt;
  out.longestLiteral = std::max(out.longestLiteral, run);
  return out;
}

}  // namespace engine::detail
