// Page and header identification, as lumasift-cli --page/--headers reads
// saved files: the input is the header text, a NUL, then the page (no NUL:
// all of it is the page). Identifying the same texts twice gives the same
// platforms text, and a page that is an error text is its own result.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cli/text_file.h"
#include "engine/identify.h"
#include "fetch/body_decoding.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  engine::LoadPlatformInformation();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string_view headerBytes = nul == std::string_view::npos ? std::string_view() : input.substr(0, nul);
  const std::string_view pageBytes = nul == std::string_view::npos ? input : input.substr(nul + 1);

  const std::u16string page = fetch::NormaliseLines(cli::DecodeBytes(pageBytes));
  const std::u16string headers = fetch::NormaliseLines(cli::DecodeBytes(headerBytes));
  const std::u16string first = engine::IdentifySite(page, headers);
  const std::u16string second = engine::IdentifySite(page, headers);
  FUZZ_CHECK(first == second);
  if (page.starts_with(u"Error: ")) FUZZ_CHECK(first == page);
  // The parts the whole is made of are as stable.
  FUZZ_CHECK(engine::FindByHeaders(headers) == engine::FindByHeaders(headers));
  FUZZ_CHECK(engine::FindBySignature(page) == engine::FindBySignature(page));
  FUZZ_CHECK(engine::FindByRegEx(page) == engine::FindByRegEx(page));
  return 0;
}
