// Language files, LanguageCodes.csv and the locale names that choose them.
// Input parts (cut at NUL bytes): the locale name (LC_ALL), LanguageCodes.csv,
// then the file Fuzz.lang.txt. The locale gives the same language identifier
// and code page each time; the language chosen from it is one of the files
// found; Translate gives for every key what the first line of that key in
// the loaded file says (the key itself when that is empty).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <QDir>
#include <QString>

#include "fuzz/fuzz_support.h"
#include "i18n/codepage.h"
#include "i18n/language.h"

namespace {

// Translate's contract, the plain way: the first line that starts with
// "{key}" decides.
std::optional<QString> FirstLineOf(const QStringList& lines, const QString& key) {
  const QString start = u'{' + key + u'}';
  for (const QString& line : lines)
    if (line.startsWith(start)) return line.mid(start.size());
  return std::nullopt;
}

void CheckLoadedLanguage(const QString& languages) {
  const QString file = i18n::LanguageFile();
  if (file.isEmpty()) return;
  FUZZ_CHECK(i18n::LanguageFiles().contains(QDir(languages).relativeFilePath(file), Qt::CaseInsensitive));
  const QStringList lines = i18n::LanguageLines();
  FUZZ_CHECK(lines == i18n::ReadLanguageFileLines(file));
  int checked = 0;
  for (const QString& line : lines) {
    if (!line.startsWith(u'{') || ++checked > 64) continue;
    const qsizetype close = line.indexOf(u'}');
    if (close < 0) continue;
    const QString key = line.mid(1, close - 1);
    const std::optional<QString> translation = FirstLineOf(lines, key);
    FUZZ_CHECK(translation.has_value());
    FUZZ_CHECK(i18n::FindTranslationLine(lines, key) == translation);
    FUZZ_CHECK(i18n::Translate(key) == (translation->isEmpty() ? key : *translation));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> parts = fuzz::Parts(data, size, 3);
  const QByteArray localeBytes(parts[0].data(), static_cast<qsizetype>(parts[0].size()));
  const QString locale = QString::fromLatin1(localeBytes);

  fuzz::ClearStack();
  const int id = i18n::LanguageIdForLocale(locale);
  const int codePage = i18n::AnsiCodePageForLocale(locale);
  fuzz::ClearStack();
  FUZZ_CHECK(i18n::LanguageIdForLocale(locale) == id);
  FUZZ_CHECK(i18n::AnsiCodePageForLocale(locale) == codePage);
  FUZZ_CHECK(id > 0 && id <= 0xFFFF);

  const QString program = fuzz::ScratchFolder();
  const QString languages = program + QStringLiteral("/Languages");
  QDir().mkpath(languages);
  if (!fuzz::WriteFile(languages + QStringLiteral("/LanguageCodes.csv"), parts[1]) ||
      !fuzz::WriteFile(languages + QStringLiteral("/Fuzz.lang.txt"), parts[2]))
    return 0;

  // The automatic choice, from the environment as at the window's start.
  qunsetenv("LANGUAGE");
  qputenv("LC_ALL", localeBytes);
  fuzz::ClearStack();
  i18n::LoadLanguage(QString(), program);
  CheckLoadedLanguage(languages);

  // The file chosen by name, as the language dialog's choice is.
  i18n::LoadLanguage(QStringLiteral("Fuzz.lang.txt"), program);
  FUZZ_CHECK(!i18n::LanguageFile().isEmpty());
  CheckLoadedLanguage(languages);
  return 0;
}
