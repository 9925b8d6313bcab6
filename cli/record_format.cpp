#include "cli/record_format.h"

#include <QStringList>

#include "run/handover_steps.h"
#include "run/record_lines.h"

namespace cli {

namespace {

QString JsonString(const QString& text) {
  QString out;
  out.reserve(text.size() + 2);
  out += QLatin1Char('"');
  for (const QChar c : text) {
    switch (c.unicode()) {
      case '"': out += QLatin1String("\\\""); break;
      case '\\': out += QLatin1String("\\\\"); break;
      case '\b': out += QLatin1String("\\b"); break;
      case '\f': out += QLatin1String("\\f"); break;
      case '\n': out += QLatin1String("\\n"); break;
      case '\r': out += QLatin1String("\\r"); break;
      case '\t': out += QLatin1String("\\t"); break;
      default:
        if (c.unicode() < 0x20)
          out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
          out += c;
    }
  }
  out += QLatin1Char('"');
  return out;
}

}  // namespace

QString RecordLine(const run::TMyRecord& record, TFormat format) {
  switch (format) {
    case TFormat::Csv:
      return run::CsvExportLine(record, QLatin1Char(','));
    case TFormat::Txt:
      return run::TextExportLine(record);
    case TFormat::Jsonl: {
      QString platforms;
      QString error = QStringLiteral("null");
      if (run::IsErrorText(record.FPlatform)) {
        error = JsonString(record.FPlatform.mid(7));
      } else if (!record.FPlatform.isEmpty()) {
        const QStringList names = record.FPlatform.split(QStringLiteral(", "));
        for (qsizetype i = 0; i < names.size(); ++i) {
          if (i > 0) platforms += QLatin1Char(',');
          platforms += JsonString(names.at(i));
        }
      }
      return QStringLiteral("{\"url\":") + JsonString(record.FURL) + QStringLiteral(",\"platforms\":[") + platforms +
             QStringLiteral("],\"error\":") + error + QLatin1Char('}');
    }
    case TFormat::Xls:
    case TFormat::Xlsx:
      break;  // workbooks have cells, not lines
  }
  return QString();
}

}  // namespace cli
