#include "saved/page_file.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "fetch/body_decoding.h"
#include "i18n/codepage.h"

namespace saved {

std::u16string DecodeBytes(std::string_view bytes) {
  const std::optional<QString> text =
      i18n::DecodeUtf8Strict(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (text) return text->toStdU16String();
  return fetch::Latin1ToUtf16(bytes);
}

std::u16string PageFileText(std::string_view bytes) {
  std::u16string text = DecodeBytes(bytes);
  fetch::NormaliseLinesInPlace(text);
  return text;
}

bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& reason, std::size_t limit) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) {
    reason = std::strerror(errno);
    return false;
  }
  bytes.clear();
  char buffer[65536];
  while (bytes.size() < limit) {
    const std::size_t want = std::min(sizeof buffer, limit - bytes.size());
    const std::size_t n = std::fread(buffer, 1, want, file.get());
    bytes.append(buffer, n);
    if (n < want) {
      if (std::ferror(file.get())) {
        reason = std::strerror(errno);
        return false;
      }
      break;
    }
  }
  return true;
}

}  // namespace saved
