#include "engine/compiled_signatures.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>
#include <hs/hs.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>

#include "engine/expression_limits.h"
#include "engine/generator_meta.h"
#include "engine/link_rule.h"
#include "engine/regex_compile.h"
#include "engine/required_literals.h"
#include "engine/scanner_dialect.h"
#include "engine/signature_tables.h"
#include "engine/utf8_text.h"

namespace engine::detail {

// An extra entry's expression for the scanner, compiled the first time a
// page holds its required literals: most entries of a large set never meet
// such a page, and compiling each alone is most of a set's compile time.
struct TDeferredExact {
  explicit TDeferredExact(std::string p) : pattern(std::move(p)) {}
  ~TDeferredExact() {
    if (db != nullptr) hs_free_database(db);
  }
  std::string pattern;
  std::once_flag once;
  hs_database_t* db = nullptr;  // after `once`: null when the scanner refused it
};

struct TRegexAlternative {
  pcre2_code* code = nullptr;
  std::size_t entry = 0;                // index into the set's expression entries
  std::size_t alternative = 0;          // index among the entry's alternatives
  hs_database_t* exact = nullptr;       // the expression alone, exact; null: PCRE2 alone
  bool crossesLines = false;            // a match of `exact` may run across a line break
  bool borrowed = false;                // `code` and `exact` belong to another set that outlives this one
  bool limited = false;                 // an extra expression: searched under the limits (expression_limits.h)
  // The expression can match only where, for one of its top-level branches,
  // every literal id listed occurs. Empty: no such filter.
  std::vector<std::vector<unsigned>> requiredAnyOf;
  // Instead of `exact`, compiled on first need (then `crossesLines` holds).
  std::unique_ptr<TDeferredExact> deferred;
};

class TCompiledSignatures {
 public:
  // `limitAll`: every expression runs under the limits, even one equal to
  // a built-in one (which is then compiled anew, not shared).
  TCompiledSignatures(std::vector<TEntrySource> plain, std::vector<TEntrySource> regex,
                      const TCompiledSignatures* base = nullptr, bool limitAll = false);
  ~TCompiledSignatures();
  TCompiledSignatures(const TCompiledSignatures&) = delete;
  TCompiledSignatures& operator=(const TCompiledSignatures&) = delete;

  // The entries as given; the views below point into their texts.
  std::deque<TEntrySource> plainSources, regexSources;

  // Per plain entry its code (empty for an entry passed over), its
  // alternatives (empty ones kept, so that indexes match the entry text) and
  // the literal id of each alternative (-1 for an empty one); per regex
  // entry its code.
  std::vector<std::u16string_view> plainCodes;
  std::vector<std::vector<std::u16string_view>> plainAlternatives;
  std::vector<std::vector<int>> plainAlternativeIds;
  std::vector<std::u16string_view> regexCodes;
  std::vector<TRegexAlternative> regexAlternatives;  // set order

  // The literals a page is scanned for, by id: plain alternatives, the
  // literals that the regular expressions require, and the caseless word
  // "generator". A set that begins with the built-in tables shares their
  // literal database (`literalBase`, ids [0, literalBase->literalCount))
  // and compiles only the literals of its own entries (`literals`, ids from
  // there on; Vectorscan reports them from 0).
  std::vector<int> literalEntry;            // per id: its plain entry, or -1
  std::vector<std::uint32_t> literalBytes;  // per id: UTF-8 length
  std::map<std::u16string, unsigned> requiredIds;  // required literal -> id
  std::size_t literalCount = 0;
  unsigned generatorId = 0;
  const TCompiledSignatures* literalBase = nullptr;
  hs_database_t* literals = nullptr;  // may be null when literalBase holds them all
  hs_scratch_t* scratchPrototype = nullptr;  // fits every database here
  // Tells sets apart for the per-thread scratch (addresses may be reused).
  std::uint64_t serial = 0;

