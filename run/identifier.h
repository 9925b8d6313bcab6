#pragma once
// TMyIdentifier: the thread that carries out one batch run.
//
// A run, in order: the intake (hand-overs that take the editor lines in
// batches, the line count asked again before every line), the count
// hand-over, the jobs (one after another on this thread, or on a pool of our
// own threads when multi-threading is on), the finish hand-over. A hand-over
// is a step performed on the main thread (the thread of the host's context
// object) while the asking thread waits for it; the main thread never waits
// for a run, so hand-overs go on while a modal dialog runs its own loop.
//
// How a run ends, seen from the front end (connect to finished() before
// start(); it is delivered on the main thread after the body has ended):
//   - normally or stopped: the finish hand-over (IslemTamam(true)) has run
//     before finished(); Failed() is false.
//   - an exception escaped a job (or a hand-over): no finish hand-over;
//     Failed() is true and FailureMessage() holds its text ("One or more
//     errors occurred" in a pooled run). The front end restores its idle
//     state itself and shows the text.
//   - abandoned: no hand-over after Abandon() returned; Failed() is false.
#include <QString>
#include <QThread>
#include <atomic>
#include <memory>

#include "run/run_host.h"

namespace engine {
class TExtraSignatures;
}

namespace run {

// Minimum and maximum number of jobs of a pool: P and 25 x P by default,
// P being the number of logical processors.
struct PoolLimits {
  int minimum = 1;
  int maximum = 25;
};
PoolLimits DefaultPoolLimits();

// Jobs that a pooled run runs at once for the stored MultiThreads value:
// "Automatic" (0 or below) and any value below the default minimum give the
// default maximum; any other value is the maximum itself.
int JobsAtOnce(int multiThreads, PoolLimits defaultLimits);

// The process-wide stop flag: cleared by Start, set by STOP, both on the main
// thread; runs only read it. Once set, no further job starts; jobs in
// progress complete and the run still ends through the finish hand-over.
std::atomic<bool>& StopFlag();

class THandOverLine;

class TMyIdentifier : public QThread {
  Q_OBJECT
 public:
  // `host` and `inputs` must outlive the run unless Abandon() is called
  // first. `runUserAgent` is the user-agent text captured at Start (sent by
  // the page fetches); the header probes send the current agent text.
  // Construct on the main thread: the host's context is taken here.
  TMyIdentifier(TRunHost& host, std::shared_ptr<const TFetchInputs> inputs, QString runUserAgent,
                PoolLimits defaultLimits, QObject* parent = nullptr);
  // Joins the thread if it still runs (abandoning the run first).
  ~TMyIdentifier() override;

  // Extra signatures for this run (none: the built-in tables alone). Call
  // before start().
  void SetExtraSignatures(std::shared_ptr<const engine::TExtraSignatures> extras) { extras_ = std::move(extras); }

  // After finished(): whether the run ended through an exception, and its text.
  bool Failed() const;
  QString FailureMessage() const;

  // The run's record count (set once after the intake) and its ended jobs.
  qint64 TotalCount() const { return KacTaneToplam.load(); }
  qint64 EndedCount() const { return KacTaneBitti.load(); }

  // From the main thread, when the front end goes away during a run: no
  // further hand-overs or jobs, transfers in progress end promptly. Returns
  // at once; the thread then ends by itself (wait() to join it), also when
  // it was waiting for a hand-over that will now never be performed.
  void Abandon();

  // The job for one record; runs on the thread that calls it (this thread in
  // a sequential run, a pool thread in a pooled run).
  void IdentifyNow(int UrlIndex);

 protected:
  void run() override;  // Execute

 private:
  void Execute();
  void Intake();
  void RunSequential();
  void RunPooled();
  bool JobsMayStart() const;
  // Reads what run() stored last, before the object is used after the run.
  void SeeRunEnded() const;
  // Performs `step` on the main thread and waits for it; false when the run
  // was abandoned (the step then may not have run).
  bool HandOver(const std::function<void()>& step);

  TRunHost& host_;
  std::shared_ptr<const TFetchInputs> inputs_;
  std::shared_ptr<const engine::TExtraSignatures> extras_;
  QString runUserAgent_;
  PoolLimits defaultLimits_;
  std::unique_ptr<THandOverLine> line_;
  std::atomic<bool> abandon_{false};
  std::atomic<bool> ran_{false};  // set when run() ends

  std::atomic<qint64> KacTaneToplam{0};
  std::atomic<qint64> KacTaneBitti{0};

  bool failed_ = false;      // written by the run before finished()
  QString failureMessage_;   // likewise
};

}  // namespace run
