// The --resume reader: the input (after its first byte, which chooses the
// format asked for and the size of the blocks the bytes come in) is a resume
// file as found. Whatever it holds, only a cut-off last line may be cut away:
// every byte up to the last line feed is kept or the file is refused. What
// is kept reads back the same, blocks of any size read the same as the whole,
// and a record the tool appends to what is kept is read as one more record.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/resume_file.h"
#include "fuzz/fuzz_support.h"

namespace {

struct TScan {
  std::optional<cli::TResumeFile> file;
  qint64 line = 0;
  QString reason;
};

TScan Scan(std::string_view bytes, std::optional<cli::TFormat> asked, std::size_t block) {
  cli::TResumeReader reader(asked);
  for (std::size_t at = 0; at < bytes.size(); at += block) reader.Feed(bytes.substr(at, block));
  TScan scan;
  scan.file = reader.Finish();
  scan.line = reader.Line();
  scan.reason = reader.Reason();
  return scan;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t control = data[0];
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::optional<cli::TFormat> asked = control % 3 == 0   ? std::nullopt
                                            : control % 3 == 1 ? std::optional(cli::TFormat::Csv)
                                                               : std::optional(cli::TFormat::Jsonl);
  const TScan whole = Scan(input, asked, input.size() + 1);
  const TScan blocks = Scan(input, asked, control / 3 % 16 + 1);
  FUZZ_CHECK(whole.file.has_value() == blocks.file.has_value());
  FUZZ_CHECK(whole.line == blocks.line && whole.reason == blocks.reason);

  if (!whole.file) {
    // The line named is one of the file's.
    FUZZ_CHECK(whole.line >= 1 && whole.line <= static_cast<qint64>(std::count(input.begin(), input.end(), '\n')) + 1);
    FUZZ_CHECK(!whole.reason.isEmpty());
    return 0;
  }
  const cli::TResumeFile& file = *whole.file;
  FUZZ_CHECK(file.keepBytes == blocks.file->keepBytes && file.records == blocks.file->records);
  FUZZ_CHECK(file.lineEnd == blocks.file->lineEnd && file.start == blocks.file->start &&
             file.format == blocks.file->format);
  if (asked) FUZZ_CHECK(file.format == *asked);
  FUZZ_CHECK(file.format == cli::TFormat::Csv || file.format == cli::TFormat::Jsonl);
  FUZZ_CHECK(file.keepBytes >= 0 && file.keepBytes <= static_cast<qint64>(input.size()));
  // Only the last line may be cut: no line feed in what is cut away.
  const std::string_view kept = input.substr(0, static_cast<std::size_t>(file.keepBytes));
  FUZZ_CHECK(input.substr(kept.size()).find('\n') == std::string_view::npos);
  FUZZ_CHECK(file.done.Size() <= static_cast<std::size_t>(file.records));
  FUZZ_CHECK(file.lineEnd == "\n" || file.lineEnd == "\r\n");

  // What is kept reads back as it is, nothing cut.
  const TScan again = Scan(kept, file.format, kept.size() + 1);
  FUZZ_CHECK(again.file.has_value());
  FUZZ_CHECK(again.file->keepBytes == file.keepBytes && again.file->records == file.records);

  // A record appended as the tool appends it is one more record.
  std::string appended(kept);
  appended.append(file.start.constData(), static_cast<std::size_t>(file.start.size()));
  appended += file.format == cli::TFormat::Jsonl ? "{\"url\":\"http://x.example/\",\"platforms\":[]}" : "http://x.example/,Plat";
  appended.append(file.lineEnd.constData(), static_cast<std::size_t>(file.lineEnd.size()));
  const TScan grown = Scan(appended, file.format, appended.size() + 1);
  FUZZ_CHECK(grown.file.has_value());
  FUZZ_CHECK(grown.file->records == file.records + 1);
  FUZZ_CHECK(grown.file->keepBytes == static_cast<qint64>(appended.size()));
  return 0;
}
