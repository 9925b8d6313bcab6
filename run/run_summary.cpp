#include "run/run_summary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "run/printable_text.h"

namespace run {

namespace {

constexpr QStringView kErrorPrefix = u"Error: ";
constexpr QStringView kItemSeparator = u", ";

QString FoldAscii(QStringView text) {
  QString folded = text.toString();
  for (QChar& c : folded)
    if (c.unicode() >= u'A' && c.unicode() <= u'Z') c = QChar(c.unicode() + (u'a' - u'A'));
  return folded;
}

bool IsDigit(QChar c) { return c.unicode() >= u'0' && c.unicode() <= u'9'; }

bool IsVersionChar(QChar c) {
  const char16_t u = c.unicode();
  return IsDigit(c) || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || u == u'.' || u == u'-';
}

QStringView ErrorWithoutPrefix(QStringView text) {
  return text.startsWith(kErrorPrefix) ? text.mid(kErrorPrefix.size()) : text;
}

// The platforms of one site, each once (by folded name), in the order of its
// platforms text: `found(key, name, versionGroup)`. A version comes from the
// item itself, else from `versions` (by the item's text).
template <typename Found>
void ForEachSitePlatform(const QStringList& items, const std::vector<std::pair<QString, QString>>& versions,
                         Found&& found) {
  QStringList seen;
  for (const QString& item : items) {
    if (item.isEmpty()) continue;
    const TItemPlatform platform = ItemPlatform(item);
    QString key = FoldAscii(platform.name);
    if (seen.contains(key)) continue;
    seen.append(key);
    QString group;
    if (!platform.version.isEmpty()) {
      group = VersionGroup(platform.version);
    } else {
      for (const auto& [name, version] : versions)
        if (name == item && !version.isEmpty()) {
          group = VersionGroup(version);
          break;
        }
    }
    found(key, platform.name, group);
  }
}

QStringList Items(QStringView platformsText) {
  QStringList items;
  if (platformsText.isEmpty()) return items;
  for (const QStringView item : platformsText.tokenize(kItemSeparator))
    if (!item.isEmpty()) items.append(item.toString());
  return items;
}

std::vector<std::pair<QString, QString>> RecordVersions(const TWorkRecord& record) {
  std::vector<std::pair<QString, QString>> versions;
  if (record.evidence.IsEmpty()) return versions;
  for (const auto& v : record.evidence.Versions())
    versions.emplace_back(QString::fromStdU16String(v.platform), QString::fromStdU16String(v.version));
  return versions;
}

// Newest first: number by number, then as text.
bool NewerVersion(const QString& a, const QString& b) {
  const QStringList pa = a.split(QLatin1Char('.')), pb = b.split(QLatin1Char('.'));
  for (qsizetype i = 0; i < std::min(pa.size(), pb.size()); ++i) {
    bool okA = false, okB = false;
    const qlonglong na = pa[i].toLongLong(&okA), nb = pb[i].toLongLong(&okB);
    if (okA && okB && na != nb) return na > nb;
    if (okA != okB) return okA;  // a number before a word
    if (!okA && pa[i] != pb[i]) return pa[i] > pb[i];
  }
  if (pa.size() != pb.size()) return pa.size() > pb.size();
  return a > b;
}

QString Padded(const QString& text, qsizetype width, bool right) {
  const QString fill(std::max<qsizetype>(0, width - text.size()), QLatin1Char(' '));
  return right ? fill + text : text + fill;
}

}  // namespace

TSummaryState SummaryStateOf(const TMyRecord& record) {
  if (FetchFailed(record)) return TSummaryState::Failed;
  if (record.FImageNo == kImageDone) return TSummaryState::Answered;
  return TSummaryState::NotDone;
}

bool IsErrorRecordText(QStringView platformsText) { return platformsText.startsWith(kErrorPrefix); }

TItemPlatform ItemPlatform(QStringView item) {
  const qsizetype slash = item.indexOf(QLatin1Char('/'));
  if (slash > 0 && slash + 1 < item.size() && IsDigit(item[slash + 1]) && !item.left(slash).contains(QLatin1Char(' '))) {
    qsizetype end = slash + 1;
    while (end < item.size() && IsVersionChar(item[end])) ++end;
    return {item.left(slash), item.mid(slash + 1, end - slash - 1)};
  }
  return {item, QStringView()};
}

QString VersionGroup(QStringView version) {
  if (version.isEmpty() || !IsDigit(version[0])) return version.toString();
  qsizetype end = 0;
  while (end < version.size() && IsDigit(version[end])) ++end;
  if (end + 1 < version.size() && version[end] == QLatin1Char('.') && IsDigit(version[end + 1])) {
    ++end;
    while (end < version.size() && IsDigit(version[end])) ++end;
  }
  return version.left(end).toString();
}

bool SummaryMatches(const TWorkRecord& record, const TSummaryFilter& filter) {
  const TSummaryState state = SummaryStateOf(record);
  switch (filter.kind) {
    case TSummaryFilter::TKind::Failed:
      return state == TSummaryState::Failed;
    case TSummaryFilter::TKind::Error:
      return state == TSummaryState::Failed && ErrorWithoutPrefix(record.FPlatform) == filter.error;
    case TSummaryFilter::TKind::NoPlatform:
      return state == TSummaryState::Answered && Items(record.FPlatform).isEmpty();
    case TSummaryFilter::TKind::Platform:
    case TSummaryFilter::TKind::Version:
      break;
  }
  if (state != TSummaryState::Answered) return false;
  const QString wanted = FoldAscii(filter.platform);
  bool match = false;
  ForEachSitePlatform(Items(record.FPlatform), RecordVersions(record),
                      [&](const QString& key, QStringView, const QString& group) {
                        if (key == wanted)
                          match = filter.kind == TSummaryFilter::TKind::Platform || group == filter.version;
                      });
  return match;
}

void TRunSummary::Add(const TWorkRecord& record) {
  switch (SummaryStateOf(record)) {
    case TSummaryState::NotDone:
      AddNotDone();
      break;
    case TSummaryState::Failed:
      AddFailed(record.FPlatform);
      break;
    case TSummaryState::Answered:
      AddAnswered(Items(record.FPlatform), RecordVersions(record));
      break;
  }
}

void TRunSummary::AddNotDone(qint64 count) { notDone_ += count; }

void TRunSummary::AddFailed(QStringView error) {
  ++failed_;
  ++errors_[ErrorWithoutPrefix(error).toString()];
}

void TRunSummary::AddAnsweredText(QStringView platformsText,
                                  const std::vector<std::pair<QString, QString>>& versions) {
  AddAnswered(Items(platformsText), versions);
}

void TRunSummary::AddAnswered(const QStringList& items, const std::vector<std::pair<QString, QString>>& versions) {
  bool any = false;
  ForEachSitePlatform(items, versions, [&](const QString& key, QStringView name, const QString& group) {
    any = true;
    TPlatform& platform = platforms_[key];
    if (platform.name.isEmpty() || name < QStringView(platform.name)) platform.name = name.toString();
    ++platform.sites;
    if (!group.isEmpty()) ++platform.versions[group];
  });
  ++(any ? identified_ : noPlatform_);
}

void TRunSummary::Merge(const TRunSummary& other) {
  for (auto it = other.platforms_.cbegin(); it != other.platforms_.cend(); ++it) {
    TPlatform& platform = platforms_[it.key()];
    if (platform.name.isEmpty() || it->name < platform.name) platform.name = it->name;
    platform.sites += it->sites;
    for (auto v = it->versions.cbegin(); v != it->versions.cend(); ++v) platform.versions[v.key()] += v.value();
  }
  for (auto it = other.errors_.cbegin(); it != other.errors_.cend(); ++it) errors_[it.key()] += it.value();
  identified_ += other.identified_;
  noPlatform_ += other.noPlatform_;
  failed_ += other.failed_;
  notDone_ += other.notDone_;
}

std::vector<TRunSummary::TPlatformRow> TRunSummary::Platforms() const {
  std::vector<TPlatformRow> rows;
  rows.reserve(static_cast<std::size_t>(platforms_.size()));
  const qint64 answered = Answered();
  for (const TPlatform& platform : platforms_) {
    TPlatformRow row;
    row.name = platform.name;
    row.sites = platform.sites;
    row.share = answered > 0 ? static_cast<double>(platform.sites) / static_cast<double>(answered) : 0.0;
    row.unversioned = platform.sites;
    for (auto v = platform.versions.cbegin(); v != platform.versions.cend(); ++v) {
      row.versions.push_back({v.key(), v.value()});
      row.unversioned -= v.value();
    }
    std::sort(row.versions.begin(), row.versions.end(),
              [](const TVersionCount& a, const TVersionCount& b) { return NewerVersion(a.version, b.version); });
    rows.push_back(std::move(row));
  }
  std::sort(rows.begin(), rows.end(), [](const TPlatformRow& a, const TPlatformRow& b) {
    return a.sites != b.sites ? a.sites > b.sites : a.name < b.name;
  });
  return rows;
}

std::vector<TRunSummary::TErrorRow> TRunSummary::Errors() const {
  std::vector<TErrorRow> rows;
  rows.reserve(static_cast<std::size_t>(errors_.size()));
  for (auto it = errors_.cbegin(); it != errors_.cend(); ++it) rows.push_back({it.key(), it.value()});
  std::sort(rows.begin(), rows.end(), [](const TErrorRow& a, const TErrorRow& b) {
    return a.sites != b.sites ? a.sites > b.sites : a.error < b.error;
  });
  return rows;
}

QByteArray TRunSummary::ToJson() const {
  QJsonObject root;
  root.insert(QStringLiteral("urls"), Urls());
  root.insert(QStringLiteral("answered"), Answered());
  root.insert(QStringLiteral("identified"), identified_);
  root.insert(QStringLiteral("no_platform"), noPlatform_);
  root.insert(QStringLiteral("failed"), failed_);
  root.insert(QStringLiteral("not_done"), notDone_);
  QJsonArray platforms;
  for (const TPlatformRow& row : Platforms()) {
    QJsonArray versions;
    for (const TVersionCount& v : row.versions)
      versions.append(QJsonObject{{QStringLiteral("version"), v.version}, {QStringLiteral("sites"), v.sites}});
    platforms.append(QJsonObject{{QStringLiteral("name"), row.name},
                                 {QStringLiteral("sites"), row.sites},
                                 {QStringLiteral("share"), row.share},
                                 {QStringLiteral("versions"), versions},
                                 {QStringLiteral("unversioned"), row.unversioned}});
  }
  root.insert(QStringLiteral("platforms"), platforms);
  QJsonArray errors;
  for (const TErrorRow& row : Errors())
    errors.append(QJsonObject{{QStringLiteral("error"), row.error}, {QStringLiteral("sites"), row.sites}});
  root.insert(QStringLiteral("errors"), errors);
  // QJsonObject keeps its keys sorted; the document reads the same either way.
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QString TRunSummary::ToTable() const {
  QString text = QStringLiteral("%1 URLs: %2 answered (%3 with a platform, %4 without), %5 failed, %6 not done\n")
                     .arg(Urls())
                     .arg(Answered())
                     .arg(identified_)
                     .arg(noPlatform_)
                     .arg(failed_)
                     .arg(notDone_);
  const std::vector<TPlatformRow> rows = Platforms();
  if (!rows.empty()) {
    qsizetype nameWidth = 8;  // "Platform"
    for (const TPlatformRow& row : rows) nameWidth = std::max(nameWidth, PrintableText(row.name).size());
    text += QLatin1Char('\n') + Padded(QStringLiteral("Platform"), nameWidth, false) +
            QStringLiteral("     Sites    Share  Versions\n");
    for (const TPlatformRow& row : rows) {
      QStringList versions;
      for (const TVersionCount& v : row.versions)
        versions << QStringLiteral("%1: %2").arg(PrintableText(v.version)).arg(v.sites);
      if (!row.versions.empty() && row.unversioned > 0)
        versions << QStringLiteral("no version: %1").arg(row.unversioned);
      text += Padded(PrintableText(row.name), nameWidth, false) + Padded(QString::number(row.sites), 10, true) +
              Padded(QString::number(row.share * 100.0, 'f', 1) + QStringLiteral(" %"), 9, true);
      text += versions.isEmpty() ? QStringLiteral("\n") : QStringLiteral("  ") + versions.join(QStringLiteral(", ")) + QLatin1Char('\n');
    }
  }
  const std::vector<TErrorRow> errors = Errors();
  if (!errors.empty()) {
    qsizetype errorWidth = 5;  // "Error"
    for (const TErrorRow& row : errors) errorWidth = std::max(errorWidth, PrintableText(row.error).size());
    text += QLatin1Char('\n') + Padded(QStringLiteral("Error"), errorWidth, false) + QStringLiteral("     Sites\n");
    for (const TErrorRow& row : errors)
      text += Padded(PrintableText(row.error), errorWidth, false) + Padded(QString::number(row.sites), 10, true) + QLatin1Char('\n');
  }
  return text;
}

TRunSummary TRunSummary::Of(const TWorkList& list) {
  TRunSummary summary;
  for (const TWorkRecord& record : list) summary.Add(record);
  return summary;
}

bool TRunSummary::operator==(const TRunSummary& other) const { return ToJson() == other.ToJson(); }

}  // namespace run
