#pragma once
// --resume FILE: what an earlier run of this tool (CSV or JSON Lines, complete
// or cut short by a crash) left in FILE, and which URLs it already holds.
//
// The tool writes each record as one whole line, its line feed last, so a
// crash leaves at most the last line cut off. That line, and only that line,
// is cut away before anything is appended; every other line must be a record
// of the file's format, or the file is refused and left as it is.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"

namespace cli {

// The URLs of the finished records, as a multiset: a URL that has k records
// in the file is skipped k times. Each is kept as a 128-bit digest (20 bytes
// a record with its count), so a file of millions of records stays small.
class TDoneUrls {
 public:
  void Add(const QString& url);
  // Call once every URL is added.
  void Seal();
  // True (and one record fewer for it) when the file holds a record for url.
  bool Take(const QString& url);
  // Records the file holds for url (not counting those taken).
  std::uint32_t Count(const QString& url) const;
  std::size_t Size() const { return digests_.size(); }

 private:
  struct Digest {
    std::uint64_t high = 0, low = 0;
    auto operator<=>(const Digest&) const = default;
  };
  static Digest Of(const QString& url);
  std::uint32_t* Find(const QString& url);
  std::vector<Digest> digests_;  // sorted and unique once sealed
  std::vector<std::uint32_t> counts_;
};

struct TResumeFile {
  // The file's format: the one its records have (csv when it holds none
  // yet and none was asked for).
  TFormat format = TFormat::Csv;
  TDoneUrls done;
  qint64 records = 0;
  // Bytes of FILE that hold complete records (and the byte-order mark); a
  // cut-off last line after them is cut away before anything is appended.
  // Never before the last line feed.
  qint64 keepBytes = 0;
  // How new lines are written: the file's own line end, and a byte-order mark
  // first when the file holds nothing yet (a new file is written as --output
  // writes it).
  QByteArray lineEnd;
  QByteArray start;
};

// Reads a resume file's bytes in one pass, block by block as they come (no
// byte is looked at twice beyond the line it is in, so a file of any size
// reads in linear time, holding one line at a time).
//
// The format is that of the first record: a line that begins with "{" is
// JSON Lines, one that begins with "http" or "\"http" CSV. Every complete
// line (ended by LF) must be a record of that format: for JSON Lines an
// object whose "url" is a text beginning with "http"; for CSV two fields as
// the tool writes them (a quoted field may hold line breaks, as older files
// do), the first beginning with "http". A last line without its line feed is
// cut off: it must begin as a record does (or be the start of one), and must
// not continue a record begun on an earlier line.
class TResumeReader {
 public:
  // `asked`: the format given on the command line; none: the file's own.
  // `urlNames`: records are named by URLs, beginning with "http"; false
  // for saved page files, named by their paths (any CSV line that does not
  // begin with "{" is then taken for CSV).
  explicit TResumeReader(std::optional<TFormat> asked, bool urlNames = true);
  ~TResumeReader();
  TResumeReader(const TResumeReader&) = delete;
  TResumeReader& operator=(const TResumeReader&) = delete;

  // The next bytes of the file. Does nothing once the file is refused.
  void Feed(std::string_view bytes);
  // After the last Feed: the file, or nothing when it is refused, with the
  // line (1-based) and the reason in Line() and Reason().
  std::optional<TResumeFile> Finish();

  qint64 Line() const { return errorLine_; }
  QString Reason() const { return reason_; }

 private:
  struct Csv;
  void TakeLine(std::string_view line, bool complete);
  bool Detect(std::string_view content);
  bool JsonRecord(std::string_view content);
  void Refuse(qint64 line, const QString& reason);

  std::optional<TFormat> asked_;
  std::string namePrefix_;  // how every record's name begins
  TResumeFile file_;
  bool formatKnown_ = false;
  bool lineEndKnown_ = false;
  bool atStart_ = true;       // nothing but (part of) a byte-order mark read yet
  QByteArray head_;           // the first bytes, while they may be a byte-order mark
  QByteArray partial_;        // the line read so far, when a block ended inside it
  qint64 offset_ = 0;         // bytes of the file before partial_ and the line being read
  qint64 lineNumber_ = 0;     // lines ended so far
  Csv* csv_ = nullptr;        // a CSV record that spans lines
  qint64 errorLine_ = 0;
  QString reason_;
};

// Reads FILE for --resume. An absent or empty file holds no records. Returns
// nothing, with a message ready to be shown in `error` ("FILE:LINE: reason",
// or "cannot resume from FILE: reason"), when the file is not a regular file,
// cannot be read, holds a damaged line before its last, or holds records of
// another format than `asked`.
// `urlNames` as for TResumeReader.
std::optional<TResumeFile> ReadResumeFile(const QString& path, std::optional<TFormat> asked, QString& error,
                                         bool urlNames = true);

}  // namespace cli
