#pragma once
// The reading end of a named pipe for tests of writers that are given one:
// opened at once without waiting for a writer, read on a thread of its own
// (so a writer that fills the pipe goes on), and drained when the test says
// the writer is done. A writer that never opens the pipe (one that replaces
// it with a file, say) leaves it empty instead of hanging the test.
#include <QByteArray>
#include <QString>

#include <atomic>
#include <thread>

namespace testsupport {

class TPipeReader {
 public:
  explicit TPipeReader(const QString& path);
  ~TPipeReader();
  TPipeReader(const TPipeReader&) = delete;
  TPipeReader& operator=(const TPipeReader&) = delete;

  bool Opened() const { return fd_ >= 0; }
  // Every byte that came through, once the writer has closed its end.
  QByteArray Finish();

 private:
  void Stop();

  int fd_ = -1;
  std::atomic<bool> stop_{false};
  QByteArray received_;
  std::thread thread_;
};

}  // namespace testsupport
