#include "engine/identify.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <cstdint>
#include <vector>

#include "engine/compiled_signatures.h"
#include "engine/evidence.h"
#include "engine/extra_signatures.h"
#include "engine/generator_entries.h"
#include "engine/generator_meta.h"
#include "engine/link_rule.h"
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

// Calls `line` for each line of `text` up to its first NUL: CR, LF or
// CR LF ends a line, and a line break at the very end starts no further line.
template <typename F>
void ForEachLine(std::u16string_view text, F&& line) {
  if (const auto nul = text.find(u'\0'); nul != std::u16string_view::npos) text = text.substr(0, nul);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
    line(text.substr(start, end - start));
    if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ++end;
    start = end + 1;
  }
}

// The display name of `code`: a signature file's [platforms] row, else the
// catalogue's.
std::u16string NameOf(std::u16string_view code, const TExtraSignatures* extras = nullptr) {
  if (code.empty()) return {};
  if (extras != nullptr) {
    if (const auto name = extras->PlatformName(code); !name.empty()) return std::u16string(name);
  }
  return GetPlatformName(code);
}


// Calls `found(name, value)` for each X-Powered-By, Powered-by and Server
// line of `headerText`, in order: the name as sent (without its colon) and
// the value, both trimmed.
template <typename F>
void ForEachHeaderValue(std::u16string_view headerText, F&& found) {
  static constexpr std::u16string_view kPrefixes[] = {u"X-Powered-By:", u"Powered-by:", u"Server:"};
  ForEachLine(headerText, [&](std::u16string_view rawLine) {
    const auto line = Trim(rawLine);
    for (const auto prefix : kPrefixes) {
      if (line.size() >= prefix.size() && EqualIgnoringAsciiCase(line.substr(0, prefix.size()), prefix)) {
        found(line.substr(0, prefix.size() - 1), Trim(line.substr(prefix.size())));
        break;
      }
    }
  });
}

// FNV-1a over the text with ASCII case folded, then mixed (texts that
// differ only in their last character must not land in neighbouring slots).
std::uint64_t FoldedHash(std::u16string_view text) {
  std::uint64_t h = 1469598103934665603ULL;
  for (char16_t c : text) {
    h ^= AsciiLower(c);
    h *= 1099511628211ULL;
  }
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return h;
}

bool IsPageLineBreak(char16_t c) {
  return c == u'\n' || c == u'\r' || c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// `text` with each line break shown as the mark (CR LF as one).
std::u16string Visible(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsPageLineBreak(text[i])) {
      out += text[i];
      continue;
    }
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    out += kLineBreakMark;
  }
  return out;
}

// Fills offset, match (cut) and context of a finding from the page.
void PlaceInPage(TFinding& finding, std::u16string_view page, std::size_t offset, std::size_t length) {
  std::size_t cut = std::min(length, kMatchCut);
  if (cut < length && cut > 0 && IsHighSurrogate(page[offset + cut - 1])) --cut;
  finding.offset = offset;
  finding.match = page.substr(offset, cut);
  std::size_t from = offset > kContextUnits ? offset - kContextUnits : 0;
  if (from > 0 && IsLowSurrogate(page[from]) && IsHighSurrogate(page[from - 1])) ++from;
  finding.before = Visible(page.substr(from, offset - from));
  const std::size_t end = offset + length;
  std::size_t to = std::min(page.size(), end + kContextUnits);
  if (to < page.size() && to > end && IsHighSurrogate(page[to - 1]) && IsLowSurrogate(page[to])) --to;
  finding.after = Visible(page.substr(end, to - end));
}

void SetOrigin(TFinding& finding, const detail::TEntryOrigin& origin, int entry) {
  if (origin.file.empty()) {
    finding.entry = origin.number;
  } else {
    finding.entry = origin.position != 0 ? origin.position : static_cast<std::uint32_t>(entry + 1);
    finding.file = origin.file;
    finding.line = origin.number;
  }
}

bool StartsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && EqualIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

bool IsVersionChar(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'.' || c == u'-';
}

// The first token of `content` (a run of letters, digits, dots and hyphens)
// that begins with a digit, or empty.
std::u16string VersionToken(std::u16string_view content) {
  for (std::size_t i = 0; i < content.size();) {
    if (!IsVersionChar(content[i])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < content.size() && IsVersionChar(content[end])) ++end;
    if (content[i] >= u'0' && content[i] <= u'9') return std::u16string(content.substr(i, end - i));
    i = end;
  }
  return {};
}

