#include "run/printable_text.h"

namespace run {

bool IsControlCharacter(char16_t c) { return (c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F); }

void AppendControlEscape(QString& out, char16_t c) {
  switch (c) {
    case u'\b': out += QLatin1String("\\b"); return;
    case u'\f': out += QLatin1String("\\f"); return;
    case u'\n': out += QLatin1String("\\n"); return;
    case u'\r': out += QLatin1String("\\r"); return;
    case u'\t': out += QLatin1String("\\t"); return;
    default: out += QStringLiteral("\\u%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0'));
  }
}

QString PrintableText(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && !IsControlCharacter(text.at(i).unicode())) ++i;
  if (i == text.size()) return text;  // the common case: no copy
  QString out = text.left(i);
  out.reserve(text.size() + 8);
  for (; i < text.size(); ++i) {
    const char16_t c = text.at(i).unicode();
    if (IsControlCharacter(c))
      AppendControlEscape(out, c);
    else
      out += text.at(i);
  }
  return out;
}

std::string PrintableUtf8(std::string_view text) {
  return PrintableText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))).toStdString();
}

}  // namespace run
