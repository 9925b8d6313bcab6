#pragma once
// The user's interface language and the legacy ("ANSI") code page that goes
// with it, and the text decodings the program's files use.
//
// Linux has no system-wide ANSI code page and no Windows language
// identifiers, yet the program's files keep their Windows conventions:
// LanguageCodes.csv maps Windows language identifiers (LANGID, decimal) to
// language files, and text files that are not UTF-8 are read in the Windows
// code page of the user's language. Both are derived here from the locale the
// environment names for messages.
//
// Every function is re-entrant and may be called from any thread. The
// environment is read afresh on every call; nothing is cached.
#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace i18n {

// The POSIX locale name that decides the interface language: the first entry
// of LANGUAGE (a colon-separated list), else LC_ALL, else LC_MESSAGES, else
// LANG; "C" when none is set. ("de_DE.UTF-8", "sr_RS@latin", "pt_BR"...)
QString UiLocaleName();

// The Windows language identifier (LANGID) for a POSIX or ICU locale name,
// through ICU's uloc_getLCID: "de_DE.UTF-8" -> 1031, "de" -> 1031 (the
// language's most likely region), "sr_RS@latin" -> 9242. "C", "POSIX", an
// empty name and languages Windows has no identifier for give 1033 (English,
// United States), the identifier of an English interface.
int LanguageIdForLocale(const QString& localeName);

// The user's interface language identifier: LanguageIdForLocale(UiLocaleName()).
int UserDefaultUILanguage();

// The Windows ANSI code page of a locale's language: 1250 Central European,
// 1251 Cyrillic, 1253 Greek, 1254 Turkish (and Latin Azeri and Uzbek), 1255
// Hebrew, 1256 Arabic script, 1257 Baltic, 1258 Vietnamese, 874 Thai, 932
// Japanese, 936 Simplified Chinese, 949 Korean, 950 Traditional Chinese, and
// 1252 for every other language. Script matters where a language has two
// ("sr_RS@latin" 1250, "sr_RS" 1251; "zh_TW" 950, "zh_CN" 936).
int AnsiCodePageForLocale(const QString& localeName);

// The ANSI code page of the user's interface language.
int AnsiCodePage();

// Bytes in a Windows code page, converted with ICU. Bytes the code page
// does not map become U+FFFD. Throws std::runtime_error when ICU has no
// converter for the code page (never for the code pages listed above).
QString DecodeCodePage(const QByteArray& bytes, int codePage);
QByteArray EncodeCodePage(const QString& text, int codePage);  // unmappable -> '?'

// The same in the user's ANSI code page.
QString DecodeAnsi(const QByteArray& bytes);
QByteArray EncodeAnsi(const QString& text);

// Strict UTF-8: a leading byte-order mark is skipped; any ill-formed
// sequence (stray continuation byte, overlong form, surrogate, beyond
// U+10FFFF, truncated sequence) gives nullopt, and so does a text of 2 GiB or
// more.
std::optional<QString> DecodeUtf8Strict(const QByteArray& bytes);

// Lenient UTF-8: a leading byte-order mark is skipped, ill-formed sequences
// become U+FFFD.
QString DecodeUtf8Lenient(const QByteArray& bytes);

// A plain text file whose byte-order mark decides its encoding: UTF-8,
// UTF-16 little or big endian (decoded leniently); without a mark, the
// user's ANSI code page.
QString DecodeByByteOrderMark(const QByteArray& bytes);

// The whole content of a file. Throws std::runtime_error with
// Cannot open file "<path>". <reason>   or   Cannot read file "<path>". <reason>
QByteArray ReadFileBytes(const QString& path);

// Lines of a text; CR LF, LF and CR each end a line. A break after the last
// line does not start another one ("a\nb\n" gives two lines), and an empty
// text gives no lines.
QStringList SplitTextLines(const QString& text);

}  // namespace i18n
