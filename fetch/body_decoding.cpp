#include "fetch/body_decoding.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>

namespace fetch {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), LowerAscii);
  return out;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (LowerAscii(s[i]) != LowerAscii(prefix[i])) return false;
  return true;
}

size_t FindNoCase(std::string_view s, std::string_view needle, size_t from) {
  for (size_t i = from; i + needle.size() <= s.size(); ++i)
    if (StartsWithNoCase(s.substr(i), needle)) return i;
  return std::string_view::npos;
}

// A charset value as written in a header or attribute: trimmed, unquoted.
std::string CleanLabel(std::string_view label) {
  label = Trim(label);
  if (label.size() >= 2 && (label.front() == '"' || label.front() == '\'') && label.back() == label.front())
    label = Trim(label.substr(1, label.size() - 2));
  return std::string(label);
}

// "charset=" within a Content-Type value (header or meta content attribute).
std::string CharsetFromContentType(std::string_view value) {
  size_t pos = 0;
  while ((pos = FindNoCase(value, "charset", pos)) != std::string_view::npos) {
    size_t i = pos + 7;
    while (i < value.size() && IsSpace(value[i])) ++i;
    if (i >= value.size() || value[i] != '=') {
      pos = i;
      continue;
    }
    ++i;
    while (i < value.size() && IsSpace(value[i])) ++i;
    if (i < value.size() && (value[i] == '"' || value[i] == '\'')) {
      char quote = value[i];
      size_t end = value.find(quote, i + 1);
      if (end == std::string_view::npos) return {};
      return CleanLabel(value.substr(i + 1, end - i - 1));
    }
    size_t end = i;
    while (end < value.size() && !IsSpace(value[end]) && value[end] != ';') ++end;
    return CleanLabel(value.substr(i, end - i));
  }
  return {};
}

using Attributes = std::vector<std::pair<std::string, std::string>>;

// Visits every <meta> element before the end of the document's head, giving
// its attributes (names in lower case). Comments are skipped. The visitor
// returns false to stop.
template <typename Visitor>
void ForEachHeadMeta(std::string_view body, Visitor visit) {
  size_t i = 0;
  const size_t n = body.size();
  while (i < n) {
    size_t lt = body.find('<', i);
    if (lt == std::string_view::npos) return;
    std::string_view rest = body.substr(lt);
    if (rest.substr(0, 4) == "<!--") {
      size_t end = body.find("-->", lt + 4);
      if (end == std::string_view::npos) return;
      i = end + 3;
      continue;
    }
    if (StartsWithNoCase(rest, "</head") || StartsWithNoCase(rest, "<body")) return;
    bool isMeta = StartsWithNoCase(rest, "<meta") && rest.size() > 5 && (IsSpace(rest[5]) || rest[5] == '/');
    if (!isMeta) {
      i = lt + 1;
      continue;
    }
    // Attributes up to the closing '>'.
    Attributes attributes;
    size_t p = lt + 5;
    for (;;) {
      while (p < n && (IsSpace(body[p]) || body[p] == '/')) ++p;
      if (p >= n || body[p] == '>') break;
      size_t nameStart = p;
      while (p < n && !IsSpace(body[p]) && body[p] != '=' && body[p] != '>' && body[p] != '/') ++p;
      std::string name = Lower(body.substr(nameStart, p - nameStart));
      while (p < n && IsSpace(body[p])) ++p;
      std::string value;
      if (p < n && body[p] == '=') {
        ++p;
        while (p < n && IsSpace(body[p])) ++p;
        if (p < n && (body[p] == '"' || body[p] == '\'')) {
          char quote = body[p];
          size_t end = body.find(quote, p + 1);
          if (end == std::string_view::npos) end = n;
          value = std::string(body.substr(p + 1, end - p - 1));
          p = end + 1;
        } else {
          size_t start = p;
          while (p < n && !IsSpace(body[p]) && body[p] != '>') ++p;
          value = std::string(body.substr(start, p - start));
        }
      }
      if (!name.empty()) attributes.emplace_back(std::move(name), std::move(value));
    }
    if (!visit(attributes)) return;
    i = p;
  }
}

const std::string* Attribute(const Attributes& attributes, std::string_view name) {
  for (const auto& [n, v] : attributes)
    if (n == name) return &v;
  return nullptr;
}

bool IsHtmlType(const std::string& type) {
  return type == "text/html" || type == "text/html-sandboxed" || type == "application/xhtml+xml";
}

bool IsXmlType(const std::string& type) {
  if (type == "application/xml" || type == "application/xml-external-parsed-entity" || type == "application/xml-dtd")
    return true;
  size_t slash = type.find('/');
  if (slash == std::string::npos || type.substr(0, slash) == "text") return false;
  return type.size() >= slash + 1 + 4 && type.compare(type.size() - 4, 4, "+xml") == 0;
}

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};

}  // namespace

// ---- content decoding ----

