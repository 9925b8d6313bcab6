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
// line when the expression cannot match across a line break (most cannot),
// so a long line full of near misses elsewhere costs no quadratic time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace engine::detail {

class TCompiledSignatures;
class TLinkRule;

// Where a signature entry comes from: a built-in table (no file; `number` is
// the entry's 1-based position in its table) or a signature file (`number`
// is the entry's 1-based line).
struct TEntryOrigin {
  std::u16string file;
  std::uint32_t number = 0;
  // For a signature file: the entry's 1-based number among the file's
  // entries of its kind (plain or expression); 0 for the built-in tables.
  std::uint32_t position = 0;
};

// One entry ("alternative||alternative:-code") and its origin.
struct TEntrySource {
  std::u16string text;
  TEntryOrigin origin;
};

// Compiles a set from plain and regular-expression entries, each list in the
// order in which its entries compete (the first that matches wins). Leading
// expression entries equal to the built-in table's share its compiled forms. Entries
// without ":-" are kept (they keep their place) but never match. Throws
// std::logic_error for an expression PCRE2 refuses. The result is read-only
// and may be shared by any number of threads. Expressions that are not the
// built-in table's own run under the limits of expression_limits.h;
// `limitAll` puts every expression under them (to check that the built-in
// ones never reach them).
std::shared_ptr<const TCompiledSignatures> CompileSignatureSet(std::vector<TEntrySource> plain,
                                                               std::vector<TEntrySource> regex,
                                                               bool limitAll = false);

// A built-in table's entries as sources: no file, numbered in table order.
std::vector<TEntrySource> BuiltInSources(std::span<const std::u16string_view> table);

// What one pass over a page found.
struct TPageScan {
  // Index of the first plain entry (set order) one of whose alternatives
  // occurs in the page, or -1.
  int plainEntry = -1;
  // The scanner text of the page (see ScannerText) and, per literal of the
  // literal database, the scanner-text offset where its first occurrence
  // ends (0: it does not occur); both empty when the page was not scanned
  // (no scanner), and then every expression is searched by PCRE2.
  std::unique_ptr<char[]> text;
  std::size_t textSize = 0;
  std::vector<std::uint32_t> firstEnd;
  // Without the scanner: the winning plain alternative and its offset.
  std::size_t plainAlternative = 0;
  std::size_t plainOffset = 0;
  // Scanner-text offsets where the first few occurrences of "generator"
  // (any ASCII case) end: where a generator meta element may stand.
  std::vector<std::uint32_t> generatorEnds;
};

// The shared compiled built-in tables; built on first use (thread-safe),
// never freed.
const TCompiledSignatures& CompiledSignatures();

// One pass over `pageText`.
TPageScan ScanPage(const TCompiledSignatures& tables, std::u16string_view pageText);

// The winning entry of a table and where its evidence stands in the page:
// `offset` and `length` in UTF-16 code units of the page text. For the plain
// table `alternative` is the index of the alternative whose first occurrence
// comes first among the entry's alternatives (on a tie: the earlier
// alternative); for the expression table it is the alternative that matched.
struct TTableHit {
  int entry = -1;  // -1: none
  std::size_t alternative = 0;
  std::size_t offset = 0;
  std::size_t length = 0;
  // Expression entries (set order, each once) before `entry`, or all when
  // none matched, whose search stopped at its limit (an expression of a
  // signature file; see expression_limits.h): undecided, taken as no match.
  std::vector<int> stopped;
};

//
// `links` (with extra signatures): an occurrence or match that lies inside
// the address of a link to another site does not count, and the search goes
// on to the next one, then to the next entry (see link_rule.h); null: every
// one counts. `fromEntry`: entries before it are passed over, so that every
// entry that matches can be listed.
TTableHit PlainHit(const TCompiledSignatures& tables, const TPageScan& scan, std::u16string_view pageText,
                   const TLinkRule* links = nullptr, int fromEntry = 0);

// The first regular-expression entry, in set order, one of whose
// alternatives matches `pageText`, and that alternative's first match. An
// alternative whose required literals did not all occur is passed over;
// otherwise Vectorscan finds where its first match ends and PCRE2 confirms
// from the start of that line. Expressions of signature files run under the
// page's limits; those that stop are listed in the hit. `links` and
// `fromEntry` as for PlainHit.
TTableHit RegExHit(const TCompiledSignatures& tables, const TPageScan& scan, std::u16string_view pageText,
                   const TLinkRule* links = nullptr, int fromEntry = 0);

// Code and origin of entry `entry` of the plain or the expression list.
std::u16string_view PlainCode(const TCompiledSignatures& tables, int entry);
std::u16string_view RegExCode(const TCompiledSignatures& tables, int entry);
const TEntryOrigin& PlainOrigin(const TCompiledSignatures& tables, int entry);
const TEntryOrigin& RegExOrigin(const TCompiledSignatures& tables, int entry);
// The text of alternative `alternative` of plain entry `entry`.
std::u16string_view PlainAlternative(const TCompiledSignatures& tables, int entry, std::size_t alternative);

// Facts about the build, for tests and diagnostics.
struct TCompileReport {
  std::size_t plainAlternatives = 0;
  std::size_t regexAlternatives = 0;
  // Regular-expression alternatives that neither Vectorscan could take nor
  // required literals filter; PCRE2 searches them on every page, so results
  // stay exact, only slower.
  std::vector<std::u16string> unfilteredRegexAlternatives;
  // Regular-expression alternatives that Vectorscan searches exactly in the
  // page's one pass before PCRE2 confirms.
  std::size_t scannedRegexAlternatives = 0;
  // Regular-expression alternatives searched under the limits of
  // expression_limits.h (those of signature files).
  std::size_t limitedRegexAlternatives = 0;
  bool scannerAvailable = false;  // false: every page goes the slow, literal way
};
const TCompileReport& CompileReport(const TCompiledSignatures& tables);


}  // namespace engine::detail
