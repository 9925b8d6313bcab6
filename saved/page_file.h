#pragma once
// A saved page file as text: read whole or up to a limit, its bytes taken as
// UTF-8 when they are valid UTF-8 and one character per byte otherwise, its
// lines given the form of a fetched page's. The page and header files of
// --page and every file of --pages are read this way.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace saved {

// Bytes as text: UTF-8 when they are valid UTF-8 (a leading byte-order mark
// is dropped), otherwise one character per byte (ISO-8859-1).
std::u16string DecodeBytes(std::string_view bytes);

// DecodeBytes, then the line form of a fetched page (fetch::NormaliseLines).
std::u16string PageFileText(std::string_view bytes);

// Reads the file, at most `limit` bytes of it; on failure returns false and
// sets `reason` (the system's text: "No such file or directory").
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& reason,
                   std::size_t limit = SIZE_MAX);

}  // namespace saved
