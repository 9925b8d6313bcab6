#pragma once
// The work of one record's job, shared by every kind of run: the page fetch,
// the header probe and the identification. No hand-overs here; the runs put
// their own steps around these calls. Safe from any thread.
#include <QString>
#include <atomic>
#include <cstddef>
#include <exception>
#include <string>

#include "run/record_evidence.h"
#include "run/run_host.h"

namespace engine {
class TExtraSignatures;
}

namespace fetch {
class PageLease;
}

namespace run {

struct TSiteFetch {
  std::u16string pageText;    // the page text, or "Error: ..." when the fetch failed
  std::u16string headerText;  // the probe's header lines; empty when it failed
  std::u16string finalUrl;    // where a redirected page fetch ended; empty: not redirected (or not known)
  std::u16string recorded;    // when an archive recorded the page (its date text); empty: fetched now
  // Set by the fetch itself: a page that merely begins with "Error: " is a page.
  bool pageFailed = false;
  bool PageFailed() const { return pageFailed; }
};

// Fetches the page with the run's user agent, then probes the headers with the
// current agent text, also after a failed page fetch; each reads the time-out
// fields afresh from `inputs`. `abandon`, when set, ends transfers promptly.
// The page body's bytes are drawn on `pageLease`: the caller keeps the lease
// until the page text has been identified and is gone.
TSiteFetch FetchSite(const QString& URL, const TFetchInputs& inputs, const QString& runUserAgent,
                     const std::atomic<bool>* abandon, fetch::PageLease& pageLease);

// A record's page that comes from elsewhere than a fetch: a saved file, a
// response recorded in an archive. The run asks for it once, on the job's
// thread; until then the source holds what it needs (a path, the recorded
// bytes).
class TPageSource {
 public:
  virtual ~TPageSource() = default;
  // The page and header texts as a fetch would give them. The page text's
  // bytes are drawn on `pageLease`, as a fetched body's are.
  virtual TSiteFetch Read(fetch::PageLease& pageLease) = 0;
  // Bytes the source holds until it is read (for a run's bound on them).
  virtual std::size_t HeldBytes() const { return 0; }
};

// The text of a job's exception, for the run's failure message.
QString ExceptionMessage(const std::exception_ptr& error);

struct TSiteResult {
  QString platforms;   // the page's error text, or the identified platforms
  TEvidence evidence;  // the findings behind them (none after a failed fetch) and the final URL
  bool failed = false;  // the page fetch failed: `platforms` is its error text
};

// The job's result; the findings come from the same pass as the platforms.
// `extras`: the run's extra signatures, or null for the built-in tables alone;
// with them, the page's address (the final URL of a redirected fetch, else
// `requested`: the URL asked for, or the record's name) tells the page's own
// site from the sites it links to.
TSiteResult SiteResult(const TSiteFetch& fetched, const engine::TExtraSignatures* extras = nullptr,
                       const QString& requested = QString());

}  // namespace run
