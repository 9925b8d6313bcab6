// The charset choice and the decoding of a fetched body: the input is a
// Content-Type value, a NUL, then the body (no NUL: all of it is the body of
// an HTML page). The page text has the line form of a fetched page (lines
// each ended by CR LF, no NUL, normalising it again changes nothing), and
// its UTF-8 form is well formed and decodes back to the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fetch/body_decoding.h"
#include "fuzz/fuzz_support.h"

namespace {

bool HasPageLineForm(std::u16string_view text) {
  if (text.empty()) return true;
  if (!text.ends_with(u"\r\n") || text.find(u'\0') != std::u16string_view::npos) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && (i + 1 >= text.size() || text[i + 1] != u'\n')) return false;
    if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) return false;
  }
  return true;
}

// The text with every unpaired surrogate replaced by U+FFFD, as UTF-8 gives.
std::u16string WithoutLoneSurrogates(std::u16string text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      text[i] = 0xFFFD;
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string_view contentType = nul == std::string_view::npos ? std::string_view("text/html") : input.substr(0, nul);
  const std::string_view body = nul == std::string_view::npos ? input : input.substr(nul + 1);

  const std::string type = fetch::MediaType(contentType);
  FUZZ_CHECK(type.find(';') == std::string::npos);
  fetch::CharsetParameter(contentType);
  fetch::HtmlMetaCookies(body);
  const std::string charset = fetch::ChooseCharset(contentType, body);
  FUZZ_CHECK(charset == fetch::ChooseCharset(contentType, body));

  const std::u16string text = fetch::DecodeText(body, charset);
  const std::u16string page = fetch::NormaliseLines(text);
  FUZZ_CHECK(HasPageLineForm(page));
  FUZZ_CHECK(fetch::NormaliseLines(page) == page);

  const std::string utf8 = fetch::Utf16ToUtf8(text);
  FUZZ_CHECK(fetch::DecodeText(utf8, "UTF-8") == WithoutLoneSurrogates(text));
  return 0;
}
