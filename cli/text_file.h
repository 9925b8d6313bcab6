#pragma once
// Reading a saved page or header file as text; fetch::NormaliseLines then
// gives it the line form of a fetched page.
#include <string>
#include <string_view>

namespace cli {

// Bytes as text: UTF-8 when they are valid UTF-8 (a leading byte-order mark
// is dropped), otherwise one character per byte (ISO-8859-1).
std::u16string DecodeBytes(std::string_view bytes);

// Reads the whole file; on failure returns false and sets `reason`.
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& reason);

}  // namespace cli
