#pragma once
// UTF-8 and UTF-16 in the engine, which has no text library of its own.
#include <string>
#include <string_view>

namespace engine::detail {

// Appends code point `c` (at most U+10FFFF) in UTF-8.
void AppendUtf8(char32_t c, std::string& out);

// `text` in UTF-8; an unpaired surrogate becomes its own three bytes.
std::string ToUtf8(std::u16string_view text);

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF) to
// UTF-16; false when `bytes` is not such UTF-8.
bool FromUtf8(std::string_view bytes, std::u16string& out);

}  // namespace engine::detail
