#include "cli/record_format.h"

#include <QStringList>

#include "run/evidence_text.h"
#include "run/printable_text.h"
#include "run/record_lines.h"

namespace cli {

namespace {

QString JsonString(const QString& text) {
  QString out;
  out.reserve(text.size() + 2);
  out += QLatin1Char('"');
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (u == u'"' || u == u'\\') {
      out += QLatin1Char('\\');
      out += c;
    } else if (u == u'\t' || run::IsControlCharacter(u)) {
      // DEL and C1 too: valid JSON either way, but no terminal acts on them.
      run::AppendControlEscape(out, u);
    } else {
      out += c;
    }
  }
  out += QLatin1Char('"');
  return out;
}

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }

}  // namespace

QString SiteJsonFields(const QString& platforms, bool failed, const run::TEvidence& evidence) {
  QString names;
  QString error = QStringLiteral("null");
  if (failed) {
    error = JsonString(platforms.mid(7));
  } else if (!platforms.isEmpty()) {
    const QStringList list = platforms.split(QStringLiteral(", "));
    for (qsizetype i = 0; i < list.size(); ++i) {
      if (i > 0) names += QLatin1Char(',');
      names += JsonString(list.at(i));
    }
  }
  QString versions;
  for (const auto& version : evidence.Versions()) {
    if (!versions.isEmpty()) versions += QLatin1Char(',');
    versions += JsonString(Q(version.platform)) + QLatin1Char(':') + JsonString(Q(version.version));
  }
  QString items;
  for (const auto& f : evidence.Findings()) {
    if (!items.isEmpty()) items += QLatin1Char(',');
    const bool header = f.source == engine::TFindingSource::Header;
    // Entries of signature files (they name their file) say so in their source.
    const char* source = header                                        ? "header"
                         : f.source == engine::TFindingSource::Generator ? "extra-generator"
                         : f.source == engine::TFindingSource::Regex     ? (f.file.empty() ? "regex" : "extra-regex")
                                                                         : (f.file.empty() ? "plain" : "extra-plain");
    items += QStringLiteral("{\"platform\":") + JsonString(Q(f.platform)) + QStringLiteral(",\"source\":\"") +
             QLatin1String(source) +
             QStringLiteral("\",\"entry\":") + (header ? JsonString(Q(f.header)) : QString::number(f.entry));
    if (!f.file.empty()) {
      items += QStringLiteral(",\"file\":") + JsonString(Q(f.file)) + QStringLiteral(",\"line\":") + QString::number(f.line);
    }
    items += QStringLiteral(",\"match\":") + JsonString(Q(f.match)) + QStringLiteral(",\"offset\":") +
             (f.offset ? QString::number(*f.offset) : QStringLiteral("null")) + QStringLiteral(",\"before\":") +
             JsonString(Q(f.before)) + QStringLiteral(",\"after\":") + JsonString(Q(f.after)) +
             QStringLiteral(",\"duplicate\":") + QLatin1String(f.duplicate ? "true" : "false") + QLatin1Char('}');
  }
  // Expressions of signature files that stopped at their limit: only when
  // there are any, so that every other line stays as it was.
  QString stopped;
  for (const auto& e : evidence.Stopped()) {
    stopped += QLatin1String(stopped.isEmpty() ? ",\"stopped\":[" : ",") + QStringLiteral("{\"entry\":") +
               QString::number(e.entry) + QStringLiteral(",\"file\":") + JsonString(Q(e.file)) +
               QStringLiteral(",\"line\":") + QString::number(e.line) + QLatin1Char('}');
  }
  if (!stopped.isEmpty()) stopped += QLatin1Char(']');
  return QStringLiteral("\"platforms\":[") + names + QStringLiteral("],\"error\":") + error +
         QStringLiteral(",\"versions\":{") + versions + QStringLiteral("},\"evidence\":[") + items + QLatin1Char(']') +
         stopped;
}

QString StoppedWarning(const run::TEvidence& evidence, const QString& site) {
  const auto stopped = evidence.Stopped();
  if (stopped.empty()) return QString();
  return run::PrintableText(QStringLiteral("lumasift-cli: warning: ") + run::StoppedText(stopped.front()) +
                            QStringLiteral(" on ") + site +
                            QStringLiteral("; a site where an expression stops is identified as if it had not "
                                           "matched (--explain names them; this warning is not repeated)"));
}

QString RecordLine(const run::TWorkRecord& record, TFormat format) {
  // The window's export lines of the record with its control characters
  // escaped, so that one record is one line and nothing reaches a terminal.
  const auto printable = [&] {
    return run::TMyRecord{run::PrintableText(record.FURL), run::PrintableText(record.FPlatform), record.FImageNo};
  };
  switch (format) {
    case TFormat::Csv:
      return run::CsvExportLine(printable(), QLatin1Char(','));
    case TFormat::Txt:
      return run::TextExportLine(printable());
    case TFormat::Jsonl: {
      // A page read from an archive: when the archive recorded it.
      const QString recorded = record.evidence.Recorded();
      const QString date =
          recorded.isEmpty() ? QString() : QStringLiteral("\"date\":") + JsonString(recorded) + QLatin1Char(',');
      return QStringLiteral("{\"url\":") + JsonString(record.FURL) + QLatin1Char(',') + date +
             SiteJsonFields(record.FPlatform, run::FetchFailed(record), record.evidence) + QLatin1Char('}');
    }
    case TFormat::Xls:
    case TFormat::Xlsx:
      break;  // workbooks have cells, not lines
  }
  return QString();
}

}  // namespace cli
