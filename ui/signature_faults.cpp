#include "ui/signature_faults.h"

#include <QRegularExpression>

#include <utility>
#include <vector>

#include "i18n/language.h"

namespace ui {

namespace {

struct TReason {
  QRegularExpression english;  // the engine's words; its groups are %1, %2...
  QString translated;
};

// Every reason the engine gives, with its translation. The patterns follow
// the engine's texts word for word (a test builds each fault and checks that
// it is recognised).
std::vector<TReason> Reasons() {
  using i18n::Translate;
  auto r = [](const char* pattern, QString translated) {
    return TReason{QRegularExpression(QStringLiteral("^") + QString::fromUtf8(pattern) + QStringLiteral("$")),
                   std::move(translated)};
  };
  return {
      r("not UTF-8", Translate(QStringLiteral("not UTF-8"))),
      r(R"re(unknown section (.*) \(known: \[platforms\], \[plain\], \[regex\], \[generator\]\))re",
        Translate(QStringLiteral("unknown section %1 (known: [platforms], [plain], [regex], [generator])"))),
      r(R"re(line outside a section \(\[platforms\], \[plain\], \[regex\] or \[generator\]\))re",
        Translate(QStringLiteral("line outside a section ([platforms], [plain], [regex] or [generator])"))),
      r(R"re(a platform row is "code,name,home page" \(names hold no comma\))re",
        Translate(QStringLiteral("a platform row is \"code,name,home page\" (names hold no comma)"))),
      r(R"re(platform code "(.*)" is not 2 to 11 of a-z, 0-9 and _)re",
        Translate(QStringLiteral("platform code \"%1\" is not 2 to 11 of a-z, 0-9 and _"))),
      r(R"re(platform "(.*)" has no name)re", Translate(QStringLiteral("platform \"%1\" has no name"))),
      r(R"re(home page of "(.*)" does not begin with http:// or https://)re",
        Translate(QStringLiteral("home page of \"%1\" does not begin with http:// or https://"))),
      r(R"re(built-in code "(.*)" is (.*); it may be used in entries but not redefined)re",
        Translate(QStringLiteral("built-in code \"%1\" is %2; it may be used in entries but not redefined"))),
      r(R"re(platform "(.*)" is already defined on line (\d+))re",
        Translate(QStringLiteral("platform \"%1\" is already defined on line %2"))),
      r(R"re(platform "(.*)" is (.*) in (.*) \(line (\d+)\))re",
        Translate(QStringLiteral("platform \"%1\" is %2 in %3 (line %4)"))),
      r(R"re(entry without ":-" and a platform code)re", Translate(QStringLiteral("entry without \":-\" and a platform code"))),
      r(R"re(unknown platform code "(.*)" \(neither in the catalogue nor in \[platforms\]\))re",
        Translate(QStringLiteral("unknown platform code \"%1\" (neither in the catalogue nor in [platforms])"))),
      r(R"re(empty alternative (\d+))re", Translate(QStringLiteral("empty alternative %1"))),
      r(R"re(empty entry: nothing before ":-")re", Translate(QStringLiteral("empty entry: nothing before \":-\""))),
      r(R"re(generator name of alternative (\d+) begins or ends with a blank)re",
        Translate(QStringLiteral("generator name of alternative %1 begins or ends with a blank"))),
      r(R"re(generator name of the entry begins or ends with a blank)re",
        Translate(QStringLiteral("generator name of the entry begins or ends with a blank"))),
      r(R"re(expression of alternative (\d+) does not compile: (.*) at offset (\d+))re",
        Translate(QStringLiteral("expression of alternative %1 does not compile: %2 at offset %3"))),
      r(R"re(expression of the entry does not compile: (.*) at offset (\d+))re",
        Translate(QStringLiteral("expression of the entry does not compile: %1 at offset %2"))),
      r(R"re(alternative (\d+) is shorter than three characters: it would credit nearly every page)re",
        Translate(QStringLiteral("alternative %1 is shorter than three characters: it would credit nearly every page"))),
      r(R"re(the entry is shorter than three characters: it would credit nearly every page)re",
        Translate(QStringLiteral("the entry is shorter than three characters: it would credit nearly every page"))),
      r(R"re(alternative (\d+) occurs in every ordinary page: "(.*)")re",
        Translate(QStringLiteral("alternative %1 occurs in every ordinary page: \"%2\""))),
      r(R"re(the entry occurs in every ordinary page: "(.*)")re",
        Translate(QStringLiteral("the entry occurs in every ordinary page: \"%1\""))),
      r(R"re(cannot read: (.*))re", Translate(QStringLiteral("cannot read: %1"))),
  };
}

QString TranslatedReason(const QString& reason) {
  // Made afresh: the texts are those of the language loaded now.
  const std::vector<TReason> reasons = Reasons();
  for (const TReason& known : reasons) {
    const QRegularExpressionMatch match = known.english.match(reason);
    if (!match.hasMatch()) continue;
    const QString& text = known.translated;
    // Substituted in one pass, so that a part holding "%2" stays as it is.
    QString result;
    for (qsizetype i = 0; i < text.size(); ++i) {
      if (text[i] == u'%' && i + 1 < text.size() && text[i + 1].isDigit()) {
        const int group = text[i + 1].digitValue();
        result += match.captured(group);
        ++i;
      } else {
        result += text[i];
      }
    }
    return result;
  }
  return reason;
}

}  // namespace

QString TranslatedSignatureFault(const QString& fault, const QStringList& files) {
  for (const QString& file : files) {
    if (!fault.startsWith(file + u':')) continue;
    const QString rest = fault.mid(file.size() + 1);
    static const QRegularExpression lineAndReason(QStringLiteral("^(\\d+): (.*)$"));
    const QRegularExpressionMatch numbered = lineAndReason.match(rest);
    if (numbered.hasMatch())
      return file + u':' + numbered.captured(1) + QStringLiteral(": ") + TranslatedReason(numbered.captured(2));
    if (rest.startsWith(u' ')) return file + QStringLiteral(": ") + TranslatedReason(rest.mid(1));
  }
  return fault;
}

}  // namespace ui
