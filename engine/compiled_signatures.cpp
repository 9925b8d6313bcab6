#include "engine/compiled_signatures.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>
#include <hs/hs.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <cctype>
#include <optional>
#include <stdexcept>

#include "engine/signature_tables.h"

namespace engine::detail {

struct TRegexAlternative {
  pcre2_code* code = nullptr;
  std::size_t entry = 0;  // index into RegExSignatures()
};

class TCompiledSignatures {
 public:
  TCompiledSignatures();
  TCompiledSignatures(const TCompiledSignatures&) = delete;
  TCompiledSignatures& operator=(const TCompiledSignatures&) = delete;

  // Per plain entry its code (empty view for an entry passed over) and its
  // non-empty alternatives; per regex entry its code.
  std::vector<std::u16string_view> plainCodes;
  std::vector<std::vector<std::u16string_view>> plainAlternatives;
  std::vector<std::u16string_view> regexCodes;
  std::vector<TRegexAlternative> regexAlternatives;  // table order

  // Vectorscan ids: [0, plainIdCount) plain alternatives (id -> entry),
  // then regex alternatives (id - plainIdCount -> regexAlternatives index).
  std::vector<int> plainIdEntry;
  std::vector<std::size_t> regexIdAlternative;
  std::vector<bool> alwaysCandidate;  // per regex alternative
  hs_database_t* database = nullptr;
  hs_scratch_t* scratchPrototype = nullptr;

  TCompileReport report;
};

namespace {

void AppendCodePoint(char32_t c, std::string& out) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string Utf8(std::u16string_view text) {
  std::string out;
  AppendUtf8(text, out);
  return out;
}

// Every byte as \xHH: Vectorscan then searches the exact byte string.
std::string LiteralExpression(std::u16string_view literal) {
  static const char kHex[] = "0123456789abcdef";
  std::string expression;
  for (unsigned char b : Utf8(literal)) {
    expression += "\\x";
    expression += kHex[b >> 4];
    expression += kHex[b & 15];
  }
  return expression;
}

// Rewrites a table expression for Vectorscan with PCRE2's meaning under the
// table's options, or returns nothing when the expression leaves the small
// dialect the tables use (literals, escaped punctuation, groups with "|",
// "(.*?)", ".", "\\d", "*" after "." or "\\d"). In that dialect nothing can
// match across a line break, which lets a confirmation start at the line
// where Vectorscan saw the match end.
std::optional<std::string> ScannerExpression(std::u16string_view pattern) {
  static const char kHex[] = "0123456789abcdef";
  // PCRE2's dot under NEWLINE_ANY; LF also stands for invalid units.
  static const std::string kDot = "[^\\n\\r\\x0b\\x0c\\x{85}\\x{2028}\\x{2029}]";
  auto hexByte = [](std::string& out, unsigned char b) {
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 15];
  };
  auto isLineBreak = [](char16_t c) {
    return c == u'\n' || c == u'\r' || c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028 || c == 0x2029;
  };
  std::string out;
  int depth = 0;
  bool canRepeat = false;  // the last item was "." or "\\d"
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    const bool wasRepeatable = canRepeat;
    canRepeat = false;
    if (c == u'(') {
      if (i + 1 < pattern.size() && pattern[i + 1] == u'?') return std::nullopt;
      out += "(?:";
      ++depth;
    } else if (c == u')') {
      if (--depth < 0) return std::nullopt;
      out += ')';
    } else if (c == u'|') {
      out += '|';
    } else if (c == u'.') {
      out += kDot;
      canRepeat = true;
    } else if (c == u'*') {
      if (!wasRepeatable) return std::nullopt;
      out += '*';
      if (i + 1 < pattern.size() && pattern[i + 1] == u'?') ++i;  // lazy or not: the same matches exist
    } else if (c == u'\\') {
      if (++i >= pattern.size()) return std::nullopt;
      const char16_t e = pattern[i];
      if (e == u'd') {
        out += "[0-9]";
        canRepeat = true;
      } else if (e < 0x80 && !std::isalnum(static_cast<unsigned char>(e)) && e > u' ') {
        hexByte(out, static_cast<unsigned char>(e));
      } else {
        return std::nullopt;
      }
    } else if (c < 0x80) {
      if (std::isalnum(static_cast<unsigned char>(c))) {
        out += static_cast<char>(c);
      } else if (c > u' ' || c == u' ') {
        if (c == u'[' || c == u'{' || c == u'+' || c == u'?' || c == u'^' || c == u'$') return std::nullopt;
        hexByte(out, static_cast<unsigned char>(c));
      } else {
        return std::nullopt;
      }
    } else {
      if (isLineBreak(c) || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
      AppendCodePoint(c, out);
    }
  }
  if (depth != 0) return std::nullopt;
  return out;
}

pcre2_code* CompileRegex(std::u16string_view pattern) {
  pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(context, PCRE2_NEWLINE_ANY);
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                   PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &error, &offset, context);
  pcre2_compile_context_free(context);
  if (code == nullptr) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(error, message, 256);
    std::string text = "invalid signature expression: ";
    for (const PCRE2_UCHAR* p = message; *p; ++p) text.push_back(static_cast<char>(*p & 0x7F));
    throw std::logic_error(text);
  }
  // Without JIT (not built in, or out of executable memory) the interpreter
  // gives the same answers, only slower.
  pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
  return code;
}

