#include "engine/identify.h"

#include <vector>

#include "engine/compiled_signatures.h"
#include "engine/signature_tables.h"

namespace engine {
namespace {

bool IsControlOrBlank(char16_t c) { return c <= u' '; }

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsControlOrBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsControlOrBlank(s.back())) s.remove_suffix(1);
  return s;
}

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool EqualIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// Lines of `text` up to its first NUL: CR, LF or CR LF ends a line, and a
// line break at the very end starts no further line.
std::vector<std::u16string_view> SplitLines(std::u16string_view text) {
  if (const auto nul = text.find(u'\0'); nul != std::u16string_view::npos) text = text.substr(0, nul);
  std::vector<std::u16string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
    lines.push_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ++end;
    start = end + 1;
  }
  return lines;
}

std::u16string NameOf(std::u16string_view code) {
  return code.empty() ? std::u16string() : GetPlatformName(code);
}

}  // namespace

void LoadPlatformInformation() { detail::CompiledSignatures(); }

std::u16string GetPlatformName(std::u16string_view code) {
  std::u16string probe(code);
  probe += u',';
  for (const std::u16string_view row : CatalogueRows()) {
    if (!row.starts_with(probe)) continue;
    // Every row has three fields; the second is the name.
    const auto first = row.find(u',');
    const auto second = row.find(u',', first + 1);
    return std::u16string(row.substr(first + 1, second == std::u16string_view::npos
                                                    ? std::u16string_view::npos
                                                    : second - first - 1));
  }
  return std::u16string(code);
}

std::u16string FindBySignature(std::u16string_view pageText) {
  const auto& tables = detail::CompiledSignatures();
  return NameOf(detail::PlainCode(tables, detail::ScanPage(tables, pageText)));
}

std::u16string FindByRegEx(std::u16string_view pageText) {
  const auto& tables = detail::CompiledSignatures();
  return NameOf(detail::RegExCode(tables, detail::ScanPage(tables, pageText), pageText));
}

std::u16string FindByHeaders(std::u16string_view headerText) {
  static constexpr std::u16string_view kPrefixes[] = {u"X-Powered-By:", u"Powered-by:", u"Server:"};
  std::u16string result;
  for (const auto rawLine : SplitLines(headerText)) {
    const auto line = Trim(rawLine);
    bool wanted = false;
    for (const auto prefix : kPrefixes) {
      if (line.size() >= prefix.size() && EqualIgnoringAsciiCase(line.substr(0, prefix.size()), prefix)) {
        wanted = true;
        break;
      }
    }
    if (!wanted) continue;
    const auto value = Trim(line.substr(line.find(u':') + 1));
    if (result.empty()) {
      result = value;
    } else {
      result += u"\r\n";
      result += value;
    }
  }
  return result;
}

std::u16string IdentifySite(std::u16string_view pageText, std::u16string_view headerText) {
  if (pageText.starts_with(u"Error: ")) return std::u16string(pageText);

  std::vector<std::u16string> items;
  // One pass over the page serves both body matchers.
  const auto& tables = detail::CompiledSignatures();
  const auto scan = detail::ScanPage(tables, pageText);
  if (auto name = NameOf(detail::PlainCode(tables, scan)); !name.empty()) items.push_back(std::move(name));
  if (auto name = NameOf(detail::RegExCode(tables, scan, pageText)); !name.empty()) items.push_back(std::move(name));
  const auto headers = FindByHeaders(headerText);
  if (!headers.empty()) {
    for (const auto line : SplitLines(headers)) items.emplace_back(line);
  }

  std::u16string result;
  std::vector<const std::u16string*> kept;
  for (const auto& item : items) {
    bool seen = false;
    for (const auto* earlier : kept) {
      if (EqualIgnoringAsciiCase(*earlier, item)) {
        seen = true;
        break;
      }
    }
    if (seen) continue;
    if (!kept.empty()) result += u", ";
    result += item;
    kept.push_back(&item);
  }
  return result;
}

}  // namespace engine
