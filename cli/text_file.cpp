#include "cli/text_file.h"

#include <unicode/ustring.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "fetch/body_decoding.h"

namespace cli {

std::u16string DecodeBytes(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    std::string_view rest = bytes.substr(3);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, rest.data(), static_cast<int32_t>(rest.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status)) bytes = rest;
  }
  if (bytes.size() < static_cast<std::size_t>(INT32_MAX)) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status)) {
      std::u16string text(static_cast<std::size_t>(length), u'\0');
      status = U_ZERO_ERROR;
      u_strFromUTF8(reinterpret_cast<UChar*>(text.data()), length, nullptr, bytes.data(),
                    static_cast<int32_t>(bytes.size()), &status);
      if (U_SUCCESS(status)) return text;
    }
  }
  return fetch::Latin1ToUtf16(bytes);
}

bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& reason) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) {
    reason = std::strerror(errno);
    return false;
  }
  bytes.clear();
  char buffer[65536];
  for (;;) {
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
    bytes.append(buffer, n);
    if (n < sizeof buffer) {
      if (std::ferror(file.get())) {
        reason = std::strerror(errno);
        return false;
      }
      return true;
    }
  }
}

}  // namespace cli
