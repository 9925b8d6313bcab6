#pragma once
// Office Open XML workbook (.xlsx) through libxlsxwriter.
#include <QString>

#include "export/sheet_cells.h"
#include "run/run_summary.h"

namespace exports {

// Writes the cells to the first sheet of a new workbook at fileName: text
// cells in text format, widened columns, A1 selected; with a summary, a
// second sheet "Summary" (summary_sheet.h). Atomic; throws TExportError on
// any failure.
void WriteXlsxWorkbook(const TSheetCells& cells, const QString& fileName, const run::TRunSummary* summary = nullptr);

}  // namespace exports
