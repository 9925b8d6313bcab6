#pragma once
// --resume FILE: what an earlier run of this tool (CSV or JSON Lines, complete
// or cut short by a crash) left in FILE, and which URLs it already holds.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
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
  TDoneUrls done;
  qint64 records = 0;
  // Bytes of FILE that hold complete records (and the byte-order mark); a
  // cut-off record after them is cut away before anything is appended.
  qint64 keepBytes = 0;
  // How new lines are written: the file's own line end, and a byte-order mark
  // first when the file holds nothing yet (a new file is written as --output
  // writes it).
  QByteArray lineEnd;
  QByteArray start;
};

// Reads FILE for the format (csv or jsonl). An absent or empty file holds no
// records. Returns nothing, with the reason in `error`, when the file cannot
// be read or holds a line that is not a record of that format. `urlNames`:
// records are named by URLs (beginning with "http"); false for saved page
// files, named by their paths.
std::optional<TResumeFile> ReadResumeFile(const QString& path, TFormat format, QString& error, bool urlNames = true);

}  // namespace cli