// The whole identification; `evidence` is filled when given. `errorInBand`:
// a page text that begins with "Error: " is a fetch's failure, not a page.
// `pageUrl`: where the page came from (for the link rule of the extras).
std::u16string Identify(std::u16string_view pageText, std::u16string_view headerText, TSiteEvidence* evidence,
                        const TExtraSignatures* extras, bool errorInBand = true, std::u16string_view pageUrl = {}) {
  if (errorInBand && pageText.starts_with(u"Error: ")) return std::u16string(pageText);

  // The items of the platforms text, in order: at most three page names
  // (pageNames, with their codes: plain table, expressions, generator
  // entries), then the header values (views into headerText, their names
  // aside only for the evidence).
  std::u16string pageNames[3];
  std::u16string_view pageCodes[3];
  std::vector<std::u16string_view> items;
  // Per item its folded hash, taken while its text is still in the cache.
  std::vector<std::uint64_t> hashes;
  // One pass over the page serves both body matchers.
  const auto& tables = extras != nullptr ? extras->Set() : detail::CompiledSignatures();
  const auto scan = detail::ScanPage(tables, pageText);
  // With extras on, links to other sites are no evidence, for the built-in
  // tables' entries too; without them every result stays the tables' own.
  const std::optional<detail::TLinkRule> linkRule =
      extras != nullptr ? std::optional<detail::TLinkRule>(std::in_place, pageText, pageUrl) : std::nullopt;
  const detail::TLinkRule* links = linkRule ? &*linkRule : nullptr;
  const auto plain = detail::PlainHit(tables, scan, pageText, links);
  if (pageNames[0] = NameOf(detail::PlainCode(tables, plain.entry), extras); !pageNames[0].empty()) {
    pageCodes[items.size()] = detail::PlainCode(tables, plain.entry);
    items.push_back(pageNames[0]);
    hashes.push_back(FoldedHash(pageNames[0]));
    if (evidence != nullptr) {
      TFinding& f = evidence->findings.emplace_back();
      f.source = TFindingSource::Plain;
      SetOrigin(f, detail::PlainOrigin(tables, plain.entry), plain.entry);
      PlaceInPage(f, pageText, plain.offset, plain.length);
    }
  }
  const auto regex = detail::RegExHit(tables, scan, pageText, links);
  if (evidence != nullptr) {
    for (const int entry : regex.stopped) {
      const auto& origin = detail::RegExOrigin(tables, entry);
      evidence->stopped.push_back({origin.position, origin.file, origin.number});
    }
  }
  if (pageNames[1] = NameOf(detail::RegExCode(tables, regex.entry), extras); !pageNames[1].empty()) {
    pageCodes[items.size()] = detail::RegExCode(tables, regex.entry);
    items.push_back(pageNames[1]);
    hashes.push_back(FoldedHash(pageNames[1]));
    if (evidence != nullptr) {
      TFinding& f = evidence->findings.emplace_back();
      f.source = TFindingSource::Regex;
      SetOrigin(f, detail::RegExOrigin(tables, regex.entry), regex.entry);
      PlaceInPage(f, pageText, regex.offset, regex.length);
    }
  }
  // The generator entries of extra signatures: the first that names one of
  // the page's generator meta elements adds its platform after the tables'
  // names. An item like theirs: a name the tables gave already makes it a
  // duplicate, which the text leaves out, so no built-in name is changed or
  // removed and no platform named twice.
  std::vector<detail::TGeneratorContent> contents;
  bool contentsRead = false;
  const auto generatorContents = [&]() -> const std::vector<detail::TGeneratorContent>& {
    if (!contentsRead) contents = detail::GeneratorContents(scan, pageText);
    contentsRead = true;
    return contents;
  };
  if (extras != nullptr && !extras->Generators().Empty() && !generatorContents().empty()) {
    std::vector<std::u16string_view> texts;
    for (const auto& content : contents) texts.push_back(content.text);
    const auto hit = extras->Generators().FirstHit(texts);
    if (hit.entry >= 0) {
      const auto& entry = extras->Generators().Entry(hit.entry);
      pageNames[2] = NameOf(entry.code, extras);
      pageCodes[items.size()] = entry.code;
      items.push_back(pageNames[2]);
      hashes.push_back(FoldedHash(pageNames[2]));
      if (evidence != nullptr) {
        TFinding& f = evidence->findings.emplace_back();
        f.source = TFindingSource::Generator;
        SetOrigin(f, entry.origin, hit.entry);
        PlaceInPage(f, pageText, contents[hit.content].offset, contents[hit.content].text.size());
      }
    }
  }
  const std::size_t pageItems = items.size();
  // The values are the lines of the header matcher's text: empty values
  // before the first non-empty one add nothing to it, and a trailing empty
  // value starts no line.
  std::vector<std::u16string_view> headerNames;
  ForEachHeaderValue(headerText, [&](std::u16string_view name, std::u16string_view value) {
    if (items.size() == pageItems && value.empty()) return;
    items.push_back(value);
    hashes.push_back(FoldedHash(value));
    if (evidence != nullptr) headerNames.push_back(name);
  });
  if (items.size() > pageItems && items.back().empty()) {
    items.pop_back();
    hashes.pop_back();
    if (evidence != nullptr) headerNames.pop_back();
  }
  if (evidence != nullptr) {
    for (std::size_t h = 0; h < headerNames.size(); ++h) {
      TFinding& f = evidence->findings.emplace_back();
      f.source = TFindingSource::Header;
      f.header = headerNames[h];
      f.match = items[pageItems + h];
    }
  }

  // Linear de-duplication: a hash set of the texts, ASCII case folded.
  std::u16string result;
  std::size_t resultSize = 0;
  for (const auto item : items) resultSize += item.size() + 2;
  result.reserve(resultSize);
  // Open addressing over item indexes: no allocation per item.
  std::size_t slots = 8;
  while (slots < 2 * items.size()) slots *= 2;
  struct TSlot {
    std::uint32_t hash = 0;
    std::uint32_t item = UINT32_MAX;  // none
  };
  std::vector<TSlot> table(slots);
  // With every hash known, the slot of an item a little ahead is fetched
  // into the cache while this one is placed: a table larger than the cache
  // then costs about as much per item as a small one.
  constexpr std::size_t kAhead = 8;
  std::size_t keptCount = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i + kAhead < items.size()) __builtin_prefetch(&table[hashes[i + kAhead] & (slots - 1)]);
    bool added = true;
    const std::uint64_t hash = hashes[i];
    const auto check = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t slot = hash & (slots - 1);; slot = (slot + 1) & (slots - 1)) {
      if (table[slot].item == UINT32_MAX) {
        table[slot] = {check, static_cast<std::uint32_t>(i)};
        ++keptCount;
        break;
      }
      if (table[slot].hash == check && EqualIgnoringAsciiCase(items[table[slot].item], items[i])) {
        added = false;
        break;
      }
    }
    if (evidence != nullptr) {
      evidence->findings[i].platform = items[i];
      evidence->findings[i].duplicate = !added;
    }
    if (!added) continue;
    if (keptCount > 1) result += u", ";
    result += items[i];
  }

  if (evidence != nullptr && pageItems > 0 && !generatorContents().empty()) {
    for (std::size_t i = 0; i < pageItems; ++i) {
      if (evidence->findings[i].duplicate) continue;
      for (const auto& content : contents) {
        // The platform's own names, and those its generator entries give.
        auto version = GeneratorVersion(content.text, items[i], pageCodes[i]);
        if (version.empty() && extras != nullptr && extras->Generators().Names(pageCodes[i], content.text)) {
          version = VersionToken(content.text);
        }
        if (version.empty()) continue;
        evidence->versions.push_back({std::u16string(items[i]), std::move(version)});
        break;
      }
    }
  }
  return result;
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
  const auto scan = detail::ScanPage(tables, pageText);
  return NameOf(detail::PlainCode(tables, detail::PlainHit(tables, scan, pageText).entry));
}

