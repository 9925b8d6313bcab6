#pragma once
// The summary of a run: what the whole list runs on. Per platform the sites
// that name it and their share of the sites that answered, the versions found
// (grouped by major.minor), the sites without any platform, and the sites
// whose fetch failed, grouped by error text.
//
// Exact: every record added counts in exactly one of identified, no platform,
// failed and not done, so those four add up to Urls(). A site counts once per
// platform however often its platforms text names it.
//
// Built a record at a time (Add) from any run, or from records read back from
// an output file (AddAnswered, AddFailed, AddNotDone); two summaries Merge
// into the summary of both lists, whatever the order, so the shards of a
// split run give the summary of the whole run. Memory grows with the distinct
// platforms, versions and error texts, never with the number of records.
//
// Not thread-safe: one thread builds a summary (the window's main thread, the
// stream run's delivery); summaries built apart are merged.
//
// Platforms of an item: an item of the form "Product/1.2..." (a Server or
// X-Powered-By value such as "nginx/1.24.0" or "Apache/2.4.57 (Debian)")
// counts for "Product" with its version; any other item counts for itself.
// Names are grouped without regard to ASCII case (as the platforms text
// de-duplicates them); the spelling shown is the smallest one seen, so it does
// not depend on the order in which records arrive.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QtGlobal>
#include <utility>
#include <vector>

#include "run/run_host.h"

namespace run {

// How a record counts. A record of a run has failed when its picture is the
// error picture (the fetch told so), whatever its text; a record read back
// from a CSV file has only its text, an error text beginning with "Error: ".
enum class TSummaryState { NotDone, Answered, Failed };
TSummaryState SummaryStateOf(const TMyRecord& record);
bool IsErrorRecordText(QStringView platformsText);

// The platform an item of a platforms text counts for, and the version the
// item carries itself (empty when none).
struct TItemPlatform {
  QStringView name;
  QStringView version;
};
TItemPlatform ItemPlatform(QStringView item);

// "6.4.2" -> "6.4", "10" -> "10", "5.0-beta" -> "5.0": the leading number
// and, after a dot, the next one; a version not beginning with a digit stays
// as it is.
QString VersionGroup(QStringView version);

// What a click on a part of the summary selects.
struct TSummaryFilter {
  enum class TKind { Platform, Version, NoPlatform, Failed, Error };
  TKind kind = TKind::Platform;
  QString platform;  // Platform, Version: the name (any case)
  QString version;   // Version: the group; empty: sites of the platform without a version
  QString error;     // Error: the error text without "Error: "
  bool operator==(const TSummaryFilter&) const = default;
};
// Whether a record of a run belongs to what `filter` selects (by the same
// rules that count it).
bool SummaryMatches(const TWorkRecord& record, const TSummaryFilter& filter);

class TRunSummary {
 public:
  struct TVersionCount {
    QString version;  // the major.minor group
    qint64 sites = 0;
  };
  struct TPlatformRow {
    QString name;
    qint64 sites = 0;
    double share = 0;                    // of the sites that answered
    std::vector<TVersionCount> versions;  // newest first
    qint64 unversioned = 0;              // sites of it without a version
  };
  struct TErrorRow {
    QString error;  // without "Error: "
    qint64 sites = 0;
  };

  // A record of a run, by its state (SummaryStateOf), its platforms text and
  // the versions of its evidence.
  void Add(const TWorkRecord& record);
  // A record whose job never ended.
  void AddNotDone(qint64 count = 1);
  // A failed record; `error` with or without its "Error: " prefix.
  void AddFailed(QStringView error);
  // A site that answered: the items of its platforms text (none: no
  // platform) and the versions known for them (name, version).
  void AddAnswered(const QStringList& items, const std::vector<std::pair<QString, QString>>& versions = {});
  // The platforms text split at ", " (an empty text: no platform).
  void AddAnsweredText(QStringView platformsText, const std::vector<std::pair<QString, QString>>& versions = {});
  void Merge(const TRunSummary& other);
  void Clear() { *this = TRunSummary(); }

  qint64 Urls() const { return identified_ + noPlatform_ + failed_ + notDone_; }
  qint64 Answered() const { return identified_ + noPlatform_; }
  qint64 Identified() const { return identified_; }
  qint64 NoPlatform() const { return noPlatform_; }
  qint64 Failed() const { return failed_; }
  qint64 NotDone() const { return notDone_; }

  // Most sites first, then by name.
  std::vector<TPlatformRow> Platforms() const;
  // Most sites first, then by text.
  std::vector<TErrorRow> Errors() const;

  // {"urls":N,"answered":N,"identified":N,"no_platform":N,"failed":N,
  //  "not_done":N,"platforms":[{"name":..,"sites":N,"share":0.5,
  //  "versions":[{"version":"6.4","sites":N}],"unversioned":N}],
  //  "errors":[{"error":..,"sites":N}]}, indented, ending with a line feed.
  QByteArray ToJson() const;
  // A readable table (English, fixed-width columns), ending with a line feed.
  QString ToTable() const;

  // A summary of a whole work list: records whose job has not ended count
  // as not done.
  static TRunSummary Of(const TWorkList& list);

  bool operator==(const TRunSummary& other) const;

 private:
  struct TPlatform {
    QString name;  // the smallest spelling seen
    qint64 sites = 0;
    QHash<QString, qint64> versions;  // group -> sites
  };
  QHash<QString, TPlatform> platforms_;  // by ASCII-folded name
  QHash<QString, qint64> errors_;
  qint64 identified_ = 0;
  qint64 noPlatform_ = 0;
  qint64 failed_ = 0;
  qint64 notDone_ = 0;
};

}  // namespace run
