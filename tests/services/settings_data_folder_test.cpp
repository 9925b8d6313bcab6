#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "services/list_file.h"
#include "services/settings_store.h"
#include "support/scoped_env.h"

namespace {

// Folders in which creating a file really fails for the user running the
// tests. Root ignores permission bits, so a folder made read-only with
// chmod would still be writable; these fail for root as well:
//  - a folder below a regular file (ENOTDIR),
//  - /proc, a real folder on a file system that refuses new files (ENOENT).
class DataFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(program_.isValid());
    ASSERT_TRUE(config_.isValid());
    env_.Set("XDG_CONFIG_HOME", config_.path().toUtf8().constData());
  }

  QString UnderAFile() {
    QFile file(program_.filePath("program.bin"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    return file.fileName();
  }

  QStringList Entries(const QString& folder) const {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }

  QTemporaryDir program_;
  QTemporaryDir config_;
  testsupport::ScopedEnv env_;
};

TEST_F(DataFolderTest, WritableProgramFolderIsTheDataFolderAndNoProbeIsLeft) {
  EXPECT_TRUE(services::IsFolderWritable(program_.path()));
  EXPECT_TRUE(services::IsFolderWritable(program_.path() + "/"));
  EXPECT_EQ(services::SettleDataFolder(program_.path(), "CORVANE", "Lumasift"), program_.path() + "/");
  EXPECT_TRUE(Entries(program_.path()).isEmpty());
  EXPECT_TRUE(Entries(config_.path()).isEmpty());  // nothing created per user
}

TEST_F(DataFolderTest, StaleProbeFileCountsAsNotWritable) {
  QFile stale(program_.filePath("chk.tmp"));
  ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
  stale.close();
  EXPECT_FALSE(services::IsFolderWritable(program_.path()));
  const QString folder = services::SettleDataFolder(program_.path(), "CORVANE", "Lumasift");
  EXPECT_EQ(folder, config_.path() + "/CORVANE/Lumasift/");
  EXPECT_TRUE(QFileInfo(folder).isDir());
  EXPECT_EQ(Entries(program_.path()), QStringList({"chk.tmp"}));  // left as it was
}

TEST_F(DataFolderTest, FoldersWhereCreationFailsGiveThePerUserFolder) {
  const QString underAFile = UnderAFile();
  EXPECT_FALSE(services::IsFolderWritable(underAFile));
  EXPECT_FALSE(services::IsFolderWritable(program_.filePath("missing")));
  EXPECT_EQ(services::SettleDataFolder(underAFile, "CORVANE", "Lumasift"),
            config_.path() + "/CORVANE/Lumasift/");

  if (!QFileInfo("/proc/self").isDir()) GTEST_SKIP() << "no /proc";
  EXPECT_FALSE(services::IsFolderWritable("/proc"));
  EXPECT_EQ(services::SettleDataFolder("/proc", "CORVANE", "Lumasift"),
            config_.path() + "/CORVANE/Lumasift/");
  // And a settings store there works.
  services::TSettingsStore store(config_.path() + "/CORVANE/Lumasift/settings.ini");
  store.WriteString("Settings", "UserAgent", "x");
  EXPECT_TRUE(QFile::exists(config_.path() + "/CORVANE/Lumasift/settings.ini"));
}

TEST_F(DataFolderTest, PerUserFolderIsUnderDotConfigWithoutXdgConfigHome) {
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  testsupport::ScopedEnv env;
  env.Set("XDG_CONFIG_HOME", nullptr).Set("HOME", home.path().toUtf8().constData());
  EXPECT_EQ(services::UserDataFolder("CORVANE", "Lumasift"), home.path() + "/.config/CORVANE/Lumasift/");
  // A fresh account has no ~/.config yet: every level is created.
  const QString folder = services::SettleDataFolder(UnderAFile(), "CORVANE", "Lumasift");
  EXPECT_EQ(folder, home.path() + "/.config/CORVANE/Lumasift/");
  EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST_F(DataFolderTest, InstalledCopyKeepsItsDataPerUserEvenWhenItCouldWriteBeside) {
  // <prefix>/bin with the shipped files in <prefix>/share/lumasift: the
  // program folder is writable (root can write /usr/bin), yet nothing may go
  // there, not even the probe.
  const QString bin = program_.filePath("bin");
  ASSERT_TRUE(QDir().mkpath(bin));
  ASSERT_TRUE(QDir().mkpath(program_.filePath("share/lumasift/Languages")));
  ASSERT_TRUE(services::IsFolderWritable(bin));
  const QString folder = services::SettleDataFolder(bin, "CORVANE", "Lumasift");
  EXPECT_EQ(folder, config_.path() + "/CORVANE/Lumasift/");
  EXPECT_TRUE(QFileInfo(folder).isDir());
  EXPECT_TRUE(Entries(bin).isEmpty());

  // The same folders with Languages beside the program: a build tree, which
  // keeps its data beside itself.
  ASSERT_TRUE(QDir().mkpath(bin + "/Languages"));
  EXPECT_EQ(services::SettleDataFolder(bin, "CORVANE", "Lumasift"), bin + "/");
}

// The per-user folder and the files in it hold the proxy host and user name
// and the URL list: another local user reads none of them, whatever the
// umask lets new files be.
TEST_F(DataFolderTest, PerUserFolderAndItsFilesAreTheOwnersAlone) {
  const mode_t oldMask = ::umask(022);
  auto mode = [](const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : mode_t(0);
  };
  const QString folder = services::SettleDataFolder(UnderAFile(), "CORVANE", "Lumasift");
  services::TSettingsStore store(folder + "settings.ini");
  store.WriteString("Settings", "ProxyUser", "alice");
  services::SaveListFile(folder + "list.txt", {"http://intranet.example/"}, "\r\n");
  ::umask(oldMask);
  EXPECT_EQ(mode(config_.path() + "/CORVANE"), mode_t(0700));
  EXPECT_EQ(mode(folder), mode_t(0700));
  EXPECT_EQ(mode(folder + "settings.ini"), mode_t(0600));
  EXPECT_EQ(mode(folder + "list.txt"), mode_t(0600));
}

}  // namespace