std::u16string FindByRegEx(std::u16string_view pageText) {
  const auto& tables = detail::CompiledSignatures();
  const auto scan = detail::ScanPage(tables, pageText);
  return NameOf(detail::RegExCode(tables, detail::RegExHit(tables, scan, pageText).entry));
}

std::u16string FindByHeaders(std::u16string_view headerText) {
  std::u16string result;
  ForEachHeaderValue(headerText, [&](std::u16string_view, std::u16string_view value) {
    if (result.empty()) {
      result = value;
    } else {
      result += u"\r\n";
      result += value;
    }
  });
  return result;
}

std::u16string IdentifySite(std::u16string_view pageText, std::u16string_view headerText) {
  return Identify(pageText, headerText, nullptr, nullptr);
}

std::u16string IdentifySite(std::u16string_view pageText, std::u16string_view headerText,
                            const TExtraSignatures* extras, std::u16string_view pageUrl) {
  return Identify(pageText, headerText, nullptr, extras, true, pageUrl);
}

TSiteEvidence IdentifySiteWithEvidence(std::u16string_view pageText, std::u16string_view headerText) {
  return IdentifySiteWithEvidence(pageText, headerText, nullptr);
}

TSiteEvidence IdentifySiteWithEvidence(std::u16string_view pageText, std::u16string_view headerText,
                                       const TExtraSignatures* extras, std::u16string_view pageUrl) {
  TSiteEvidence evidence;
  evidence.platforms = Identify(pageText, headerText, &evidence, extras, true, pageUrl);
  return evidence;
}

TSiteEvidence IdentifyPageWithEvidence(std::u16string_view pageText, std::u16string_view headerText,
                                       const TExtraSignatures* extras, std::u16string_view pageUrl) {
  TSiteEvidence evidence;
  evidence.platforms = Identify(pageText, headerText, &evidence, extras, false, pageUrl);
  return evidence;
}

std::u16string GeneratorVersion(std::u16string_view content, std::u16string_view name, std::u16string_view code) {
  bool belongs = !name.empty() && StartsWithIgnoringAsciiCase(content, name);
  for (const auto generatorName : GeneratorNames(code)) {
    belongs = belongs || StartsWithIgnoringAsciiCase(content, generatorName);
  }
  return belongs ? VersionToken(content) : std::u16string();
}

}  // namespace engine
