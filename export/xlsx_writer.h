#pragma once
// Office Open XML workbook (.xlsx) through libxlsxwriter.
#include <QString>

#include "export/sheet_cells.h"

namespace exports {

// Writes the cells to the first sheet of a new workbook at fileName: text
// cells in text format, widened columns, A1 selected. Atomic; throws
// TExportError on any failure.
void WriteXlsxWorkbook(const TSheetCells& cells, const QString& fileName);

}  // namespace exports
