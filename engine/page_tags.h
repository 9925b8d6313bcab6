#pragma once
// Start tags read as a browser reads them, from a page text (UTF-16) or from
// the scanner's text (UTF-8, every line break a line feed): the element's
// name and each attribute's name and value, as positions in the text. Only
// what identification needs: no entities decoded, no tree built. Everything
// here is re-entrant.
#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace engine::detail {

template <typename C>
C FoldAscii(C c) {
  return (c >= 'A' && c <= 'Z') ? C(c + 32) : c;
}

// Blanks between attributes. In the scanner text every line break is a line
// feed; in a page text the same breaks count, so both ways read alike.
template <typename C>
bool IsTagSpace(C c) {
  if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') return true;
  if constexpr (sizeof(C) == 2) return c == 0x85 || c == 0x2028 || c == 0x2029;
  return false;
}

// Whether `text` is `lower` (ASCII, lower case) with ASCII letters in any case.
template <typename C>
bool EqualsFolded(std::basic_string_view<C> text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (FoldAscii(text[i]) != C(lower[i])) return false;
  }
  return true;
}

// Longest stretch read on either side of a position for the bounds of the
// tag around it: a tag is short.
inline constexpr std::size_t kTagReach = 2048;

// Positions in the text; a value is empty when the attribute has none.
struct TTagAttribute {
  std::size_t nameStart = 0, nameEnd = 0;
  std::size_t valueStart = 0, valueEnd = 0;
  std::size_t end = 0;  // past the value and its closing quote
};

struct TStartTag {
  std::size_t start = 0;    // the '<'
  std::size_t nameEnd = 0;  // the element's name is [start + 1, nameEnd)
  std::size_t end = 0;      // past the '>'
  std::vector<TTagAttribute> attributes;  // in order
};

// The '<' of the tag that would hold position `pos`: the nearest one before
// it with no '>' in between, at most kTagReach back; nothing otherwise.
template <typename C>
std::optional<std::size_t> TagStartBefore(std::basic_string_view<C> text, std::size_t pos) {
  const std::size_t lowest = pos > kTagReach ? pos - kTagReach : 0;
  for (std::size_t lt = pos; lt > lowest;) {
    --lt;
    if (text[lt] == '>') return std::nullopt;
    if (text[lt] == '<') return lt;
  }
  return std::nullopt;
}

// The start tag whose '<' is at `lt`, when a name of ASCII letters and
// digits (and '-', ':', '_') follows it directly and the tag ends before
// `limit`; nothing otherwise (an end tag, a comment, a '<' in a script).
template <typename C>
std::optional<TStartTag> ReadStartTag(std::basic_string_view<C> text, std::size_t lt, std::size_t limit) {
  limit = std::min(limit, text.size());
  const auto isNameChar = [](C c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == ':' ||
           c == '_';
  };
  TStartTag tag;
  tag.start = lt;
  std::size_t i = lt + 1;
  if (i >= limit || !((text[i] >= 'a' && text[i] <= 'z') || (text[i] >= 'A' && text[i] <= 'Z'))) return std::nullopt;
  while (i < limit && isNameChar(text[i])) ++i;
  tag.nameEnd = i;
  if (i >= limit || !(IsTagSpace(text[i]) || text[i] == '/' || text[i] == '>')) return std::nullopt;
  while (i < limit) {
    while (i < limit && (IsTagSpace(text[i]) || text[i] == '/')) ++i;
    if (i >= limit) break;
    if (text[i] == '>') {
      tag.end = i + 1;
      return tag;
    }
    TTagAttribute attribute;
    attribute.nameStart = i;
    while (i < limit && !IsTagSpace(text[i]) && text[i] != '=' && text[i] != '>' && text[i] != '/') ++i;
    attribute.nameEnd = i;
    while (i < limit && IsTagSpace(text[i])) ++i;
    attribute.valueStart = attribute.valueEnd = i;
    if (i < limit && text[i] == '=') {
      ++i;
      while (i < limit && IsTagSpace(text[i])) ++i;
      if (i < limit && (text[i] == '"' || text[i] == '\'')) {
        const C quote = text[i++];
        attribute.valueStart = i;
        while (i < limit && text[i] != quote) ++i;
        if (i >= limit) return std::nullopt;  // the value does not end within reach
        attribute.valueEnd = i++;
      } else {
        attribute.valueStart = i;
        while (i < limit && !IsTagSpace(text[i]) && text[i] != '>') ++i;
        attribute.valueEnd = i;
      }
    }
    attribute.end = i;
    tag.attributes.push_back(attribute);
  }
  return std::nullopt;  // the tag does not end within reach
}

template <typename C>
std::basic_string_view<C> TagName(std::basic_string_view<C> text, const TStartTag& tag) {
  return text.substr(tag.start + 1, tag.nameEnd - tag.start - 1);
}
template <typename C>
std::basic_string_view<C> AttributeName(std::basic_string_view<C> text, const TTagAttribute& attribute) {
  return text.substr(attribute.nameStart, attribute.nameEnd - attribute.nameStart);
}
template <typename C>
std::basic_string_view<C> AttributeValue(std::basic_string_view<C> text, const TTagAttribute& attribute) {
  return text.substr(attribute.valueStart, attribute.valueEnd - attribute.valueStart);
}

}  // namespace engine::detail
