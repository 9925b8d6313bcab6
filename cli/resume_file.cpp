#include "cli/resume_file.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

namespace {

const QByteArray kBom("\xEF\xBB\xBF");
// How the tool begins every JSON line (then the record's name).
constexpr std::string_view kJsonStart = "{\"url\":\"";

// Whether `text` begins with `start`, or is cut off before its end.
bool BeginsLike(std::string_view text, std::string_view start) {
  return text.starts_with(start) || start.starts_with(text);
}

QString FormatName(TFormat format) { return format == TFormat::Jsonl ? QStringLiteral("jsonl") : QStringLiteral("csv"); }

}  // namespace

TDoneUrls::Digest TDoneUrls::Of(const QString& url) {
  // Not for security: only a short, evenly spread name for each URL.
  const QByteArray hash = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Md5);
  Digest d;
  std::memcpy(&d.high, hash.constData(), 8);
  std::memcpy(&d.low, hash.constData() + 8, 8);
  return d;
}

void TDoneUrls::Add(const QString& url) { digests_.push_back(Of(url)); }

void TDoneUrls::Seal() {
  std::sort(digests_.begin(), digests_.end());
  // Duplicates folded in place into counts, so the peak stays one copy.
  counts_.clear();
  counts_.reserve(digests_.size());
  std::size_t unique = 0;
  for (std::size_t i = 0; i < digests_.size(); ++i) {
    if (unique > 0 && digests_[unique - 1] == digests_[i]) {
      ++counts_.back();
    } else {
      digests_[unique++] = digests_[i];
      counts_.push_back(1);
    }
  }
  digests_.resize(unique);
}

std::uint32_t* TDoneUrls::Find(const QString& url) {
  const Digest d = Of(url);
  const auto it = std::lower_bound(digests_.begin(), digests_.end(), d);
  if (it == digests_.end() || *it != d) return nullptr;
  return &counts_[static_cast<std::size_t>(it - digests_.begin())];
}

bool TDoneUrls::Take(const QString& url) {
  std::uint32_t* count = Find(url);
  if (count == nullptr || *count == 0) return false;
  --*count;
  return true;
}

std::uint32_t TDoneUrls::Count(const QString& url) const {
  const std::uint32_t* count = const_cast<TDoneUrls*>(this)->Find(url);
  return count == nullptr ? 0 : *count;
}

// One CSV record as the tool writes it (run::CsvField: a field is bare, or
// quoted with its quotes doubled), read a line at a time: a quoted field of
// an older file may hold line breaks, so a record may span lines.
struct TResumeReader::Csv {
  qint64 startLine = 0;
  int field = 0;
  bool inQuotes = false;
  bool afterQuote = false;
  bool fieldStart = true;
  QByteArray url;  // the first field, its quotes undone
  std::string_view prefix;  // how every name begins

  // The bytes of one line (`complete`: they end with its LF). False when they
  // cannot be part of such a record; `ended` when the record ends with them.
  bool Take(std::string_view line, bool complete, bool& ended) {
    ended = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const char c = line[i];
      if (inQuotes) {
        if (c == '"') {
          inQuotes = false;
          afterQuote = true;
        } else if (field == 0) {
          url += c;
        }
        continue;
      }
      if (afterQuote) {
        afterQuote = false;
        if (c == '"') {  // a doubled quote inside the field
          inQuotes = true;
          if (field == 0) url += c;
          continue;
        }
        if (c != ',' && c != '\r' && c != '\n') return false;
      } else if (fieldStart && c == '"') {
        fieldStart = false;
        inQuotes = true;
        continue;
      }
      fieldStart = false;
      if (c == ',') {
        // Two fields, the first a URL.
        if (field == 0 && !std::string_view(url.constData(), static_cast<std::size_t>(url.size())).starts_with(prefix))
          return false;
        if (++field > 1) return false;
        fieldStart = true;
      } else if (c == '"') {
        return false;  // a bare field holds no quote
      } else if (c == '\r') {
        // Only as the line end: before the LF, or where a cut-off line ends.
        if (i + 1 < line.size() ? line[i + 1] != '\n' : complete) return false;
      } else if (c == '\n') {
        ended = field == 1;
        return ended;
      } else if (field == 0) {
        url += c;
      }
    }
    return field > 0 || BeginsLike(std::string_view(url.constData(), static_cast<std::size_t>(url.size())), prefix);
  }
};

TResumeReader::TResumeReader(std::optional<TFormat> asked, bool urlNames)
    : asked_(asked), namePrefix_(urlNames ? "http" : "") {}

TResumeReader::~TResumeReader() { delete csv_; }

void TResumeReader::Refuse(qint64 line, const QString& reason) {
  if (errorLine_ != 0) return;
  errorLine_ = line;
  reason_ = reason;
}

void TResumeReader::Feed(std::string_view bytes) {
  std::size_t pos = 0;
  // A byte-order mark first (it may come a byte at a time): kept, and not
  // part of any line.
  while (atStart_ && pos < bytes.size()) {
    if (bytes[pos] != kBom.at(head_.size())) {
      partial_ = head_;  // not a mark: these bytes begin the first line
      head_.clear();
      atStart_ = false;
      break;
    }
    head_ += bytes[pos++];
    if (head_.size() == kBom.size()) {
      offset_ = file_.keepBytes = kBom.size();
      atStart_ = false;
    }
  }
  while (errorLine_ == 0 && pos < bytes.size()) {
    const std::size_t lf = bytes.find('\n', pos);
    if (lf == std::string_view::npos) {
      partial_.append(bytes.data() + pos, static_cast<qsizetype>(bytes.size() - pos));
      return;
    }
    std::string_view line = bytes.substr(pos, lf + 1 - pos);
    if (!partial_.isEmpty()) {
      partial_.append(line.data(), static_cast<qsizetype>(line.size()));
      line = std::string_view(partial_.constData(), static_cast<std::size_t>(partial_.size()));
    }
    TakeLine(line, true);
    offset_ += static_cast<qint64>(line.size());
    ++lineNumber_;
    partial_.clear();
    pos = lf + 1;
  }
}

