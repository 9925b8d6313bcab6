#pragma once
// One work-list record as a line of the command-line tool's output formats.
// The CSV and text lines are those of the window's CSV and text export
// (run/record_lines.h), with "," as the separator; the JSON line is the
// tool's own.
#include <QString>

#include "cli/options.h"
#include "run/run_host.h"

namespace cli {

// The record's line, without a line end (empty for the workbook formats).
//   csv:   run::CsvField(URL) "," run::CsvField(platforms)
//   txt:   URL "," platforms, nothing quoted
//   jsonl: {"url":URL,"platforms":[names...],"error":null} for a platforms
//          text (names split at ", "; none for an empty text), or
//          {"url":URL,"platforms":[],"error":MESSAGE} for an error text, the
//          message being the text after "Error: ".
QString RecordLine(const run::TMyRecord& record, TFormat format);

}  // namespace cli
