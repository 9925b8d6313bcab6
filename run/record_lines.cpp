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

}  // namespace run
