#include "engine/generator_entries.h"

#include <algorithm>

namespace engine::detail {

namespace {

// Capitals to small letters where a generator name may hold them: ASCII,
// Latin-1, Greek and Cyrillic; every other unit stays as it is.
char16_t FoldCase(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return char16_t(c + 32);
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return char16_t(c + 32);
  if (c >= 0x410 && c <= 0x42F) return char16_t(c + 32);
  if (c >= 0x400 && c <= 0x40F) return char16_t(c + 80);
  return c;
}

// Letters, digits and '_', in any script: what a word goes on with. Marks,
// symbols and punctuation of the common blocks end a word.
bool IsWordUnit(char16_t c) {
  if (c < 0x80) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_';
  }
  if (c <= 0xBF || c == 0xD7 || c == 0xF7) return false;
  if (c >= 0x2000 && c <= 0x2BFF) return false;  // punctuation, symbols, arrows, shapes
  if (c >= 0x3000 && c <= 0x303F) return false;  // CJK punctuation
  if (c >= 0xFE30 && c <= 0xFE4F) return false;
  if (c >= 0xFF00 && c <= 0xFF0F) return false;
  return true;
}

bool IsLeadingBlank(char16_t c) { return c <= u' ' || c == 0xA0; }

std::size_t Bucket(char16_t c) { return c < 0x80 ? static_cast<std::size_t>(FoldCase(c)) : 128; }

std::u16string_view Trimmed(std::u16string_view content) {
  while (!content.empty() && IsLeadingBlank(content.front())) content.remove_prefix(1);
  return content;
}

}  // namespace

bool GeneratorNameBegins(std::u16string_view content, std::u16string_view name) {
  content = Trimmed(content);
  if (name.empty() || content.size() < name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (FoldCase(content[i]) != FoldCase(name[i])) return false;
  }
  return content.size() == name.size() || !IsWordUnit(name.back()) || !IsWordUnit(content[name.size()]);
}

TGeneratorTable::TGeneratorTable(std::vector<TGeneratorEntry> entries) : entries_(std::move(entries)) {
  for (std::size_t e = 0; e < entries_.size(); ++e) {
    for (std::size_t n = 0; n < entries_[e].names.size(); ++n) {
      const auto& name = entries_[e].names[n];
      if (!name.empty()) buckets_[Bucket(name.front())].push_back({static_cast<int>(e), n});
    }
  }
}

TGeneratorTable::THit TGeneratorTable::FirstHit(std::span<const std::u16string_view> contents) const {
  THit hit;
  for (std::size_t c = 0; c < contents.size(); ++c) {
    const auto content = Trimmed(contents[c]);
    if (content.empty()) continue;
    // A bucket is in table order: its first name that begins the content is
    // the earliest entry for this content.
    for (const auto& candidate : buckets_[Bucket(content.front())]) {
      if (hit.entry >= 0 && candidate.entry >= hit.entry) break;
      if (!GeneratorNameBegins(content, entries_[static_cast<std::size_t>(candidate.entry)].names[candidate.name])) {
        continue;
      }
      hit = {candidate.entry, c};
      break;
    }
  }
  return hit;
}

bool TGeneratorTable::Names(std::u16string_view code, std::u16string_view content) const {
  const auto trimmed = Trimmed(content);
  if (trimmed.empty()) return false;
  for (const auto& candidate : buckets_[Bucket(trimmed.front())]) {
    const auto& entry = entries_[static_cast<std::size_t>(candidate.entry)];
    if (entry.code == code && GeneratorNameBegins(trimmed, entry.names[candidate.name])) return true;
  }
  return false;
}

}  // namespace engine::detail
