// list.txt read and write: the input is the file as found. What is read
// back after saving its lines is those lines joined by the break style
// read, and saving that again changes nothing.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include <QFile>
#include <QString>

#include "fuzz/fuzz_support.h"
#include "services/list_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const QString path = fuzz::ScratchFolder() + QStringLiteral("/list.txt");
  if (!fuzz::WriteFile(path, input)) return 0;

  const std::optional<services::TLoadedText> loaded = services::LoadListFile(path);
  FUZZ_CHECK(loaded.has_value());
  FUZZ_CHECK(loaded->lineBreak == services::DetectLineBreak(loaded->text));
  const QStringList lines = services::SplitListLines(loaded->text);
  FUZZ_CHECK(!lines.isEmpty());
  services::SaveListFile(path, lines, loaded->lineBreak);

  const std::optional<services::TLoadedText> saved = services::LoadListFile(path);
  FUZZ_CHECK(saved.has_value());
  FUZZ_CHECK(saved->text == lines.join(loaded->lineBreak));
  FUZZ_CHECK(services::SplitListLines(saved->text) == lines);
  if (lines.size() > 1) FUZZ_CHECK(saved->lineBreak == loaded->lineBreak);

  QFile file(path);
  FUZZ_CHECK(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  file.close();
  services::SaveListFile(path, services::SplitListLines(saved->text), saved->lineBreak);
  FUZZ_CHECK(file.open(QIODevice::ReadOnly));
  FUZZ_CHECK(file.readAll() == bytes);
  return 0;
}
