#pragma once
// Reading web archives (WARC 1.0 and 1.1): one record after another from a
// file, a pipe or standard input, plain or gzip-compressed, in memory that
// does not grow with the archive: the reader holds at most one record's
// header (64 KiB) and the first `blockLimit` bytes of its block, and passes
// over the rest of a longer block without keeping it.
//
// Damage does not stop the reader. Each of these is reported as a problem
// with the file offset where it lies, and reading goes on at the next record
// found:
//   - bytes between records that are no record (garbage, a record whose
//     Content-Length was too short);
//   - a record header that does not end within 64 KiB, or has no valid
//     Content-Length (the record is skipped);
//   - a Content-Length beyond the end of a plain file, or beyond the end of
//     the record's gzip member when a new record begins there (skipped);
//   - a gzip member that cannot be decompressed (the record in it is
//     skipped), and bytes between members that are no member.
// A file that ends inside a record ends with the record before it; the
// cut-off record is reported.
//
// Offsets: a record's is where it begins in a plain file, and where the gzip
// member it begins in begins in a compressed one (as archive indexes give
// it); a problem's is the offset of what it is about.
//
// Threads: one reader belongs to one thread at a time.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "saved/archive_stream.h"
#include "saved/byte_input.h"

namespace saved {

struct WarcRecord {
  std::uint64_t offset = 0;
  std::string version;  // the first line: "WARC/1.0", "WARC/1.1"
  // The named fields in order: name as written, value without the blanks
  // around it (continuation lines joined with one blank).
  std::vector<std::pair<std::string, std::string>> fields;
  std::uint64_t length = 0;  // Content-Length: the block's bytes
  std::string block;         // the block's first bytes (at most the limit); empty when not kept
  bool cut = false;          // `block` holds fewer than `length` bytes

  // The value of the first field of that name (ASCII case ignored), or null.
  const std::string* Field(std::string_view name) const;
  std::string Type() const;       // WARC-Type
  std::string TargetUri() const;  // WARC-Target-URI, without the <> some writers put around it
  std::string Date() const;       // WARC-Date
};

class WarcReader {
 public:
  // Bytes of a block kept at most by default: a page body at the fetch's cap
  // and room for its HTTP head.
  static constexpr std::size_t kDefaultBlockLimit = (std::size_t{16} << 20) + (std::size_t{1} << 20);
  static constexpr std::size_t kMaxHeaderBytes = std::size_t{64} << 10;

  struct Options {
    std::size_t blockLimit = kDefaultBlockLimit;
    // Asked once a record's header is read (its block still empty): whether
    // to keep its block. Null: keep every block.
    std::function<bool(const WarcRecord&)> keepBlock;
    // Asked between reads: true ends Next() promptly as at the end of the
    // input. Null: never.
    std::function<bool()> stop;
    // Receives each problem as the reader passes the bytes it is about (so
    // in their order, whatever the sizes of the reads), during Next().
    // Null: Next(problems) collects them.
    std::function<void(const ArchiveProblem&)> problem;
  };

  WarcReader(ByteInput& input, Options options);
  explicit WarcReader(ByteInput& input) : WarcReader(input, Options()) {}

  // The next whole record, or nothing at the end of the input; problems met
  // on the way go to Options::problem.
  std::optional<WarcRecord> Next();
  // The same, the problems appended to `problems` (without Options::problem).
  std::optional<WarcRecord> Next(std::vector<ArchiveProblem>& problems);

  bool Compressed() const { return stream_.Compressed(); }
  // Set when the input could not be read to its end: the error's text.
  std::string ReadError() const { return stream_.Failed() ? stream_.ReadError() : std::string(); }

 private:
  enum class Parse { Record, Skipped, End };
  Parse ReadRecord(WarcRecord& record);
  bool More();
  std::size_t Available() const { return buf_.size() - pos_; }
  std::uint64_t Here() const { return bufStart_ + pos_; }
  void MoveTo(std::uint64_t position) { pos_ = static_cast<std::size_t>(position - bufStart_); }
  bool AtRecordStart();
  bool Stopped() const { return options_.stop && options_.stop(); }
  // Passes over bytes up to the next record start, reporting them as a
  // problem when `report`; false when the input ended first.
  bool SkipGarbage(bool report);
  // A problem of the record (or bytes) at `position`, reported once the
  // reader is past it; left out when a damaged gzip member lies in between.
  void Report(std::uint64_t position, std::string text);
  // Hands out the stream's problems up to `position`.
  void Release(std::uint64_t position);
  void Emit(ArchiveProblem problem);

  ArchiveStream stream_;
  Options options_;
  std::string buf_;            // decoded bytes not yet used (from buf_[pos_])
  std::size_t pos_ = 0;
  std::uint64_t bufStart_ = 0;  // stream position of buf_[0]
  std::uint64_t anchor_ = 0;    // the earliest position a report may still name
  std::vector<ArchiveProblem>* collect_ = nullptr;  // Next(problems)'s
  bool ended_ = false;
};

}  // namespace saved
