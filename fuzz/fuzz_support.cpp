#include "fuzz/fuzz_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace fuzz {

void InvariantBroken(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", condition, file, line);
  std::fflush(stderr);
  std::abort();
}

std::vector<std::string_view> Parts(const uint8_t* data, size_t size, size_t count) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < count) {
    const size_t nul = rest.find('\0');
    if (nul == std::string_view::npos) break;
    parts.push_back(rest.substr(0, nul));
    rest.remove_prefix(nul + 1);
  }
  parts.push_back(rest);
  parts.resize(count);
  return parts;
}

const QString& ScratchFolder() {
  static const std::unique_ptr<QTemporaryDir> folder = [] {
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    auto made = std::make_unique<QTemporaryDir>(base + QStringLiteral("/lumasift-fuzz-XXXXXX"));
    if (!made->isValid()) InvariantBroken("a scratch folder can be made", __FILE__, __LINE__);
    return made;
  }();
  static const QString path = folder->path();
  return path;
}

bool WriteFile(const QString& path, std::string_view bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}

__attribute__((noinline)) void ClearStack() {
  volatile char zeros[64 * 1024];
  std::memset(const_cast<char*>(zeros), 0, sizeof zeros);
  __asm__ __volatile__("" : : "r"(zeros) : "memory");
}

}  // namespace fuzz
