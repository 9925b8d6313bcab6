#include "engine/generator_meta.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "engine/page_tags.h"
#include "engine/scanner_dialect.h"

namespace engine::detail {

namespace {

// Where the content (or value) of the meta element around `wordStart`
// (where the word "generator" begins) stands, as [begin, end) in `text`,
// when that element names itself the generator.
template <typename C>
std::optional<std::pair<std::size_t, std::size_t>> GeneratorContentAt(std::basic_string_view<C> text,
                                                                      std::size_t wordStart) {
  const auto lt = TagStartBefore(text, wordStart);
  if (!lt) return std::nullopt;
  const auto tag = ReadStartTag(text, *lt, wordStart + kTagReach);
  if (!tag || !EqualsFolded(TagName(text, *tag), "meta")) return std::nullopt;
  bool isGenerator = false;
  std::optional<std::pair<std::size_t, std::size_t>> content, value;
  for (const auto& attribute : tag->attributes) {
    const auto name = AttributeName(text, attribute);
    if (EqualsFolded(name, "name")) isGenerator = EqualsFolded(AttributeValue(text, attribute), "generator");
    if (EqualsFolded(name, "content") && !content) content.emplace(attribute.valueStart, attribute.valueEnd);
    if (EqualsFolded(name, "value") && !value) value.emplace(attribute.valueStart, attribute.valueEnd);
  }
  if (!isGenerator) return std::nullopt;
  return content ? content : value;
}

}  // namespace

std::vector<TGeneratorContent> GeneratorContents(const TPageScan& scan, std::u16string_view pageText) {
  std::vector<TGeneratorContent> contents;
  if (scan.text != nullptr) {
    // The scanner text: a line break there is a line feed, a blank like any.
    // Its offsets are turned into the page's as the candidates come, in
    // order, so the page is counted through once at most.
    const std::string_view text(scan.text.get(), scan.textSize);
    std::size_t countedBytes = 0, countedUnits = 0;
    for (const std::uint32_t end : scan.generatorEnds) {
      const auto content = GeneratorContentAt(text, end - 9);
      // Twice the word in one element is one element.
      if (!content || (!contents.empty() && content->first <= countedBytes)) continue;
      countedUnits += Utf16Units(text.data() + countedBytes, content->first - countedBytes);
      countedBytes = content->first;
      const std::size_t length = Utf16Units(text.data() + content->first, content->second - content->first);
      contents.push_back({pageText.substr(countedUnits, length), countedUnits});
    }
    return contents;
  }
  std::size_t candidates = 0;
  for (std::size_t at = 0; at + 9 <= pageText.size() && candidates < kGeneratorCandidates; ++at) {
    if (!EqualsFolded(pageText.substr(at, 9), "generator")) continue;
    ++candidates;
    const auto content = GeneratorContentAt(pageText, at);
    if (content && (contents.empty() || content->first > contents.back().offset)) {
      contents.push_back({pageText.substr(content->first, content->second - content->first), content->first});
    }
  }
  return contents;
}

}  // namespace engine::detail
