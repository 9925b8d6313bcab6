#pragma once
// Writing the work list to a file: plain text, CSV and spreadsheet workbooks
// (.xlsx, and the legacy Excel 97-2003 .xls for any other name).
//
// No widgets here: the window shows the save dialog and the message boxes and
// calls these functions on the main thread; the command-line tool calls the
// spreadsheet export for its xls and xlsx output. Every function reads the
// work list only; none changes it.
//
// Files are written atomically: the content goes to a temporary file in the
// target's folder, which replaces the target only once it is complete. When
// anything fails, the temporary file is removed, the target keeps whatever it
// held before and TExportError is thrown.
#include <QChar>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <stdexcept>

#include "run/run_host.h"
#include "run/run_summary.h"

namespace exports {

// The failure of an export. what() is the reason in UTF-8, ready to be shown
// to the user (Message() gives it as a QString).
class TExportError : public std::runtime_error {
 public:
  explicit TExportError(const QString& message);
  QString Message() const;
};

// The list separator of CSV and spreadsheet export: ';' for a locale that
// writes decimal numbers with a comma (a ',' list separator would clash with
// its numbers), ',' otherwise.
QChar ListSeparatorFor(const QLocale& locale);
// The same for the user's own regional settings; the window asks once at
// start-up and keeps the answer.
QChar SystemListSeparator();

// The lines of the spreadsheet export, one per record in list order: URL,
// separator, platforms, nothing quoted (the spreadsheet writer splits the
// line again). The text and CSV lines are run::TextExportLines and
// run::CsvExportLines.
QStringList SpreadsheetExportLines(const run::TWorkList& list, QChar separator);

// Writes the UTF-8 byte-order mark and then every line, each (the last one
// too) followed by CR LF. No lines: a file of the three mark bytes.
void WriteUtf8LinesFile(const QString& fileName, const QStringList& lines);

// Splits one spreadsheet line into its pieces, untrimmed:
// - each separator ends a piece; two in a row give an empty piece between
//   them, one at the end gives an empty last piece; an empty line gives none;
// - a piece that begins with '"' is quoted text: it runs to the next single
//   '"' ("" inside stands for one '"'; an unclosed quote runs to the end of
//   the line) and loses its quotes; text between the closing quote and the
//   next separator is a piece of its own.
QStringList SplitSpreadsheetLine(const QString& line, QChar separator);

// Which workbook a spreadsheet export writes: chosen by the file name (as the
// window's export does), or named outright (as the command-line tool does).
enum class TWorkbookFormat { ByName, Xls, Xlsx };
// Xls or Xlsx: by name, a name ending in ".xlsx" (any letter case) is Xlsx.
TWorkbookFormat ResolvedWorkbookFormat(TWorkbookFormat format, const QString& fileName);

// The spreadsheet writer. Line i goes to row i of the first sheet, piece j of
// it to column j, trimmed of characters <= U+0020 at both ends and stored as
// a text cell in text format (nothing is ever evaluated, "=1+1" stays text).
// Columns 1..n, n the number of pieces of the last line, are made 40
// characters wide; the first cell is selected. By name, a name ending in
// ".xlsx" (any letter case) gives an Office Open XML workbook, any other name
// an Excel 97-2003 workbook, which holds at most 65,536 rows and 256 columns. A text
// longer than 32,767 characters, the most a cell holds, fails the export.
// An Office Open XML workbook with a `summary` gets a second sheet
// "Summary" with its table and chart; the first sheet is the same either way.
void WriteSpreadsheet(const QStringList& lines, QChar separator, const QString& fileName,
                      TWorkbookFormat format = TWorkbookFormat::ByName, const run::TRunSummary* summary = nullptr);

// The three exports of the window's menu, each building all lines first;
// the XLSX workbook also has the list's summary on its second sheet.
// On failure they throw TExportError: the window lets it reach the general
// error display for text and CSV, and shows its message in the "WARNING"
// box for the spreadsheet export.
void ExportToText(const run::TWorkList& list, const QString& fileName);
void ExportToCsv(const run::TWorkList& list, QChar separator, const QString& fileName);
// `summary`: the list's summary when the caller counted it as the records
// ended (with evidence the list no longer holds); none: the list's own.
void ExportToSpreadsheet(const run::TWorkList& list, QChar separator, const QString& fileName,
                         TWorkbookFormat format = TWorkbookFormat::ByName, const run::TRunSummary* summary = nullptr);

}  // namespace exports
