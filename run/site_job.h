#pragma once
// The work of one record's job, shared by every kind of run: the page fetch,
// the header probe and the identification. No hand-overs here; the runs put
// their own steps around these calls. Safe from any thread.
#include <QString>
#include <atomic>
#include <string>

#include "run/run_host.h"

namespace run {

struct TSiteFetch {
  std::u16string pageText;    // the page text, or "Error: ..." when the fetch failed
  std::u16string headerText;  // the probe's header lines; empty when it failed
  bool PageFailed() const;
};

// Fetches the page with the run's user agent, then probes the headers with the
// current agent text, also after a failed page fetch; each reads the time-out
// fields afresh from `inputs`. `abandon`, when set, ends transfers promptly.
TSiteFetch FetchSite(const QString& URL, const TFetchInputs& inputs, const QString& runUserAgent,
                     const std::atomic<bool>* abandon);

// The job's result text: the page's error text, or the identified platforms.
QString SiteResult(const TSiteFetch& fetched);

}  // namespace run