  TCompileReport report;
};

namespace {

// Whether a literal is only markup every page is full of: a tag's opening
// ("<link ", "<img") or an attribute's name ("href=\"", "srcset=").
bool IsMarkupToken(std::u16string_view literal) {
  if (!literal.empty() && literal.front() == u'<') literal.remove_prefix(1);
  while (!literal.empty() && (literal.back() == u' ' || literal.back() == u'=' || literal.back() == u'"' ||
                              literal.back() == u'\'' || literal.back() == u'>')) {
    literal.remove_suffix(1);
  }
  return std::all_of(literal.begin(), literal.end(), [](char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-';
  });
}

// Which of two required literals filters better: the longer, where markup
// counts half (a short literal, markup or not, is on most pages too).
bool RarerFilter(std::u16string_view a, std::u16string_view b) {
  const auto weight = [](std::u16string_view literal) { return literal.size() * (IsMarkupToken(literal) ? 1 : 2); };
  return weight(a) > weight(b);
}

pcre2_code* CompileRegex(std::u16string_view pattern, bool limited) {
  auto compiled = CompileSignatureRegex(pattern, limited);
  if (compiled.code == nullptr) throw std::logic_error("invalid signature expression: " + compiled.message);
  return compiled.code;
}

struct TScratchHolder {
  hs_scratch_t* scratch = nullptr;
  std::uint64_t fitsSerial = 0;  // the set the scratch was last made to fit
  ~TScratchHolder() {
    if (scratch != nullptr) hs_free_scratch(scratch);
  }
};

// The literal databases a page is scanned with, in order, each with the id
// of its first literal: the shared built-in ones, then the set's own (either
// may be missing).
std::array<std::pair<const hs_database_t*, unsigned>, 2> LiteralDatabases(const TCompiledSignatures& tables) {
  const TCompiledSignatures* base = tables.literalBase;
  return {{{base != nullptr ? base->literals : nullptr, 0u},
           {tables.literals, base != nullptr ? static_cast<unsigned>(base->literalCount) : 0u}}};
}

// A scratch space of this thread that fits every database of `tables`.
// Growing it for another set keeps it fit for the sets before.
TScratchHolder& ThreadScratchHolder() {
  thread_local TScratchHolder holder;
  return holder;
}

hs_scratch_t* ThreadScratch(const TCompiledSignatures& tables) {
  TScratchHolder& holder = ThreadScratchHolder();
  if (holder.scratch != nullptr && holder.fitsSerial == tables.serial) return holder.scratch;
  if (holder.scratch == nullptr) {
    if (hs_clone_scratch(tables.scratchPrototype, &holder.scratch) != HS_SUCCESS) {
      holder.scratch = nullptr;
      return nullptr;
    }
  } else {
    bool fits = true;
    for (const auto& [db, firstId] : LiteralDatabases(tables)) {
      if (fits && db != nullptr) fits = hs_alloc_scratch(db, &holder.scratch) == HS_SUCCESS;
    }
    for (const auto& alternative : tables.regexAlternatives) {
      if (fits && alternative.exact != nullptr) fits = hs_alloc_scratch(alternative.exact, &holder.scratch) == HS_SUCCESS;
    }
    if (!fits) return nullptr;
  }
  holder.fitsSerial = tables.serial;
  return holder.scratch;
}

bool IsLowSurrogateAfterHigh(std::u16string_view text, std::size_t at) {
  return at > 0 && text[at] >= 0xDC00 && text[at] <= 0xDFFF && text[at - 1] >= 0xD800 && text[at - 1] <= 0xDBFF;
}

struct TMatchDataHolder {
  pcre2_match_data* data = pcre2_match_data_create(1, nullptr);
  ~TMatchDataHolder() { pcre2_match_data_free(data); }
};

struct TLiteralScan {
  const TCompiledSignatures* tables;
  TPageScan* scan;
  unsigned idOffset;  // of the database scanned
};

int OnLiteral(unsigned int id, unsigned long long, unsigned long long to, unsigned int, void* context) {
  auto* state = static_cast<TLiteralScan*>(context);
  id += state->idOffset;
  if (id == state->tables->generatorId) {
    if (state->scan->generatorEnds.size() < kGeneratorCandidates) {
      state->scan->generatorEnds.push_back(static_cast<std::uint32_t>(to));
    }
    return 0;
  }
  // Reports come in the order of their end offsets: the first is the
  // earliest occurrence.
  if (state->scan->firstEnd[id] != 0) return 0;
  state->scan->firstEnd[id] = static_cast<std::uint32_t>(to);
  if (const int entry = state->tables->literalEntry[id]; entry >= 0) {
    if (state->scan->plainEntry < 0 || entry < state->scan->plainEntry) state->scan->plainEntry = entry;
  }
  return 0;
}

// The scanner's form of `alternative` and a scratch space of this thread
// that fits it, compiling a deferred one now; null for either: PCRE2 alone.
std::pair<const hs_database_t*, hs_scratch_t*> ExactScanner(const TCompiledSignatures& tables,
                                                            const TRegexAlternative& alternative) {
  hs_scratch_t* scratch = ThreadScratch(tables);
  if (alternative.exact != nullptr || alternative.deferred == nullptr || scratch == nullptr) {
    return {alternative.exact, scratch};
  }
  TDeferredExact& deferred = *alternative.deferred;
  std::call_once(deferred.once, [&deferred] {
    hs_compile_error_t* error = nullptr;
    if (hs_compile(deferred.pattern.c_str(), HS_FLAG_SINGLEMATCH, HS_MODE_BLOCK, nullptr, &deferred.db, &error) !=
        HS_SUCCESS) {
      hs_free_compile_error(error);
      deferred.db = nullptr;
    }
  });
  if (deferred.db == nullptr) return {nullptr, nullptr};
  // Grown, the scratch still fits every database it fitted.
  TScratchHolder& holder = ThreadScratchHolder();
  if (hs_alloc_scratch(deferred.db, &holder.scratch) != HS_SUCCESS) {
    holder.scratch = nullptr;  // hs_alloc_scratch leaves none behind on failure
    holder.fitsSerial = 0;
    return {nullptr, nullptr};
  }
  return {deferred.db, holder.scratch};
}

int OnExactMatch(unsigned int, unsigned long long, unsigned long long to, unsigned int, void* context) {
  *static_cast<unsigned long long*>(context) = to;
  return 1;  // the first match end is all that is needed
}

// The literal way for the plain table: used only when the scanner is missing.
void FirstPlainEntryBySearch(const TCompiledSignatures& tables, std::u16string_view page, TPageScan& scan) {
  for (std::size_t e = 0; e < tables.plainAlternatives.size(); ++e) {
    bool found = false;
    const auto& alternatives = tables.plainAlternatives[e];
    for (std::size_t a = 0; a < alternatives.size(); ++a) {
      if (alternatives[a].empty()) continue;
      const auto at = page.find(alternatives[a]);
      if (at == std::u16string_view::npos || (found && at >= scan.plainOffset)) continue;
      found = true;
      scan.plainAlternative = a;
      scan.plainOffset = at;
    }
    if (found) {
      scan.plainEntry = static_cast<int>(e);
      return;
    }
  }
}

// The literals as they are: Vectorscan's pure-literal compiler builds the
// database several times faster than it parses the same texts as patterns.
hs_database_t* CompileLiteralDatabase(const std::vector<std::string>& literals, const std::vector<unsigned>& flags) {
  std::vector<const char*> pointers;
  std::vector<std::size_t> lengths;
  std::vector<unsigned> ids;
  for (std::size_t i = 0; i < literals.size(); ++i) {
    pointers.push_back(literals[i].data());
    lengths.push_back(literals[i].size());
    ids.push_back(static_cast<unsigned>(i));
  }
  hs_database_t* db = nullptr;
  hs_compile_error_t* error = nullptr;
  // Not single-match: this Vectorscan has been seen to drop the only report
  // of a one-byte literal in a large set in that mode.
  if (hs_compile_lit_multi(pointers.data(), flags.data(), ids.data(), lengths.data(),
                           static_cast<unsigned>(pointers.size()), HS_MODE_BLOCK, nullptr, &db, &error) != HS_SUCCESS) {
    hs_free_compile_error(error);
    return nullptr;
  }
  return db;
}

}  // namespace

TCompiledSignatures::TCompiledSignatures(std::vector<TEntrySource> plain, std::vector<TEntrySource> regex,
                                         const TCompiledSignatures* base, bool limitAll)
    : plainSources(std::make_move_iterator(plain.begin()), std::make_move_iterator(plain.end())),
      regexSources(std::make_move_iterator(regex.begin()), std::make_move_iterator(regex.end())) {
  static std::atomic<std::uint64_t> serials{0};
  serial = ++serials;
  bool scannerUsable = true;
  // The literals of our own database (UTF-8) and their flags, ids from
  // `firstId` on.
  std::vector<std::string> expressions;
  std::vector<unsigned> expressionFlags;
  // The built-in literal database serves a set whose entry lists begin with
  // exactly the built-in tables' entries, and that adds few entries: then a
  // second, small pass over each page costs less than compiling all the
  // literals again. Many more entries are better compiled into one pass.
  constexpr std::size_t kSharedLiteralsUpTo = 256;  // entries beyond the built-in ones
  bool shareLiterals = base != nullptr && base->report.scannerAvailable && base->literalBase == nullptr &&
                       plainSources.size() >= base->plainSources.size() &&
                       regexSources.size() >= base->regexSources.size() &&
                       plainSources.size() + regexSources.size() - base->plainSources.size() -
                               base->regexSources.size() <=
                           kSharedLiteralsUpTo;
  for (std::size_t e = 0; shareLiterals && e < base->plainSources.size(); ++e) {
    shareLiterals = plainSources[e].text == base->plainSources[e].text;
  }
  for (std::size_t e = 0; shareLiterals && e < base->regexSources.size(); ++e) {
    shareLiterals = regexSources[e].text == base->regexSources[e].text;
  }
  unsigned firstId = 0;
  if (shareLiterals) {
    literalBase = base;
    literalEntry = base->literalEntry;
    literalBytes = base->literalBytes;
    requiredIds = base->requiredIds;
    generatorId = base->generatorId;
    firstId = static_cast<unsigned>(base->literalCount);
  }
  auto addLiteral = [&](std::string utf8, unsigned flags, int entry) {
    const auto id = firstId + static_cast<unsigned>(expressions.size());
    literalBytes.push_back(static_cast<std::uint32_t>(utf8.size()));
    literalEntry.push_back(entry);
    expressions.push_back(std::move(utf8));
    expressionFlags.push_back(flags);
    return id;
  };

  plainCodes.resize(plainSources.size());
  plainAlternatives.resize(plainSources.size());
  plainAlternativeIds.resize(plainSources.size());
  for (std::size_t e = 0; e < plainSources.size(); ++e) {
    const auto entry = ParseSignatureEntry(plainSources[e].text);
    if (!entry) continue;
    plainCodes[e] = entry->code;
    for (auto alternative : entry->alternatives) {
      plainAlternatives[e].push_back(alternative);
      if (alternative.empty()) {  // an empty alternative never occurs
        plainAlternativeIds[e].push_back(-1);
        continue;
      }
      for (std::size_t k = 0; k < alternative.size(); ++k) {
        // Such a text could not be found in the scanner text as it is (a
        // surrogate pair is one character there, a lone surrogate a line feed).
        const char16_t c = alternative[k];
        const bool pair = c >= 0xD800 && c <= 0xDBFF && k + 1 < alternative.size() && alternative[k + 1] >= 0xDC00 &&
                          alternative[k + 1] <= 0xDFFF;
        if (pair) {
          ++k;
        } else if (IsLineBreak(c) || (c >= 0xD800 && c <= 0xDFFF)) {
          scannerUsable = false;
        }
      }
      ++report.plainAlternatives;
      if (shareLiterals && e < base->plainSources.size()) {
        plainAlternativeIds[e].push_back(base->plainAlternativeIds[e][plainAlternativeIds[e].size()]);
        continue;
      }
      plainAlternativeIds[e].push_back(static_cast<int>(addLiteral(ToUtf8(alternative), 0, static_cast<int>(e))));
    }
  }

  regexCodes.resize(regexSources.size());
  // The leading expression entries that `base` holds alike are not compiled
  // again: their compiled forms are shared (base's alternatives are in entry
  // order, as ours are).
  std::size_t baseAlternative = 0;
  bool sharing = base != nullptr && !limitAll;
  for (std::size_t e = 0; e < regexSources.size(); ++e) {
    const auto entry = ParseSignatureEntry(regexSources[e].text);
    sharing = sharing && e < base->regexSources.size() && base->regexSources[e].text == regexSources[e].text;
    if (!entry) continue;
    regexCodes[e] = entry->code;
    for (std::size_t a = 0; a < entry->alternatives.size(); ++a) {
      const auto alternative = entry->alternatives[a];
      if (alternative.empty()) continue;
      TRegexAlternative compiled{nullptr, e, a, nullptr, false, false, false, {}, nullptr};
      ++report.regexAlternatives;
      if (sharing) {
        const TRegexAlternative& shared = base->regexAlternatives[baseAlternative++];
        compiled.code = shared.code;
        compiled.exact = scannerUsable ? shared.exact : nullptr;
        compiled.crossesLines = shared.crossesLines;
        compiled.borrowed = true;
      } else {
        // What the built-in tables do not hold comes from a signature file:
        // it runs under limits.
        compiled.limited = base != nullptr || limitAll;
        if (compiled.limited) ++report.limitedRegexAlternatives;
        compiled.code = CompileRegex(alternative, compiled.limited);
      }
      if (const auto branches = RequiredLiteralBranches(alternative); branches && scannerUsable) {
        // Each branch needs a literal long enough to filter with: one or two
        // characters filter next to nothing and report often. An expression
        // of a signature file filters on one literal of each branch only, the
        // one most likely to be rare: the others ("css", ".js", "<link ",
        // "src=\"") occur on most pages and, hundreds of entries over, slow
        // the one literal pass over every page more than they save; the exact
        // scan that follows decides. The built-in tables' filters stay as
        // they are, and so does their speed.
        for (const auto& branch : *branches) {
          std::vector<unsigned> ids;
          const std::u16string* rarest = nullptr;
          for (const auto& literal : branch) {
            if (rarest == nullptr || RarerFilter(literal, *rarest)) rarest = &literal;
          }
          for (const auto& literal : branch) {
            if (literal.size() < 3 || (compiled.limited && &literal != rarest)) continue;
            auto it = requiredIds.find(literal);
            if (it == requiredIds.end()) it = requiredIds.emplace(literal, addLiteral(ToUtf8(literal), 0, -1)).first;
            ids.push_back(it->second);
          }
          if (ids.empty()) {
            compiled.requiredAnyOf.clear();
            break;
          }
          compiled.requiredAnyOf.push_back(std::move(ids));
        }
      }
      // Vectorscan searches an expression exactly only where it has a literal
      // of three or more characters to anchor on: this Vectorscan has been
      // seen to miss matches of one-character anchors around a run
      // ("A[^;]*Z"), depending on where the page lies in memory.
      const auto expression = sharing ? std::nullopt : ScannerExpression(alternative);
      if (expression && scannerUsable && expression->longestLiteral >= 3 && base != nullptr &&
          !compiled.requiredAnyOf.empty()) {
        compiled.deferred = std::make_unique<TDeferredExact>(expression->pattern);
        compiled.crossesLines = expression->crossesLines;
        ++report.scannedRegexAlternatives;
      } else if (expression && scannerUsable && expression->longestLiteral >= 3) {
        hs_compile_error_t* error = nullptr;
        if (hs_compile(expression->pattern.c_str(), HS_FLAG_SINGLEMATCH, HS_MODE_BLOCK, nullptr, &compiled.exact,
                       &error) != HS_SUCCESS) {
          hs_free_compile_error(error);
          compiled.exact = nullptr;
        }
        compiled.crossesLines = expression->crossesLines;
      }
      if (compiled.exact != nullptr) ++report.scannedRegexAlternatives;
      if (compiled.exact == nullptr && compiled.requiredAnyOf.empty()) {
        report.unfilteredRegexAlternatives.emplace_back(alternative);
      }
      regexAlternatives.push_back(std::move(compiled));
    }
  }

  // Where a generator meta element may stand, found in the same pass.
  if (!shareLiterals) generatorId = addLiteral("generator", HS_FLAG_CASELESS, -1);

  if (scannerUsable && !expressions.empty()) literals = CompileLiteralDatabase(expressions, expressionFlags);
  const bool literalsReady = scannerUsable && (expressions.empty() || literals != nullptr);
  // A scratch space that fits the shared databases already is grown for ours.
  const bool baseScratch = base != nullptr && base->scratchPrototype != nullptr && literalsReady &&
                           hs_clone_scratch(base->scratchPrototype, &scratchPrototype) == HS_SUCCESS;
  bool scratchReady = literalsReady;
  for (const auto* db : {literalBase != nullptr && !baseScratch ? literalBase->literals : nullptr, literals}) {
    if (scratchReady && db != nullptr) scratchReady = hs_alloc_scratch(db, &scratchPrototype) == HS_SUCCESS;
  }
  for (auto& alternative : regexAlternatives) {
    if (alternative.exact == nullptr || (alternative.borrowed && baseScratch && scratchReady)) continue;
    if (!scratchReady || hs_alloc_scratch(alternative.exact, &scratchPrototype) != HS_SUCCESS) {
      // Without room to scan it, it is searched by PCRE2 alone.
      if (!alternative.borrowed) hs_free_database(alternative.exact);
      alternative.exact = nullptr;
      --report.scannedRegexAlternatives;
    }
  }
  if (!scratchReady && literals != nullptr) {
    hs_free_database(literals);
    literals = nullptr;
  }
  literalCount = firstId + expressions.size();
  report.scannerAvailable = scratchReady && scratchPrototype != nullptr;
}

TCompiledSignatures::~TCompiledSignatures() {
  for (auto& alternative : regexAlternatives) {
    if (alternative.borrowed) continue;
    pcre2_code_free(alternative.code);
    if (alternative.exact != nullptr) hs_free_database(alternative.exact);
  }
  if (literals != nullptr) hs_free_database(literals);
  if (scratchPrototype != nullptr) hs_free_scratch(scratchPrototype);
}

std::shared_ptr<const TCompiledSignatures> CompileSignatureSet(std::vector<TEntrySource> plain,
                                                               std::vector<TEntrySource> regex, bool limitAll) {
  // Sets begin with the built-in tables: what those compile to is shared.
  return std::make_shared<const TCompiledSignatures>(std::move(plain), std::move(regex), &CompiledSignatures(),
                                                     limitAll);
}

std::vector<TEntrySource> BuiltInSources(std::span<const std::u16string_view> table) {
  std::vector<TEntrySource> sources;
  sources.reserve(table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    sources.push_back({std::u16string(table[i]), {std::u16string(), static_cast<std::uint32_t>(i + 1)}});
  }
  return sources;
}

const TCompiledSignatures& CompiledSignatures() {
  static const TCompiledSignatures* tables =
      new TCompiledSignatures(BuiltInSources(PlainSignatures()), BuiltInSources(RegExSignatures()));
  return *tables;
}

TPageScan ScanPage(const TCompiledSignatures& tables, std::u16string_view pageText) {
  TPageScan scan;
  bool scanned = false;
  if (tables.report.scannerAvailable) {
    scan.text.reset(new char[3 * pageText.size() + 1]);
    scan.textSize = ScannerText(pageText, scan.text.get());
    scan.firstEnd.assign(tables.literalCount, 0);
    hs_scratch_t* scratch = ThreadScratch(tables);
    scanned = scan.textSize <= UINT_MAX && scratch != nullptr;
    for (const auto& [db, firstId] : LiteralDatabases(tables)) {
      if (!scanned || db == nullptr) continue;
      TLiteralScan state{&tables, &scan, firstId};
      scanned = hs_scan(db, scan.text.get(), static_cast<unsigned>(scan.textSize), 0, scratch, OnLiteral, &state) ==
                HS_SUCCESS;
    }
  }
  if (!scanned) {
    scan = TPageScan();
    FirstPlainEntryBySearch(tables, pageText, scan);
  }
  return scan;
}

TTableHit PlainHit(const TCompiledSignatures& tables, const TPageScan& scan, std::u16string_view pageText,
                   const TLinkRule* links, int fromEntry) {
  TTableHit hit;
  if (scan.plainEntry < 0) return hit;
  if (links != nullptr || fromEntry > scan.plainEntry) {
    // Occurrence by occurrence: the first that counts, entry by entry.
    const bool scanned = !scan.firstEnd.empty();
    for (auto e = static_cast<std::size_t>(std::max(fromEntry, scan.plainEntry)); e < tables.plainAlternatives.size();
         ++e) {
      const auto& alternatives = tables.plainAlternatives[e];
      std::size_t best = SIZE_MAX;
      for (std::size_t a = 0; a < alternatives.size(); ++a) {
        const auto alternative = alternatives[a];
        const int id = tables.plainAlternativeIds[e][a];
        if (alternative.empty() || (scanned && (id < 0 || scan.firstEnd[static_cast<std::size_t>(id)] == 0))) continue;
        for (std::size_t at = pageText.find(alternative); at != std::u16string_view::npos && at < best;
             at = pageText.find(alternative, at + 1)) {
          if (links != nullptr && links->NoEvidence(at, alternative.size())) continue;
          best = at;
          hit.alternative = a;
        }
      }
      if (best == SIZE_MAX) continue;
      hit.entry = static_cast<int>(e);
      hit.offset = best;
      hit.length = alternatives[hit.alternative].size();
      return hit;
    }
    return hit;
  }
  hit.entry = scan.plainEntry;
  const auto e = static_cast<std::size_t>(scan.plainEntry);
  if (scan.firstEnd.empty()) {
    hit.alternative = scan.plainAlternative;
    hit.offset = scan.plainOffset;
  } else {
    // The alternative whose first occurrence starts first.
    std::size_t bestStart = SIZE_MAX;
    const auto& ids = tables.plainAlternativeIds[e];
    for (std::size_t a = 0; a < ids.size(); ++a) {
      if (ids[a] < 0) continue;
      const std::uint32_t end = scan.firstEnd[static_cast<std::size_t>(ids[a])];
      if (end == 0) continue;
      const std::size_t start = end - tables.literalBytes[static_cast<std::size_t>(ids[a])];
      if (start < bestStart) {
        bestStart = start;
        hit.alternative = a;
      }
    }
    hit.offset = Utf16Units(scan.text.get(), bestStart);
  }
  hit.length = tables.plainAlternatives[e][hit.alternative].size();
  return hit;
}

TTableHit RegExHit(const TCompiledSignatures& tables, const TPageScan& scan, std::u16string_view pageText,
                   const TLinkRule* links, int fromEntry) {
  thread_local TMatchDataHolder matchData;
  // The page's budget for the expressions of signature files, made at the
  // first of them.
  std::optional<TExpressionBudget> budget;
  const auto subject = reinterpret_cast<PCRE2_SPTR>(pageText.data());
  std::vector<int> stopped;
  auto stop = [&](const TRegexAlternative& alternative) {
    const int entry = static_cast<int>(alternative.entry);
    if (stopped.empty() || stopped.back() != entry) stopped.push_back(entry);
  };
  // The match's offsets, from whichever match data found it.
  const PCRE2_SIZE* ovector = nullptr;
  auto search = [&](const TRegexAlternative& alternative, std::size_t start) {
    if (alternative.limited) {
      const TLimitedOutcome outcome = budget->Search(alternative.code, pageText, start);
      if (outcome == TLimitedOutcome::Stopped) stop(alternative);
      if (outcome != TLimitedOutcome::Match) return false;
      ovector = pcre2_get_ovector_pointer(budget->MatchData());
      return true;
    }
    int rc = pcre2_match(alternative.code, subject, pageText.size(), start, PCRE2_NOTEMPTY, matchData.data,
                         nullptr);
    if (rc < 0 && rc != PCRE2_ERROR_NOMATCH) {
      // JIT gave up (its stack, or its way of counting the match limit): the
      // interpreter decides, as for an expression compiled on the spot.
      rc = pcre2_match(alternative.code, subject, pageText.size(), start, PCRE2_NOTEMPTY | PCRE2_NO_JIT,
                       matchData.data, nullptr);
    }
    ovector = pcre2_get_ovector_pointer(matchData.data);
    return rc >= 0;
  };
  // After a match: passes over the matches that lie inside a link to
  // another site, each time searching on from one unit after the start of
  // the last; whether one that counts is left.
  auto counts = [&](const TRegexAlternative& alternative) {
    std::size_t resume = 0;
    while (links != nullptr && links->NoEvidence(ovector[0], ovector[1] - ovector[0], &resume)) {
      std::size_t next = std::max<std::size_t>(ovector[0] + 1, resume);
      if (next < pageText.size() && IsLowSurrogateAfterHigh(pageText, next)) ++next;
      if (next > pageText.size() || !search(alternative, next)) return false;
    }
    return true;
  };
  auto found = [&](const TRegexAlternative& alternative) {
    TTableHit hit;
    hit.entry = static_cast<int>(alternative.entry);
    hit.alternative = alternative.alternative;
    hit.offset = ovector[0];
    hit.length = ovector[1] - ovector[0];
    // Another alternative of the winning entry stopped: the entry is decided all the same.
    if (!stopped.empty() && stopped.back() == hit.entry) stopped.pop_back();
    hit.stopped = std::move(stopped);
    return hit;
  };
  const bool scanned = !scan.firstEnd.empty() || (scan.text != nullptr);
  for (const auto& alternative : tables.regexAlternatives) {
    if (static_cast<int>(alternative.entry) < fromEntry) continue;
    if (scanned && !alternative.requiredAnyOf.empty()) {
      bool possible = false;
      for (const auto& branch : alternative.requiredAnyOf) {
        bool all = true;
        for (unsigned id : branch) all = all && scan.firstEnd[id] != 0;
        possible = possible || all;
      }
      if (!possible) continue;
    }
    if (alternative.limited) {
      if (!budget) budget.emplace();
      // The page's share is used up: this one cannot be decided either, and
      // not even its scan runs.
      if (budget->Exhausted()) {
        stop(alternative);
        continue;
      }
    }
    const auto [exact, scratch] =
        scanned ? ExactScanner(tables, alternative) : std::pair<const hs_database_t*, hs_scratch_t*>();
    if (!scanned || exact == nullptr) {
      if (search(alternative, 0) && counts(alternative)) return found(alternative);
      continue;
    }
    // Where does the first match end? Vectorscan finds it in one pass.
    unsigned long long end = 0;
    const hs_error_t rc = scratch == nullptr ? HS_INVALID
                                             : hs_scan(exact, scan.text.get(),
                                                       static_cast<unsigned>(scan.textSize), 0, scratch,
                                                       OnExactMatch, &end);
    if (rc == HS_SUCCESS) continue;  // no match anywhere
    std::size_t from = 0;
    if (rc == HS_SCAN_TERMINATED && !alternative.crossesLines) {
      // PCRE2 starts at the beginning of that line: no match crosses a line
      // break, and earlier lines full of near misses cost nothing.
      const std::string_view text(scan.text.get(), scan.textSize);
      const std::size_t lf = end > 0 ? text.rfind('\n', end - 1) : std::string_view::npos;
      const std::size_t lineStart = lf == std::string_view::npos ? 0 : lf + 1;
      from = Utf16Units(scan.text.get(), lineStart);
    }
    // Should the scanner ever see a match PCRE2 does not, PCRE2 has the last
    // word over the whole text.
    if ((search(alternative, from) || (from != 0 && search(alternative, 0))) && counts(alternative)) {
      return found(alternative);
    }
  }
  TTableHit none;
  none.stopped = std::move(stopped);
  return none;
}

std::u16string_view PlainCode(const TCompiledSignatures& tables, int entry) {
  return entry < 0 ? std::u16string_view() : tables.plainCodes[static_cast<std::size_t>(entry)];
}
std::u16string_view RegExCode(const TCompiledSignatures& tables, int entry) {
  return entry < 0 ? std::u16string_view() : tables.regexCodes[static_cast<std::size_t>(entry)];
}
const TEntryOrigin& PlainOrigin(const TCompiledSignatures& tables, int entry) {
  return tables.plainSources[static_cast<std::size_t>(entry)].origin;
}
const TEntryOrigin& RegExOrigin(const TCompiledSignatures& tables, int entry) {
  return tables.regexSources[static_cast<std::size_t>(entry)].origin;
}
std::u16string_view PlainAlternative(const TCompiledSignatures& tables, int entry, std::size_t alternative) {
  return tables.plainAlternatives[static_cast<std::size_t>(entry)][alternative];
}

const TCompileReport& CompileReport(const TCompiledSignatures& tables) { return tables.report; }

}  // namespace engine::detail
