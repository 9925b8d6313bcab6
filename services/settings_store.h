#pragma once
// The data folder and the settings store (settings.ini).
//
// The data folder is the program's own folder when files can be created
// there (a portable installation), otherwise the per-user folder
// "<XDG config folder>/<company>/<product>/".
//
// settings.ini is UTF-8 with a byte-order mark: for each section a line
// "[Section]", one line "Key=Value" per key in the order the keys were first
// written, then an empty line; every line ends with CR LF. It is read with
// the byte-order mark skipped and section and key names compared without
// case. Every write rewrites the whole file atomically (a temporary file in
// the same folder renamed over it), so a crash or a full disk never leaves a
// truncated file behind.
//
// Threads: the store belongs to the main thread, which writes it; reads are
// safe from any thread (a run reads MultiThreads) and never see a write half
// done.
#include <shared_mutex>
#include <utility>
#include <vector>

#include <QString>

namespace services {

inline const QString kSettingsFileName = QStringLiteral("settings.ini");
inline const QString kListFileName = QStringLiteral("list.txt");
inline const QString kSettingsSection = QStringLiteral("Settings");

class TSettingsStore {
 public:
  // Opens the store for iniPath. A missing file gives an empty store. A file
  // that cannot be read, or whose bytes are not valid UTF-8, is deleted and
  // the store starts empty; the next write creates the file anew. When the
  // file can be neither read nor deleted, the store starts empty, keeps
  // every change in memory only (writing would fail again at each change)
  // and Problem() says so.
  explicit TSettingsStore(const QString& iniPath);

  TSettingsStore(const TSettingsStore&) = delete;
  TSettingsStore& operator=(const TSettingsStore&) = delete;

  // The value as written (blanks around it kept), or def when absent.
  QString ReadString(const QString& section, const QString& key, const QString& def) const;
  // The value read as a decimal integer (optional sign) or as hexadecimal
  // with a "0x" prefix, blanks around it ignored; def when absent, empty,
  // out of the int range or any other text.
  int ReadInteger(const QString& section, const QString& key, int def) const;

  // Set the value in memory, then rewrite the whole file. On a failed write
  // the change stays in memory and std::runtime_error carries the reason.
  // Names and values that would break the file's line structure (a line
  // break anywhere, "=" or surrounding blanks in a key, "]" in a section
  // name, an empty name) are refused with std::runtime_error before
  // anything changes.
  void WriteString(const QString& section, const QString& key, const QString& value);
  void WriteInteger(const QString& section, const QString& key, int value);  // decimal

  // Non-empty when the file could be neither read nor deleted: a message
  // for the user, shown once by the window. Empty otherwise.
  QString Problem() const;

  QString Path() const;

 private:
  struct Section {
    QString name;
    std::vector<std::pair<QString, QString>> entries;
  };

  void Parse(const QString& text);
  QByteArray Serialize() const;
  const QString* Find(const QString& section, const QString& key) const;

  const QString path_;
  QString problem_;
  bool memoryOnly_ = false;
  std::vector<Section> sections_;
  mutable std::shared_mutex mutex_;
};

// True when a file "chk.tmp" can be created in `folder`: created only if no
// file of that name exists, then removed at once. An existing "chk.tmp"
// counts as not writable; nothing else is examined.
bool IsFolderWritable(const QString& folder);

// The per-user folder "<XDG config folder>/<company>/<product>/", where the
// XDG config folder is $XDG_CONFIG_HOME when set to an absolute path, else
// ~/.config. Nothing is created.
QString UserDataFolder(const QString& company, const QString& product);

// The data folder, always ending with "/": programFolder (empty means the
// running program's folder) when IsFolderWritable says so, else
// UserDataFolder(), which is created with any missing parents (failures are
// ignored; writing there then reports them). An installed copy
// (i18n::IsInstalledLayout) always takes UserDataFolder() and leaves no probe
// in its program folder.
QString SettleDataFolder(const QString& programFolder, const QString& company, const QString& product);

}  // namespace services
