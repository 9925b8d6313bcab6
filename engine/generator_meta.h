#pragma once
// Generator meta elements: where the scan saw the word "generator", the
// element around it, read as a browser reads its attributes.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/compiled_signatures.h"

namespace engine::detail {

// A generator meta element is searched for near the first few occurrences
// of the word only: a page that repeats it endlessly gains nothing more.
constexpr std::size_t kGeneratorCandidates = 16;

// The content attributes of the generator meta elements of the page, in
// page order (at most a few): `<meta name="generator" content="...">`, the
// attributes in either order, quoted either way, names in any ASCII case.
std::vector<std::u16string> GeneratorContents(const TPageScan& scan, std::u16string_view pageText);

}  // namespace engine::detail
