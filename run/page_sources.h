#pragma once
// Pages saved earlier as the entries of a stream run (run/stream_run.h): the
// files of saved pages, and the responses recorded in web archives. Each
// gives its entries in input order on the run's reading thread; a page is
// read and decoded on the thread of its job. Any front end uses these; the
// command-line tool's --pages and --warc are one.
//
// Naming and choice of records:
//   - a page file is named by its path (as given, or the folder given joined
//     with the names under it); a file that cannot be read gets the record
//     "Error: Cannot read the file: REASON" (a folder that cannot be listed:
//     "Error: Cannot read the folder: REASON");
//   - an archive record is named by its WARC-Target-URI, and carries its
//     WARC-Date as the date it was recorded (TEvidence::Recorded). Only
//     `response` records of http and https URIs are read; by default only
//     those whose response has status 200 and an HTML media type (the
//     Content-Type's, or WARC-Identified-Payload-Type when the response has
//     none: text/html or application/xhtml+xml). `every` takes them all.
//     `revisit` records (which hold no page) are always passed over.
//
// Threads: an entries object belongs to the run's reading thread.
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "run/stream_run.h"

namespace saved {
class PageWalk;
class WarcReader;
class ByteInput;
}  // namespace saved

namespace run {

// Saved page files as entries.
class TPageFileEntries {
 public:
  // The next path given (a file or a folder), or nothing at the end.
  using PathFunction = std::function<std::optional<QString>(const std::atomic<bool>& giveUp)>;
  // `everyFile`: in folders take every regular file, not only page files.
  TPageFileEntries(PathFunction nextPath, bool everyFile);
  ~TPageFileEntries();

  std::optional<TStreamEntry> Next(const std::atomic<bool>& giveUp);

 private:
  PathFunction nextPath_;
  std::unique_ptr<saved::PageWalk> walk_;
};

// The chosen records of web archives, read one archive after another.
class TArchiveEntries {
 public:
  // Damage in an archive: its file (as given), the offset, what it is.
  using ProblemFunction = std::function<void(const QString& archive, std::uint64_t offset, const QString& text)>;
  // An archive that could not be opened or read to its end, and why.
  using FailureFunction = std::function<void(const QString& archive, const QString& reason)>;

  // `archives`: file names, "-" for standard input.
  TArchiveEntries(QStringList archives, bool every, ProblemFunction problem, FailureFunction failure);
  ~TArchiveEntries();

  // The next chosen record; reading stops promptly once the stop flag or
  // `giveUp` is raised.
  std::optional<TStreamEntry> Next(const std::atomic<bool>& giveUp);

 private:
  bool OpenNext();
  void Close();

  QStringList archives_;
  qsizetype next_ = 0;
  bool every_;
  ProblemFunction problem_;
  FailureFunction failure_;
  QString current_;
  int fd_ = -1;
  std::unique_ptr<saved::ByteInput> input_;
  std::unique_ptr<saved::WarcReader> reader_;
  const std::atomic<bool>* giveUp_ = nullptr;
};

}  // namespace run
