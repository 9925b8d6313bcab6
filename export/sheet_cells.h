#pragma once
// The cells of a sheet as the spreadsheet writers take them.
#include <QString>
#include <utility>
#include <vector>

#include "services/atomic_file.h"
#include "export/export_writer.h"

namespace exports {

struct TSheetCells {
  // rows[i][j] is the text of row i, column j (both from 0); an empty row is
  // a row without cells. Empty texts are cells too (blank, in text format).
  std::vector<std::vector<QString>> rows;
  // Columns 0..widenedColumns-1 are set 40 characters wide.
  int widenedColumns = 0;
};

// The most characters one cell holds, in both workbook formats.
inline constexpr int kMaxCellChars = 32767;
// Width, in characters, of the widened columns.
inline constexpr int kWidenedColumnChars = 40;

// The text with every unpaired surrogate replaced by U+FFFD, so that it is
// valid UTF-16 (and converts to valid UTF-8) for every reader.
QString WellFormedUtf16(const QString& text);

// The package stores a control character as "_xHHHH_" and readers turn
// every such sequence back into its character, so a text that itself holds
// one gets its "_" stored as "_x005F_" to come back as it was (XLSX only).
QString ProtectEscapeLookalikes(const QString& text);

// Runs write(), which writes a file through services' atomic file, and
// reports its failure as the TExportError that every export throws.
template <class Write>
void WriteAsExport(Write&& write) {
  try {
    std::forward<Write>(write)();
  } catch (const services::TFileWriteError& error) {
    throw TExportError(error.Message());
  }
}

// Throws TExportError when the sheet does not fit a workbook of the given
// limits (rows, columns, characters per cell).
void CheckSheetLimits(const TSheetCells& cells, long long maxRows, int maxColumns,
                      const QString& formatName);

}  // namespace exports
