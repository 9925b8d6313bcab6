#pragma once
// Generator meta elements: where the scan saw the word "generator", the
// element around it, read as a browser reads its attributes.
#include <cstddef>
#include <string_view>
#include <vector>

#include "engine/compiled_signatures.h"

namespace engine::detail {

// A generator meta element is searched for near the first few occurrences
// of the word only: a page that repeats it endlessly gains nothing more.
constexpr std::size_t kGeneratorCandidates = 16;

// What one generator meta element says, and where it says it.
struct TGeneratorContent {
  std::u16string_view text;  // a view into the page text
  std::size_t offset = 0;    // in UTF-16 code units of the page text
};

// The generator meta elements of the page, in page order (at most a few):
// `<meta name="generator" content="...">`, the attributes in either order,
// quoted either way, names in any ASCII case; `value` stands for `content`
// where an element has no `content`.
std::vector<TGeneratorContent> GeneratorContents(const TPageScan& scan, std::u16string_view pageText);

}  // namespace engine::detail
