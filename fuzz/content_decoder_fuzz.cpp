// The gzip and deflate decoding of bodies. Input: one byte for the coding
// (gzip, deflate, none), two for a size limit, one for the size of the
// pieces the body arrives in, then the body. The decoded body never grows
// past the limit, and the same body gives the same result and the same
// bytes whether it arrives in one piece or in many; an uncompressed body is
// its own first `limit` bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fetch/body_decoding.h"
#include "fuzz/fuzz_support.h"

namespace {

struct TDecoded {
  std::string bytes;
  bool fed = true;
  bool finished = false;
  bool full = false;
};

TDecoded Decode(std::string_view coding, std::string_view body, size_t limit, size_t piece) {
  TDecoded decoded;
  fetch::ContentDecoder decoder(coding);
  for (size_t at = 0; at < body.size() && decoded.fed; at += piece) {
    const std::string_view chunk = body.substr(at, piece);
    decoded.fed = decoder.Feed(chunk.data(), chunk.size(), decoded.bytes, limit);
    FUZZ_CHECK(decoded.bytes.size() <= limit);
  }
  decoded.finished = decoded.fed && decoder.Finish();
  decoded.full = decoder.Full();
  return decoded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  static constexpr std::string_view kCodings[] = {"gzip", "deflate", "identity", " GZip "};
  const std::string_view coding = kCodings[data[0] % 4];
  // Small limits so that short inputs reach them, and the real one.
  const size_t limit = data[1] == 0xFF ? fetch::kMaxBodyBytes : (size_t{data[1]} << 8 | data[2]) + 1;
  const size_t piece = data[3] % 64 + 1;
  const std::string_view body(reinterpret_cast<const char*>(data) + 4, size - 4);

  const TDecoded whole = Decode(coding, body, limit, std::max<size_t>(body.size(), 1));
  const TDecoded pieces = Decode(coding, body, limit, piece);
  FUZZ_CHECK(whole.bytes == pieces.bytes);
  FUZZ_CHECK(whole.fed == pieces.fed);
  FUZZ_CHECK(whole.finished == pieces.finished);
  FUZZ_CHECK(whole.full == pieces.full);
  FUZZ_CHECK(!whole.full || whole.bytes.size() == limit);
  if (coding == "identity") FUZZ_CHECK(whole.bytes == body.substr(0, limit));
  return 0;
}
