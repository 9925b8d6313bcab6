#pragma once
// What a language file's name ("German" of German.lang.txt) stands for: its
// locale, and the language's name in that language. The names are those of
// the language dialog's flag table ("German", "PortugueseBrazil",
// "ChineseSimplified"...); any other name that Qt knows as a language's
// English name works too. Pure functions; any thread.
#include <QString>

namespace i18n {

// The ICU/Qt locale name of the language ("de", "pt_BR", "zh_Hans"), or
// empty when the name is no language known here.
QString LanguageLocaleName(const QString& languageName);

// The language's name in itself, with a capital first letter ("Deutsch",
// "Français", "Türkçe", "Português (Brasil)"); `languageName` itself when it
// is no known language.
QString OwnLanguageName(const QString& languageName);

}  // namespace i18n
