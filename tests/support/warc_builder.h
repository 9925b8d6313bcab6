#pragma once
// Web archives made by hand for tests and benchmarks (WARC 1.1 records, as
// the format lays them out), plain or gzip-compressed a member per record.
// Header only; a user links zlib itself (the fetch layer brings it).
#include <cstdint>
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

// `head`, then `zeros` zero bytes (a multiple of 1 MiB), then `tail`, as
// one gzip member, made without compressing (or holding) the zeros more
// than once: the compressed form of 1 MiB of zeros, ended by a full flush,
// is a run of deflate blocks that may stand any number of times in a row.
inline std::string GzipWithZeros(const std::string& head, std::uint64_t zeros, const std::string& tail) {
  const auto deflated = [](const std::string& data, int flush) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, flush);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
  };
  const std::string piece(1 << 20, '\0');
  const std::string zeroBlocks = deflated(piece, Z_FULL_FLUSH);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(head.data()), static_cast<uInt>(head.size()));
  const uLong pieceCrc = crc32(0, reinterpret_cast<const Bytef*>(piece.data()), static_cast<uInt>(piece.size()));
  std::string out("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10);
  out += deflated(head, Z_FULL_FLUSH);
  for (std::uint64_t i = 0; i < zeros / piece.size(); ++i) {
    out += zeroBlocks;
    crc = crc32_combine(crc, pieceCrc, static_cast<z_off_t>(piece.size()));
  }
  out += deflated(tail, Z_FINISH);
  crc = crc32(crc, reinterpret_cast<const Bytef*>(tail.data()), static_cast<uInt>(tail.size()));
  const std::uint64_t size = head.size() + zeros + tail.size();
  for (int i = 0; i < 4; ++i) out += static_cast<char>((crc >> (8 * i)) & 0xFF);
  for (int i = 0; i < 4; ++i) out += static_cast<char>((size >> (8 * i)) & 0xFF);
  return out;
}

inline std::string Joined(const std::vector<std::string>& records) {
  std::string out;
  for (const std::string& record : records) out += record;
  return out;
}

}  // namespace testsupport
