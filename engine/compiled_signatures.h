#pragma once
// The signature tables in compiled form, built once and then shared read-only
// by every thread.
//
// A page is searched in one pass by a Vectorscan literal database that holds
// every plain alternative and every literal that some regular expression
// requires. The pass yields the first plain entry that occurs (exact) and
// which regular expressions may match at all ("does not pass, cannot
// match"). For those only, in table order, the expression's own exact
// Vectorscan database finds where its first match ends, and PCRE2, compiled
// once with JIT and the table's options, confirms from the start of that
// line: no expression of the tables matches across a line break, so a long
// line full of near misses elsewhere costs no quadratic time.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace engine::detail {

class TCompiledSignatures;

// What one pass over a page found.
struct TPageScan {
  // Index of the first plain entry (table order) one of whose alternatives
  // occurs in the page, or -1.
  int plainEntry = -1;
  // The scanner text of the page (see ScannerText) and, per literal of the
  // literal database, whether it occurs; both empty when the page was not
  // scanned (no scanner), and then every expression is searched by PCRE2.
  std::unique_ptr<char[]> text;
  std::size_t textSize = 0;
  std::vector<bool> seen;
};

// The shared compiled tables; built on first use (thread-safe), never freed.
const TCompiledSignatures& CompiledSignatures();

// One pass over `pageText`.
TPageScan ScanPage(const TCompiledSignatures& tables, std::u16string_view pageText);

// Code of the plain entry that the scan found, or empty.
std::u16string_view PlainCode(const TCompiledSignatures& tables, const TPageScan& scan);

// Code of the first regular-expression entry, in table order, one of whose
// alternatives matches `pageText`, or empty. An alternative whose required
// literals did not all occur is passed over; otherwise Vectorscan finds
// where its first match ends and PCRE2 confirms from the start of that line.
std::u16string_view RegExCode(const TCompiledSignatures& tables, const TPageScan& scan,
                              std::u16string_view pageText);

// Facts about the build, for tests and diagnostics.
struct TCompileReport {
  std::size_t plainAlternatives = 0;
  std::size_t regexAlternatives = 0;
  // Regular-expression alternatives that Vectorscan could not take; they are
  // candidates on every page, so results stay exact, only slower.
  std::vector<std::u16string> unfilteredRegexAlternatives;
  bool scannerAvailable = false;  // false: every page goes the slow, literal way
};
const TCompileReport& CompileReport(const TCompiledSignatures& tables);

// The text the scanner searches: `text` in UTF-8, except that every line
// break PCRE2 knows (CR, LF, VT, FF, NEL, LS, PS) and every unpaired
// surrogate becomes one LF. No signature holds any of them, and no
// expression matches across one, so matches are unchanged; each LF still
// stands for one UTF-16 unit. Appends to `out`.
// `out` must have room for 3 * text.size() bytes; returns the length written.
std::size_t ScannerText(std::u16string_view text, char* out);

}  // namespace engine::detail
