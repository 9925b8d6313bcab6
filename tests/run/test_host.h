#pragma once
// A front end for whole-run tests: a TRunHost over plain lists that records
// every hand-over it performs, checks that each runs on the main thread, and
// ends an event loop when the run has ended.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "run/identifier.h"
#include "run/run_host.h"

class TestHost : public run::TRunHost {
 public:
  TestHost() : context_(std::make_unique<QObject>()) {}

  QObject* Context() override { return context_.get(); }
  run::TWorkList& WorkList() override { return list; }
  int EditorLineCount() override {
    Note(QStringLiteral("linecount"));
    return static_cast<int>(lines.size());
  }
  QString EditorLine(int index) override {
    if (onLineRead) onLineRead(index);
    return lines.at(index);
  }
  bool MultiThreadingOn() override { return multi; }
  int MultiThreads() override { return multiThreads; }
  void AddData(const QString& MyURL, const QString& MyPlatform) override {
    Note(QStringLiteral("add"));
    list.push_back(run::TMyRecord{MyURL, MyPlatform, run::kImageNone});
  }
  void SetStatusText(int panel, const QString& text) override {
    Note(QStringLiteral("status%1 %2").arg(panel).arg(text));
    if (panel == 0) panel0 = text;
  }
  void SetRowCount(qint64 count) override {
    Note(QStringLiteral("rowcount %1").arg(count));
    rowCount = count;
  }
  void RedrawRow(int index) override {
    Note(QStringLiteral("redraw %1 %2").arg(index).arg(list.at(static_cast<size_t>(index)).FImageNo));
  }
  void IslemTamam(bool BeepYapalimmi) override {
    Note(QStringLiteral("finish %1").arg(BeepYapalimmi));
    ++finishCount;
    if (onFinish) onFinish();
  }

  void Note(const QString& event) {
    EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread()) << event.toStdString();
    if (noteAfterAbandon) ++callsAfterAbandon;
    events << event;
  }

  // Deletes the context object, as a window that closes would.
  void DropContext() { context_.reset(); }

  QStringList lines;
  bool multi = false;
  int multiThreads = 0;
  run::TWorkList list;
  QStringList events;
  QString panel0;
  qint64 rowCount = -1;
  int finishCount = 0;
  bool noteAfterAbandon = false;
  int callsAfterAbandon = 0;
  std::function<void(int)> onLineRead;
  std::function<void()> onFinish;

 private:
  std::unique_ptr<QObject> context_;
};

// One run as a front end makes it: the worker started on the main thread,
// the event loop spun until the worker's finished() arrives.
struct RunResult {
  bool ended = false;
  bool failed = false;
  QString message;
  qint64 total = 0;
  qint64 ended_jobs = 0;
};

inline RunResult RunToEnd(TestHost& host, const QString& runAgent = QStringLiteral("RunAgent/1"),
                          run::PoolLimits limits = run::PoolLimits{2, 6},
                          std::shared_ptr<run::TFetchInputs> inputs = nullptr,
                          const std::function<void(run::TMyIdentifier&)>& whileRunning = {}) {
  if (!inputs) inputs = std::make_shared<run::TFetchInputs>();
  RunResult result;
  run::TMyIdentifier worker(host, inputs, runAgent, limits);
  QEventLoop loop;
  QObject::connect(&worker, &QThread::finished, &loop, [&] {
    result.ended = true;
    loop.quit();
  });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
  guard.start(60000);
  worker.start();
  // From a timer, as a user's action comes, not from a queued call: a loop
  // of its own started inside the delivery of queued calls (a zero timer is
  // one) leaves the calls already queued behind it undelivered until
  // something new is queued, which is the GLib event dispatcher's way and
  // would hold the worker's first hand-over for as long as the loop runs.
  if (whileRunning) QTimer::singleShot(1, &loop, [&] { whileRunning(worker); });
  QElapsedTimer elapsed;
  elapsed.start();
  loop.exec();
  // What a run that did not end had got to: whether the finish hand-over
  // came, and whether the worker thread is still there.
  EXPECT_TRUE(result.ended) << "the run did not end: finish hand-overs " << host.finishCount << ", worker "
                            << (worker.isRunning() ? "still running" : "ended") << ", after " << elapsed.elapsed()
                            << " ms";
  if (!result.ended) {
    worker.Abandon();
    worker.wait();
  }
  result.failed = worker.Failed();
  result.message = worker.FailureMessage();
  result.total = worker.TotalCount();
  result.ended_jobs = worker.EndedCount();
  return result;
}

// Calls `action` once `ready` says yes, asked from the event loop every few
// milliseconds, so that nothing waits inside an event handler meanwhile.
inline void WhenReady(std::function<bool()> ready, std::function<void()> action) {
  auto* timer = new QTimer(QCoreApplication::instance());
  timer->setInterval(2);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, ready = std::move(ready), action = std::move(action)] {
    if (!ready()) return;
    timer->stop();
    timer->deleteLater();
    action();
  });
  timer->start();
}

// Lets the main thread's events run (hand-overs among them) until `done`
// says yes; false after `ms`.
inline bool SpinUntil(const std::function<bool()>& done, int ms = 20000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}
