#include "services/restart.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

TEST(ResetToDefaultsTest, DeletesOnlySettingsAndList) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  for (const char* name : {"settings.ini", "list.txt", "start.bat", "German.lang.txt"}) {
    QFile file(folder.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  services::DeleteSettingsAndList(folder.path() + "/");
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files, QDir::Name),
            QStringList({"German.lang.txt", "start.bat"}));
  // Missing files are no error.
  EXPECT_NO_THROW(services::DeleteSettingsAndList(folder.path()));
}

}  // namespace
