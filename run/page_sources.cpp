#include "run/page_sources.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "fetch/body_decoding.h"
#include "fetch/page_budget.h"
#include "fetch/recorded_response.h"
#include "fetch/response_head.h"
#include "run/identifier.h"
#include "saved/byte_input.h"
#include "saved/page_file.h"
#include "saved/page_walk.h"
#include "saved/warc_reader.h"

namespace run {

namespace {

std::u16string Failure(const char* what, const std::string& reason) {
  return u"Error: " + QString::fromUtf8(what).toStdU16String() + QString::fromLocal8Bit(reason).toStdU16String();
}

// A saved page file, read as --page reads one, up to the fetch's body cap.
class TPageFileSource : public TPageSource {
 public:
  TPageFileSource(std::string path, std::string folderError)
      : path_(std::move(path)), folderError_(std::move(folderError)) {}

  TSiteFetch Read(fetch::PageLease& pageLease) override {
    TSiteFetch fetched;
    std::string bytes, reason;
    if (!folderError_.empty()) {
      fetched.pageText = Failure("Cannot read the folder: ", folderError_);
      fetched.pageFailed = true;
    } else if (!saved::ReadFileBytes(path_, bytes, reason, fetch::kMaxBodyBytes)) {
      fetched.pageText = Failure("Cannot read the file: ", reason);
      fetched.pageFailed = true;
    } else {
      pageLease.Reserve(bytes.size(), nullptr);
      fetched.pageText = saved::PageFileText(bytes);
    }
    return fetched;
  }

 private:
  std::string path_;
  std::string folderError_;
};

// A response recorded in an archive, decoded as a fetched one.
class TArchiveRecordSource : public TPageSource {
 public:
  TArchiveRecordSource(std::string block, bool cut, std::u16string recorded)
      : block_(std::move(block)), cut_(cut), recorded_(std::move(recorded)) {}

  TSiteFetch Read(fetch::PageLease& pageLease) override {
    fetch::RecordedPage page = fetch::DecodeRecordedResponse(block_, cut_, &pageLease);
    std::string().swap(block_);
    TSiteFetch fetched;
    fetched.pageText = std::move(page.pageText);
    fetched.headerText = std::move(page.headerText);
    fetched.pageFailed = page.failed;
    fetched.recorded = std::move(recorded_);
    return fetched;
  }
  std::size_t HeldBytes() const override { return block_.capacity(); }

 private:
  std::string block_;
  bool cut_;
  std::u16string recorded_;
};

bool IsHtmlMediaType(std::string_view value) {
  const std::string type = fetch::MediaType(value);
  return type == "text/html" || type == "application/xhtml+xml";
}

bool IsHttpUri(std::string_view uri) {
  const auto scheme = [&](std::string_view s) { return uri.size() > s.size() && fetch::EqualsNoCase(uri.substr(0, s.size()), s); };
  return scheme("http://") || scheme("https://");
}

// Whether a record's block is wanted at all: a response of an http(s) URI.
bool IsPageResponse(const saved::WarcRecord& record) {
  return fetch::EqualsNoCase(record.Type(), "response") && IsHttpUri(record.TargetUri());
}

// Whether a response record is identified by default: status 200, HTML.
bool IsHtmlPage(const saved::WarcRecord& record) {
  const fetch::RecordedHead recorded = fetch::ReadRecordedHead(record.block);
  if (!recorded.complete || recorded.head.status != 200) return false;
  if (!recorded.head.contentType.empty()) return IsHtmlMediaType(recorded.head.contentType);
  const std::string* identified = record.Field("WARC-Identified-Payload-Type");
  return identified != nullptr && IsHtmlMediaType(*identified);
}

}  // namespace

TPageFileEntries::TPageFileEntries(PathFunction nextPath, bool everyFile)
    : nextPath_(std::move(nextPath)), walk_(std::make_unique<saved::PageWalk>(everyFile)) {}

TPageFileEntries::~TPageFileEntries() = default;

std::optional<TStreamEntry> TPageFileEntries::Next(const std::atomic<bool>& giveUp) {
  for (;;) {
    if (StopFlag().load() || giveUp.load()) return std::nullopt;
    if (std::optional<saved::PageWalk::Item> item = walk_->Next()) {
      QString name = QFile::decodeName(QByteArray::fromStdString(item->path));
      return TStreamEntry{std::move(name), std::make_unique<TPageFileSource>(std::move(item->path), std::move(item->error)),
                          QString()};
    }
    const std::optional<QString> path = nextPath_(giveUp);
    if (!path) return std::nullopt;
    if (!path->isEmpty()) walk_->Add(QFile::encodeName(*path).toStdString());
  }
}

TArchiveEntries::TArchiveEntries(QStringList archives, bool every, ProblemFunction problem, FailureFunction failure)
    : archives_(std::move(archives)), every_(every), problem_(std::move(problem)), failure_(std::move(failure)) {}

TArchiveEntries::~TArchiveEntries() { Close(); }

void TArchiveEntries::Close() {
  reader_.reset();
  input_.reset();
  if (fd_ > STDERR_FILENO) ::close(fd_);
  fd_ = -1;
}

bool TArchiveEntries::OpenNext() {
  while (next_ < archives_.size()) {
    current_ = archives_.at(next_++);
    if (current_ == QLatin1String("-")) {
      fd_ = STDIN_FILENO;
    } else {
      fd_ = ::open(QFile::encodeName(current_).constData(), O_RDONLY | O_CLOEXEC);
      if (fd_ < 0) {
        failure_(current_, QString::fromLocal8Bit(std::strerror(errno)));
        continue;
      }
    }
    const auto stop = [this] { return StopFlag().load() || (giveUp_ != nullptr && giveUp_->load()); };
    input_ = std::make_unique<saved::FileInput>(fd_, stop);
    saved::WarcReader::Options options;
    options.keepBlock = IsPageResponse;
    options.stop = stop;
    options.problem = [this](const saved::ArchiveProblem& p) {
      problem_(current_, p.offset, QString::fromStdString(p.text));
    };
    reader_ = std::make_unique<saved::WarcReader>(*input_, std::move(options));
    return true;
  }
  return false;
}

std::optional<TStreamEntry> TArchiveEntries::Next(const std::atomic<bool>& giveUp) {
  giveUp_ = &giveUp;
  for (;;) {
    if (StopFlag().load() || giveUp.load()) return std::nullopt;
    if (!reader_ && !OpenNext()) return std::nullopt;
    std::optional<saved::WarcRecord> record = reader_->Next();
    if (!record) {
      const std::string error = reader_->ReadError();
      if (!error.empty()) failure_(current_, QString::fromLocal8Bit(error));
      Close();
      continue;
    }
    // Revisits, requests, metadata and the rest hold no page of their own.
    if (!IsPageResponse(*record) || (!every_ && !IsHtmlPage(*record))) continue;
    const bool cut = record->cut || record->Field("WARC-Truncated") != nullptr;
    QString name = QString::fromUtf8(record->TargetUri());
    std::u16string recorded = QString::fromUtf8(record->Date()).toStdU16String();
    return TStreamEntry{std::move(name),
                        std::make_unique<TArchiveRecordSource>(std::move(record->block), cut, std::move(recorded)),
                        QString()};
  }
}

}  // namespace run