struct TScratchHolder {
  hs_scratch_t* scratch = nullptr;
  ~TScratchHolder() {
    if (scratch != nullptr) hs_free_scratch(scratch);
  }
};

struct TMatchDataHolder {
  pcre2_match_data* data = pcre2_match_data_create(1, nullptr);
  ~TMatchDataHolder() { pcre2_match_data_free(data); }
};

struct TScanState {
  const TCompiledSignatures* tables;
  TPageScan* scan;
};

int OnMatch(unsigned int id, unsigned long long, unsigned long long to, unsigned int, void* context) {
  auto* state = static_cast<TScanState*>(context);
  const auto& tables = *state->tables;
  if (id < tables.plainIdEntry.size()) {
    const int entry = tables.plainIdEntry[id];
    if (state->scan->plainEntry < 0 || entry < state->scan->plainEntry) state->scan->plainEntry = entry;
  } else {
    // Single-match mode: this is the first (leftmost-ending) match; keep its
    // end in UTF-8 bytes until the scan is over.
    state->scan->regexFrom[tables.regexIdAlternative[id - tables.plainIdEntry.size()]] = to;
  }
  return 0;
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

}  // namespace

void AppendUtf8(std::u16string_view text, std::string& out) {
  const std::size_t n = text.size();
  const char16_t* s = text.data();
  std::size_t i = 0;
  out.reserve(out.size() + n + n / 8 + 8);
  while (i < n) {
    // Most of a web page is ASCII: four characters at a time.
    if (i + 4 <= n) {
      std::uint64_t block;
      std::memcpy(&block, s + i, 8);
      if ((block & 0xFF80FF80FF80FF80ULL) == 0) {
        const char ascii[4] = {static_cast<char>(s[i]), static_cast<char>(s[i + 1]),
                               static_cast<char>(s[i + 2]), static_cast<char>(s[i + 3])};
        out.append(ascii, 4);
        i += 4;
        continue;
      }
    }
    const char16_t c = s[i++];
    if (c < 0xD800 || c > 0xDFFF) {
      AppendCodePoint(c, out);
    } else if (c <= 0xDBFF && i < n && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
      AppendCodePoint(0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(s[i]) - 0xDC00), out);
      ++i;
    } else {
      // No signature holds a line feed and no expression lets anything cross
      // one, as none lets anything cross an invalid unit in PCRE2.
      out.push_back('\n');
    }
  }
}

