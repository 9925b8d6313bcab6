#include "ui/signature_preparation.h"

#include <sys/stat.h>

#include "engine/extra_signatures.h"

namespace ui {

TSignaturePreparation::TSignaturePreparation(QObject* parent) : QObject(parent) {}

TSignaturePreparation::~TSignaturePreparation() {
  if (thread_ != nullptr) {
    // Compiling cannot be interrupted; it ends on its own.
    thread_->wait();
    delete thread_;
  }
}

std::vector<TSignaturePreparation::TStamp> TSignaturePreparation::Stamps(const std::vector<std::string>& paths) {
  std::vector<TStamp> stamps;
  for (const auto& path : paths) {
    TStamp stamp;
    stamp.path = path;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
      stamp.exists = true;
      stamp.size = info.st_size;
      stamp.inode = static_cast<qint64>(info.st_ino);  // a file put in place by renaming is another file
      stamp.changed = qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
      stamp.statusChanged = qint64(info.st_ctim.tv_sec) * 1'000'000'000 + info.st_ctim.tv_nsec;
    }
    stamps.push_back(std::move(stamp));
  }
  return stamps;
}

bool TSignaturePreparation::Ready(const std::vector<std::string>& paths) const {
  return have_ && thread_ == nullptr && stamps_ == Stamps(paths);
}

void TSignaturePreparation::Prepare(const std::vector<std::string>& paths, std::function<void()> done) {
  if (done) waiting_.push_back(std::move(done));
  if (thread_ != nullptr) return;  // its end runs `done`; a Start then checks the files again
  if (Ready(paths)) {
    for (auto& call : std::exchange(waiting_, {})) call();
    return;
  }
  pendingStamps_ = Stamps(paths);
  pending_ = std::make_shared<TPrepared>();
  auto result = pending_;
  thread_ = QThread::create([paths, result] {
    auto load = engine::LoadSignatureFiles(paths);
    result->rejected = std::move(load.rejected);
    if (!load.files.empty()) result->set = std::make_shared<const engine::TExtraSignatures>(std::move(load.files));
  });
  connect(thread_, &QThread::finished, this, &TSignaturePreparation::Collect);
  ++compilations_;
  thread_->start(QThread::LowPriority);
}

void TSignaturePreparation::Collect() {
  thread_->wait();
  delete thread_;
  thread_ = nullptr;
  prepared_ = std::move(*pending_);
  pending_.reset();
  stamps_ = std::move(pendingStamps_);
  have_ = true;
  Q_EMIT Finished();
  for (auto& call : std::exchange(waiting_, {})) call();
}

}  // namespace ui
