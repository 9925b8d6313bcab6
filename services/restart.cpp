#include "services/restart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include "services/settings_store.h"

namespace services {

void DeleteSettingsAndList(const QString& dataFolder) {
  const QDir folder(dataFolder);
  QFile::remove(folder.filePath(kListFileName));
  QFile::remove(folder.filePath(kSettingsFileName));
}

bool StartNewCopyDetached() {
  return QProcess::startDetached(QCoreApplication::applicationFilePath(), QStringList());
}

}  // namespace services
