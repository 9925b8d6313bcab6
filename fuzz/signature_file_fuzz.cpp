// The signature-file reader: the input is a signature file as a user may
// write it. Whatever it holds, its faults come as "FILE:LINE: reason" in line
// order with lines that exist; a file with faults loads nothing; a sound
// file holds only entries that can be used (and compiled with the built-in
// tables); and LF, CR LF and CR alone end lines alike.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "engine/evidence.h"
#include "engine/extra_signatures.h"
#include "engine/identify.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr std::string_view kName = "fuzz.txt";

// The input with every line end made a line feed.
std::string WithLineFeeds(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r') {
      out += '\n';
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      out += bytes[i];
    }
  }
  return out;
}

bool SameEntries(const std::vector<engine::TExtraEntry>& a, const std::vector<engine::TExtraEntry>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.text == y.text && x.code == y.code && x.alternatives == y.alternatives && x.line == y.line;
  });
}

void CheckEntries(const std::vector<engine::TExtraEntry>& entries, int lines, bool searched) {
  int previous = 0;
  for (const auto& entry : entries) {
    FUZZ_CHECK(entry.line > previous && entry.line <= lines);
    previous = entry.line;
    FUZZ_CHECK(engine::IsValidPlatformCode(entry.code));
    FUZZ_CHECK(!entry.alternatives.empty());
    for (const auto& alternative : entry.alternatives) {
      FUZZ_CHECK(!alternative.empty());
      if (searched) FUZZ_CHECK(alternative.size() >= 3);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool loaded = (engine::LoadPlatformInformation(), true);
  (void)loaded;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto check = engine::ParseSignatureFile(kName, bytes);

  const std::string plain = WithLineFeeds(bytes);
  const int lines = static_cast<int>(std::count(plain.begin(), plain.end(), '\n')) + 1;
  int previous = 0;
  for (const auto& error : check.errors) {
    FUZZ_CHECK(error.starts_with(std::string(kName) + ":"));
    const char* number = error.c_str() + kName.size() + 1;
    char* end = nullptr;
    const long line = std::strtol(number, &end, 10);
    FUZZ_CHECK(end != number && std::string_view(end).starts_with(": "));
    FUZZ_CHECK(line >= previous && line >= 1 && line <= lines);
    previous = static_cast<int>(line);
    FUZZ_CHECK(error.find('\n') == std::string::npos);
  }

  // The same file with line feeds alone reads the same.
  const auto again = engine::ParseSignatureFile(kName, plain);
  FUZZ_CHECK(again.errors == check.errors);
  FUZZ_CHECK(SameEntries(again.file.plain, check.file.plain) && SameEntries(again.file.regex, check.file.regex) &&
             SameEntries(again.file.generator, check.file.generator));
  FUZZ_CHECK(again.file.platforms.size() == check.file.platforms.size());

  const auto& file = check.file;
  if (!check.errors.empty()) {
    FUZZ_CHECK(file.platforms.empty() && file.plain.empty() && file.regex.empty() && file.generator.empty());
    return 0;
  }
  std::set<std::u16string> codes;
  for (const auto& platform : file.platforms) {
    FUZZ_CHECK(engine::IsValidPlatformCode(platform.code) && !platform.name.empty());
    FUZZ_CHECK(codes.insert(platform.code).second);
    FUZZ_CHECK(platform.line >= 1 && platform.line <= lines);
  }
  CheckEntries(file.plain, lines, true);
  CheckEntries(file.regex, lines, true);
  CheckEntries(file.generator, lines, false);

  // What the reader accepts compiles with the built-in tables, and a page
  // made of the file itself is identified without fault.
  if (file.plain.size() + file.regex.size() + file.generator.size() <= 16) {
    std::vector<engine::TSignatureFile> files{file};
    const engine::TExtraSignatures extras(std::move(files));
    std::u16string page;
    for (const char c : bytes) page += static_cast<char16_t>(static_cast<unsigned char>(c));
    (void)engine::IdentifyPageWithEvidence(page, u"", &extras);
  }
  return 0;
}
