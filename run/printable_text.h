#pragma once
// Text that a site or the input chose, made safe for line-oriented output and
// for terminals. A status line, a header value, a page's context or a URL may
// hold ESC sequences (window titles, screen clearing, hyperlinks), a bell, or
// line breaks that would split one record into several and let a site print
// records of its own. Every writer of such text (record lines on standard
// output and in the command-line tool's files, the readable evidence blocks,
// JSON strings, messages) escapes control characters here, one way for all.
#include <QString>

#include <string>
#include <string_view>

namespace run {

// C0 controls except the tab, DEL, and the C1 controls (U+0080..U+009F,
// which some terminals act on like ESC sequences).
bool IsControlCharacter(char16_t c);

// Appends the escape of `c` (a control character, or a tab inside JSON) as
// JSON writes it: \b, \f, \n, \r, \t, otherwise \u and four lower-case
// hexadecimal digits.
void AppendControlEscape(QString& out, char16_t c);

// `text` with every control character escaped; tabs and all other characters
// stay as they are (a backslash too: the result is for reading, not parsing
// back). The text itself when it holds no control character.
QString PrintableText(const QString& text);

// The same for UTF-8 text (messages built from file contents, say); bytes
// that are not UTF-8 come out as U+FFFD.
std::string PrintableUtf8(std::string_view text);

}  // namespace run