TCompiledSignatures::TCompiledSignatures() {
  std::vector<std::string> expressions;
  std::vector<unsigned> flags;

  const auto plain = PlainSignatures();
  plainCodes.resize(plain.size());
  plainAlternatives.resize(plain.size());
  for (std::size_t e = 0; e < plain.size(); ++e) {
    const auto entry = ParseSignatureEntry(plain[e]);
    if (!entry) continue;
    plainCodes[e] = entry->code;
    for (auto alternative : entry->alternatives) {
      if (alternative.empty()) continue;  // an empty alternative never occurs
      plainAlternatives[e].push_back(alternative);
      expressions.push_back(LiteralExpression(alternative));
      flags.push_back(HS_FLAG_SINGLEMATCH);
      plainIdEntry.push_back(static_cast<int>(e));
      ++report.plainAlternatives;
    }
  }

  const auto regex = RegExSignatures();
  regexCodes.resize(regex.size());
  std::vector<std::string> regexExpressions;
  std::vector<std::size_t> regexIds;  // alternatives that Vectorscan finds exactly
  for (std::size_t e = 0; e < regex.size(); ++e) {
    const auto entry = ParseSignatureEntry(regex[e]);
    if (!entry) continue;
    regexCodes[e] = entry->code;
    for (auto alternative : entry->alternatives) {
      if (alternative.empty()) continue;
      const std::size_t index = regexAlternatives.size();
      regexAlternatives.push_back({CompileRegex(alternative), e});
      alwaysCandidate.push_back(false);
      ++report.regexAlternatives;
      if (auto expression = ScannerExpression(alternative)) {
        regexExpressions.push_back(std::move(*expression));
        regexIds.push_back(index);
      } else {
        alwaysCandidate[index] = true;
        report.unfilteredRegexAlternatives.emplace_back(alternative);
      }
    }
  }

  // An expression Vectorscan refuses stays a candidate on every page, searched
  // by PCRE2 over the whole text: exact, only slower.
  const std::size_t plainCount = expressions.size();
  for (;;) {
    std::vector<const char*> pointers;
    std::vector<unsigned> allFlags(flags.begin(), flags.begin() + plainCount);
    std::vector<unsigned> ids;
    for (std::size_t i = 0; i < plainCount; ++i) {
      pointers.push_back(expressions[i].c_str());
      ids.push_back(static_cast<unsigned>(i));
    }
    for (std::size_t k = 0; k < regexIds.size(); ++k) {
      pointers.push_back(regexExpressions[k].c_str());
      allFlags.push_back(HS_FLAG_UTF8 | HS_FLAG_SINGLEMATCH);
      ids.push_back(static_cast<unsigned>(plainCount + k));
    }
    hs_compile_error_t* error = nullptr;
    hs_database_t* db = nullptr;
    const hs_error_t rc = hs_compile_multi(pointers.data(), allFlags.data(), ids.data(),
                                           static_cast<unsigned>(pointers.size()), HS_MODE_BLOCK,
                                           nullptr, &db, &error);
    if (rc == HS_SUCCESS) {
      database = db;
      break;
    }
    const int bad = error != nullptr ? error->expression : -1;
    hs_free_compile_error(error);
    if (bad < static_cast<int>(plainCount)) break;  // not one expression's fault: no scanner
    const std::size_t k = static_cast<std::size_t>(bad) - plainCount;
    alwaysCandidate[regexIds[k]] = true;
    report.unfilteredRegexAlternatives.emplace_back(
        RegExSignatures()[regexAlternatives[regexIds[k]].entry]);
    regexIds.erase(regexIds.begin() + static_cast<std::ptrdiff_t>(k));
    regexExpressions.erase(regexExpressions.begin() + static_cast<std::ptrdiff_t>(k));
  }
  if (database != nullptr && hs_alloc_scratch(database, &scratchPrototype) != HS_SUCCESS) {
    hs_free_database(database);
    database = nullptr;
  }
  if (database != nullptr) {
    regexIdAlternative = std::move(regexIds);
  } else {
    plainIdEntry.clear();
    alwaysCandidate.assign(regexAlternatives.size(), true);
  }
  report.scannerAvailable = database != nullptr;
}

const TCompiledSignatures& CompiledSignatures() {
  static const TCompiledSignatures* tables = new TCompiledSignatures();
  return *tables;
}

