#include "i18n/language.h"

#include <atomic>
#include <memory>
#include <stdexcept>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "i18n/codepage.h"
#include "i18n/program_layout.h"

namespace i18n {
namespace {

struct LanguageState {
  QString folder;
  QStringList files;
  QString file;
  QString name;
  QStringList lines;
};

// Published whole, so a thread that translates never sees a half-built state.
std::atomic<std::shared_ptr<const LanguageState>> g_state{std::make_shared<const LanguageState>()};

std::shared_ptr<const LanguageState> State() { return g_state.load(std::memory_order_acquire); }

void Publish(const LanguageState& state) {
  g_state.store(std::make_shared<const LanguageState>(state), std::memory_order_release);
}

// The file named by LanguageCodes.csv for a language identifier, or empty.
QString WantedFileName(const QString& codesPath, const QString& languageId) {
  QFile file(codesPath);
  QByteArray bytes;
  // An unreadable list counts as empty.
  if (!file.open(QIODevice::ReadOnly)) return QString();
  bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return QString();
  for (const QString& line : SplitTextLines(DecodeByByteOrderMark(bytes))) {
    const qsizetype comma = line.indexOf(u',');
    if (comma < 0) continue;
    if (line.left(comma).trimmed() == languageId) return line.mid(comma + 1).trimmed();
  }
  return QString();
}

}  // namespace

void FindLanguageFiles(const QString& folder, QStringList& files) {
  const QDir dir(folder);
  files.append(dir.entryList({QStringLiteral("*lang.txt")},
                             QDir::Files | QDir::Hidden,
                             QDir::Name | QDir::IgnoreCase));
}

QStringList ReadLanguageFileLines(const QString& path) {
  return SplitTextLines(DecodeUtf8Lenient(ReadFileBytes(path)));
}

void LoadLanguage(const QString& FileName, const QString& programFolder) {
  LanguageState state;
  state.folder = QDir(ShippedFilesFolder(programFolder)).filePath(QStringLiteral("Languages"));

  if (!QFileInfo(state.folder).isDir()) {
    Publish(state);
    return;
  }
  FindLanguageFiles(state.folder, state.files);

  QString fileName = FileName;
  const QString codesPath = QDir(state.folder).filePath(QStringLiteral("LanguageCodes.csv"));
  if (fileName.trimmed().isEmpty() && QFileInfo(codesPath).isFile()) {
    fileName.clear();
    const QString wanted = WantedFileName(codesPath, QString::number(UserDefaultUILanguage()));
    for (const QString& candidate : std::as_const(state.files)) {
      if (candidate.toLower() == wanted.toLower()) {
        fileName = candidate;
        break;
      }
    }
  }

  const QString path = state.folder + u'/' + fileName;
  if (fileName.isEmpty() || !QFileInfo(path).isFile()) {
    Publish(state);
    return;
  }

  const qsizetype suffix = fileName.indexOf(QLatin1String(".lang.txt"));
  state.name = suffix >= 0 ? fileName.left(suffix) : QString();
  state.file = path;
  try {
    state.lines = ReadLanguageFileLines(path);
  } catch (...) {
    // The file is known but unreadable: every text stays in English.
    Publish(state);
    throw;
  }
  Publish(state);
}

std::optional<QString> FindTranslationLine(const QStringList& lines, const QString& key) {
  const qsizetype keySize = key.size();
  for (const QString& line : lines) {
    if (line.size() < keySize + 2 || line[0] != u'{' || line[keySize + 1] != u'}') continue;
    if (QStringView(line).sliced(1, keySize) != key) continue;
    // The translation is what follows the key's own closing brace, so a key
    // that itself holds a "}" still comes back whole.
    return line.mid(keySize + 2);
  }
  return std::nullopt;
}

QString Translate(const QString& Text) {
  const std::shared_ptr<const LanguageState> state = State();
  if (state->file.isEmpty()) return Text;
  const std::optional<QString> translated = FindTranslationLine(state->lines, Text);
  if (!translated || translated->isEmpty()) return Text;
  return *translated;
}

QString LanguageFolder() { return State()->folder; }
QStringList LanguageFiles() { return State()->files; }
QString LanguageFile() { return State()->file; }
QString LanguageName() { return State()->name; }
QStringList LanguageLines() { return State()->lines; }

}  // namespace i18n
