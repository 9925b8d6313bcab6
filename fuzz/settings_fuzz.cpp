// settings.ini read and write. Input parts (cut at NUL bytes): the file as
// found at start, then section, key and value of each write, as UTF-8.
// Every value the store read from the file and every value written (the
// writes it accepts) read back the same from the store, and again from a
// store opened anew on the file it wrote.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <QFile>
#include <QString>

#include "fuzz/fuzz_support.h"
#include "i18n/codepage.h"
#include "services/atomic_file.h"
#include "services/settings_store.h"

namespace {

constexpr size_t kMaxWrites = 8;

struct TEntry {
  QString section;
  QString key;
  QString value;
};

QString Utf8(std::string_view bytes) { return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())); }

bool Same(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// Names a file may hold: the sections and keys of its lines, read simply (the
// store decides what they mean; here they are only names to ask for).
std::vector<TEntry> NamesIn(const QString& text) {
  std::vector<TEntry> names;
  QString section;
  for (const QString& line : i18n::SplitTextLines(text)) {
    const QString trimmed = line.trimmed();
    if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
      section = trimmed.mid(1, trimmed.size() - 2).trimmed();
    } else if (const qsizetype equals = trimmed.indexOf(u'='); equals > 0 && !section.isEmpty()) {
      names.push_back({section, trimmed.left(equals).trimmed(), {}});
    }
    if (names.size() >= 32) break;
  }
  return names;
}

// Marks "absent" in a read, as no written value can be (it holds a line break).
const QString kAbsent = QStringLiteral("\n<absent>\n");

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> parts = fuzz::Parts(data, size, 1 + 3 * kMaxWrites);
  const QString path = fuzz::ScratchFolder() + QStringLiteral("/settings.ini");
  QFile::remove(path);
  if (!parts[0].empty() && !fuzz::WriteFile(path, parts[0])) return 0;

  // What the store made of the file, for the names the file seems to hold.
  std::vector<TEntry> expected;
  {
    const services::TSettingsStore store(path);
    const std::optional<QString> text =
        i18n::DecodeUtf8Strict(QByteArray(parts[0].data(), static_cast<qsizetype>(parts[0].size())));
    if (text) {
      for (TEntry entry : NamesIn(*text)) {
        entry.value = store.ReadString(entry.section, entry.key, kAbsent);
        expected.push_back(entry);
      }
    }
  }

  services::TSettingsStore store(path);
  for (size_t i = 0; i < kMaxWrites; ++i) {
    const std::string_view* write = &parts[1 + 3 * i];
    if (write[0].empty() && write[1].empty() && write[2].empty()) break;
    const TEntry entry{Utf8(write[0]), Utf8(write[1]), Utf8(write[2])};
    try {
      store.WriteString(entry.section, entry.key, entry.value);
    } catch (const services::TFileWriteError&) {
      FUZZ_CHECK(!"settings.ini could be written in the scratch folder");
    } catch (const std::runtime_error&) {
      // Refused: a name or value that would break the file's lines; the
      // store is unchanged.
      continue;
    }
    for (TEntry& known : expected) {
      if (Same(known.section, entry.section.trimmed()) && Same(known.key, entry.key)) known.value = entry.value;
    }
    expected.push_back({entry.section.trimmed(), entry.key, entry.value});
  }

  for (const TEntry& entry : expected) FUZZ_CHECK(store.ReadString(entry.section, entry.key, kAbsent) == entry.value);
  const services::TSettingsStore reopened(path);
  FUZZ_CHECK(reopened.Problem().isEmpty());
  for (const TEntry& entry : expected)
    FUZZ_CHECK(reopened.ReadString(entry.section, entry.key, kAbsent) == entry.value);
  return 0;
}
