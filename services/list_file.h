#pragma once
// list.txt, the URL editor's last lines, and the decoding that Load URL List
// shares with it.
//
// Reading: strict UTF-8 (a byte-order mark is skipped); when the bytes are
// not valid UTF-8, the user's ANSI code page (i18n::AnsiCodePage()), a
// leading UTF-8 mark then dropped as well.
// Writing: UTF-8 with a byte-order mark, the lines joined by one line-break
// style, no break after the last line, replaced atomically.
#include <optional>

#include <QString>
#include <QStringList>

namespace services {

struct TLoadedText {
  QString text;       // the whole text, line breaks as found
  QString lineBreak;  // the first break in the text: "\r\n", "\n" or "\r"; "\r\n" when none
};

// The file's text, or nullopt when the file does not exist. Throws
// std::runtime_error when it exists but cannot be read.
std::optional<TLoadedText> LoadListFile(const QString& path);

// The line-break style of a text: its first break, "\r\n" when it has none.
QString DetectLineBreak(const QString& text);

// Lines of an editor text, split at CR LF, LF and CR. A break after the last
// line gives an empty last line and an empty text one empty line, so
// SaveListFile(path, SplitListLines(text), DetectLineBreak(text)) writes a
// single-style text back unchanged.
QStringList SplitListLines(const QString& text);

// Writes lines joined by lineBreak (CR LF when empty) as UTF-8 with a
// byte-order mark, atomically. Throws std::runtime_error with the reason on
// failure; the old file is then left as it was.
void SaveListFile(const QString& path, const QStringList& lines, const QString& lineBreak);

}  // namespace services
