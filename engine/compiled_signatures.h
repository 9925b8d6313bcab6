#pragma once
// The signature tables in compiled form, built once and then shared read-only
// by every thread.
//
// A page is searched in one pass: a Vectorscan database holds every plain
// alternative as an exact literal and every regular-expression alternative in
// prefilter form. The pass yields the first plain entry that occurs (exact)
// and the set of regular-expression alternatives that may match ("does not
// pass, cannot match"). PCRE2, compiled once with JIT and the table's options,
// then confirms only those candidates, in table order, on the original text,
// starting at the line where the scan saw the match: no expression of the
// tables can match across a line break, and starting there keeps a long line
// full of near misses earlier in the page from costing quadratic time.
#include <cstddef>
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
  // Per regular-expression alternative (table order): npos when it cannot
  // match the page, otherwise the offset (UTF-16 units) from which PCRE2 is
  // to search for it: the start of the line where the scan saw its first
  // match end, or 0 for an expression the scanner does not handle.
  std::vector<std::size_t> regexFrom;
};

// The shared compiled tables; built on first use (thread-safe), never freed.
const TCompiledSignatures& CompiledSignatures();

// One pass over `pageText`.
TPageScan ScanPage(const TCompiledSignatures& tables, std::u16string_view pageText);

// Code of the plain entry that the scan found, or empty.
std::u16string_view PlainCode(const TCompiledSignatures& tables, const TPageScan& scan);

// Code of the first regular-expression entry, in table order, one of whose
// candidate alternatives PCRE2 finds in `pageText`, or empty.
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

// Encodes UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD. Appends to `out`.
void AppendUtf8(std::u16string_view text, std::string& out);

}  // namespace engine::detail
