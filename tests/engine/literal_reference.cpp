#include "engine/literal_reference.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <span>
#include <vector>

#include "engine/identify.h"
#include "engine/signature_tables.h"

namespace reference {
namespace {

struct Entry {
  bool valid = false;
  std::vector<std::u16string> alternatives;
  std::u16string code;
};

std::u16string Trim(std::u16string s) {
  while (!s.empty() && s.front() <= u' ') s.erase(s.begin());
  while (!s.empty() && s.back() <= u' ') s.pop_back();
  return s;
}

Entry Cut(std::u16string_view text) {
  Entry entry;
  const auto cut = text.find(u":-");
  if (cut == std::u16string_view::npos) return entry;
  entry.valid = true;
  entry.code = Trim(std::u16string(text.substr(cut + 2)));
  std::u16string patterns = Trim(std::u16string(text.substr(0, cut)));
  std::size_t start = 0;
  for (;;) {
    const auto bar = patterns.find(u"||", start);
    if (bar == std::u16string::npos) {
      entry.alternatives.push_back(patterns.substr(start));
      break;
    }
    entry.alternatives.push_back(patterns.substr(start, bar - start));
    start = bar + 2;
  }
  return entry;
}

bool Occurs(std::u16string_view page, const std::u16string& alternative) {
  return !alternative.empty() && page.find(alternative) != std::u16string_view::npos;
}

bool Matches(std::u16string_view page, const std::u16string& alternative) {
  if (alternative.empty()) return false;
  pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(context, PCRE2_NEWLINE_ANY);
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(alternative.data()), alternative.size(),
                                   PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &error, &offset, context);
  pcre2_compile_context_free(context);
  if (code == nullptr) return false;
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
  const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(page.data()), page.size(), 0,
                             PCRE2_NOTEMPTY, data, nullptr);
  pcre2_match_data_free(data);
  pcre2_code_free(code);
  return rc >= 0;
}

template <typename Test>
std::u16string FirstCode(std::span<const std::u16string_view> table, std::u16string_view page, Test test) {
  for (const auto text : table) {
    const Entry entry = Cut(text);
    if (!entry.valid) continue;
    for (const auto& alternative : entry.alternatives) {
      if (test(page, alternative)) return entry.code;
    }
  }
  return {};
}

std::u16string Name(const std::u16string& code) {
  return code.empty() ? std::u16string() : engine::GetPlatformName(code);
}

bool SameIgnoringAsciiCase(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::u16string PlainCode(std::u16string_view pageText) {
  return FirstCode(engine::PlainSignatures(), pageText, Occurs);
}

std::u16string RegExCode(std::u16string_view pageText) {
  return FirstCode(engine::RegExSignatures(), pageText, Matches);
}

std::u16string FindBySignature(std::u16string_view pageText) { return Name(PlainCode(pageText)); }

std::u16string FindByRegEx(std::u16string_view pageText) { return Name(RegExCode(pageText)); }

std::u16string IdentifySite(std::u16string_view pageText, std::u16string_view headerText) {
  if (pageText.substr(0, 7) == u"Error: ") return std::u16string(pageText);
  std::vector<std::u16string> items;
  if (auto n = FindBySignature(pageText); !n.empty()) items.push_back(n);
  if (auto n = FindByRegEx(pageText); !n.empty()) items.push_back(n);
  const std::u16string headers = engine::FindByHeaders(headerText);
  if (!headers.empty()) {
    std::u16string line;
    for (std::size_t i = 0; i < headers.size(); ++i) {
      const char16_t c = headers[i];
      if (c == u'\r' || c == u'\n') {
        items.push_back(line);
        line.clear();
        if (c == u'\r' && i + 1 < headers.size() && headers[i + 1] == u'\n') ++i;
      } else {
        line += c;
      }
    }
    if (!line.empty()) items.push_back(line);
  }
  std::vector<std::u16string> kept;
  for (const auto& item : items) {
    bool seen = false;
    for (const auto& k : kept) seen = seen || SameIgnoringAsciiCase(k, item);
    if (!seen) kept.push_back(item);
  }
  std::u16string result;
  for (std::size_t i = 0; i < kept.size(); ++i) result += (i ? u", " : u"") + kept[i];
  return result;
}

}  // namespace reference
