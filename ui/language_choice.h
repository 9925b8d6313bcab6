#pragma once
// The user's choice of interface language, kept across restarts, and the
// restart that applies it.
//
// The language dialog hands the chosen file name ("German.lang.txt") to the
// window's SetLanguageFile, which stores it with SetLanguageFile below under
// the key "Language" of settings.ini. At start-up the window loads the
// language with LoadStartupLanguage: a stored choice whose file is still in
// the language folder wins; "English.lang.txt" without such a file means
// English (no language loaded); without a stored choice, or when its file is
// gone, the language is chosen from the system's interface language.
//
// The restart runs "start.sh" in the data folder: it waits a second, so the
// ending program is gone, and starts the program again.

#include <QString>
#include <QStringList>

namespace services {
class TSettingsStore;
}

namespace ui {

inline constexpr char kLanguageKey[] = "Language";
inline constexpr char kEnglishLanguageFile[] = "English.lang.txt";

// Remembers the chosen language file name in settings.ini (written at once;
// throws std::runtime_error when the file cannot be written).
void SetLanguageFile(services::TSettingsStore& store, const QString& Filename);

// What the window passes to i18n::LoadLanguage at start-up: the stored file
// name when it names a file in the Languages folder of the program's shipped
// files (i18n::ShippedFilesFolder(programFolder)) (or is the English
// choice), else empty for the automatic choice. programFolder empty: the
// running program's folder.
QString StartupLanguageFile(const services::TSettingsStore& store, const QString& programFolder = QString());

// i18n::LoadLanguage(StartupLanguageFile(store, programFolder), programFolder).
void LoadStartupLanguage(const services::TSettingsStore& store, const QString& programFolder = QString());

// The restart script's name in the data folder.
inline const QString kRestartScriptName = QStringLiteral("start.sh");

// The lines of start.sh for a program path; the path is quoted for the
// shell, so blanks, quotes and dollar signs in it stay literal.
QStringList RestartScriptLines(const QString& programPath);

// Writes start.sh into the data folder (a separator is added when missing),
// replacing an existing one, and returns its path. Throws
// std::runtime_error with the reason when it cannot be written.
QString WriteRestartScript(const QString& dataFolder, const QString& programPath);

// Starts the script with /bin/sh as a detached process in the data folder.
// Returns whether the process started; the caller ends the program either way.
bool StartRestartScript(const QString& scriptPath, const QString& dataFolder);

}  // namespace ui
