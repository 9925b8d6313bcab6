#pragma once
// Turning a response body into page text: content decoding (gzip, deflate),
// the choice of character set, the conversion and the line normalisation.
#include <zlib.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fetch {

// A body is read up to this many bytes after decompression; the rest is
// dropped, so an endless body or a decompression bomb cannot exhaust memory.
inline constexpr size_t kMaxBodyBytes = size_t{16} << 20;

// Decodes a body as it arrives. "gzip" is read as the gzip format and
// "deflate" as the zlib format; any other coding passes through unchanged.
class ContentDecoder {
 public:
  explicit ContentDecoder(std::string_view contentEncoding);
  ~ContentDecoder();
  ContentDecoder(const ContentDecoder&) = delete;
  ContentDecoder& operator=(const ContentDecoder&) = delete;

  // Called with the size `out` is about to reach, before it grows; it may
  // wait, or reserve `out` itself.
  using GrowthHook = std::function<void(size_t)>;

  // Appends the decoded form of `data` to `out`, never letting `out` grow past
  // `limit`. False on a decompression error (see Error()); true otherwise,
  // also when `out` reached `limit` (see Full()). `beforeGrowth`, when set,
  // runs before every append.
  bool Feed(const char* data, size_t size, std::string& out, size_t limit, const GrowthHook& beforeGrowth = {});
  // After the last byte: false when the compressed stream was cut short.
  bool Finish();
  // zlib's own error code of the failure.
  int Error() const { return error_; }
  bool Full() const { return full_; }

 private:
  bool compressed_ = false;
  bool started_ = false;  // any compressed input seen
  bool ended_ = false;    // end of the compressed stream seen
  bool full_ = false;
  int error_ = 0;
  z_stream stream_{};
};

// The media type of a Content-Type value, lower case, without parameters.
std::string MediaType(std::string_view contentType);
// The charset parameter of a Content-Type value, or empty.
std::string CharsetParameter(std::string_view contentType);

// The character set a meta element in the head of an HTML document names
// (charset attribute, or http-equiv Content-Type with a charset), or empty.
std::string HtmlMetaCharset(std::string_view body);
// The content values of every <meta http-equiv="Set-Cookie"> of an HTML
// document's head, in document order.
std::vector<std::string> HtmlMetaCookies(std::string_view body);
// The character set an XML document states by its byte order mark or its
// declaration; "UTF-8" when it states none.
std::string XmlCharset(std::string_view body);

// The character set to decode a body with: for HTML a meta element wins over
// the header; XML decides by itself; else the header's charset; empty: none.
std::string ChooseCharset(std::string_view contentType, std::string_view body);

// The bytes as text in `charset`; byte by byte (as ISO-8859-1) when the
// charset is empty or unknown.
std::u16string DecodeText(std::string_view bytes, const std::string& charset);
// Bytes as characters of the same number.
std::u16string Latin1ToUtf16(std::string_view bytes);

// UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// The page text's line form: the text up to the first NUL, split at CR, LF
// or CR LF, and every line (the last one too) followed by CR LF; an empty
// text stays empty.
std::u16string NormaliseLines(std::u16string_view text);
// The same on the text itself, without a second copy (one reallocation at
// most, none when the text has room for the added characters).
void NormaliseLinesInPlace(std::u16string& text);

// A body's page text: DecodeText, then NormaliseLines, with one text buffer
// made with room for the line ends and the body's bytes freed before the
// lines are normalised.
std::u16string PageText(std::string body, const std::string& charset);

}  // namespace fetch
