#pragma once
// The run summary in the command-line tool: --summary and --summary-output of
// a URL run, and --summarize, which sums up earlier outputs of the tool
// (run/summary_files.h) without fetching anything.
#include <QString>

#include "cli/options.h"
#include "run/run_summary.h"

namespace cli {

// Writes the summary's JSON to `file` (as --output writes: whole, once
// complete). False, with "cannot write FILE: reason" in `error`, on failure.
bool WriteSummaryJson(const QString& file, const run::TRunSummary& summary, QString& error);

// --summarize FILE...: reads each file ("-": standard input) in turn, prints
// the merged summary's table on standard output and, with --summary-output,
// writes its JSON. A file cut short is noted on standard error (its cut-off
// last record is left out). Exit code 0, or 2 when a file cannot be read or
// holds a line that is not a record (nothing is printed then), or the JSON
// cannot be written.
int RunSummarize(const TCliOptions& options);

}  // namespace cli
