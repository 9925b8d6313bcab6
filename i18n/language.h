#pragma once
// Language files and the one lookup that translates the program's texts.
//
// Language files lie in the folder "Languages" among the program's shipped
// files: beside the program file, or under ../share/lumasift in an installed
// copy (see program_layout.h). A
// language file "<Name>.lang.txt" is UTF-8 text (a byte-order mark is
// skipped) whose lines "{English text}Translated text" translate the English
// text the program uses. "LanguageCodes.csv" in the same folder maps Windows
// language identifiers (decimal) to language file names: "1031,German.lang.txt".
//
// Threads: LoadLanguage runs on the main thread before any other thread that
// translates starts. Once it has returned (or thrown), Translate and the
// accessors may be called from any thread. Calling LoadLanguage again (tests
// do) replaces the whole state at once; readers see either the old or the new
// state, never a mixture.
#include <optional>

#include <QString>
#include <QStringList>

namespace i18n {

// Chooses and loads the interface language. An empty (or blank) FileName
// chooses automatically: the user's interface language identifier
// (UserDefaultUILanguage) is looked up in LanguageCodes.csv and the file it
// names is taken from the language files found, compared without case. A
// non-empty FileName names a file in the language folder directly.
// programFolder: the program's folder, whose shipped files hold "Languages"
// (ShippedFilesFolder); empty means the running program's folder.
//
// No folder, no LanguageCodes.csv, no line for the language, no such file:
// no language is loaded and Translate returns its argument. A language file
// that exists but cannot be read throws std::runtime_error with the reading
// error; LanguageFile() is then already set and no line is loaded.
void LoadLanguage(const QString& FileName, const QString& programFolder = QString());

// Appends to `files` the names (no folder) of the files in `folder` whose
// names end with "lang.txt", compared without case (German.lang.txt,
// German.LANG.txt, Germanlang.txt); folders are skipped. Names come in
// alphabetical order, compared without case.
void FindLanguageFiles(const QString& folder, QStringList& files);

// The text in the loaded language, or Text itself when no language is
// loaded, no line translates it, or its translation is empty. The first
// line that starts with "{" + Text + "}" (exact, case-sensitive) decides.
QString Translate(const QString& Text);

// What a line "{key}..." of `lines` holds after the key's closing brace,
// possibly empty; nullopt when no line starts with "{key}". The first such
// line wins. The language dialog reads the translators' names
// ("INFO:Translated By") with it, from any language file.
std::optional<QString> FindTranslationLine(const QStringList& lines, const QString& key);

// Reads a language file's lines (UTF-8, byte-order mark skipped, bytes that
// are not UTF-8 become U+FFFD). Throws std::runtime_error when the file
// cannot be opened or read.
QStringList ReadLanguageFileLines(const QString& path);

// The state LoadLanguage leaves, unchanged until it is called again.
QString LanguageFolder();     // "<shipped files folder>/Languages"; empty before LoadLanguage
QStringList LanguageFiles();  // names found in LanguageFolder(), see FindLanguageFiles
QString LanguageFile();       // full path of the loaded file; empty when none
QString LanguageName();       // the file name before ".lang.txt" (case-sensitive); may be empty
QStringList LanguageLines();  // the loaded file's lines in file order

}  // namespace i18n
