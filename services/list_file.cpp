#include "services/list_file.h"

#include <QFileInfo>

#include "i18n/codepage.h"
#include "services/atomic_file.h"

namespace services {

std::optional<TLoadedText> LoadListFile(const QString& path) {
  if (!QFileInfo::exists(path)) return std::nullopt;
  const QByteArray bytes = i18n::ReadFileBytes(path);
  TLoadedText loaded;
  if (std::optional<QString> text = i18n::DecodeUtf8Strict(bytes)) {
    loaded.text = std::move(*text);
  } else {
    // A UTF-8 mark in front of bytes that are not UTF-8 would come out as
    // three stray letters glued to the first URL; it is dropped.
    const bool marked = bytes.startsWith("\xEF\xBB\xBF");
    loaded.text = i18n::DecodeAnsi(marked ? bytes.mid(3) : bytes);
  }
  loaded.lineBreak = DetectLineBreak(loaded.text);
  return loaded;
}

QString DetectLineBreak(const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n') return QStringLiteral("\n");
    if (text[i] == u'\r') {
      return i + 1 < text.size() && text[i + 1] == u'\n' ? QStringLiteral("\r\n") : QStringLiteral("\r");
    }
  }
  return QStringLiteral("\r\n");
}

QStringList SplitListLines(const QString& text) {
  QStringList lines;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c != u'\r' && c != u'\n') continue;
    lines.append(text.mid(start, i - start));
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  lines.append(text.mid(start));
  return lines;
}

void SaveListFile(const QString& path, const QStringList& lines, const QString& lineBreak) {
  const QString separator = lineBreak.isEmpty() ? QStringLiteral("\r\n") : lineBreak;
  WriteFileAtomically(path, QByteArray("\xEF\xBB\xBF") + lines.join(separator).toUtf8(), TFileAccess::Private);
}

}  // namespace services
