#pragma once
// Reading back the command-line tool's outputs into a run summary, without
// fetching anything: CSV (the tool's csv lines, "," between the fields, with
// or without the byte-order mark and CR LF of --output) and JSON Lines, each
// line told by its first character, so that files of either kind (and
// shards of one run written by several runs of the tool) can be summed up.
//
// A file cut short by a crash or Ctrl-C ends in a line without its line end:
// that record was never written whole and is left out (the result says so).
// What a record tells:
//   jsonl: "error" a text: failed with that text; otherwise answered, with
//          the names of "platforms" and the versions of "versions";
//   csv:   a platforms text that begins with "Error: " failed; any other
//          answered (a CSV line keeps no versions and no failed flag).
// A record whose job never ended (a stopped run) was written with an empty
// platforms text and reads as a site without platform.
//
// Memory: a file is read in blocks, a record at a time; nothing grows with
// the number of records.
#include <QIODevice>
#include <QString>
#include <QtGlobal>
#include <optional>

#include "run/run_summary.h"

namespace run {

struct TSummaryFileResult {
  qint64 records = 0;    // records added
  bool cutShort = false;  // the last line had no line end and was left out
};

// Adds the records of `path` to `summary`. Nothing, with the reason in
// `error` ("line N is not a csv or jsonl record of this tool", or why the file
// cannot be read), when the file cannot be read or holds a line that is not
// a record; `summary` then may hold the records before that line.
std::optional<TSummaryFileResult> AddOutputFile(const QString& path, TRunSummary& summary, QString& error);

// The same for an open device (standard input, say), read to its end.
std::optional<TSummaryFileResult> AddOutputDevice(QIODevice& device, TRunSummary& summary, QString& error);

// The same for bytes in memory (a whole file's content).
std::optional<TSummaryFileResult> AddOutputBytes(const QByteArray& bytes, TRunSummary& summary, QString& error);

}  // namespace run
