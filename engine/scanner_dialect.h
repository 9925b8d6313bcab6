#pragma once
// The dialect the scanner (Vectorscan) is given: the text a page becomes for
// it, and signature expressions rewritten to mean over that text what PCRE2
// makes of them over the page.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace engine::detail {

// The line breaks PCRE2 knows under the tables' options.
inline bool IsLineBreak(char16_t c) {
  return c == u'\n' || c == u'\r' || c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// The text the scanner searches: `text` in UTF-8, except that every line
// break PCRE2 knows (CR, LF, VT, FF, NEL, LS, PS) and every unpaired
// surrogate becomes one LF. No signature holds any of them, and no
// expression matches across one, so matches are unchanged; each LF still
// stands for one UTF-16 unit. Appends to `out`.
// `out` must have room for 3 * text.size() bytes; returns the length written.
std::size_t ScannerText(std::u16string_view text, char* out);

// UTF-16 code units that the scanner text [0, bytes) stands for: one per
// character, two for a four-byte one (a surrogate pair), one per line feed.
std::size_t Utf16Units(const char* text, std::size_t bytes);

// An expression as Vectorscan searches it over the scanner text, and
// whether one of its matches may run across a line break.
struct TScannerExpression {
  std::string pattern;
  bool crossesLines = false;
  std::size_t longestLiteral = 0;  // the longest run of literal characters, in characters
};

// Rewrites a signature expression for Vectorscan, over the scanner text
// (see ScannerText), with PCRE2's meaning under the tables' options; or
// returns nothing when the expression leaves the dialect signatures use:
// literals, escaped punctuation, groups with "|", ".", "\d", classes of
// ASCII characters and ranges (negated or not), and the quantifiers "?",
// "*", "+" and "{m,n}" (lazy or not: the same matches exist) after any of
// them. Vectorscan then finds a match exactly where PCRE2 would find one,
// or at most sees more (a lone surrogate, which PCRE2 never matches, is a
// line feed there). Only a negated class can match a line break; without
// one no match crosses a line, which lets a confirmation start at the line
// where the scan saw the match end.
std::optional<TScannerExpression> ScannerExpression(std::u16string_view pattern);

}  // namespace engine::detail
