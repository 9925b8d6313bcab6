#include "services/settings_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "i18n/codepage.h"
#include "i18n/program_layout.h"
#include "services/atomic_file.h"

namespace services {
namespace {

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

bool HasLineBreak(const QString& text) {
  return text.contains(u'\r') || text.contains(u'\n');
}

QString WithSlash(const QString& folder) {
  return folder.endsWith(u'/') ? folder : folder + u'/';
}

std::optional<int> ParseInteger(const QString& text) {
  const QString value = text.trimmed();
  bool ok = false;
  if (value.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
    // Hexadecimal is the 32-bit pattern: 0xFFFFFFFF reads as -1.
    const QStringView digits = QStringView(value).sliced(2);
    if (digits.isEmpty() || digits.startsWith(u'+') || digits.startsWith(u'-')) return std::nullopt;
    const uint number = digits.toUInt(&ok, 16);
    if (!ok) return std::nullopt;
    return static_cast<int>(number);
  }
  const int number = value.toInt(&ok, 10);
  if (!ok) return std::nullopt;
  return number;
}

}  // namespace

TSettingsStore::TSettingsStore(const QString& iniPath) : path_(iniPath) {
  QFile file(path_);
  if (!QFileInfo::exists(path_)) return;
  QString reason;
  if (!file.open(QIODevice::ReadOnly)) {
    reason = file.errorString();
  } else {
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
      reason = file.errorString();
    } else if (const std::optional<QString> text = i18n::DecodeUtf8Strict(bytes)) {
      Parse(*text);
      return;
    } else {
      reason = QStringLiteral("The file is not valid UTF-8.");
    }
    file.close();
  }
  // Unreadable or malformed: start afresh; the next change writes a new file.
  if (file.remove()) return;
  memoryOnly_ = true;
  problem_ = QStringLiteral(
                 "The settings file \"%1\" could not be read (%2) and could not be deleted (%3). "
                 "The program starts with its built-in settings, and changes will not be saved.")
                 .arg(QDir::toNativeSeparators(path_), reason, file.errorString());
}

void TSettingsStore::Parse(const QString& text) {
  Section* current = nullptr;
  for (const QString& line : i18n::SplitTextLines(text)) {
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u';')) continue;
    if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
      const QString name = trimmed.mid(1, trimmed.size() - 2).trimmed();
      current = nullptr;
      for (Section& section : sections_) {
        if (SameName(section.name, name)) current = &section;
      }
      if (!current) current = &sections_.emplace_back(Section{name, {}});
      continue;
    }
    if (!current) continue;
    // The value is kept exactly as written after "=", blanks included, so a
    // value that begins or ends with a blank survives a round trip.
    const qsizetype start = line.indexOf(trimmed.front());
    const qsizetype equals = line.indexOf(u'=', start);
    if (equals < 0) continue;
    const QString key = line.mid(start, equals - start).trimmed();
    if (key.isEmpty()) continue;
    bool known = false;
    for (const auto& entry : current->entries) known = known || SameName(entry.first, key);
    // The first of several lines with the same name wins.
    if (!known) current->entries.emplace_back(key, line.mid(equals + 1));
  }
}

QByteArray TSettingsStore::Serialize() const {
  QString text;
  for (const Section& section : sections_) {
    text += u'[' + section.name + QStringLiteral("]\r\n");
    for (const auto& [key, value] : section.entries) text += key + u'=' + value + QStringLiteral("\r\n");
    text += QStringLiteral("\r\n");
  }
  return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

const QString* TSettingsStore::Find(const QString& section, const QString& key) const {
  for (const Section& candidate : sections_) {
    if (!SameName(candidate.name, section)) continue;
    for (const auto& entry : candidate.entries) {
      if (SameName(entry.first, key)) return &entry.second;
    }
  }
  return nullptr;
}

QString TSettingsStore::ReadString(const QString& section, const QString& key, const QString& def) const {
  std::shared_lock lock(mutex_);
  const QString* value = Find(section, key);
  return value ? *value : def;
}

int TSettingsStore::ReadInteger(const QString& section, const QString& key, int def) const {
  std::shared_lock lock(mutex_);
  const QString* value = Find(section, key);
  if (!value) return def;
  return ParseInteger(*value).value_or(def);
}

void TSettingsStore::WriteString(const QString& section, const QString& key, const QString& value) {
  const QString sectionName = section.trimmed();
  if (sectionName.isEmpty() || HasLineBreak(section) || section.contains(u']')) {
    throw std::runtime_error("Invalid settings section name: " + section.toStdString());
  }
  if (key.isEmpty() || key != key.trimmed() || HasLineBreak(key) || key.contains(u'=') ||
      key.startsWith(u';') || key.startsWith(u'[')) {
    throw std::runtime_error("Invalid settings key name: " + key.toStdString());
  }
  if (HasLineBreak(value)) {
    throw std::runtime_error("A settings value cannot hold a line break (key " + key.toStdString() + ").");
  }

  std::unique_lock lock(mutex_);
  Section* target = nullptr;
  for (Section& candidate : sections_) {
    if (SameName(candidate.name, sectionName)) target = &candidate;
  }
  if (!target) target = &sections_.emplace_back(Section{sectionName, {}});
  bool found = false;
  for (auto& entry : target->entries) {
    if (SameName(entry.first, key)) {
      entry.second = value;
      found = true;
      break;
    }
  }
  if (!found) target->entries.emplace_back(key, value);

  if (memoryOnly_) return;
  WriteFileAtomically(path_, Serialize(), TFileAccess::Private);
}

void TSettingsStore::WriteInteger(const QString& section, const QString& key, int value) {
  WriteString(section, key, QString::number(value));
}

QString TSettingsStore::Problem() const { return problem_; }

QString TSettingsStore::Path() const { return path_; }

bool IsFolderWritable(const QString& folder) {
  // An empty folder name is the current folder, not the root folder.
  const QString probe = (folder.isEmpty() ? QString() : WithSlash(folder)) + QStringLiteral("chk.tmp");
  const QByteArray path = QFile::encodeName(probe);
  // Created only if absent and never shared; removed before it is closed,
  // so nothing is left behind even when the program dies right after.
  const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  ::unlink(path.constData());
  ::close(fd);
  return true;
}

QString UserDataFolder(const QString& company, const QString& product) {
  QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
  return WithSlash(config) + company + u'/' + product + u'/';
}

QString SettleDataFolder(const QString& programFolder, const QString& company, const QString& product) {
  const QString own = WithSlash(i18n::ProgramFolder(programFolder));
  // An installed copy shares its program folder (/usr/bin) with every other
  // program and every user: it keeps each user's files apart even when it
  // could write there, as root can.
  if (!i18n::IsInstalledLayout(own) && IsFolderWritable(own)) return own;
  const QString folder = UserDataFolder(company, product);
  // ~/.config itself may be missing on a fresh account, so every missing
  // level is created, each for this user alone: the folder holds the proxy
  // settings and the URL list. Failures are ignored: the first write
  // reports them.
  MakePrivateFolders(folder);
  return folder;
}

}  // namespace services
