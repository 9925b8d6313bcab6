#pragma once
// The bytes of a web archive as its records are read from them: the file's
// own bytes, or, for a gzip-compressed file, its members decompressed one
// after another (a member per record as crawlers write them, or one stream
// for the whole file). Positions count these bytes from 0.
//
// A member that cannot be decompressed is reported and left: the bytes it
// gave so far stay, the next member found after it follows them, and a
// boundary marked `broken` tells the reader that what came before it was
// cut off. Bytes between members that are no member are reported and
// passed over.
//
// Threads: one stream belongs to one thread at a time.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "saved/byte_input.h"

namespace saved {

// Damage met while reading, at the file offset where it was met.
struct ArchiveProblem {
  std::uint64_t offset = 0;
  std::string text;
};

class ArchiveStream {
 public:
  // Where a gzip member begins among the decoded bytes.
  struct Boundary {
    std::uint64_t position = 0;
    std::uint64_t fileOffset = 0;
    bool broken = false;  // the member before it was damaged: its bytes end early
  };

  explicit ArchiveStream(ByteInput& input);
  ~ArchiveStream();
  ArchiveStream(const ArchiveStream&) = delete;
  ArchiveStream& operator=(const ArchiveStream&) = delete;

  // Appends the next decoded bytes (up to a few hundred KiB) to `out`. False
  // when none are left: the input ended, could not be read (ReadError()), or
  // `stop` (may be empty) said so.
  bool Fill(std::string& out, const std::function<bool()>& stop);

  bool Compressed() const { return mode_ == Mode::Gzip; }
  // Decoded bytes handed out so far.
  std::uint64_t Position() const { return position_; }
  // The file offset of the decoded byte at `position`: itself in a plain
  // file, the start of the member that holds it in a compressed one.
  std::uint64_t FileOffsetOf(std::uint64_t position) const;
  // The first boundary after `position`, or null.
  const Boundary* BoundaryAfter(std::uint64_t position) const;
  // The boundary exactly at `position`, or null.
  const Boundary* BoundaryAt(std::uint64_t position) const;
  // Forgets the boundaries before `position` but the ones that hold `keep`
  // (at or before `position`) and `position`, and the broken ones after `keep`.
  void Forget(std::uint64_t keep, std::uint64_t position);
  // Whether a broken boundary lies after `from`, at or before `to`.
  bool BrokenBetween(std::uint64_t from, std::uint64_t to) const;
  // Bytes of a plain file after `position`, when the file's size is known.
  std::optional<std::uint64_t> PlainBytesAfter(std::uint64_t position) const;

  // The problems met whose bytes come at or before `position` of the
  // decoded bytes (a damaged member's where its bytes end, bytes that are
  // no member where the next member's begin), not taken before, in order.
  // Taken as the reader passes them, they come in the order of the bytes
  // whatever the sizes of the reads.
  std::vector<ArchiveProblem> TakeProblems(std::uint64_t position);
  const std::string& ReadError() const { return input_.Error(); }
  bool Failed() const { return failed_; }

 private:
  enum class Mode { Unknown, Plain, Gzip };
  // How far into a file whose first bytes are neither a record nor a
  // member the search for either goes.
  static constexpr std::size_t kSniffBytes = 64 * 1024;
  bool OpensCompressed();
  bool ReadMore();
  std::ptrdiff_t ReadInput();  // into scratch_; 0 or less: the input ended
  std::size_t InputLeft() const { return in_.size() - inPos_; }
  std::uint64_t InputOffset() const { return inStart_ + inPos_; }
  bool FillGzip(std::string& out, const std::function<bool()>& stop);
  bool StartMember();
  // Moves to the next gzip member header at or after file offset `from`
  // (the input read so far permitting); `report`: the bytes passed over are
  // a problem of their own.
  void SkipToNextMember(std::uint64_t from, bool report);

  ByteInput& input_;
  Mode mode_ = Mode::Unknown;
  std::unique_ptr<char[]> scratch_;  // one read of the input
  std::unique_ptr<char[]> decoded_;  // one inflate's output
  std::vector<char> in_;   // input bytes read and not yet passed on (and the current member's start, when near)
  std::size_t inPos_ = 0;  // next input byte to use
  std::uint64_t inStart_ = 0;  // file offset of in_[0]
  bool inputEnded_ = false;
  bool failed_ = false;

  z_stream zs_{};
  bool zInit_ = false;
  bool inMember_ = false;
  std::uint64_t memberStart_ = 0;
  bool brokenPending_ = false;  // the next boundary follows a damaged member

  std::uint64_t position_ = 0;
  std::deque<Boundary> boundaries_;
  struct PendingProblem {
    std::uint64_t position;
    ArchiveProblem problem;
  };
  std::deque<PendingProblem> problems_;
};

}  // namespace saved