namespace {

// Start (UTF-8 bytes) of the line that holds byte `end - 1`: just after the
// last line break before it as PCRE2 counts them (LF also stands for an
// invalid unit of the original text).
std::size_t LineStart(const std::string& utf8, std::size_t end) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  std::size_t i = end > 0 ? end - 1 : 0;
  while (i > 0) {
    const unsigned char b = s[i - 1];
    if (b == '\n' || b == '\r' || b == 0x0B || b == 0x0C) break;
    if (b == 0x85 && i >= 2 && s[i - 2] == 0xC2) break;
    if ((b == 0xA8 || b == 0xA9) && i >= 3 && s[i - 2] == 0x80 && s[i - 3] == 0xE2) break;
    --i;
  }
  return i;
}

}  // namespace

TPageScan ScanPage(const TCompiledSignatures& tables, std::u16string_view pageText) {
  TPageScan scan;
  scan.regexFrom.assign(tables.regexAlternatives.size(), std::u16string_view::npos);
  thread_local std::string utf8;
  thread_local TScratchHolder scratch;
  bool scanned = false;
  if (tables.database != nullptr) {
    utf8.clear();
    AppendUtf8(pageText, utf8);
    if (utf8.size() <= UINT_MAX &&
        (scratch.scratch != nullptr ||
         hs_clone_scratch(tables.scratchPrototype, &scratch.scratch) == HS_SUCCESS)) {
      TScanState state{&tables, &scan};
      scanned = hs_scan(tables.database, utf8.data(), static_cast<unsigned>(utf8.size()), 0,
                        scratch.scratch, OnMatch, &state) == HS_SUCCESS;
    }
    if (scanned) {
      // Match ends (UTF-8) -> line starts (UTF-8) -> line starts (UTF-16),
      // the last in one forward pass over the text.
      std::vector<std::pair<std::size_t, std::size_t>> starts;  // (UTF-8 offset, alternative)
      for (std::size_t a = 0; a < scan.regexFrom.size(); ++a) {
        if (scan.regexFrom[a] != std::u16string_view::npos) starts.emplace_back(LineStart(utf8, scan.regexFrom[a]), a);
      }
      std::sort(starts.begin(), starts.end());
      std::size_t byte = 0, unit = 0;
      const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
      for (const auto& [offset, alternative] : starts) {
        for (; byte < offset; ++byte) {
          const unsigned char b = s[byte];
          if ((b & 0xC0) != 0x80) unit += b >= 0xF0 ? 2 : 1;
        }
        scan.regexFrom[alternative] = unit;
      }
    }
    // Keep one page's worth of memory per thread, not the largest page seen.
    if (utf8.capacity() > (std::size_t{4} << 20)) std::string().swap(utf8);
  }
  if (!scanned) {
    scan.plainEntry = FirstPlainEntryBySearch(tables, pageText);
    scan.regexFrom.assign(tables.regexAlternatives.size(), 0);
  } else {
    for (std::size_t a = 0; a < scan.regexFrom.size(); ++a) {
      if (tables.alwaysCandidate[a]) scan.regexFrom[a] = 0;
    }
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
  for (std::size_t a = 0; a < tables.regexAlternatives.size(); ++a) {
    const std::size_t from = scan.regexFrom[a];
    if (from == std::u16string_view::npos) continue;
    const auto& alternative = tables.regexAlternatives[a];
    auto search = [&](std::size_t start) {
      int rc = pcre2_match(alternative.code, subject, pageText.size(), start, PCRE2_NOTEMPTY,
                           matchData.data, nullptr);
      if (rc < 0 && rc != PCRE2_ERROR_NOMATCH) {
        // JIT gave up (its stack, or its way of counting the match limit):
        // the interpreter decides, as for an expression compiled on the spot.
        rc = pcre2_match(alternative.code, subject, pageText.size(), start, PCRE2_NOTEMPTY | PCRE2_NO_JIT,
                         matchData.data, nullptr);
      }
      return rc >= 0;
    };
    // Should the scanner ever see a match PCRE2 does not, PCRE2 has the last
    // word over the whole text.
    if (search(from) || (from != 0 && search(0))) return tables.regexCodes[alternative.entry];
  }
  return {};
}

const TCompileReport& CompileReport(const TCompiledSignatures& tables) { return tables.report; }

}  // namespace engine::detail
