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
//   jsonl: {"url":URL,"platforms":[names...],"error":null,"versions":{...},
//          "evidence":[...]} for a platforms text (names split at ", ";
//          none for an empty text), or {"url":URL,"platforms":[],
//          "error":MESSAGE,...} for a record whose fetch failed, the message
//          being the text after "Error: " (see SiteJsonFields); a page read
//          from an archive has "date":WARC-DATE after "url".
// csv and txt fields have their control characters escaped first
// (run::PrintableText), jsonl strings escape them as JSON does: a line never
// holds a line break or a terminal's control sequence.
QString RecordLine(const run::TWorkRecord& record, TFormat format);

// The fields after "url" of a jsonl line, without braces:
//   "platforms":[...],"error":...,"versions":{"Name":"1.2"},"evidence":[item...]
// item: {"platform":NAME,"source":"plain"|"regex"|"header","entry":N or the
// header's name,"match":TEXT,"offset":N or null,"before":TEXT,"after":TEXT,
// "duplicate":true|false}, plus "file" and "line" for an entry from a
// signature file; then, only when an expression of a signature file stopped
// at its limit on the page, "stopped":[{"entry":N,"file":FILE,"line":L}...].
// `failed`: the fetch failed and `platforms` is its error text.
QString SiteJsonFields(const QString& platforms, bool failed, const run::TEvidence& evidence);

// The tool's one warning of a run when an expression of a signature file
// stopped at its limit on `site` (a URL or page file), without a line end;
// empty when none stopped there.
QString StoppedWarning(const run::TEvidence& evidence, const QString& site);

}  // namespace cli
