// The web archive reader and the decoding of the responses it finds. Input:
// one byte for the size of the reads the archive arrives in and the block
// limit, then the archive (plain or gzip). The records and problems do not
// depend on how the bytes arrive; offsets never go back; a block never
// holds more than the limit nor more than its length, and says it is cut
// exactly when it holds less than its length; every response's page text
// stays within the body cap's line form.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fetch/body_decoding.h"
#include "fetch/recorded_response.h"
#include "fuzz/fuzz_support.h"
#include "saved/warc_reader.h"

namespace {

struct TRead {
  std::vector<saved::WarcRecord> records;
  std::vector<saved::ArchiveProblem> problems;
};

TRead ReadAll(std::string_view archive, std::size_t piece, std::size_t limit) {
  saved::MemoryInput input(archive, piece);
  saved::WarcReader::Options options;
  options.blockLimit = limit;
  saved::WarcReader reader(input, options);
  TRead read;
  while (auto record = reader.Next(read.problems)) read.records.push_back(std::move(*record));
  return read;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::size_t piece = data[0] % 32 + 1;
  // Small limits so that short inputs reach them, and the real one.
  const std::size_t limit = data[0] >= 0xC0 ? saved::WarcReader::kDefaultBlockLimit : std::size_t{data[0]} * 4 + 1;
  const std::string_view archive(reinterpret_cast<const char*>(data) + 1, size - 1);

  const TRead whole = ReadAll(archive, SIZE_MAX, limit);
  const TRead pieces = ReadAll(archive, piece, limit);
  FUZZ_CHECK(whole.records.size() == pieces.records.size());
  FUZZ_CHECK(whole.problems.size() == pieces.problems.size());
  for (std::size_t i = 0; i < whole.problems.size(); ++i) {
    FUZZ_CHECK(whole.problems[i].offset == pieces.problems[i].offset);
    FUZZ_CHECK(whole.problems[i].text == pieces.problems[i].text);
  }
  std::uint64_t lastOffset = 0;
  for (std::size_t i = 0; i < whole.records.size(); ++i) {
    const saved::WarcRecord& r = whole.records[i];
    const saved::WarcRecord& p = pieces.records[i];
    FUZZ_CHECK(r.offset == p.offset && r.length == p.length && r.block == p.block && r.cut == p.cut);
    FUZZ_CHECK(r.fields == p.fields && r.version == p.version);
    FUZZ_CHECK(r.offset >= lastOffset);
    lastOffset = r.offset;
    FUZZ_CHECK(r.block.size() <= limit && r.block.size() <= r.length);
    FUZZ_CHECK(r.cut == (r.block.size() < r.length));

    const fetch::RecordedPage page = fetch::DecodeRecordedResponse(r.block, r.cut);
    FUZZ_CHECK(!page.failed || page.pageText.starts_with(u"Error: "));
    FUZZ_CHECK(page.pageText.size() <= 2 * fetch::kMaxBodyBytes + 2);
    FUZZ_CHECK(fetch::NormaliseLines(page.pageText) == page.pageText || page.failed);
  }
  return 0;
}
