#include "ui/file_dialog.h"

#include <QDir>
#include <QFileInfo>

namespace ui {

namespace {

struct SeamState {
  std::optional<QString> next;  // an empty name cancels
  std::vector<TFileDialogCall> calls;
};

SeamState& Seam() {
  static SeamState state;
  return state;
}

// The name the dialog offers: the last one chosen (kept in the dialog).
QString OfferedName(const QFileDialog& dialog) {
  const QStringList selected = dialog.selectedFiles();
  if (selected.isEmpty()) return QString();
  const QFileInfo info(selected.first());
  return info.isDir() ? QString() : info.fileName();
}

}  // namespace

QStringList NameFiltersFromPairs(const QString& pairs) {
  const QStringList parts = pairs.split(u'|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
    filters << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(u';', u' '));
  return filters;
}

QString NameForFormat(const QString& name, const QString& defaultSuffix, const QString& filterPairs) {
  if (name.isEmpty() || defaultSuffix.isEmpty()) return name;
  const QFileInfo info(name);
  const QString suffix = info.suffix();
  const QStringList parts = filterPairs.split(u'|');
  for (qsizetype i = 1; i < parts.size(); i += 2)
    for (const QString& pattern : parts[i].split(u';'))
      if (pattern != QLatin1String("*.*") && pattern.startsWith(QLatin1String("*.")) && !suffix.isEmpty() &&
          pattern.mid(2).compare(suffix, Qt::CaseInsensitive) == 0)
        return name;
  const QString base = suffix.isEmpty() ? info.fileName() : info.completeBaseName();
  return info.dir().filePath(base + u'.' + defaultSuffix);
}

void PrepareFileDialog(QFileDialog& dialog, QFileDialog::AcceptMode mode, const QString& defaultSuffix,
                       const QString& filterPairs) {
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  dialog.setOption(QFileDialog::ReadOnly, false);
  dialog.setSizeGripEnabled(true);
  dialog.setDefaultSuffix(defaultSuffix);
  dialog.setNameFilters(NameFiltersFromPairs(filterPairs));
  dialog.setWindowModality(Qt::ApplicationModal);
}

QString ExecFileDialog(QFileDialog& dialog) {
  SeamState& seam = Seam();
  if (seam.next) {
    TFileDialogCall call;
    call.mode = dialog.acceptMode();
    call.defaultSuffix = dialog.defaultSuffix();
    call.nameFilters = dialog.nameFilters();
    call.offeredName = OfferedName(dialog);
    QString name = *std::exchange(seam.next, std::nullopt);
    if (!name.isEmpty() && QFileInfo(name).suffix().isEmpty() && !call.defaultSuffix.isEmpty())
      name += u'.' + call.defaultSuffix;
    if (!name.isEmpty()) {
      dialog.setDirectory(QFileInfo(name).absolutePath());
      dialog.selectFile(name);
    }
    call.result = name;
    seam.calls.push_back(call);
    return name;
  }
  if (dialog.exec() != QDialog::Accepted) return QString();
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return QString();
  dialog.selectFile(chosen.first());
  return chosen.first();
}

void TFileDialogSeam::SetNextFileName(const QString& name) { Seam().next = name; }
void TFileDialogSeam::SetNextCancel() { Seam().next = QString(); }
bool TFileDialogSeam::Pending() { return Seam().next.has_value(); }
std::vector<TFileDialogCall> TFileDialogSeam::TakeCalls() { return std::exchange(Seam().calls, {}); }
void TFileDialogSeam::Reset() { Seam() = SeamState{}; }

}  // namespace ui
