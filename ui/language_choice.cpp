#include "ui/language_choice.h"

#include "i18n/language.h"
#include "i18n/program_layout.h"
#include "services/atomic_file.h"
#include "services/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>


namespace ui {

namespace {

const QString& kSection = services::kSettingsSection;

QString ShellQuoted(const QString& text) {
  QString quoted = QStringLiteral("\"");
  for (const QChar c : text) {
    if (c == u'"' || c == u'\\' || c == u'$' || c == u'`') quoted += u'\\';
    quoted += c;
  }
  quoted += u'"';
  return quoted;
}

}  // namespace

void SetLanguageFile(services::TSettingsStore& store, const QString& Filename) {
  store.WriteString(kSection, QString::fromLatin1(kLanguageKey), Filename);
}

QString StartupLanguageFile(const services::TSettingsStore& store, const QString& programFolder) {
  const QString stored = store.ReadString(kSection, QString::fromLatin1(kLanguageKey), QString()).trimmed();
  // Only a plain file name of the language folder is taken; anything that
  // reaches elsewhere is no choice of the dialog's.
  if (stored.isEmpty() || stored.contains(u'/') || stored.contains(u'\\') || stored == QLatin1String("..")) {
    return QString();
  }
  const QFileInfo file(QDir(i18n::ShippedFilesFolder(programFolder)).filePath(QStringLiteral("Languages/") + stored));
  if (file.isFile()) return stored;
  // English needs no file: a name that matches no file keeps every text in
  // English, which is what the user chose.
  if (stored.compare(QLatin1String(kEnglishLanguageFile), Qt::CaseInsensitive) == 0) return stored;
  return QString();
}

void LoadStartupLanguage(const services::TSettingsStore& store, const QString& programFolder) {
  i18n::LoadLanguage(StartupLanguageFile(store, programFolder), programFolder);
}

QStringList RestartScriptLines(const QString& programPath) {
  return {QStringLiteral("#!/bin/sh"),
          QStringLiteral("echo This file was created automatically to restart the program."),
          QStringLiteral("echo It is safe to delete this file."),
          QStringLiteral("sleep 1"),
          ShellQuoted(programPath)};
}

QString WriteRestartScript(const QString& dataFolder, const QString& programPath) {
  QString folder = dataFolder;
  if (!folder.endsWith(u'/')) folder += u'/';
  const QString path = folder + kRestartScriptName;
  services::WriteFileAtomically(path, RestartScriptLines(programPath).join(u'\n').toUtf8() + '\n',
                                services::TFileAccess::Private);
  QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
  return path;
}

bool StartRestartScript(const QString& scriptPath, const QString& dataFolder) {
  return QProcess::startDetached(QStringLiteral("/bin/sh"), {scriptPath}, dataFolder);
}

}  // namespace ui
