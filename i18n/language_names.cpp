#include "i18n/language_names.h"

#include <QLocale>

#include <unicode/uloc.h>

#include <array>
#include <utility>

namespace i18n {

namespace {

// The names that do not read as a language's plain English name.
constexpr std::array<std::pair<const char*, const char*>, 4> kCompoundNames{{
    {"ChineseSimplified", "zh_Hans"},
    {"ChineseTraditional", "zh_Hant"},
    {"PortugueseBrazil", "pt_BR"},
    {"PortuguesePortugal", "pt_PT"},
}};

}  // namespace

QString LanguageLocaleName(const QString& languageName) {
  for (const auto& [name, locale] : kCompoundNames)
    if (languageName == QLatin1String(name)) return QString::fromLatin1(locale);
  for (int l = QLocale::C + 1; l <= QLocale::LastLanguage; ++l) {
    const auto language = static_cast<QLocale::Language>(l);
    if (QLocale::languageToString(language) == languageName) return QLocale::languageToCode(language);
  }
  return QString();
}

QString OwnLanguageName(const QString& languageName) {
  const QString locale = LanguageLocaleName(languageName);
  if (locale.isEmpty()) return languageName;
  // ICU's display name of a locale in itself: the language in general
  // ("español", "English"), with a script or country only where the name
  // has one ("português (Brasil)").
  const QByteArray id = locale.toLatin1();
  UChar buffer[128];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = uloc_getDisplayName(id.constData(), id.constData(), buffer, 128, &status);
  if (U_FAILURE(status) || length <= 0) return languageName;
  QString own = QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer), length);
  // Some languages write their names in lower case; in a list of names
  // each begins with a capital.
  if (!own.isEmpty() && own.at(0).isLower()) own[0] = own.at(0).toUpper();
  return own;
}

}  // namespace i18n
