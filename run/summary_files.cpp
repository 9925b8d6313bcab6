#include "run/summary_files.h"

#include <QFile>
#include <cstring>
#include <simdjson.h>
#include <string>
#include <string_view>

#include "run/record_lines.h"

namespace run {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::size_t kBlock = 1 << 20;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A record's name: a URL, or the path of a saved page file (--pages).
bool IsRecordName(std::string_view name) { return !name.empty(); }

// One jsonl record; `line` is followed by at least SIMDJSON_PADDING readable
// bytes (`capacity` counts them).
bool AddJsonRecord(simdjson::ondemand::parser& parser, const char* line, std::size_t size, std::size_t capacity,
                   TRunSummary& summary) {
  using namespace simdjson;
  ondemand::document document;
  if (parser.iterate(padded_string_view(line, size, capacity)).get(document) != SUCCESS) return false;
  ondemand::object object;
  if (document.get_object().get(object) != SUCCESS) return false;
  bool urlSeen = false, platformsSeen = false, errorSeen = false, failed = false;
  QString error;
  QStringList platforms;
  std::vector<std::pair<QString, QString>> versions;
  for (auto field : object) {
    std::string_view key;
    if (field.unescaped_key().get(key) != SUCCESS) return false;
    ondemand::value value;
    if (field.value().get(value) != SUCCESS) return false;
    if (key == "url") {
      std::string_view url;
      if (value.get_string().get(url) != SUCCESS || !IsRecordName(url)) return false;
      urlSeen = true;
    } else if (key == "platforms") {
      ondemand::array array;
      if (value.get_array().get(array) != SUCCESS) return false;
      for (auto item : array) {
        std::string_view name;
        if (item.get_string().get(name) != SUCCESS) return false;
        platforms.append(FromUtf8(name));
      }
      platformsSeen = true;
    } else if (key == "error") {
      bool null = false;
      if (value.is_null().get(null) != SUCCESS) return false;
      if (!null) {
        std::string_view text;
        if (value.get_string().get(text) != SUCCESS) return false;
        error = FromUtf8(text);
        failed = true;
      }
      errorSeen = true;
    } else if (key == "versions") {
      ondemand::object map;
      if (value.get_object().get(map) != SUCCESS) return false;
      for (auto entry : map) {
        std::string_view name, version;
        if (entry.unescaped_key().get(name) != SUCCESS) return false;
        // The key's text lives in the parser until the next string is read.
        QString platform = FromUtf8(name);
        if (entry.value().get_string().get(version) != SUCCESS) return false;
        versions.emplace_back(std::move(platform), FromUtf8(version));
      }
    }
    // Other fields (evidence) are passed over by the iteration.
  }
  // Past the object's end only its line end may follow: a location there is
  // trailing text.
  const char* trailing = nullptr;
  if (document.current_location().get(trailing) == SUCCESS) return false;
  if (!urlSeen || !platformsSeen || !errorSeen) return false;
  if (failed)
    summary.AddFailed(error);
  else
    summary.AddAnswered(platforms, versions);
  return true;
}

bool AddCsvRecord(std::string_view record, TRunSummary& summary) {
  const QString text = FromUtf8(record);
  const std::optional<QStringList> fields = CsvFields(text, QLatin1Char(','));
  if (!fields || fields->size() != 2 || fields->at(0).isEmpty()) return false;  // no name: no record
  const QString platforms = CsvUnguarded(fields->at(1));
  if (IsErrorRecordText(platforms))
    summary.AddFailed(platforms);
  else
    summary.AddAnsweredText(platforms);
  return true;
}

// Reads records from blocks handed in by `fill(into, want, got, failed)`,
// which puts up to `want` bytes at `into` and returns false at the end of the
// input, or on a failure, which it tells by setting `failed`.
class TReader {
 public:
  TReader(TRunSummary& summary, QString& error) : summary_(summary), error_(error) {}

