#pragma once
// TMyIdentifier: the thread that carries out one batch run.
#include <QString>
#include <QThread>
#include <atomic>
#include <memory>

#include "run/run_host.h"

namespace run {

// Minimum and maximum number of jobs of a pool: P and 25 x P by default,
// P being the number of logical processors.
struct PoolLimits {
  int minimum = 1;
  int maximum = 25;
};
PoolLimits DefaultPoolLimits();

// The process-wide stop flag: cleared by Start, set by STOP, both on the main
// thread; runs only read it.
std::atomic<bool>& StopFlag();

class TMyIdentifier : public QThread {
  Q_OBJECT
 public:
  // `host` and `inputs` must outlive the run unless Abandon() is called
  // first. `runUserAgent` is the user-agent text captured at Start (sent by
  // the page fetches); the header probes send the current agent text.
  TMyIdentifier(TRunHost& host, std::shared_ptr<const TFetchInputs> inputs, QString runUserAgent,
                PoolLimits defaultLimits, QObject* parent = nullptr);
  ~TMyIdentifier() override;

  // After finished(): whether the run ended through an exception, and its text.
  bool Failed() const;
  QString FailureMessage() const;

  // From the main thread, when the front end goes away during a run: no
  // further hand-overs or jobs, transfers in progress end promptly. Returns
  // at once; the thread then ends by itself (wait() to join it).
  void Abandon();

 protected:
  void run() override;  // Execute
};

}  // namespace run
