#include "run/record_lines.h"

namespace run {

QString CsvField(const QString& field, QChar separator) {
  QString text = field;
  if (!text.isEmpty()) {
    const char16_t first = text.front().unicode();
    if (first == u'=' || first == u'+' || first == u'-' || first == u'@' || first == u'\t' || first == u'\r')
      text.prepend(QLatin1Char('\''));
  }
  if (text.contains(separator) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\r')) ||
      text.contains(QLatin1Char('\n'))) {
    text.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
  }
  return text;
}

QString TextExportLine(const TMyRecord& record) { return record.FURL + QLatin1Char(',') + record.FPlatform; }

QString CsvExportLine(const TMyRecord& record, QChar separator) {
  return CsvField(record.FURL, separator) + separator + CsvField(record.FPlatform, separator);
}

QStringList TextExportLines(const TWorkList& list) {
  QStringList lines;
  lines.reserve(static_cast<qsizetype>(list.size()));
  for (const TMyRecord& record : list) lines.append(TextExportLine(record));
  return lines;
}

QStringList CsvExportLines(const TWorkList& list, QChar separator) {
  QStringList lines;
  lines.reserve(static_cast<qsizetype>(list.size()));
  for (const TMyRecord& record : list) lines.append(CsvExportLine(record, separator));
  return lines;
}

std::optional<QStringList> CsvFields(QStringView record, QChar separator) {
  QStringList fields;
  qsizetype i = 0;
  for (;;) {
    QString field;
    if (i < record.size() && record[i] == QLatin1Char('"')) {
      for (++i;; ++i) {
        if (i >= record.size()) return std::nullopt;  // never closed
        if (record[i] == QLatin1Char('"')) {
          if (i + 1 < record.size() && record[i + 1] == QLatin1Char('"')) {
            field += QLatin1Char('"');
            ++i;
            continue;
          }
          ++i;
          break;
        }
        field += record[i];
      }
      if (i < record.size() && record[i] != separator) return std::nullopt;
    } else {
      qsizetype end = record.indexOf(separator, i);
      if (end < 0) end = record.size();
      const QStringView text = record.mid(i, end - i);
      if (text.contains(QLatin1Char('"'))) return std::nullopt;
      field = text.toString();
      i = end;
    }
    fields.append(field);
    if (i >= record.size()) return fields;
    ++i;  // the separator
  }
}

QString CsvUnguarded(const QString& field) {
  if (field.size() < 2 || field.front() != QLatin1Char('\'')) return field;
  const char16_t second = field.at(1).unicode();
  if (second == u'=' || second == u'+' || second == u'-' || second == u'@' || second == u'\t' || second == u'\r')
    return field.mid(1);
  return field;
}

}  // namespace run
