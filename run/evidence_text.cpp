#include "run/evidence_text.h"

#include <QStringList>

#include "run/printable_text.h"

namespace run {

namespace {

QString Label(const TLabelFunction& tr, const char* english) {
  const QString text = QString::fromUtf8(english);
  return tr ? tr(text) : text;
}

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }

}  // namespace

QString FoundBy(const engine::TFinding& finding, const TLabelFunction& tr) {
  QString text;
  switch (finding.source) {
    // An entry of a signature file (the findings that name a file) is an
    // extra one: its number counts in that file, not in the built-in tables.
    case engine::TFindingSource::Plain:
      text = Label(tr, finding.file.empty() ? "plain entry %1" : "extra plain entry %1").arg(finding.entry);
      break;
    case engine::TFindingSource::Regex:
      text = Label(tr, finding.file.empty() ? "expression %1" : "extra expression %1").arg(finding.entry);
      break;
    case engine::TFindingSource::Generator:
      text = Label(tr, "extra generator entry %1").arg(finding.entry);
      break;
    case engine::TFindingSource::Header:
      return Label(tr, "header %1").arg(Q(finding.header));
  }
  if (!finding.file.empty()) text += QStringLiteral(" (") + Label(tr, "%1 line %2").arg(Q(finding.file), QString::number(finding.line)) + QLatin1Char(')');
  return text;
}

QString StoppedText(const engine::TStoppedExpression& stopped, const TLabelFunction& tr) {
  // One pass over the label: a file name holding "%2" stays as it is.
  return Label(tr, "expression %1 (%2 line %3) stopped at its limit")
      .arg(QString::number(stopped.entry), Q(stopped.file), QString::number(stopped.line));
}

QString MatchInContext(const engine::TFinding& finding) {
  if (finding.source == engine::TFindingSource::Header) return QString();
  return Q(finding.before) + QStringLiteral("[[") + Q(finding.match) + QStringLiteral("]]") + Q(finding.after);
}

QString VersionsText(const TEvidence& evidence) {
  QStringList lines;
  for (const auto& version : evidence.Versions()) lines << Q(version.platform) + QLatin1Char(' ') + Q(version.version);
  return lines.join(QLatin1Char('\n'));
}

QString EndedAt(const QString& title, const TEvidence& evidence) {
  const QString ended = evidence.FinalUrl();
  return ended == title ? QString() : ended;
}

QString ExplainText(const QString& title, const QString& platforms, bool failed, const TEvidence& evidence,
                    const TLabelFunction& tr) {
  QStringList lines{title};
  const QString indent = QStringLiteral("  ");
  if (failed) {
    lines << indent + platforms;
  } else {
    lines << indent + Label(tr, "Platforms:") + QLatin1Char(' ') + platforms;
  }
  const QString recorded = evidence.Recorded();
  if (!recorded.isEmpty()) lines << indent + Label(tr, "Recorded:") + QLatin1Char(' ') + recorded;
  const QString ended = EndedAt(title, evidence);
  if (!ended.isEmpty()) lines << indent + Label(tr, "Ended at:") + QLatin1Char(' ') + ended;
  const QString versions = VersionsText(evidence);
  if (!versions.isEmpty()) {
    lines << indent + Label(tr, "Versions:") + QLatin1Char(' ') + versions.split(QLatin1Char('\n')).join(QStringLiteral(", "));
  }
  const auto findings = evidence.Findings();
  for (const auto& finding : findings) {
    QString line = indent + Q(finding.platform) + QStringLiteral(": ") + FoundBy(finding, tr);
    if (finding.offset) line += QStringLiteral(", ") + Label(tr, "offset %1").arg(*finding.offset);
    if (finding.duplicate) line += QStringLiteral(" (") + Label(tr, "duplicate, left out") + QLatin1Char(')');
    lines << line;
    if (finding.source == engine::TFindingSource::Header) {
      lines << indent + indent + Q(finding.header) + QStringLiteral(": ") + Q(finding.match);
    } else {
      lines << indent + indent + MatchInContext(finding);
    }
  }
  if (!failed && findings.empty()) lines << indent + Label(tr, "Nothing matched.");
  for (const auto& stopped : evidence.Stopped()) lines << indent + StoppedText(stopped, tr);
  for (QString& line : lines) line = PrintableText(line);
  return lines.join(QLatin1Char('\n'));
}

}  // namespace run
