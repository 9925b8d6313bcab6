#pragma once
// Compressed bodies for loopback replies (tests and benchmarks). Header only:
// a user links zlib itself (the fetch layer brings it).
#include <zlib.h>

#include <stdexcept>
#include <string>

namespace testsupport {

// `windowBits` 16 + MAX_WBITS: gzip; MAX_WBITS: zlib; -MAX_WBITS: raw deflate.
inline std::string Compress(const std::string& data, int windowBits) {
  z_stream stream{};
  if (deflateInit2(&stream, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&stream, data.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}
inline std::string Gzip(const std::string& data) { return Compress(data, 16 + MAX_WBITS); }
inline std::string Zlib(const std::string& data) { return Compress(data, MAX_WBITS); }

}  // namespace testsupport
