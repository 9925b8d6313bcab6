#pragma once
// The work list and the interface between a run and its front end (the main
// window, the command-line tool).
#include <QMutex>
#include <QObject>
#include <QString>
#include <QtGlobal>
#include <vector>

#include "fetch/proxy.h"
#include "run/record_evidence.h"

namespace run {

// Pictures a record's row shows, as indexes into the window's image list.
inline constexpr qint32 kImageNone = -1;
inline constexpr qint32 kImageInWork = 53;
inline constexpr qint32 kImageDone = 54;
inline constexpr qint32 kImageError = 55;

struct TMyRecord {
  QString FURL;       // normalised URL, never empty, begins with "http"
  QString FPlatform;  // platforms text; empty until the URL's job has ended
  qint32 FImageNo = kImageNone;
};

// Whether the record's page fetch failed (FPlatform is then its error text).
// The picture says so, set from the fetch's own flag: a site whose platforms
// text merely begins with "Error: " (a page, a header value) has not failed.
inline bool FetchFailed(const TMyRecord& record) { return record.FImageNo == kImageError; }

// A record of the work list: the record and, beside it, its evidence (set
// by the end hand-over with the platforms text).
struct TWorkRecord : TMyRecord {
  TWorkRecord() = default;
  TWorkRecord(const TMyRecord& record) : TMyRecord(record) {}  // NOLINT: a record converts implicitly
  TWorkRecord(QString url, QString platform, qint32 image) : TMyRecord{std::move(url), std::move(platform), image} {}
  TEvidence evidence;
};

// One record per usable editor line, in line order; the index is the row.
using TWorkList = std::vector<TWorkRecord>;

// The front end of a run. Every method is called on the thread that owns
// Context() (the main thread): worker and pool threads reach the host only
// through blocking queued calls and wait until the call has returned.
class TRunHost {
 public:
  virtual ~TRunHost() = default;

  // Receiver of the blocking queued calls. A run never calls into a host
  // whose context object is gone, nor after it has been abandoned.
  virtual QObject* Context() = 0;

  // The work list that the run fills and updates; owned by the host.
  virtual TWorkList& WorkList() = 0;

  // The URL editor's lines; the count is asked again before each line.
  virtual int EditorLineCount() = 0;
  virtual QString EditorLine(int index) = 0;

  // The multi-threading switch and the stored MultiThreads value (0 when
  // absent); each read once per run, after the intake.
  virtual bool MultiThreadingOn() = 0;
  virtual int MultiThreads() = 0;

  // Appends one record with FImageNo -1.
  virtual void AddData(const QString& MyURL, const QString& MyPlatform) = 0;

  // Status bar: panel 0 holds the count ("3 / 10"), panel 1 the URL in work.
  virtual void SetStatusText(int panel, const QString& text) = 0;

  // Results view: explicit row count, and the redraw of one row.
  virtual void SetRowCount(qint64 count) = 0;
  virtual void RedrawRow(int index) = 0;

  // The run has finished (also after a stop): back to the idle state.
  virtual void IslemTamam(bool BeepYapalimmi) = 0;

  // An expression of a signature file stopped at its limit on the page of
  // record `index` (its evidence lists every one); `first` is the first.
  // Called after the record's result is stored.
  virtual void ExpressionStopped(int index, const engine::TStoppedExpression& first) {
    Q_UNUSED(index);
    Q_UNUSED(first);
  }

  // Record `index` has ended: its platforms text, picture and evidence are
  // stored (called once per job's end, after the row's redraw).
  virtual void RecordEnded(int index) { Q_UNUSED(index); }

  // Ended jobs over the total, after the count and after each job's end.
  virtual void Progress(qint64 done, qint64 total) {
    Q_UNUSED(done);
    Q_UNUSED(total);
  }
};

// The fetch-related field texts as the main thread last saw them. The main
// thread rewrites the copy whenever a field changes; fetches on other threads
// read it for every request. Safe from any thread.
class TFetchInputs {
 public:
  struct Snapshot {
    QString connectTimeoutText = QStringLiteral("5000");   // Edit3
    QString responseTimeoutText = QStringLiteral("5000");  // Edit4
    QString userAgentText;                                 // ComboBox1
    fetch::ProxySettings proxy;                            // Settings > Proxy
  };
  void Set(const Snapshot& values) {
    QMutexLocker lock(&mutex_);
    values_ = values;
  }
  Snapshot Get() const {
    QMutexLocker lock(&mutex_);
    return values_;
  }

 private:
  mutable QMutex mutex_;
  Snapshot values_;
};

}  // namespace run