ContentDecoder::ContentDecoder(std::string_view contentEncoding) {
  std::string coding = Lower(Trim(contentEncoding));
  int windowBits = 0;
  if (coding == "gzip")
    windowBits = 16 + MAX_WBITS;
  else if (coding == "deflate")
    windowBits = MAX_WBITS;
  if (windowBits) {
    compressed_ = true;
    int rc = inflateInit2(&stream_, windowBits);
    if (rc != Z_OK) error_ = rc;
  }
}

ContentDecoder::~ContentDecoder() {
  if (compressed_) inflateEnd(&stream_);
}

bool ContentDecoder::Feed(const char* data, size_t size, std::string& out, size_t limit,
                          const GrowthHook& beforeGrowth) {
  if (error_) return false;
  if (full_ || size == 0) return true;
  if (!compressed_) {
    size_t take = std::min(size, limit - std::min(limit, out.size()));
    if (beforeGrowth && take > 0) beforeGrowth(out.size() + take);
    out.append(data, take);
    if (take < size || out.size() >= limit) full_ = true;
    return true;
  }
  if (ended_) return true;  // whatever follows the compressed stream is ignored
  started_ = true;
  stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  stream_.avail_in = static_cast<uInt>(size);
  char buffer[65536];
  while (stream_.avail_in > 0 || stream_.avail_out == 0) {
    stream_.next_out = reinterpret_cast<Bytef*>(buffer);
    stream_.avail_out = sizeof buffer;
    int rc = inflate(&stream_, Z_NO_FLUSH);
    size_t produced = sizeof buffer - stream_.avail_out;
    size_t room = limit - std::min(limit, out.size());
    const size_t take = std::min(produced, room);
    if (beforeGrowth && take > 0) beforeGrowth(out.size() + take);
    out.append(buffer, take);
    if (produced > room || out.size() >= limit) {
      full_ = true;
      return true;
    }
    if (rc == Z_STREAM_END) {
      ended_ = true;
      return true;
    }
    if (rc == Z_BUF_ERROR) return true;  // needs more input
    if (rc != Z_OK) {
      error_ = rc;
      return false;
    }
  }
  return true;
}

bool ContentDecoder::Finish() {
  if (error_) return false;
  if (compressed_ && started_ && !ended_ && !full_) {
    error_ = Z_BUF_ERROR;  // the stream stopped before its end
    return false;
  }
  return true;
}

// ---- character set ----

std::string MediaType(std::string_view contentType) {
  return Lower(Trim(contentType.substr(0, contentType.find(';'))));
}

std::string CharsetParameter(std::string_view contentType) {
  size_t semicolon = contentType.find(';');
  if (semicolon == std::string_view::npos) return {};
  return CharsetFromContentType(contentType.substr(semicolon + 1));
}

std::string HtmlMetaCharset(std::string_view body) {
  std::string charset;
  ForEachHeadMeta(body, [&](const Attributes& attributes) {
    if (const std::string* value = Attribute(attributes, "charset")) {
      charset = CleanLabel(*value);
      if (!charset.empty()) return false;
    }
    const std::string* equiv = Attribute(attributes, "http-equiv");
    const std::string* content = Attribute(attributes, "content");
    if (equiv && content && Lower(Trim(*equiv)) == "content-type") {
      charset = CharsetFromContentType(*content);
      if (!charset.empty()) return false;
    }
    return true;
  });
  return charset;
}

std::vector<std::string> HtmlMetaCookies(std::string_view body) {
  std::vector<std::string> cookies;
  ForEachHeadMeta(body, [&](const Attributes& attributes) {
    const std::string* equiv = Attribute(attributes, "http-equiv");
    const std::string* content = Attribute(attributes, "content");
    if (equiv && content && Lower(Trim(*equiv)) == "set-cookie") cookies.push_back(*content);
    return true;
  });
  return cookies;
}

std::string XmlCharset(std::string_view body) {
  if (body.substr(0, 3) == "\xEF\xBB\xBF") return "UTF-8";
  if (body.substr(0, 4) == std::string_view("\xFF\xFE\0\0", 4)) return "UTF-32LE";
  if (body.substr(0, 4) == std::string_view("\0\0\xFE\xFF", 4)) return "UTF-32BE";
  if (body.substr(0, 2) == "\xFF\xFE") return "UTF-16LE";
  if (body.substr(0, 2) == "\xFE\xFF") return "UTF-16BE";
  if (body.substr(0, 5) == "<?xml") {
    size_t end = body.find("?>");
    std::string_view declaration = body.substr(0, end);
    size_t pos = declaration.find("encoding");
    if (pos != std::string_view::npos) {
      size_t i = pos + 8;
      while (i < declaration.size() && IsSpace(declaration[i])) ++i;
      if (i < declaration.size() && declaration[i] == '=') {
        ++i;
        while (i < declaration.size() && IsSpace(declaration[i])) ++i;
        if (i < declaration.size() && (declaration[i] == '"' || declaration[i] == '\'')) {
          size_t close = declaration.find(declaration[i], i + 1);
          if (close != std::string_view::npos) {
            std::string label = CleanLabel(declaration.substr(i + 1, close - i - 1));
            if (!label.empty()) return label;
          }
        }
      }
    }
  }
  return "UTF-8";
}

