#pragma once
// The steps that a run's hand-overs perform on the main thread, acting on the
// front end through TRunHost. Each is called on the host's thread only.
#include <QString>
#include <QtGlobal>

#include "run/run_host.h"

namespace run {

// The URL of one editor line (or input line of the command-line tool: both
// take their URLs here) as the intake takes it, or an empty text when the
// line holds none. Trims characters of code 32 or less from both ends; an
// empty rest is no URL; a scheme "http:" or "https:" written in any case is
// put in lower case; "http://" goes in front of a text that then does not
// begin with "http". Nothing else is tested or changed.
QString IntakeUrl(const QString& line);

// First status panel "0 / total", row count := total.
void CountStep(TRunHost& host, qint64 total);

// Marks record `index` as in work and shows its URL; returns the URL.
QString StartStep(TRunHost& host, int index);

// The stop flag was seen after the fetches: the row shows no picture.
void StopSeenStep(TRunHost& host, int index);

// Stores the job's result: platforms text, the error picture when the page
// fetch failed (`failed`, told by the fetch, not by the text) or the done
// picture, the count; and beside the record its evidence.
void EndStep(TRunHost& host, int index, const QString& sonuc, bool failed, qint64 done, qint64 total,
             TEvidence evidence = TEvidence());

// The run has finished (also after a stop).
void FinishStep(TRunHost& host);

// Whether a platforms text is an error text.
bool IsErrorText(const QString& text);

}  // namespace run
