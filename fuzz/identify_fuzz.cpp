// Page and header identification, as lumasift-cli --page/--headers reads
// saved files: the input is the header text, a NUL, then the page (no NUL:
// all of it is the page). Identifying the same texts twice gives the same
// platforms text, and a page that is an error text is its own result.
//
// With the shipped extra signatures, the single pass must find what a
// straightforward matcher finds: per table, the first entry (built-in ones
// first, then the shipped set's) one of whose alternatives occurs in the
// page as a substring (plain) or that PCRE2 matches over the whole page
// (expressions), with the same evidence offsets.
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "saved/page_file.h"
#include "engine/compiled_signatures.h"
#include "engine/extra_signatures.h"
#include "engine/identify.h"
#include "engine/regex_compile.h"
#include "engine/signature_tables.h"
#include "fetch/body_decoding.h"
#include "fuzz/fuzz_support.h"

namespace {

struct TStraightforward {
  std::unique_ptr<engine::TExtraSignatures> extras;
  std::vector<std::vector<std::u16string>> plain;              // per entry, its alternatives
  std::vector<std::vector<pcre2_code*>> regex;                 // per entry, its alternatives
  pcre2_match_data* data = pcre2_match_data_create(1, nullptr);
};

TStraightforward& Reference() {
  static TStraightforward* reference = [] {
    auto* r = new TStraightforward;
    auto shipped = engine::LoadSignatureFile(LUMASIFT_SHIPPED_SIGNATURES);
    FUZZ_CHECK(shipped.errors.empty());
    auto addPlain = [&](std::u16string_view entry) {
      std::vector<std::u16string> alternatives;
      if (const auto parsed = engine::ParseSignatureEntry(entry)) {
        for (const auto a : parsed->alternatives) alternatives.emplace_back(a);
      }
      r->plain.push_back(std::move(alternatives));
    };
    auto addRegex = [&](std::u16string_view entry) {
      std::vector<pcre2_code*> codes;
      if (const auto parsed = engine::ParseSignatureEntry(entry)) {
        for (const auto a : parsed->alternatives) {
          codes.push_back(a.empty() ? nullptr : engine::detail::CompileSignatureRegex(a).code);
        }
      }
      r->regex.push_back(std::move(codes));
    };
    for (const auto entry : engine::PlainSignatures()) addPlain(entry);
    for (const auto& entry : shipped.file.plain) addPlain(entry.text);
    for (const auto entry : engine::RegExSignatures()) addRegex(entry);
    for (const auto& entry : shipped.file.regex) addRegex(entry.text);
    r->extras = std::make_unique<engine::TExtraSignatures>(std::vector<engine::TSignatureFile>{shipped.file});
    return r;
  }();
  return *reference;
}

// The engine's hits with the shipped set against the straightforward ones.
void CheckAgainstStraightforward(std::u16string_view page) {
  TStraightforward& r = Reference();
  const auto& set = r.extras->Set();
  const auto scan = engine::detail::ScanPage(set, page);

  engine::detail::TTableHit plain;
  for (std::size_t e = 0; e < r.plain.size() && plain.entry < 0; ++e) {
    std::size_t best = std::u16string_view::npos;
    for (std::size_t a = 0; a < r.plain[e].size(); ++a) {
      if (r.plain[e][a].empty()) continue;
      const auto at = page.find(r.plain[e][a]);
      if (at == std::u16string_view::npos || at >= best) continue;
      best = at;
      plain = {static_cast<int>(e), a, at, r.plain[e][a].size(), {}};
    }
  }
  const auto engPlain = engine::detail::PlainHit(set, scan, page);
  FUZZ_CHECK(engPlain.entry == plain.entry);
  if (plain.entry >= 0) FUZZ_CHECK(engPlain.offset == plain.offset && engPlain.length == plain.length);

  engine::detail::TTableHit regex;
  const auto subject = reinterpret_cast<PCRE2_SPTR>(page.data());
  for (std::size_t e = 0; e < r.regex.size() && regex.entry < 0; ++e) {
    for (std::size_t a = 0; a < r.regex[e].size() && regex.entry < 0; ++a) {
      if (r.regex[e][a] == nullptr) continue;
      int rc = pcre2_match(r.regex[e][a], subject, page.size(), 0, PCRE2_NOTEMPTY, r.data, nullptr);
      if (rc < 0 && rc != PCRE2_ERROR_NOMATCH) {
        rc = pcre2_match(r.regex[e][a], subject, page.size(), 0, PCRE2_NOTEMPTY | PCRE2_NO_JIT, r.data, nullptr);
      }
      if (rc < 0) continue;
      const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(r.data);
      regex = {static_cast<int>(e), a, ovector[0], ovector[1] - ovector[0], {}};
    }
  }
  const auto engRegex = engine::detail::RegExHit(set, scan, page);
  // An expression that stopped at its limit is undecided; the straightforward
  // matcher has no limits to compare with.
  if (!engRegex.stopped.empty()) return;
  FUZZ_CHECK(engRegex.entry == regex.entry);
  if (regex.entry >= 0) {
    FUZZ_CHECK(engRegex.alternative == regex.alternative && engRegex.offset == regex.offset &&
               engRegex.length == regex.length);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  engine::LoadPlatformInformation();
  Reference();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string_view headerBytes = nul == std::string_view::npos ? std::string_view() : input.substr(0, nul);
  const std::string_view pageBytes = nul == std::string_view::npos ? input : input.substr(nul + 1);

  const std::u16string page = saved::PageFileText(pageBytes);
  const std::u16string headers = saved::PageFileText(headerBytes);
  const std::u16string first = engine::IdentifySite(page, headers);
  const std::u16string second = engine::IdentifySite(page, headers);
  FUZZ_CHECK(first == second);
  if (page.starts_with(u"Error: ")) FUZZ_CHECK(first == page);
  // The parts the whole is made of are as stable.
  FUZZ_CHECK(engine::FindByHeaders(headers) == engine::FindByHeaders(headers));
  FUZZ_CHECK(engine::FindBySignature(page) == engine::FindBySignature(page));
  FUZZ_CHECK(engine::FindByRegEx(page) == engine::FindByRegEx(page));
  CheckAgainstStraightforward(page);
  return 0;
}
