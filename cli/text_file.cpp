#include "cli/text_file.h"

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "fetch/body_decoding.h"
#include "i18n/codepage.h"

namespace cli {

std::u16string DecodeBytes(std::string_view bytes) {
  const std::optional<QString> text =
      i18n::DecodeUtf8Strict(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (text) return text->toStdU16String();
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
