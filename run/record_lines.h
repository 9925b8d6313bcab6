#pragma once
// Work-list records as lines of the text and CSV exports, shared by the
// window's export and the command-line tool's output. Lines carry no line
// end; the writer adds it.
#include <QChar>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

#include "run/run_host.h"

namespace run {

// One CSV field. A field that begins with '=', '+', '-', '@', a tab or a CR
// gets a single quote in front, so that no spreadsheet program opening the
// file takes a text planted by a web site for a formula. Then, when the field
// holds the separator, a double quote, a CR or an LF, its double quotes are
// doubled and it is enclosed in double quotes; otherwise it stays as it is.
QString CsvField(const QString& field, QChar separator);

// Text export: URL "," platforms, nothing quoted.
QString TextExportLine(const TMyRecord& record);
// CSV export: both fields through CsvField, joined by the separator.
QString CsvExportLine(const TMyRecord& record, QChar separator);

// The same for a whole list, one line per record in list order.
QStringList TextExportLines(const TWorkList& list);
QStringList CsvExportLines(const TWorkList& list, QChar separator);

// The reverse of CsvExportLine: the fields of one CSV record (without its
// line end; a quoted field may hold line breaks), or nothing when the record
// is not well-formed (a quote inside an unquoted field, text after a closing
// quote, an unclosed quote). The formula guard is not undone here (see
// CsvUnguarded).
std::optional<QStringList> CsvFields(QStringView record, QChar separator);

// A field as CsvField had it before its formula guard: a single quote in
// front of '=', '+', '-', '@', a tab or a CR is dropped. (A text that itself
// began with such a quote cannot be told apart and loses it too.)
QString CsvUnguarded(const QString& field);

}  // namespace run
