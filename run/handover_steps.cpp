#include "run/handover_steps.h"

namespace run {

QString IntakeUrl(const QString& line) {
  qsizetype begin = 0;
  qsizetype end = line.size();
  while (begin < end && line.at(begin).unicode() <= 32) ++begin;
  while (end > begin && line.at(end - 1).unicode() <= 32) --end;
  if (begin == end) return QString();
  QString url = line.mid(begin, end - begin);
  // A scheme is case-insensitive (RFC 3986): "HTTP://host/" is an http URL,
  // stored with its scheme in lower case, not one more scheme in front.
  const qsizetype colon = url.indexOf(QLatin1Char(':'));
  if ((colon == 4 || colon == 5) && url.startsWith(QLatin1String("http"), Qt::CaseInsensitive)) {
    const QString scheme = url.left(colon).toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) url.replace(0, colon, scheme);
  }
  if (!url.startsWith(QLatin1String("http"), Qt::CaseSensitive)) url.prepend(QLatin1String("http://"));
  return url;
}

void CountStep(TRunHost& host, qint64 total) {
  host.SetStatusText(0, QStringLiteral("0 / %1").arg(total));
  host.SetRowCount(total);
  host.Progress(0, total);
}

QString StartStep(TRunHost& host, int index) {
  TMyRecord& record = host.WorkList().at(static_cast<size_t>(index));
  const QString url = record.FURL;
  record.FImageNo = kImageInWork;
  host.RedrawRow(index);
  host.SetStatusText(1, QStringLiteral("Processing ") + url);
  return url;
}

void StopSeenStep(TRunHost& host, int index) {
  host.WorkList().at(static_cast<size_t>(index)).FImageNo = kImageNone;
  host.RedrawRow(index);
}

void EndStep(TRunHost& host, int index, const QString& sonuc, bool failed, qint64 done, qint64 total,
             TEvidence evidence) {
  TWorkRecord& record = host.WorkList().at(static_cast<size_t>(index));
  record.FPlatform = sonuc;
  record.evidence = std::move(evidence);
  record.FImageNo = failed ? kImageError : kImageDone;
  host.RedrawRow(index);
  host.RecordEnded(index);
  if (const auto stopped = record.evidence.Stopped(); !stopped.empty()) host.ExpressionStopped(index, stopped.front());
  host.SetStatusText(0, QStringLiteral("%1 / %2").arg(done).arg(total));
  host.Progress(done, total);
}

void FinishStep(TRunHost& host) { host.IslemTamam(true); }

bool IsErrorText(const QString& text) { return text.startsWith(QLatin1String("Error: "), Qt::CaseSensitive); }

}  // namespace run
