#include "i18n/program_layout.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "i18n/language.h"
#include "support/scoped_env.h"

namespace {

// A prefix of our own: <root>/bin is the program folder, <root>/share/lumasift
// the installed place of the shipped files.
class ProgramLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.isValid());
    ASSERT_TRUE(QDir().mkpath(Bin()));
  }
  void TearDown() override { i18n::LoadLanguage(QString(), Bin()); }  // leave no language loaded

  QString Bin() const { return root_.filePath("bin"); }
  QString Share() const { return root_.filePath("share/lumasift"); }

  static void WriteFile(const QString& path, const QByteArray& bytes) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
  }
  // A German language chosen through LanguageCodes.csv in `folder`/Languages.
  static void WriteGerman(const QString& folder, const QByteArray& send) {
    WriteFile(folder + "/Languages/LanguageCodes.csv", "1031,German.lang.txt\r\n");
    WriteFile(folder + "/Languages/German.lang.txt", "{Send}" + send + "\r\n");
  }

  QTemporaryDir root_;
  testsupport::ScopedEnv env_{"LANGUAGE", "de_DE"};
};

TEST_F(ProgramLayoutTest, FilesBesideTheProgramWinOverTheInstalledPlace) {
  // Both places hold languages (a build tree inside a prefix): beside wins,
  // and the copy counts as not installed.
  WriteGerman(Bin(), "Senden (beside)");
  WriteGerman(Share(), "Senden (share)");
  EXPECT_FALSE(i18n::IsInstalledLayout(Bin()));
  EXPECT_EQ(i18n::ShippedFilesFolder(Bin()), Bin());
  i18n::LoadLanguage(QString(), Bin());
  EXPECT_EQ(i18n::Translate("Send"), "Senden (beside)");
}

TEST_F(ProgramLayoutTest, InstalledCopyReadsItsLanguagesUnderShare) {
  WriteGerman(Share(), "Senden");
  EXPECT_TRUE(i18n::IsInstalledLayout(Bin()));
  EXPECT_TRUE(i18n::IsInstalledLayout(Bin() + "/"));
  EXPECT_EQ(i18n::ShippedFilesFolder(Bin()), Share());  // no ".." left in it
  i18n::LoadLanguage(QString(), Bin());
  EXPECT_EQ(i18n::LanguageFolder(), Share() + "/Languages");
  EXPECT_EQ(i18n::LanguageFiles(), QStringList{"German.lang.txt"});
  EXPECT_EQ(i18n::Translate("Send"), "Senden");
}

TEST_F(ProgramLayoutTest, WithoutShippedFilesAnywhereTheProgramFolderStays) {
  // A portable copy that lost its Languages folder behaves as before: no
  // language, and it is no installed copy.
  EXPECT_FALSE(i18n::IsInstalledLayout(Bin()));
  EXPECT_EQ(i18n::ShippedFilesFolder(Bin()), Bin());
  i18n::LoadLanguage(QString(), Bin());
  EXPECT_EQ(i18n::LanguageFolder(), Bin() + "/Languages");
  EXPECT_EQ(i18n::Translate("Send"), "Send");
  // A file (not a folder) named share/lumasift does not make an installation.
  WriteFile(root_.filePath("share/lumasift"), "x");
  EXPECT_FALSE(i18n::IsInstalledLayout(Bin()));
}

}  // namespace
