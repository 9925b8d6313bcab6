#include "cli/resume_file.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstring>

namespace cli {

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

// The first field of one CSV record (as run::CsvField writes it), or nothing
// when the record does not start with a well-formed field and a separator.
std::optional<QString> FirstCsvField(const QByteArray& record) {
  QByteArray field;
  qsizetype i = 0;
  if (record.startsWith('"')) {
    for (i = 1;; ++i) {
      if (i >= record.size()) return std::nullopt;
      if (record.at(i) == '"') {
        if (i + 1 < record.size() && record.at(i + 1) == '"') {
          field += '"';
          ++i;
          continue;
        }
        ++i;
        break;
      }
      field += record.at(i);
    }
    if (i >= record.size() || record.at(i) != ',') return std::nullopt;
  } else {
    const qsizetype comma = record.indexOf(',');
    if (comma < 0) return std::nullopt;
    field = record.left(comma);
  }
  return QString::fromUtf8(field);
}

std::optional<QString> JsonUrl(const QByteArray& line) {
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(line, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
  const QJsonValue url = document.object().value(QStringLiteral("url"));
  if (!url.isString()) return std::nullopt;
  return url.toString();
}

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

std::optional<TResumeFile> ReadResumeFile(const QString& path, TFormat format, QString& error, bool urlNames) {
  TResumeFile result;
  result.lineEnd = format == TFormat::Jsonl ? QByteArray("\n") : QByteArray("\r\n");
  result.start = format == TFormat::Jsonl ? QByteArray() : kBom;

  QFile file(path);
  if (!file.exists()) {
    result.done.Seal();
    return result;
  }
  if (!file.open(QIODevice::ReadOnly)) {
    error = file.errorString();
    return std::nullopt;
  }
  // A mark cut short counts as no mark: the file is started afresh.
  const QByteArray head = file.peek(3);
  if (head == kBom) {
    file.skip(3);
    result.keepBytes = 3;
    result.start.clear();
  }

  qint64 lineNumber = 0;
  QByteArray record;  // a CSV record may span lines (a quoted LF)
  bool lineEndKnown = false;
  for (;;) {
    const QByteArray line = file.readLine();
    if (line.isEmpty()) {
      if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return std::nullopt;
      }
      break;
    }
    ++lineNumber;
    // Only a line that reached its LF is complete: the LF is written last.
    if (!line.endsWith('\n')) break;
    record += line;
    if (format == TFormat::Csv && record.count('"') % 2 != 0) continue;  // inside a quoted field

    if (!lineEndKnown) {
      result.lineEnd = record.endsWith("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
      lineEndKnown = true;
    }
    QByteArray content = record;
    content.chop(content.endsWith("\r\n") ? 2 : 1);
    const std::optional<QString> url = format == TFormat::Jsonl ? JsonUrl(content) : FirstCsvField(content);
    if (!url || (urlNames ? !url->startsWith(QLatin1String("http")) : url->isEmpty())) {
      error = QStringLiteral("line %1 is not a %2 record of this tool")
                  .arg(lineNumber)
                  .arg(format == TFormat::Jsonl ? QStringLiteral("jsonl") : QStringLiteral("csv"));
      return std::nullopt;
    }
    result.done.Add(*url);
    ++result.records;
    result.keepBytes += record.size();
    result.start.clear();
    record.clear();
  }
  result.done.Seal();
  return result;
}

}  // namespace cli
