#include "saved/archive_stream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

namespace saved {

namespace {

// Bytes read from the input at a time, and decoded bytes handed out at a time.
constexpr std::size_t kReadBlock = std::size_t{256} << 10;
constexpr std::size_t kFillBlock = std::size_t{256} << 10;
// The first bytes of the current member are kept while it is no longer
// than this, so that after damage the search for the next member starts
// right after the damaged one's header.
constexpr std::uint64_t kKeepMember = std::uint64_t{1} << 20;

// A gzip member's header: the magic bytes, deflate, no reserved flag.
bool IsMemberHeader(const char* p, std::size_t available) {
  if (available < 3) return false;
  if (static_cast<unsigned char>(p[0]) != 0x1F || static_cast<unsigned char>(p[1]) != 0x8B || p[2] != 8) return false;
  return available < 4 || (static_cast<unsigned char>(p[3]) & 0xE0) == 0;
}

}  // namespace

ArchiveStream::ArchiveStream(ByteInput& input) : input_(input) {}

ArchiveStream::~ArchiveStream() {
  if (zInit_) inflateEnd(&zs_);
}

bool ArchiveStream::ReadMore() {
  if (inputEnded_) return false;
  // Bytes already used go, except the current member's first ones while near.
  std::size_t keep = inPos_;
  if (inMember_ && memberStart_ >= inStart_ && InputOffset() - memberStart_ <= kKeepMember)
    keep = static_cast<std::size_t>(memberStart_ - inStart_);
  if (keep > 0) {
    in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(keep));
    inStart_ += keep;
    inPos_ -= keep;
  }
  const std::ptrdiff_t n = ReadInput();
  if (n <= 0) return false;
  in_.insert(in_.end(), scratch_.get(), scratch_.get() + n);
  return true;
}

std::ptrdiff_t ArchiveStream::ReadInput() {
  // Reads land in a buffer of their own: growing a buffer by a whole block
  // for each read would clear the block each time, however little came.
  if (!scratch_) scratch_.reset(new char[kReadBlock]);  // not cleared: every byte read is written first
  const std::ptrdiff_t n = input_.Read(scratch_.get(), kReadBlock);
  if (n <= 0) {
    inputEnded_ = true;
    failed_ = n < 0;
  }
  return n;
}

bool ArchiveStream::Fill(std::string& out, const std::function<bool()>& stop) {
  if (stop && stop()) return false;
  if (mode_ == Mode::Unknown) {
    mode_ = OpensCompressed() ? Mode::Gzip : Mode::Plain;
    if (mode_ == Mode::Plain) boundaries_.push_back({0, 0, false});
  }
  if (mode_ == Mode::Gzip) return FillGzip(out, stop);
  // Plain: what is buffered first, then straight from the input.
  if (InputLeft() > 0) {
    out.append(in_.data() + inPos_, InputLeft());
    position_ += InputLeft();
    inStart_ += in_.size();
    in_.clear();
    inPos_ = 0;
    return true;
  }
  if (inputEnded_) return false;
  const std::ptrdiff_t n = ReadInput();
  if (n <= 0) return false;
  out.append(scratch_.get(), static_cast<std::size_t>(n));
  position_ += static_cast<std::uint64_t>(n);
  inStart_ += static_cast<std::uint64_t>(n);
  return true;
}

bool ArchiveStream::OpensCompressed() {
  while (InputLeft() < 5 && ReadMore()) {
  }
  if (IsMemberHeader(in_.data() + inPos_, InputLeft())) return true;
  if (InputLeft() >= 5 && std::memcmp(in_.data() + inPos_, "WARC/", 5) == 0) return false;
  // Damaged first bytes: a gzip file stays one when a member's header comes
  // before any record's version line in its opening bytes, so that one bad
  // sector does not make every member that follows garbage.
  while (InputLeft() < kSniffBytes && ReadMore()) {
  }
  const std::string_view head(in_.data() + inPos_, std::min(InputLeft(), kSniffBytes));
  const std::size_t version = head.find("WARC/");
  for (std::size_t at = head.find('\x1F'); at < version && at != std::string_view::npos; at = head.find('\x1F', at + 1)) {
    if (head.size() - at >= 4 && IsMemberHeader(head.data() + at, head.size() - at)) return true;
  }
  return false;
}

bool ArchiveStream::StartMember() {
  if (!IsMemberHeader(in_.data() + inPos_, InputLeft())) return false;
  const int rc = zInit_ ? inflateReset2(&zs_, 16 + MAX_WBITS) : inflateInit2(&zs_, 16 + MAX_WBITS);
  if (rc != Z_OK) throw std::bad_alloc();
  zInit_ = true;
  inMember_ = true;
  memberStart_ = InputOffset();
  // Members that gave no bytes share their position with the next one.
  if (!boundaries_.empty() && boundaries_.back().position == position_) {
    boundaries_.back().fileOffset = memberStart_;
    boundaries_.back().broken = boundaries_.back().broken || brokenPending_;
  } else {
    boundaries_.push_back({position_, memberStart_, brokenPending_});
  }
  brokenPending_ = false;
  return true;
}

