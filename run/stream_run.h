#pragma once
// A run over a list that is read as it goes (the command-line tool's run).
//
// Unlike TMyIdentifier, which takes every line before the first job starts
// and so knows its total (the window shows it), a stream run takes lines only
// while it holds fewer than `window` records, so its memory does not grow
// with the length of the input. The job of each record is the same as the
// window's (run/site_job.h); the records are delivered in input order, each as
// soon as it and every record before it have ended.
//
// Threads: RunStream reads the input (NextEntry) on the calling thread; the jobs run on
// threads of its own (`jobs` of them), joined before it returns. The host's
// Deliver and Progress are called one at a time (under the run's lock), from
// any of these threads; NextEntry, NextLine and Admit only on the calling
// thread. A page source is read on the thread of its job.
//
// How a run ends:
//   - the input ended and every record was delivered: `failed` false;
//   - the stop flag (run::StopFlag) was set: no job starts any more, jobs in
//     progress end, input not yet read stays unread, and every record held is
//     delivered, those whose job never ended with `ended` false;
//   - an exception escaped a job: as a stop, and the result says `failed`,
//     with the exception's text (kPooledFailureText when jobs > 1).
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>

#include "run/run_host.h"
#include "run/site_job.h"

namespace engine {
class TExtraSignatures;
}

namespace run {

// One record of a stream run: its name (the record's FURL) and where its
// page comes from.
struct TStreamEntry {
  QString name;
  // Null: the site of `name` (a URL as the intake takes it) is fetched.
  std::unique_ptr<TPageSource> source;
  // Not empty: the record ends at once as a failure with "Error: " and this
  // text, without a job (a line that is no URL to fetch).
  QString fault;
};

class TStreamHost {
 public:
  virtual ~TStreamHost() = default;
  // The next input line, or nothing at the end of the input. A read that
  // would wait gives up (nothing) once the stop flag or `giveUp` is set; the
  // run sets `giveUp` when it fails.
  virtual std::optional<QString> NextLine(const std::atomic<bool>& giveUp) {
    Q_UNUSED(giveUp);
    return std::nullopt;
  }
  // Why the line NextLine gave last is no URL to fetch (too long, say), or
  // empty. A line with a fault still gets a record, in its place, that ends
  // at once as a failure with "Error: " and the fault, and is never fetched.
  virtual QString LineFault() { return QString(); }
  // Whether a URL (as the intake takes it) gets a record; false skips it.
  virtual bool Admit(const QString& url) {
    Q_UNUSED(url);
    return true;
  }
  // The next record, or nothing at the end of the input. By default the
  // next line that the intake takes and Admit() admits, as a URL to fetch;
  // a host whose pages come from elsewhere (saved files, an archive) gives
  // them here, under the same rules for waiting and giving up.
  virtual std::optional<TStreamEntry> NextEntry(const std::atomic<bool>& giveUp);
  // One record, in input order, with the evidence behind its platforms;
  // `ended` false when its job never ended (the record then has an empty
  // platforms text and no evidence).
  virtual void Deliver(const TWorkRecord& record, bool ended) = 0;
  // Records ended over records taken so far, after each job's end and once
  // the input has ended.
  virtual void Progress(qint64 ended, qint64 taken) {
    Q_UNUSED(ended);
    Q_UNUSED(taken);
  }
};

struct TStreamSettings {
  int jobs = 1;          // jobs at once; 1: one after another
  // Records held at most beyond those in work: waiting to start, or ended
  // but waiting for an earlier record before they can be delivered.
  std::size_t window = 4096;
  // Bytes that the entries' page sources may hold at once (waiting or in
  // work) before another entry is taken; 0: no bound. One entry more is
  // always taken while none holds any.
  std::size_t heldBytes = 0;
  std::shared_ptr<const TFetchInputs> inputs;
  QString runUserAgent;  // sent by the page fetches; the probes send the inputs' agent text
  // Extra signatures for the run; none: the built-in tables alone.
  std::shared_ptr<const engine::TExtraSignatures> extras;
};

struct TStreamResult {
  bool failed = false;
  QString failureMessage;
  qint64 delivered = 0;
};

TStreamResult RunStream(TStreamHost& host, const TStreamSettings& settings);

}  // namespace run
