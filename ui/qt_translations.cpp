#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

#include "i18n/language_names.h"

namespace ui {

bool InstallQtTranslations(const QString& languageName) {
  // One translator for the whole program, replaced when the window is made
  // again in another language (as the tests do).
  static std::unique_ptr<QTranslator> installed;
  if (installed) {
    QCoreApplication::removeTranslator(installed.get());
    installed.reset();
  }
  const QString locale = i18n::LanguageLocaleName(languageName);
  if (locale.isEmpty() || locale == QLatin1String("en")) return false;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QLocale(locale), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    return false;
  QCoreApplication::installTranslator(translator.get());
  installed = std::move(translator);
  return true;
}

}  // namespace ui
