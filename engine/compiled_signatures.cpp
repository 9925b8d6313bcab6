#include "engine/compiled_signatures.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>
#include <hs/hs.h>

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>

#include "engine/regex_compile.h"
#include "engine/signature_tables.h"
#include "engine/utf8_text.h"

namespace engine::detail {

struct TRegexAlternative {
  pcre2_code* code = nullptr;
  std::size_t entry = 0;                // index into RegExSignatures()
  std::vector<unsigned> requiredIds;    // literal ids that every match holds
  hs_database_t* exact = nullptr;       // the expression alone, exact; null: unfiltered
};

class TCompiledSignatures {
 public:
  TCompiledSignatures();
  TCompiledSignatures(const TCompiledSignatures&) = delete;
  TCompiledSignatures& operator=(const TCompiledSignatures&) = delete;

  // Per plain entry its code (empty for an entry passed over) and its
  // non-empty alternatives; per regex entry its code.
  std::vector<std::u16string_view> plainCodes;
  std::vector<std::vector<std::u16string_view>> plainAlternatives;
  std::vector<std::u16string_view> regexCodes;
  std::vector<TRegexAlternative> regexAlternatives;  // table order

  // The literal database: ids [0, plainIdEntry.size()) are plain
  // alternatives (id -> entry), the ids after them the literals that the
  // regular expressions require.
  std::vector<int> plainIdEntry;
  std::size_t literalCount = 0;
  hs_database_t* literals = nullptr;
  hs_scratch_t* scratchPrototype = nullptr;  // fits every database here

  TCompileReport report;
};

namespace {

bool IsLineBreak(char16_t c) {
  return c == u'\n' || c == u'\r' || c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028 || c == 0x2029;
}

void HexByte(std::string& out, unsigned char b) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[b >> 4];
  out += kHex[b & 15];
}

// Every byte as \xHH: Vectorscan then searches the exact byte string.
std::string LiteralExpression(std::u16string_view literal) {
  std::string expression;
  for (unsigned char b : ToUtf8(literal)) HexByte(expression, b);
  return expression;
}

// Rewrites a table expression for Vectorscan, over the scanner text (see
// ScannerText), with PCRE2's meaning under the table's options; or
// returns nothing when the expression leaves the small dialect the tables
// use (literals, escaped punctuation, groups with "|", "(.*?)", ".", "\d",
// "*" after "." or "\d"). In that dialect nothing can match across a line
// break, which lets a confirmation start at the line where the scan saw the
// match end.
std::optional<std::string> ScannerExpression(std::u16string_view pattern) {
  // One character of valid UTF-8 other than a line feed (every line break
  // and invalid unit is a line feed in the scanner text).
  static const std::string kOneChar =
      "(?:[\\x00-\\x09\\x0b-\\x7f]|[\\xc2-\\xdf][\\x80-\\xbf]|[\\xe0-\\xef][\\x80-\\xbf][\\x80-\\xbf]|"
      "[\\xf0-\\xf4][\\x80-\\xbf][\\x80-\\xbf][\\x80-\\xbf])";
  std::string out;
  int depth = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    const char16_t next = i + 1 < pattern.size() ? pattern[i + 1] : u'\0';
    if (c == u'(') {
      if (next == u'?') return std::nullopt;
      out += "(?:";
      ++depth;
    } else if (c == u')') {
      if (--depth < 0) return std::nullopt;
      out += ')';
    } else if (c == u'|') {
      out += '|';
    } else if (c == u'.') {
      if (next == u'*') {
        // Any run within a line, lazy or not: the same matches exist.
        out += "[^\\n]*";
        ++i;
        if (i + 1 < pattern.size() && pattern[i + 1] == u'?') ++i;
      } else {
        out += kOneChar;
      }
    } else if (c == u'\\') {
      if (next == u'd') {
        out += "[0-9]";
        ++i;
        if (i + 1 < pattern.size() && pattern[i + 1] == u'*') {
          out += '*';
          ++i;
          if (i + 1 < pattern.size() && pattern[i + 1] == u'?') ++i;
        }
      } else if (next > u' ' && next < 0x7F && !std::isalnum(static_cast<unsigned char>(next))) {
        HexByte(out, static_cast<unsigned char>(next));
        ++i;
      } else {
        return std::nullopt;
      }
    } else if (c == u'*' || c == u'+' || c == u'?' || c == u'{' || c == u'[' || c == u'^' || c == u'$') {
      return std::nullopt;
    } else if (IsLineBreak(c) || (c >= 0xD800 && c <= 0xDFFF) || c < u' ') {
      return std::nullopt;
    } else if (c < 0x80 && std::isalnum(static_cast<unsigned char>(c))) {
      out += static_cast<char>(c);
    } else {
      std::string bytes;
      AppendUtf8(c, bytes);
      for (unsigned char b : bytes) HexByte(out, b);
    }
  }
  if (depth != 0) return std::nullopt;
  return out;
}

