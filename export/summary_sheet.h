#pragma once
// The "Summary" sheet of the XLSX export: the run summary as a table, and a
// native bar chart of the platforms with the most sites whose series refer to
// that table, so that it opens as a chart in any spreadsheet program.
#include <xlsxwriter.h>

#include "run/run_summary.h"

namespace exports {

// Rows of the sheet, from 0: the counts in rows 0-5 (label in column A,
// number in B), the platform table's header in row kSummaryPlatformHeaderRow
// (Platform, Sites, Share, Versions) and its rows below, then an empty row,
// the error table (Error, Sites).
inline constexpr int kSummaryPlatformHeaderRow = 7;
// Platforms the chart shows at most (the first rows of the table).
inline constexpr int kSummaryChartPlatforms = 20;

// Adds the sheet after the workbook's sheets so far. Returns the library's
// first error (LXW_NO_ERROR when all went well).
lxw_error AddSummarySheet(lxw_workbook* workbook, const run::TRunSummary& summary);

}  // namespace exports
