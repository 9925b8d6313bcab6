// Control characters of site and input texts escaped for line-oriented
// output and terminals.
#include <gtest/gtest.h>

#include "run/printable_text.h"

namespace {

TEST(PrintableText, EscapesControlCharactersAndKeepsEverythingElse) {
  const struct {
    const char* name;
    QString text;
    QString expected;
  } cases[] = {
      {"plain", QStringLiteral("WordPress, nginx/1.24"), QStringLiteral("WordPress, nginx/1.24")},
      {"empty", QString(), QString()},
      {"window title (OSC 0, BEL)", QStringLiteral("\x1b]0;pwned\x07"), QStringLiteral("\\u001b]0;pwned\\u0007")},
      {"clear screen (CSI 2J)", QStringLiteral("a\x1b[2Jb"), QStringLiteral("a\\u001b[2Jb")},
      {"line breaks forge no record", QStringLiteral("x\r\nhttp://bank.example/,WordPress"),
       QStringLiteral("x\\r\\nhttp://bank.example/,WordPress")},
      {"NUL, backspace, form feed", QString(QChar(0)) + QStringLiteral("\b\f"), QStringLiteral("\\u0000\\b\\f")},
      {"DEL", QStringLiteral("a\x7f"), QStringLiteral("a\\u007f")},
      {"C1 CSI", QStringLiteral("a") + QChar(0x9b) + QStringLiteral("31m"), QStringLiteral("a\\u009b31m")},
      {"last C1", QString(QChar(0x9f)), QStringLiteral("\\u009f")},
      {"tab stays", QStringLiteral("a\tb"), QStringLiteral("a\tb")},
      {"backslash stays", QStringLiteral("a\\u001b"), QStringLiteral("a\\u001b")},
      {"no-break space and letters stay", QStringLiteral("b\u00fccher\u00a0\u23ce"), QStringLiteral("b\u00fccher\u00a0\u23ce")},
  };
  for (const auto& c : cases) EXPECT_EQ(run::PrintableText(c.text).toStdString(), c.expected.toStdString()) << c.name;
  EXPECT_EQ(run::PrintableUtf8("file.txt:3: unknown section [\x1b[2J]"), "file.txt:3: unknown section [\\u001b[2J]");
}

}  // namespace