std::string ChooseCharset(std::string_view contentType, std::string_view body) {
  const std::string type = MediaType(contentType);
  if (IsHtmlType(type)) {
    std::string meta = HtmlMetaCharset(body);
    if (!meta.empty()) {
      // A meta element was read as ASCII, so the document cannot really be
      // in a 16-bit form whatever the element claims.
      std::string lower = Lower(meta);
      if (lower == "utf-16" || lower == "utf-16le" || lower == "utf-16be") return "UTF-8";
      return meta;
    }
  } else if (IsXmlType(type)) {
    return XmlCharset(body);
  }
  return CharsetParameter(contentType);
}

namespace {

// Bytes as characters of the same number, in a text with `room` characters
// of spare capacity.
std::u16string Latin1WithRoom(std::string_view bytes, size_t room) {
  std::u16string text;
  text.reserve(bytes.size() + room);
  text.resize(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) text[i] = static_cast<unsigned char>(bytes[i]);
  return text;
}

std::u16string DecodeWithRoom(std::string_view bytes, const std::string& charset, size_t room) {
  if (charset.empty() || bytes.empty()) return Latin1WithRoom(bytes, room);
  std::string label = Lower(charset);
  // Pages labelled GB2312 routinely use the characters of its superset GBK.
  if (label == "gb2312" || label == "gb_2312-80" || label == "x-gbk" || label == "csgb2312") label = "GBK";
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, ConverterCloser> converter(ucnv_open(label.c_str(), &status));
  if (U_FAILURE(status) || !converter) return Latin1WithRoom(bytes, room);
  // Nearly every character set gives at most one UTF-16 unit per byte; the
  // rare one that gives more is converted again at the length ICU reports.
  std::u16string text(bytes.size() + 16 + room, u'\0');
  const auto capacity = static_cast<int32_t>(bytes.size() + 16);
  status = U_ZERO_ERROR;
  int32_t length = ucnv_toUChars(converter.get(), text.data(), capacity, bytes.data(),
                                 static_cast<int32_t>(bytes.size()), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    text.assign(static_cast<size_t>(length) + 1 + room, u'\0');
    status = U_ZERO_ERROR;
    length = ucnv_toUChars(converter.get(), text.data(), length + 1, bytes.data(),
                           static_cast<int32_t>(bytes.size()), &status);
  }
  if (U_FAILURE(status)) return Latin1WithRoom(bytes, room);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

std::u16string Latin1ToUtf16(std::string_view bytes) { return Latin1WithRoom(bytes, 0); }

std::u16string DecodeText(std::string_view bytes, const std::string& charset) {
  return DecodeWithRoom(bytes, charset, 0);
}

std::u16string PageText(std::string body, const std::string& charset) {
  // A lone CR or LF grows into CR LF, and the last line may need one: room
  // for that many characters spares the normalisation a second buffer (for
  // character sets that do not write line ends as these bytes it may still
  // need one).
  const size_t lineEnds =
      static_cast<size_t>(std::count_if(body.begin(), body.end(), [](char c) { return c == '\r' || c == '\n'; }));
  std::u16string text = DecodeWithRoom(body, charset, lineEnds + 2);
  std::string().swap(body);
  NormaliseLinesInPlace(text);
  return text;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string NormaliseLines(std::u16string_view text) {
  std::u16string out(text.substr(0, text.find(u'\0')));
  NormaliseLinesInPlace(out);
  return out;
}

void NormaliseLinesInPlace(std::u16string& text) {
  text.resize(std::min(text.size(), text.find(u'\0')));
  const size_t n = text.size();
  if (n == 0) return;
  // Every lone CR or LF becomes CR LF (one more character); CR LF stays; a
  // last line without a line end gets one.
  size_t grow = 0;
  for (size_t i = 0; i < n; ++i) {
    if (text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n')
      ++i;
    else if (text[i] == u'\r' || text[i] == u'\n')
      ++grow;
  }
  const bool endsWithBreak = text[n - 1] == u'\r' || text[n - 1] == u'\n';
  const size_t total = n + grow + (endsWithBreak ? 0 : 2);
  if (total == n) return;
  text.resize(total);
  // From the back: what is still to be written never overtakes what is
  // still to be read, as the text only grows.
  size_t r = n;
  size_t w = total;
  if (!endsWithBreak) {
    text[--w] = u'\n';
    text[--w] = u'\r';
  }
  while (r > 0) {
    const char16_t c = text[--r];
    if (c == u'\n' || c == u'\r') {
      if (c == u'\n' && r > 0 && text[r - 1] == u'\r') --r;
      text[--w] = u'\n';
      text[--w] = u'\r';
    } else {
      text[--w] = c;
    }
  }
}

}  // namespace fetch