  template <typename Fill>
  std::optional<TSummaryFileResult> Run(Fill&& fill) {
    std::string buffer;
    std::size_t start = 0;  // first byte not yet used
    bool first = true, ended = false;
    while (!ended) {
      // Keep the unused tail, then read on.
      buffer.erase(0, start);
      start = 0;
      const std::size_t kept = buffer.size();
      buffer.resize(kept + kBlock + simdjson::SIMDJSON_PADDING);
      std::size_t got = 0;
      bool readFailed = false;
      ended = !fill(buffer.data() + kept, kBlock, got, readFailed);
      if (readFailed) return std::nullopt;
      const std::size_t size = kept + got;
      buffer.resize(size);
      buffer.reserve(size + simdjson::SIMDJSON_PADDING);
      if (first && size >= kBom.size()) {
        if (std::string_view(buffer).starts_with(kBom)) start = kBom.size();
        first = false;
      } else if (first && ended) {
        first = false;
      } else if (first) {
        continue;  // fewer than three bytes so far: the mark is not yet told
      }
      for (;;) {
        const char* from = buffer.data() + start;
        const void* lf = std::memchr(from, '\n', size - start);
        if (lf == nullptr) break;
        const std::size_t lineEnd = static_cast<std::size_t>(static_cast<const char*>(lf) - buffer.data());
        ++lineNumber_;
        std::size_t contentEnd = lineEnd;
        if (contentEnd > start && buffer[contentEnd - 1] == '\r') --contentEnd;
        const std::string_view line(buffer.data() + start, contentEnd - start);
        if (!Line(buffer, start, line, lineEnd)) return std::nullopt;
        start = lineEnd + 1;
      }
    }
    TSummaryFileResult result;
    result.records = records_;
    result.cutShort = start < buffer.size() || !pendingCsv_.empty();
    return result;
  }

 private:
  bool Line(std::string& buffer, std::size_t start, std::string_view line, std::size_t lineEnd) {
    if (!pendingCsv_.empty()) {
      // Inside a quoted CSV field that holds a line break.
      pendingCsv_.append(buffer, start, lineEnd + 1 - start);
      return TakeCsv();
    }
    if (line.empty()) return true;
    if (line.front() == '{') {
      // The parser reads up to SIMDJSON_PADDING bytes beyond the line; the
      // buffer's capacity holds them.
      const std::size_t capacity = buffer.capacity() - static_cast<std::size_t>(line.data() - buffer.data());
      if (!AddJsonRecord(parser_, line.data(), line.size(), capacity, summary_)) return Fault(lineNumber_);
      ++records_;
      return true;
    }
    pendingCsv_.assign(buffer, start, lineEnd + 1 - start);
    pendingLine_ = lineNumber_;
    return TakeCsv();
  }

  // Takes the CSV record gathered so far when its quotes are closed.
  bool TakeCsv() {
    std::size_t quotes = 0;
    for (const char c : pendingCsv_) quotes += c == '"';
    if (quotes % 2 != 0) return true;  // a quoted field goes on in the next line
    std::string_view record(pendingCsv_);
    record.remove_suffix(record.ends_with("\r\n") ? 2 : 1);
    const bool ok = AddCsvRecord(record, summary_);
    pendingCsv_.clear();
    if (!ok) return Fault(pendingLine_);
    ++records_;
    return true;
  }

  bool Fault(qint64 line) {
    error_ = QStringLiteral("line %1 is not a csv or jsonl record of this tool").arg(line);
    return false;
  }

  TRunSummary& summary_;
  QString& error_;
  simdjson::ondemand::parser parser_;
  std::string pendingCsv_;
  qint64 pendingLine_ = 0;
  qint64 lineNumber_ = 0;
  qint64 records_ = 0;
};

}  // namespace

std::optional<TSummaryFileResult> AddOutputFile(const QString& path, TRunSummary& summary, QString& error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    error = file.errorString();
    return std::nullopt;
  }
  return AddOutputDevice(file, summary, error);
}

std::optional<TSummaryFileResult> AddOutputDevice(QIODevice& device, TRunSummary& summary, QString& error) {
  TReader reader(summary, error);
  return reader.Run([&](char* into, std::size_t want, std::size_t& got, bool& failed) {
    const qint64 n = device.read(into, static_cast<qint64>(want));
    if (n < 0) {
      error = device.errorString();
      failed = true;
      return false;
    }
    got = static_cast<std::size_t>(n);
    return n > 0;
  });
}

std::optional<TSummaryFileResult> AddOutputBytes(const QByteArray& bytes, TRunSummary& summary, QString& error) {
  TReader reader(summary, error);
  qsizetype at = 0;
  return reader.Run([&](char* into, std::size_t want, std::size_t& got, bool&) {
    got = std::min<std::size_t>(want, static_cast<std::size_t>(bytes.size() - at));
    std::memcpy(into, bytes.constData() + at, got);
    at += static_cast<qsizetype>(got);
    return got > 0;
  });
}

}  // namespace run