void ArchiveStream::SkipToNextMember(std::uint64_t from, bool report) {
  if (from < inStart_ || from > inStart_ + in_.size()) from = InputOffset();
  inPos_ = static_cast<std::size_t>(from - inStart_);
  const std::uint64_t start = InputOffset();
  for (;;) {
    const char* end = in_.data() + in_.size();
    const char* hit = in_.data() + inPos_;
    bool partial = false;  // a candidate cut by the read: more bytes will tell
    while ((hit = static_cast<const char*>(std::memchr(hit, 0x1F, static_cast<std::size_t>(end - hit)))) != nullptr) {
      if (end - hit < 4 && !inputEnded_) {
        partial = true;
        break;
      }
      if (IsMemberHeader(hit, static_cast<std::size_t>(end - hit))) break;
      ++hit;
    }
    if (hit != nullptr && !partial) {
      inPos_ = static_cast<std::size_t>(hit - in_.data());
      break;
    }
    inPos_ = hit != nullptr ? static_cast<std::size_t>(hit - in_.data()) : in_.size();
    if (!ReadMore() && !partial) {
      inPos_ = in_.size();
      break;
    }
  }
  if (report && InputOffset() > start)
    problems_.push_back({position_, {start, std::to_string(InputOffset() - start) + " bytes that are no gzip member skipped"}});
}

bool ArchiveStream::FillGzip(std::string& out, const std::function<bool()>& stop) {
  const std::size_t before = out.size();
  while (out.size() == before) {
    if (stop && stop()) return false;
    if (!inMember_) {
      while (InputLeft() < 4 && ReadMore()) {
      }
      if (InputLeft() == 0) return false;
      if (!StartMember()) {
        SkipToNextMember(InputOffset(), true);
        continue;
      }
    }
    if (InputLeft() == 0 && !ReadMore()) {
      // The file ends inside this member: what it gave is all there is.
      inMember_ = false;
      return false;
    }
    if (!decoded_) decoded_.reset(new char[kFillBlock]);
    zs_.next_in = reinterpret_cast<Bytef*>(in_.data() + inPos_);
    zs_.avail_in = static_cast<uInt>(std::min<std::size_t>(InputLeft(), UINT32_MAX));
    zs_.next_out = reinterpret_cast<Bytef*>(decoded_.get());
    zs_.avail_out = static_cast<uInt>(kFillBlock);
    const uInt offered = zs_.avail_in;
    const int rc = inflate(&zs_, Z_NO_FLUSH);
    inPos_ += offered - zs_.avail_in;
    const std::size_t produced = kFillBlock - zs_.avail_out;
    out.append(decoded_.get(), produced);
    position_ += produced;
    if (rc == Z_STREAM_END) {
      inMember_ = false;
    } else if (rc != Z_OK && !(rc == Z_BUF_ERROR && InputLeft() == 0)) {
      problems_.push_back(
          {position_, {memberStart_, "gzip member cannot be decompressed (zlib error " + std::to_string(rc) + ")"}});
      inMember_ = false;
      brokenPending_ = true;
      SkipToNextMember(memberStart_ + 1, false);
    }
  }
  return true;
}

std::uint64_t ArchiveStream::FileOffsetOf(std::uint64_t position) const {
  if (mode_ != Mode::Gzip) return position;
  std::uint64_t offset = boundaries_.empty() ? 0 : boundaries_.front().fileOffset;
  for (const Boundary& b : boundaries_) {
    if (b.position > position) break;
    offset = b.fileOffset;
  }
  return offset;
}

const ArchiveStream::Boundary* ArchiveStream::BoundaryAfter(std::uint64_t position) const {
  for (const Boundary& b : boundaries_)
    if (b.position > position) return &b;
  return nullptr;
}

const ArchiveStream::Boundary* ArchiveStream::BoundaryAt(std::uint64_t position) const {
  for (const Boundary& b : boundaries_)
    if (b.position == position) return &b;
  return nullptr;
}

void ArchiveStream::Forget(std::uint64_t keep, std::uint64_t position) {
  // Before `keep`: only the boundary that holds it.
  while (boundaries_.size() >= 2 && boundaries_[1].position <= keep) boundaries_.pop_front();
  // Between the two: the broken ones, and the one that holds `position`.
  std::size_t last = 1;
  while (last + 1 < boundaries_.size() && boundaries_[last + 1].position <= position) ++last;
  if (last > 1 && last < boundaries_.size()) {
    const auto end = boundaries_.begin() + static_cast<std::ptrdiff_t>(last);
    boundaries_.erase(std::remove_if(boundaries_.begin() + 1, end, [](const Boundary& b) { return !b.broken; }), end);
  }
}

std::optional<std::uint64_t> ArchiveStream::PlainBytesAfter(std::uint64_t position) const {
  const std::optional<std::uint64_t> size = input_.Size();
  if (mode_ != Mode::Plain || !size || *size < position) return std::nullopt;
  return *size - position;
}

std::vector<ArchiveProblem> ArchiveStream::TakeProblems(std::uint64_t position) {
  std::vector<ArchiveProblem> taken;
  while (!problems_.empty() && problems_.front().position <= position) {
    taken.push_back(std::move(problems_.front().problem));
    problems_.pop_front();
  }
  return taken;
}

bool ArchiveStream::BrokenBetween(std::uint64_t from, std::uint64_t to) const {
  for (const Boundary& b : boundaries_)
    if (b.broken && b.position > from && b.position <= to) return true;
  return false;
}

}  // namespace saved
