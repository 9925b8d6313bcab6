#pragma once
// Excel 97-2003 workbook (.xls): BIFF8 records in the "Workbook" stream of a
// compound file (the container is written by libgsf).
#include <QByteArray>
#include <QString>

#include "export/sheet_cells.h"

namespace exports {

// The "Workbook" stream of a one-sheet workbook holding the cells: strings in
// the shared string table (split over CONTINUE records as needed), each cell
// a text cell with the built-in text format "@", widened columns, A1
// selected. Throws TExportError when the cells exceed the format's limits
// (65,536 rows, 256 columns, 32,767 characters per cell).
QByteArray BuildXlsWorkbookStream(const TSheetCells& cells);

// Wraps the stream into a compound file and writes it to fileName. Atomic;
// throws TExportError on any failure.
void WriteXlsWorkbook(const TSheetCells& cells, const QString& fileName);

}  // namespace exports
