#pragma once
// Reading a saved page or header file the way the page fetch delivers text.
#include <string>
#include <string_view>

namespace cli {

// Bytes as text: UTF-8 when they are valid UTF-8 (a leading byte-order mark
// is dropped), otherwise one character per byte (ISO-8859-1).
std::u16string DecodeBytes(std::string_view bytes);

// Splits at CR, LF or CR LF, reading only up to the first NUL, and joins the
// lines again with CR LF after every line; empty text stays empty.
std::u16string NormaliseLines(std::u16string_view text);

// Reads the whole file; on failure returns false and sets `reason`.
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& reason);

// UTF-16 to UTF-8 for output (an unpaired surrogate becomes U+FFFD).
std::string ToUtf8(std::u16string_view text);

}  // namespace cli