pcre2_code* CompileRegex(std::u16string_view pattern) {
  auto compiled = CompileSignatureRegex(pattern);
  if (compiled.code == nullptr) throw std::logic_error("invalid signature expression: " + compiled.message);
  return compiled.code;
}

// The literal runs that every match of a dialect expression holds: the
// maximal runs of plain or escaped characters at the top level (outside
// groups, not next to a "*").
std::vector<std::u16string> RequiredLiterals(std::u16string_view pattern) {
  std::vector<std::u16string> runs;
  std::u16string run;
  auto flush = [&] {
    if (!run.empty()) runs.push_back(run);
    run.clear();
  };
  int depth = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'(') {
      flush();
      ++depth;
    } else if (c == u')') {
      --depth;
    } else if (depth > 0) {
      if (c == u'\\') ++i;
    } else if (c == u'.' || c == u'*' || c == u'?') {
      flush();
    } else if (c == u'\\') {
      const char16_t e = i + 1 < pattern.size() ? pattern[++i] : u'\0';
      if (e == u'd') {
        flush();
      } else {
        run += e;
      }
    } else {
      run += c;
    }
  }
  flush();
  return runs;
}

struct TScratchHolder {
  hs_scratch_t* scratch = nullptr;
  ~TScratchHolder() {
    if (scratch != nullptr) hs_free_scratch(scratch);
  }
};

hs_scratch_t* ThreadScratch(const TCompiledSignatures& tables) {
  thread_local TScratchHolder holder;
  if (holder.scratch == nullptr && hs_clone_scratch(tables.scratchPrototype, &holder.scratch) != HS_SUCCESS) {
    holder.scratch = nullptr;
  }
  return holder.scratch;
}

struct TMatchDataHolder {
  pcre2_match_data* data = pcre2_match_data_create(1, nullptr);
  ~TMatchDataHolder() { pcre2_match_data_free(data); }
};

struct TLiteralScan {
  const TCompiledSignatures* tables;
  TPageScan* scan;
};

int OnLiteral(unsigned int id, unsigned long long, unsigned long long, unsigned int, void* context) {
  auto* state = static_cast<TLiteralScan*>(context);
  if (state->scan->seen[id]) return 0;
  state->scan->seen[id] = true;
  if (id < state->tables->plainIdEntry.size()) {
    const int entry = state->tables->plainIdEntry[id];
    if (state->scan->plainEntry < 0 || entry < state->scan->plainEntry) state->scan->plainEntry = entry;
  }
  return 0;
}

int OnExactMatch(unsigned int, unsigned long long, unsigned long long to, unsigned int, void* context) {
  *static_cast<unsigned long long*>(context) = to;
  return 1;  // the first match end is all that is needed
}

// The literal way for the plain table: used only when the scanner is missing.
int FirstPlainEntryBySearch(const TCompiledSignatures& tables, std::u16string_view page) {
  for (std::size_t e = 0; e < tables.plainAlternatives.size(); ++e) {
    for (auto alternative : tables.plainAlternatives[e]) {
      if (page.find(alternative) != std::u16string_view::npos) return static_cast<int>(e);
    }
  }
  return -1;
}

hs_database_t* CompileLiteralDatabase(const std::vector<std::string>& expressions) {
  std::vector<const char*> pointers;
  std::vector<unsigned> flags, ids;
  for (std::size_t i = 0; i < expressions.size(); ++i) {
    pointers.push_back(expressions[i].c_str());
    // Not single-match: this Vectorscan has been seen to drop the only
    // report of a one-byte literal in a large set in that mode.
    flags.push_back(0);
    ids.push_back(static_cast<unsigned>(i));
  }
  hs_database_t* db = nullptr;
  hs_compile_error_t* error = nullptr;
  if (hs_compile_multi(pointers.data(), flags.data(), ids.data(), static_cast<unsigned>(pointers.size()),
                       HS_MODE_BLOCK, nullptr, &db, &error) != HS_SUCCESS) {
    hs_free_compile_error(error);
    return nullptr;
  }
  return db;
}

}  // namespace

