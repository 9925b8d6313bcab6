#pragma once
// The window's extra signatures, read and compiled away from the window's
// thread: a large file takes seconds to compile, and the window must stay
// responsive meanwhile. The compiled set is kept and used again for as long
// as the files it came from are unchanged (same paths, sizes and times of
// change), so a Start after the first one costs nothing.
#include <QObject>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace engine {
class TExtraSignatures;
}

namespace ui {

class TSignaturePreparation : public QObject {
  Q_OBJECT
 public:
  // The files read: the shipped set, then the user's file when it exists.
  struct TPrepared {
    std::shared_ptr<const engine::TExtraSignatures> set;  // null when no file is sound
    std::vector<std::vector<std::string>> rejected;       // the faults of each file left out
  };

  explicit TSignaturePreparation(QObject* parent = nullptr);
  ~TSignaturePreparation() override;  // waits for a compilation under way

  // Whether a compiled set of exactly `paths` as they are now is at hand.
  bool Ready(const std::vector<std::string>& paths) const;
  // The set at hand (Ready must hold).
  const TPrepared& Prepared() const { return prepared_; }
  // Starts reading and compiling `paths` on a thread of its own, unless
  // that is under way or done already; `done` runs on this object's thread
  // once the set is ready (not when this object goes first).
  void Prepare(const std::vector<std::string>& paths, std::function<void()> done = {});
  bool Busy() const { return thread_ != nullptr; }
  // How many times files were read and compiled (for tests).
  int Compilations() const { return compilations_; }

 Q_SIGNALS:
  void Finished();

 private:
  struct TStamp {
    std::string path;
    bool exists = false;
    qint64 size = 0, inode = 0;
    qint64 changed = 0, statusChanged = 0;  // nanoseconds
    bool operator==(const TStamp&) const = default;
  };
  static std::vector<TStamp> Stamps(const std::vector<std::string>& paths);
  void Collect();

  TPrepared prepared_;
  std::vector<TStamp> stamps_;  // of the files `prepared_` came from
  bool have_ = false;

  QThread* thread_ = nullptr;
  std::vector<TStamp> pendingStamps_;
  std::shared_ptr<TPrepared> pending_;
  std::vector<std::function<void()>> waiting_;
  int compilations_ = 0;
};

}  // namespace ui
