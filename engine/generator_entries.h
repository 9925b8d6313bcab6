#pragma once
// The [generator] entries of signature files: platform names as generator
// meta elements begin with them, matched against what a page's generator
// elements say.
//
// A name matches a content that begins with it (after blanks), letters
// compared without regard to case (ASCII, Latin-1, Greek and Cyrillic
// capitals), where the content does not go on with the name's last word:
// "Drupal" matches "Drupal 7 (http://drupal.org)" and "drupal", not
// "DrupalGap". Read-only once built; may be shared by any number of threads.
#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/compiled_signatures.h"

namespace engine::detail {

struct TGeneratorEntry {
  std::u16string code;
  std::vector<std::u16string> names;  // the alternatives, in order
  TEntryOrigin origin;
};

// Whether generator content `content` begins with `name` as above.
bool GeneratorNameBegins(std::u16string_view content, std::u16string_view name);

class TGeneratorTable {
 public:
  TGeneratorTable() = default;
  explicit TGeneratorTable(std::vector<TGeneratorEntry> entries);

  bool Empty() const { return entries_.empty(); }
  const TGeneratorEntry& Entry(int entry) const { return entries_[static_cast<std::size_t>(entry)]; }

  // The first entry in table order one of whose names begins one of
  // `contents`, and the first such content (page order); entry -1: none.
  struct THit {
    int entry = -1;
    std::size_t content = 0;
  };
  THit FirstHit(std::span<const std::u16string_view> contents) const;

  // Whether an entry for `code` has a name that begins `content`.
  bool Names(std::u16string_view code, std::u16string_view content) const;

 private:
  struct TName {
    int entry;
    std::size_t name;  // index among the entry's names
  };
  // The names by their first character folded (ASCII ones by themselves,
  // every other in the last bucket), each bucket in table order.
  static constexpr std::size_t kOtherBucket = 128;
  std::vector<TGeneratorEntry> entries_;
  std::array<std::vector<TName>, kOtherBucket + 1> buckets_;
};

}  // namespace engine::detail