std::size_t ScannerText(std::u16string_view text, char* out) {
  const std::size_t n = text.size();
  const char16_t* s = text.data();
  char* w = out;
  std::size_t i = 0;
  while (i < n) {
    // Most of a web page is ASCII other than line breaks: eight at a time.
    if (i + 8 <= n) {
      std::uint64_t a, b;
      std::memcpy(&a, s + i, 8);
      std::memcpy(&b, s + i + 4, 8);
      if (((a | b) & 0xFF80FF80FF80FF80ULL) == 0) {
        bool plain = true;
        for (int k = 0; k < 8; ++k) {
          const char16_t c = s[i + k];
          plain &= c > 0x0D || c < 0x0A;
          w[k] = static_cast<char>(c);
        }
        if (plain) {
          w += 8;
          i += 8;
          continue;
        }
      }
    }
    const char16_t c = s[i++];
    if (c < 0x80) {
      *w++ = (c >= 0x0A && c <= 0x0D) ? '\n' : static_cast<char>(c);
    } else if (c < 0x800) {
      if (c == 0x85) {
        *w++ = '\n';
      } else {
        *w++ = static_cast<char>(0xC0 | (c >> 6));
        *w++ = static_cast<char>(0x80 | (c & 0x3F));
      }
    } else if (c < 0xD800 || c > 0xDFFF) {
      if (c == 0x2028 || c == 0x2029) {
        *w++ = '\n';
      } else {
        *w++ = static_cast<char>(0xE0 | (c >> 12));
        *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *w++ = static_cast<char>(0x80 | (c & 0x3F));
      }
    } else if (c <= 0xDBFF && i < n && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
      const char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(s[i++]) - 0xDC00);
      *w++ = static_cast<char>(0xF0 | (cp >> 18));
      *w++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *w++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *w++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *w++ = '\n';  // an unpaired surrogate: nothing matches across it either
    }
  }
  return static_cast<std::size_t>(w - out);
}

TCompiledSignatures::TCompiledSignatures() {
  bool scannerUsable = true;
  std::vector<std::string> expressions;

  const auto plain = PlainSignatures();
  plainCodes.resize(plain.size());
  plainAlternatives.resize(plain.size());
  for (std::size_t e = 0; e < plain.size(); ++e) {
    const auto entry = ParseSignatureEntry(plain[e]);
    if (!entry) continue;
    plainCodes[e] = entry->code;
    for (auto alternative : entry->alternatives) {
      if (alternative.empty()) continue;  // an empty alternative never occurs
      for (char16_t c : alternative) {
        // Such a text could not be found in the scanner text as it is.
        if (IsLineBreak(c) || (c >= 0xD800 && c <= 0xDFFF)) scannerUsable = false;
      }
      plainAlternatives[e].push_back(alternative);
      expressions.push_back(LiteralExpression(alternative));
      plainIdEntry.push_back(static_cast<int>(e));
      ++report.plainAlternatives;
    }
  }

  std::map<std::u16string, unsigned> requiredIds;
  const auto regex = RegExSignatures();
  regexCodes.resize(regex.size());
  for (std::size_t e = 0; e < regex.size(); ++e) {
    const auto entry = ParseSignatureEntry(regex[e]);
    if (!entry) continue;
    regexCodes[e] = entry->code;
    for (auto alternative : entry->alternatives) {
      if (alternative.empty()) continue;
      TRegexAlternative compiled{CompileRegex(alternative), e, {}, nullptr};
      ++report.regexAlternatives;
      if (const auto expression = ScannerExpression(alternative); expression && scannerUsable) {
        hs_compile_error_t* error = nullptr;
        if (hs_compile(expression->c_str(), HS_FLAG_SINGLEMATCH, HS_MODE_BLOCK, nullptr, &compiled.exact,
                       &error) != HS_SUCCESS) {
          hs_free_compile_error(error);
          compiled.exact = nullptr;
        }
      }
      if (compiled.exact != nullptr) {
        for (const auto& literal : RequiredLiterals(alternative)) {
          // One or two characters filter next to nothing and report often.
          if (literal.size() < 3) continue;
          auto [it, added] = requiredIds.emplace(literal, static_cast<unsigned>(expressions.size()));
          if (added) expressions.push_back(LiteralExpression(literal));
          compiled.requiredIds.push_back(it->second);
        }
      } else {
        report.unfilteredRegexAlternatives.emplace_back(alternative);
      }
      regexAlternatives.push_back(std::move(compiled));
    }
  }

  if (scannerUsable) literals = CompileLiteralDatabase(expressions);
  bool scratchReady = literals != nullptr && hs_alloc_scratch(literals, &scratchPrototype) == HS_SUCCESS;
  for (auto& alternative : regexAlternatives) {
    if (alternative.exact == nullptr) continue;
    if (!scratchReady || hs_alloc_scratch(alternative.exact, &scratchPrototype) != HS_SUCCESS) {
      // Without room to scan it, it is searched by PCRE2 alone.
      hs_free_database(alternative.exact);
      alternative.exact = nullptr;
      alternative.requiredIds.clear();
    }
  }
  if (!scratchReady && literals != nullptr) {
    hs_free_database(literals);
    literals = nullptr;
  }
  literalCount = expressions.size();
  report.scannerAvailable = literals != nullptr;
}

