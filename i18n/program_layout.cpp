#include "i18n/program_layout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace i18n {
namespace {

QString InstalledDataFolder(const QString& programFolder) {
  return QDir::cleanPath(programFolder + QStringLiteral("/../share/lumasift"));
}

}  // namespace

QString ProgramFolder(const QString& programFolder) {
  return programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder;
}

bool IsInstalledLayout(const QString& programFolder) {
  const QString folder = ProgramFolder(programFolder);
  return !QFileInfo(QDir(folder).filePath(QStringLiteral("Languages"))).isDir() &&
         QFileInfo(InstalledDataFolder(folder)).isDir();
}

QString ShippedFilesFolder(const QString& programFolder) {
  const QString folder = ProgramFolder(programFolder);
  return IsInstalledLayout(folder) ? InstalledDataFolder(folder) : folder;
}

}  // namespace i18n
