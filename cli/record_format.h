#pragma once
// One work-list record as a line of the command-line tool's output formats.
// The CSV and text lines are those of the window's CSV and text export, with
// "," as the separator; the JSON line is the tool's own.
#include <QChar>
#include <QString>

#include "cli/options.h"
#include "run/run_host.h"

namespace cli {

// One CSV field. A field that begins with '=', '+', '-', '@', a tab or a CR
// gets a single quote in front, so that a spreadsheet program never takes a
// text planted by a web site for a formula. Then, when the field holds the
// separator, a double quote, a CR or an LF, its double quotes are doubled and
// it is enclosed in double quotes.
QString CsvField(const QString& field, QChar separator);

// The record's line, without a line end.
//   csv:   CsvField(URL) "," CsvField(platforms)
//   txt:   URL "," platforms, nothing quoted
//   jsonl: {"url":URL,"platforms":[names...],"error":null} for a platforms
//          text (names split at ", "; none for an empty text), or
//          {"url":URL,"platforms":[],"error":MESSAGE} for an error text, the
//          message being the text after "Error: ".
QString RecordLine(const run::TMyRecord& record, TFormat format);

}  // namespace cli