const TCompiledSignatures& CompiledSignatures() {
  static const TCompiledSignatures* tables = new TCompiledSignatures();
  return *tables;
}

TPageScan ScanPage(const TCompiledSignatures& tables, std::u16string_view pageText) {
  TPageScan scan;
  bool scanned = false;
  if (tables.literals != nullptr) {
    scan.text.reset(new char[3 * pageText.size() + 1]);
    scan.textSize = ScannerText(pageText, scan.text.get());
    scan.seen.assign(tables.literalCount, false);
    hs_scratch_t* scratch = ThreadScratch(tables);
    if (scan.textSize <= UINT_MAX && scratch != nullptr) {
      TLiteralScan state{&tables, &scan};
      scanned = hs_scan(tables.literals, scan.text.get(), static_cast<unsigned>(scan.textSize), 0, scratch,
                        OnLiteral, &state) == HS_SUCCESS;
    }
  }
  if (!scanned) {
    scan = TPageScan();
    scan.plainEntry = FirstPlainEntryBySearch(tables, pageText);
  }
  return scan;
}

std::u16string_view PlainCode(const TCompiledSignatures& tables, const TPageScan& scan) {
  return scan.plainEntry < 0 ? std::u16string_view() : tables.plainCodes[static_cast<std::size_t>(scan.plainEntry)];
}

std::u16string_view RegExCode(const TCompiledSignatures& tables, const TPageScan& scan,
                              std::u16string_view pageText) {
  thread_local TMatchDataHolder matchData;
  const auto subject = reinterpret_cast<PCRE2_SPTR>(pageText.data());
  auto search = [&](const TRegexAlternative& alternative, std::size_t start) {
    int rc = pcre2_match(alternative.code, subject, pageText.size(), start, PCRE2_NOTEMPTY, matchData.data,
                         nullptr);
    if (rc < 0 && rc != PCRE2_ERROR_NOMATCH) {
      // JIT gave up (its stack, or its way of counting the match limit): the
      // interpreter decides, as for an expression compiled on the spot.
      rc = pcre2_match(alternative.code, subject, pageText.size(), start, PCRE2_NOTEMPTY | PCRE2_NO_JIT,
                       matchData.data, nullptr);
    }
    return rc >= 0;
  };
  const bool scanned = !scan.seen.empty() || (scan.text != nullptr);
  for (const auto& alternative : tables.regexAlternatives) {
    if (!scanned || alternative.exact == nullptr) {
      if (search(alternative, 0)) return tables.regexCodes[alternative.entry];
      continue;
    }
    bool possible = true;
    for (unsigned id : alternative.requiredIds) possible = possible && scan.seen[id];
    if (!possible) continue;
    // Where does the first match end? Vectorscan finds it in one pass.
    unsigned long long end = 0;
    hs_scratch_t* scratch = ThreadScratch(tables);
    const hs_error_t rc = scratch == nullptr ? HS_INVALID
                                             : hs_scan(alternative.exact, scan.text.get(),
                                                       static_cast<unsigned>(scan.textSize), 0, scratch,
                                                       OnExactMatch, &end);
    if (rc == HS_SUCCESS) continue;  // no match anywhere
    std::size_t from = 0;
    if (rc == HS_SCAN_TERMINATED) {
      // PCRE2 starts at the beginning of that line: no match crosses a line
      // break, and earlier lines full of near misses cost nothing.
      const std::string_view text(scan.text.get(), scan.textSize);
      const std::size_t lf = end > 0 ? text.rfind('\n', end - 1) : std::string_view::npos;
      const std::size_t lineStart = lf == std::string_view::npos ? 0 : lf + 1;
      for (std::size_t b = 0; b < lineStart; ++b) {
        const unsigned char byte = static_cast<unsigned char>(text[b]);
        if ((byte & 0xC0) != 0x80) from += byte >= 0xF0 ? 2 : 1;
      }
    }
    // Should the scanner ever see a match PCRE2 does not, PCRE2 has the last
    // word over the whole text.
    if (search(alternative, from) || (from != 0 && search(alternative, 0))) {
      return tables.regexCodes[alternative.entry];
    }
  }
  return {};
}

const TCompileReport& CompileReport(const TCompiledSignatures& tables) { return tables.report; }

}  // namespace engine::detail
