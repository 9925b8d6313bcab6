#include "saved/warc_reader.h"

#include <algorithm>
#include <cstring>

#include "fetch/response_head.h"

namespace saved {

namespace {

constexpr std::string_view kRecordStart = "WARC/1.";
// "WARC/1.1" CR LF: a record's whole version line.
constexpr std::size_t kVersionLine = 10;
// A block's first allocation at most.
constexpr std::uint64_t kFirstBlockRoom = std::uint64_t{1} << 20;
// Used bytes are dropped from the front of the buffer once there are this many.
constexpr std::size_t kDropUsed = std::size_t{1} << 20;

// A Content-Length value: decimal digits only.
std::optional<std::uint64_t> Length(std::string_view text) {
  text = fetch::TrimBlanks(text);
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::string_view WithoutCr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

const std::string* WarcRecord::Field(std::string_view name) const {
  for (const auto& [n, v] : fields)
    if (fetch::EqualsNoCase(n, name)) return &v;
  return nullptr;
}

std::string WarcRecord::Type() const {
  const std::string* value = Field("WARC-Type");
  return value ? *value : std::string();
}

std::string WarcRecord::TargetUri() const {
  const std::string* value = Field("WARC-Target-URI");
  if (!value) return {};
  std::string_view uri = *value;
  if (uri.size() >= 2 && uri.front() == '<' && uri.back() == '>') uri = fetch::TrimBlanks(uri.substr(1, uri.size() - 2));
  return std::string(uri);
}

std::string WarcRecord::Date() const {
  const std::string* value = Field("WARC-Date");
  return value ? *value : std::string();
}

WarcReader::WarcReader(ByteInput& input, Options options) : stream_(input), options_(std::move(options)) {}

bool WarcReader::More() {
  if (ended_) return false;
  if (pos_ >= kDropUsed || (pos_ > 0 && pos_ == buf_.size())) {
    buf_.erase(0, pos_);
    bufStart_ += pos_;
    pos_ = 0;
    // The members of bytes already used may still be named by a report.
    stream_.Forget(std::min(bufStart_, anchor_), bufStart_);
  }
  if (!stream_.Fill(buf_, options_.stop)) {
    ended_ = true;
    return false;
  }
  return true;
}

bool WarcReader::AtRecordStart() {
  while (Available() < kRecordStart.size() && More()) {
  }
  return std::string_view(buf_).substr(pos_).starts_with(kRecordStart);
}

void WarcReader::Emit(ArchiveProblem problem) {
  if (options_.problem)
    options_.problem(problem);
  else if (collect_ != nullptr)
    collect_->push_back(std::move(problem));
}

void WarcReader::Release(std::uint64_t position) {
  for (ArchiveProblem& p : stream_.TakeProblems(position)) Emit(std::move(p));
}

void WarcReader::Report(std::uint64_t position, std::string text) {
  Release(position);
  // A damaged gzip member's bytes, decoded up to the damage, may also look
  // like a broken record; the member's damage (reported on its own) says
  // what happened there.
  if (stream_.BrokenBetween(position, Here())) return;
  Emit({stream_.FileOffsetOf(position), std::move(text)});
}

bool WarcReader::SkipGarbage(bool report) {
  const std::uint64_t start = Here();
  if (report) anchor_ = start;
  bool found = false;
  for (;;) {
    std::size_t hit = buf_.find(kRecordStart, pos_);
    bool undecided = false;
    while (hit != std::string::npos) {
      // A record begins at the start of a line (or of the stream, or of a
      // member), or wherever its whole version line stands.
      const std::uint64_t at = bufStart_ + hit;
      if (at == 0 || (hit > 0 && buf_[hit - 1] == '\n') || stream_.BoundaryAt(at)) break;
      const std::string_view rest = std::string_view(buf_).substr(hit);
      if (rest.starts_with("WARC/1.0\r\n") || rest.starts_with("WARC/1.1\r\n")) break;
      if (rest.size() < kVersionLine && !ended_) {
        undecided = true;  // more bytes will tell
        break;
      }
      hit = buf_.find(kRecordStart, hit + 1);
    }
    if (hit != std::string::npos && !undecided) {
      pos_ = hit;
      found = true;
      break;
    }
    // Keep what may be a version line cut by the read, and the byte before it.
    pos_ = undecided ? std::max(pos_, hit > 0 ? hit - 1 : 0)
                     : std::max(pos_, buf_.size() - std::min(buf_.size() - pos_, kVersionLine));
    if (!More() && !undecided) {
      pos_ = buf_.size();
      break;
    }
  }
  if (report && Here() > start && !Stopped())
    Report(start, std::to_string(Here() - start) + " bytes that are no WARC record skipped");
  return found;
}

WarcReader::Parse WarcReader::ReadRecord(WarcRecord& record) {
  // Between records: any line ends.
  for (;;) {
    while (pos_ < buf_.size() && (buf_[pos_] == '\r' || buf_[pos_] == '\n')) ++pos_;
    if (pos_ < buf_.size()) break;
    if (!More()) return Parse::End;
  }
  if (!AtRecordStart()) {
    SkipGarbage(true);
    return Parse::Skipped;
  }
  const std::uint64_t start = Here();
  anchor_ = start;
  record.offset = stream_.FileOffsetOf(start);

  // The header: lines up to an empty one.
  std::size_t headerEnd = std::string::npos;
  std::size_t searchFrom = pos_;
  for (;;) {
    for (std::size_t lf = buf_.find('\n', searchFrom); lf != std::string::npos; lf = buf_.find('\n', lf + 1)) {
      if (lf + 1 < buf_.size() && buf_[lf + 1] == '\n') {
        headerEnd = lf + 2;
        break;
      }
      if (lf + 2 < buf_.size() && buf_[lf + 1] == '\r' && buf_[lf + 2] == '\n') {
        headerEnd = lf + 3;
        break;
      }
      if (lf + 2 >= buf_.size()) break;  // cannot tell yet
    }
    if (headerEnd != std::string::npos) break;
    if (buf_.size() - pos_ > kMaxHeaderBytes) {
      ++pos_;
      SkipGarbage(false);  // the rest of the damaged record
      Report(start, "record header does not end within 64 KiB");
      return Parse::Skipped;
    }
    searchFrom = std::max(pos_, buf_.size() - std::min<std::size_t>(buf_.size() - pos_, 2));
    const std::uint64_t searchPosition = bufStart_ + searchFrom;
    if (!More()) {
      pos_ = buf_.size();
      if (!Stopped()) Report(start, "the file ends inside this record");
      return Parse::End;
    }
    searchFrom = static_cast<std::size_t>(searchPosition - bufStart_);
  }
  if (headerEnd - pos_ > kMaxHeaderBytes) {
    ++pos_;
    SkipGarbage(false);
    Report(start, "record header does not end within 64 KiB");
    return Parse::Skipped;
  }
  // A damaged gzip member inside the header: the record is lost with it.
  if (const auto* b = stream_.BoundaryAfter(start); b && b->broken && b->position < bufStart_ + headerEnd) {
    MoveTo(b->position);
    return Parse::Skipped;
  }

  std::string_view header(buf_.data() + pos_, headerEnd - pos_);
  bool first = true;
  while (!header.empty()) {
    const std::size_t lf = header.find('\n');
    const std::string_view line = WithoutCr(header.substr(0, lf));
    header.remove_prefix(lf == std::string_view::npos ? header.size() : lf + 1);
    if (first) {
      record.version = std::string(fetch::TrimBlanks(line));
      first = false;
    } else if (!line.empty() && (line.front() == ' ' || line.front() == '\t') && !record.fields.empty()) {
      const std::string_view more = fetch::TrimBlanks(line);
      if (!more.empty()) record.fields.back().second += " " + std::string(more);
    } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
      record.fields.emplace_back(std::string(fetch::TrimBlanks(line.substr(0, colon))),
                                 std::string(fetch::TrimBlanks(line.substr(colon + 1))));
    }
  }
  const std::string* lengthText = record.Field("Content-Length");
  const std::optional<std::uint64_t> length = lengthText ? Length(*lengthText) : std::nullopt;
  if (!length) {
    ++pos_;
    SkipGarbage(false);
    Report(start, "record has no valid Content-Length");
    return Parse::Skipped;
  }
  pos_ = headerEnd;
  if (const std::optional<std::uint64_t> left = stream_.PlainBytesAfter(Here()); left && *length > *left) {
    // Cut off, or a wrong length with records after it: a search tells which.
    const bool more = SkipGarbage(false);
    Report(start,
           more ? "Content-Length " + std::to_string(*length) + " runs past the end of the file (" +
                      std::to_string(*left) + " bytes left)"
                : std::string("the file ends inside this record"));
    return more ? Parse::Skipped : Parse::End;
  }
  record.length = *length;

  const bool keep = !options_.keepBlock || options_.keepBlock(record);
  const std::size_t limit = keep ? options_.blockLimit : 0;
  // Room for the block at once when it is of a usual size; a longer one (or
  // a length that is a lie) grows as its bytes come.
  record.block.reserve(static_cast<std::size_t>(std::min<std::uint64_t>({*length, limit, kFirstBlockRoom})));
  std::uint64_t left = *length;
  while (left > 0) {
    if (Available() == 0 && !More()) {
      if (!Stopped()) Report(start, "the file ends inside this record");
      return Parse::End;
    }
    // A gzip member that begins inside the block: damage before it took the
    // rest of the block; a record beginning there means the length was wrong.
    if (const auto* b = stream_.BoundaryAt(Here())) {
      if (b->broken) return Parse::Skipped;
      if (AtRecordStart()) {
        Report(start, "Content-Length " + std::to_string(*length) + " runs past the end of the record's gzip member");
        return Parse::Skipped;
      }
    }
    std::uint64_t take = std::min<std::uint64_t>(left, Available());
    if (const auto* b = stream_.BoundaryAfter(Here())) take = std::min(take, b->position - Here());
    if (record.block.size() < limit) {
      const std::size_t keepNow = static_cast<std::size_t>(std::min<std::uint64_t>(take, limit - record.block.size()));
      // Doubling, but never beyond what the block may hold (a string's own
      // reserve doubles past it: a fresh one gets the room asked for).
      const std::size_t need = record.block.size() + keepNow;
      if (need > record.block.capacity()) {
        std::string grown;
        grown.reserve(static_cast<std::size_t>(
            std::min<std::uint64_t>({std::max(need, 2 * record.block.capacity()), *length, limit})));
        grown.append(record.block);
        record.block.swap(grown);
      }
      record.block.append(buf_, pos_, keepNow);
    }
    pos_ += static_cast<std::size_t>(take);
    left -= take;
  }
  record.cut = record.block.size() < record.length;
  return Parse::Record;
}

std::optional<WarcRecord> WarcReader::Next() {
  for (;;) {
    WarcRecord record;
    const Parse parse = ReadRecord(record);
    // Damage the reader has passed, and at the end all there is.
    Release(parse == Parse::End ? UINT64_MAX : Here());
    if (parse == Parse::Record) return record;
    if (parse == Parse::End) return std::nullopt;
  }
}

std::optional<WarcRecord> WarcReader::Next(std::vector<ArchiveProblem>& problems) {
  collect_ = &problems;
  std::optional<WarcRecord> record = Next();
  collect_ = nullptr;
  return record;
}

}  // namespace saved