bool TResumeReader::Detect(std::string_view content) {
  const qint64 line = lineNumber_ + 1;
  TFormat found;
  if (!content.empty() && content.front() == '{') {
    found = TFormat::Jsonl;
  } else if (!content.empty() && (content.front() == '"' || namePrefix_.empty() || content.front() == 'h')) {
    found = TFormat::Csv;
  } else {
    Refuse(line, asked_ ? QStringLiteral("not a %1 record of this tool").arg(FormatName(*asked_))
                        : QStringLiteral("not a csv or jsonl record of this tool"));
    return false;
  }
  if (asked_ && *asked_ != found) {
    // Records of another format would be appended to these.
    Refuse(line, QStringLiteral("a %1 record: resume this file with --format %1").arg(FormatName(found)));
    return false;
  }
  file_.format = found;
  formatKnown_ = true;
  return true;
}

bool TResumeReader::JsonRecord(std::string_view content) {
  QJsonParseError error;
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray::fromRawData(content.data(), static_cast<qsizetype>(content.size())), &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) return false;
  const QJsonValue url = document.object().value(QStringLiteral("url"));
  if (!url.isString() || !url.toString().startsWith(QLatin1String(namePrefix_.c_str())) || url.toString().isEmpty())
    return false;
  file_.done.Add(url.toString());
  return true;
}

// One line of the file; `complete` false for a last line without its LF.
void TResumeReader::TakeLine(std::string_view line, bool complete) {
  const qint64 number = lineNumber_ + 1;
  std::string_view content = line;
  if (complete) content.remove_suffix(content.ends_with("\r\n") ? 2 : 1);
  if (!formatKnown_ && !Detect(content)) return;
  const QString notOurs = QStringLiteral("not a %1 record of this tool").arg(FormatName(file_.format));

  bool ended = false;
  if (file_.format == TFormat::Jsonl) {
    if (!complete) {
      // Cut off: all that can be asked is that it begins as the tool's lines do.
      if (!BeginsLike(content, std::string(kJsonStart) + namePrefix_)) Refuse(number, notOurs);
      return;
    }
    if (!JsonRecord(content)) return Refuse(number, notOurs);
    ended = true;
  } else {
    if (csv_ == nullptr) {
      csv_ = new Csv;
      csv_->startLine = number;
      csv_->prefix = namePrefix_;
    } else if (!complete) {
      // A record begun on an earlier line is not a cut-off last line.
      return Refuse(csv_->startLine, notOurs);
    }
    if (!csv_->Take(line, complete, ended)) return Refuse(csv_->startLine, notOurs);
    if (!ended) return;
    file_.done.Add(QString::fromUtf8(csv_->url));
    delete csv_;
    csv_ = nullptr;
  }
  if (!lineEndKnown_) {
    file_.lineEnd = line.ends_with("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    lineEndKnown_ = true;
  }
  ++file_.records;
  file_.keepBytes = offset_ + static_cast<qint64>(line.size());
}

std::optional<TResumeFile> TResumeReader::Finish() {
  if (errorLine_ == 0 && !partial_.isEmpty()) {
    TakeLine(std::string_view(partial_.constData(), static_cast<std::size_t>(partial_.size())), false);
  } else if (errorLine_ == 0 && csv_ != nullptr) {
    Refuse(csv_->startLine, QStringLiteral("not a csv record of this tool"));
  }
  if (errorLine_ != 0) return std::nullopt;
  if (!formatKnown_) file_.format = asked_.value_or(TFormat::Csv);
  if (!lineEndKnown_) file_.lineEnd = file_.format == TFormat::Jsonl ? QByteArray("\n") : QByteArray("\r\n");
  // A file that holds nothing yet is started as --output starts it: a CSV
  // file with its mark. A mark cut short counts as none: it is cut away.
  if (file_.records == 0 && file_.keepBytes == 0 && file_.format == TFormat::Csv) file_.start = kBom;
  file_.done.Seal();
  return std::move(file_);
}

std::optional<TResumeFile> ReadResumeFile(const QString& path, std::optional<TFormat> asked, QString& error,
                                         bool urlNames) {
  TResumeReader reader(asked, urlNames);
  const auto cannot = [&](const QString& reason) {
    error = QStringLiteral("cannot resume from %1: %2").arg(path, reason);
    return std::nullopt;
  };
  // Never waits: a named pipe opened to be read would wait for a writer.
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) return cannot(QString::fromLocal8Bit(std::strerror(errno)));
    return reader.Finish();  // a new file
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int code = errno;
    const bool folder = S_ISDIR(st.st_mode);
    ::close(fd);
    if (folder) return cannot(QString::fromLocal8Bit(std::strerror(EISDIR)));
    return cannot(st.st_mode != 0 ? QStringLiteral("not a regular file") : QString::fromLocal8Bit(std::strerror(code)));
  }
  std::vector<char> block(64 * 1024);
  for (;;) {
    const ssize_t n = ::read(fd, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int code = errno;
      ::close(fd);
      return cannot(QString::fromLocal8Bit(std::strerror(code)));
    }
    if (n == 0) break;
    reader.Feed(std::string_view(block.data(), static_cast<std::size_t>(n)));
  }
  ::close(fd);
  std::optional<TResumeFile> file = reader.Finish();
  if (!file) error = QStringLiteral("%1:%2: %3").arg(path).arg(reader.Line()).arg(reader.Reason());
  return file;
}

}  // namespace cli
