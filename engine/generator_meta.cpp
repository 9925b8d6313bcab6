#include "engine/generator_meta.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace engine::detail {

namespace {

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

template <typename C>
bool EqualsFolded(std::basic_string_view<C> text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (FoldAscii(text[i]) != C(lower[i])) return false;
  }
  return true;
}

// Longest stretch searched on either side of the word for the element's
// bounds: a meta element is short.
constexpr std::size_t kTagReach = 2048;

// The content attribute of the meta element around `wordStart` (where the
// word "generator" begins) when that element names itself the generator.
template <typename C>
std::optional<std::basic_string_view<C>> GeneratorContentAt(std::basic_string_view<C> text, std::size_t wordStart) {
  using View = std::basic_string_view<C>;
  // The element's "<": no ">" between it and the word.
  std::size_t lt = wordStart;
  const std::size_t lowest = wordStart > kTagReach ? wordStart - kTagReach : 0;
  for (;;) {
    if (lt == lowest) return std::nullopt;
    --lt;
    if (text[lt] == '>') return std::nullopt;
    if (text[lt] == '<') break;
  }
  if (lt + 5 >= text.size() || !EqualsFolded(text.substr(lt + 1, 4), "meta") || !IsTagSpace(text[lt + 5])) {
    return std::nullopt;
  }
  const std::size_t limit = std::min(text.size(), wordStart + kTagReach);
  std::size_t i = lt + 5;
  bool isGenerator = false;
  std::optional<View> content;
  while (i < limit) {
    while (i < limit && (IsTagSpace(text[i]) || text[i] == '/')) ++i;
    if (i >= limit || text[i] == '>') break;
    const std::size_t nameStart = i;
    while (i < limit && !IsTagSpace(text[i]) && text[i] != '=' && text[i] != '>' && text[i] != '/') ++i;
    const View name = text.substr(nameStart, i - nameStart);
    while (i < limit && IsTagSpace(text[i])) ++i;
    View value;
    if (i < limit && text[i] == '=') {
      ++i;
      while (i < limit && IsTagSpace(text[i])) ++i;
      if (i < limit && (text[i] == '"' || text[i] == '\'')) {
        const C quote = text[i++];
        const std::size_t valueStart = i;
        while (i < limit && text[i] != quote) ++i;
        if (i >= limit) return std::nullopt;  // the element does not end within reach
        value = text.substr(valueStart, i - valueStart);
        ++i;
      } else {
        const std::size_t valueStart = i;
        while (i < limit && !IsTagSpace(text[i]) && text[i] != '>') ++i;
        value = text.substr(valueStart, i - valueStart);
      }
    }
    if (EqualsFolded(name, "name")) isGenerator = EqualsFolded(value, "generator");
    if (EqualsFolded(name, "content") && !content) content = value;
  }
  if (i >= limit || !isGenerator || !content) return std::nullopt;
  return content;
}

std::u16string DecodeUtf8(std::string_view bytes) {
  std::u16string out;
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    char32_t c = b;
    int more = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (more > 0) c = b & (0x3F >> more);
    ++i;
    for (; more > 0 && i < bytes.size(); --more, ++i) c = (c << 6) | (static_cast<unsigned char>(bytes[i]) & 0x3F);
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

}  // namespace

std::vector<std::u16string> GeneratorContents(const TPageScan& scan, std::u16string_view pageText) {
  std::vector<std::u16string> contents;
  if (scan.text != nullptr) {
    // The scanner text: a line break there is a line feed, a blank like any.
    const std::string_view text(scan.text.get(), scan.textSize);
    for (const std::uint32_t end : scan.generatorEnds) {
      if (const auto content = GeneratorContentAt(text, end - 9)) contents.push_back(DecodeUtf8(*content));
    }
    return contents;
  }
  std::size_t candidates = 0;
  for (std::size_t at = 0; at + 9 <= pageText.size() && candidates < kGeneratorCandidates; ++at) {
    if (!EqualsFolded(pageText.substr(at, 9), "generator")) continue;
    ++candidates;
    if (const auto content = GeneratorContentAt(pageText, at)) contents.emplace_back(*content);
  }
  return contents;
}

}  // namespace engine::detail
