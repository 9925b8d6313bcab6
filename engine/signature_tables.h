#pragma once
// The constant data of platform identification: the catalogue and the two
// signature tables, in their fixed order. The data is compiled into the
// program, never changes and may be read from any thread at any time.
//
// Catalogue rows are "code,name,home page" texts. Signature entries are
// "alternative||alternative:-code" texts; ParseSignatureEntry reads them the
// one way the matchers do.
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace engine {

// The 191 catalogue rows in their order ("wp,WordPress,https://wordpress.org/").
std::span<const std::u16string_view> CatalogueRows();

// The 128 plain-text entries, then the regular-expression entries (63 with a
// code and one without), each in table order.
std::span<const std::u16string_view> PlainSignatures();
std::span<const std::u16string_view> RegExSignatures();

// Names a platform writes at the start of its generator meta element where
// they differ from its catalogue name ("Joomla! - Open Source Content
// Management" for "joom"); none for most codes.
std::span<const std::u16string_view> GeneratorNames(std::u16string_view code);

// One entry cut into its parts. The views point into the entry text.
struct TSignatureEntry {
  std::vector<std::u16string_view> alternatives;  // in order, empty ones kept
  std::u16string_view code;
};

// Cuts `entry` at its first ":-", trims both sides of characters up to U+0020
// and splits the pattern side at every "||". Returns nullopt when the entry
// holds no ":-": such an entry credits nothing and the matchers pass it over.
std::optional<TSignatureEntry> ParseSignatureEntry(std::u16string_view entry);

}  // namespace engine
