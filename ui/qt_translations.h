#pragma once
// Qt's own texts (the file boxes, standard buttons, an edit field's menu) in
// the interface language: the toolkit's translations ("qtbase_de.qm") from
// its translations folder (QLibraryInfo::TranslationsPath; Debian's
// qt6-translations-l10n), installed into the application. Main thread.
#include <QString>

namespace ui {

// Installs Qt's translations for the language of a language file's name
// ("German"), replacing those installed before; an empty or unknown name, or
// a language Qt has no translations for, leaves Qt's texts in English.
// Returns whether translations were installed.
bool InstallQtTranslations(const QString& languageName);

}  // namespace ui
