#pragma once
// Web archives made by hand for tests and benchmarks (WARC 1.1 records, as
// the format lays them out), plain or gzip-compressed a member per record.
// Header only; a user links zlib itself (the fetch layer brings it).
#include <string>
#include <utility>
#include <vector>

#include "support/compress.h"

namespace testsupport {

using WarcFields = std::vector<std::pair<std::string, std::string>>;

// One record: the version line, WARC-Type, the fields given, Content-Length
// (the block's size unless `length` is given), the block, CR LF CR LF.
inline std::string WarcRecordBytes(const std::string& type, const WarcFields& fields, const std::string& block,
                                   const std::string& length = {}) {
  std::string record = "WARC/1.1\r\nWARC-Type: " + type + "\r\n";
  for (const auto& [name, value] : fields) record += name + ": " + value + "\r\n";
  record += "Content-Length: " + (length.empty() ? std::to_string(block.size()) : length) + "\r\n\r\n";
  return record + block + "\r\n\r\n";
}

// An HTTP answer as a crawler records it.
inline std::string HttpAnswer(const std::string& body, const std::string& contentType = "text/html",
                              const std::string& statusLine = "HTTP/1.1 200 OK", const std::string& moreHeaders = {}) {
  std::string head = statusLine + "\r\n";
  if (!contentType.empty()) head += "Content-Type: " + contentType + "\r\n";
  head += moreHeaders + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  return head + body;
}

// A response record of `uri`.
inline std::string ResponseRecord(const std::string& uri, const std::string& answer,
                                  const std::string& date = "2024-01-02T03:04:05Z") {
  return WarcRecordBytes("response",
                         {{"WARC-Target-URI", uri}, {"WARC-Date", date}, {"Content-Type", "application/http; msgtype=response"}},
                         answer);
}

// Records one after another, each its own gzip member (as crawlers write).
inline std::string GzipEach(const std::vector<std::string>& records) {
  std::string out;
  for (const std::string& record : records) out += Gzip(record);
  return out;
}

inline std::string Joined(const std::vector<std::string>& records) {
  std::string out;
  for (const std::string& record : records) out += record;
  return out;
}

}  // namespace testsupport
