#include "i18n/language.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// A program folder of our own with a "Languages" folder in it, and the
// interface language set through LANGUAGE for the test's duration.
class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(program_.isValid());
    savedLanguage_ = qgetenv("LANGUAGE");
    hadLanguage_ = qEnvironmentVariableIsSet("LANGUAGE");
    SetInterfaceLanguage("de_DE");
  }
  void TearDown() override {
    if (hadLanguage_) qputenv("LANGUAGE", savedLanguage_); else qunsetenv("LANGUAGE");
    i18n::LoadLanguage(QString(), program_.path());  // leave no state behind
  }

  static void SetInterfaceLanguage(const char* locale) { qputenv("LANGUAGE", locale); }

  QString Languages() const { return program_.filePath("Languages"); }

  void Write(const QString& name, const QByteArray& bytes) {
    QDir().mkpath(Languages());
    QFile file(QDir(Languages()).filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
  }

  void Load(const QString& fileName = QString()) { i18n::LoadLanguage(fileName, program_.path()); }

  QTemporaryDir program_;
  QByteArray savedLanguage_;
  bool hadLanguage_ = false;
};

TEST_F(LanguageTest, NoLanguagesFolderLeavesEveryTextInEnglish) {
  Load();
  EXPECT_EQ(i18n::LanguageFolder(), program_.filePath("Languages"));
  EXPECT_TRUE(i18n::LanguageFiles().isEmpty());
  EXPECT_TRUE(i18n::LanguageFile().isEmpty());
  EXPECT_TRUE(i18n::LanguageName().isEmpty());
  EXPECT_EQ(i18n::Translate("Send"), "Send");
  EXPECT_EQ(i18n::Translate(""), "");
}

TEST_F(LanguageTest, InterfaceLanguageChoosesTheFileNamedByLanguageCodes) {
  Write("LanguageCodes.csv", "1036,French.lang.txt\r\n1031,German.lang.txt\r\n");
  Write("german.lang.txt", "{Send}Senden\r\n");
  Write("French.lang.txt", "{Send}Envoyer\r\n");
  Load();
  EXPECT_EQ(i18n::LanguageFile(), Languages() + "/german.lang.txt");
  EXPECT_EQ(i18n::LanguageName(), "german");  // spelled as the folder lists it
  EXPECT_EQ(i18n::LanguageFiles(), QStringList({"French.lang.txt", "german.lang.txt"}));
  EXPECT_EQ(i18n::Translate("Send"), "Senden");

  SetInterfaceLanguage("fr_FR.UTF-8");
  Load();
  EXPECT_EQ(i18n::Translate("Send"), "Envoyer");

  SetInterfaceLanguage("it_IT");  // no line for 1040
  Load();
  EXPECT_TRUE(i18n::LanguageFile().isEmpty());
  EXPECT_EQ(i18n::Translate("Send"), "Send");
}

TEST_F(LanguageTest, UpperCaseSuffixLoadsButGivesNoName) {
  Write("LanguageCodes.csv", "1031,German.lang.txt");
  Write("German.LANG.txt", "{Send}Senden");
  Load();
  EXPECT_EQ(i18n::LanguageFile(), Languages() + "/German.LANG.txt");
  EXPECT_EQ(i18n::LanguageName(), "");
  EXPECT_EQ(i18n::Translate("Send"), "Senden");
}

TEST_F(LanguageTest, LanguageCodesLinesMatchOnlyTheExactDecimalId) {
  Write("German.lang.txt", "{Send}Senden");
  const struct {
    const char* name;
    QByteArray csv;
    bool loads;
  } cases[] = {
      {"exact", "1031,German.lang.txt", true},
      {"blanks trimmed", "  1031\t,  German.lang.txt  \r\n", true},
      {"line without comma skipped", "1031 German.lang.txt\n1031,German.lang.txt", true},
      {"first line for the id wins", "1031,Missing.lang.txt\n1031,German.lang.txt", false},
      {"split at the first comma", "1031,German.lang.txt,extra", false},
      {"leading zero", "01031,German.lang.txt", false},
      {"trailing letter", "1031a,German.lang.txt", false},
      {"hexadecimal", "0x407,German.lang.txt", false},
      {"name compared without case", "1031,GERMAN.LANG.TXT", true},
      {"empty file", "", false},
      {"utf-16 with mark", QByteArray("\xFF\xFE", 2) + QByteArray("1\0" "0\0" "3\0" "1\0" ",\0", 10) +
                               QByteArray("G\0e\0r\0m\0a\0n\0.\0l\0a\0n\0g\0.\0t\0x\0t\0", 30), true},
  };
  for (const auto& c : cases) {
    Write("LanguageCodes.csv", c.csv);
    Load();
    EXPECT_EQ(i18n::Translate("Send"), c.loads ? "Senden" : "Send") << c.name;
  }
}

TEST_F(LanguageTest, LanguageCodesWithoutMarkIsReadInTheAnsiCodePage) {
  SetInterfaceLanguage("fr_FR");  // 1036, code page 1252
  Write("LanguageCodes.csv", "1036,Fran\xE7" "ais.lang.txt\r\n");
  Write(QString::fromUtf8("Français.lang.txt"), "{Send}Envoyer");
  Load();
  EXPECT_EQ(i18n::LanguageName(), QString::fromUtf8("Français"));
  EXPECT_EQ(i18n::Translate("Send"), "Envoyer");
}

TEST_F(LanguageTest, TranslateTakesTheFirstLineThatStartsWithTheKey) {
  Write("Test.lang.txt",
        "\xEF\xBB\xBF{Start}Los\r\n"
        "a note that is never matched\r\n"
        "{Send}\r\n"
        "{Send}Senden\r\n"
        " {Close}Schliessen\r\n"
        "{send}senden\n"
        "{Yes}Ja  \r"
        "{Yes}Jawohl\r"
        "{About %s}Info zu %s\n"
        "{INFO:Translated By}Ann , Bob\n"
        "{a}b}c\n"
        "{}leer\n");
  Load("Test.lang.txt");
  EXPECT_EQ(i18n::LanguageName(), "Test");
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"Start", "Los"},                            // byte-order mark skipped
      {"Send", "Send"},                            // empty first line wins over a later one
      {"Close", "Close"},                          // a blank before the brace never matches
      {"send", "senden"},                          // case-sensitive keys
      {"Yes", "Ja  "},                             // trailing blanks kept; CR-only lines
      {"About %s", "Info zu %s"},                  // placeholders survive
      {"INFO:Translated By", "Ann , Bob"},         // an ordinary line to Translate
      {"a}b", "c"},                                // the key's own brace ends the key
      {"a", "b}c"},
      {"", "leer"},
      {"Cancel", "Cancel"},                        // no line
      {"a note that is never matched", "a note that is never matched"},
  };
  for (const auto& c : cases) EXPECT_EQ(i18n::Translate(c.text), c.expected) << c.text;
  EXPECT_EQ(i18n::FindTranslationLine(i18n::LanguageLines(), "Send"), QString());
  EXPECT_EQ(i18n::FindTranslationLine(i18n::LanguageLines(), "Cancel"), std::nullopt);
}

TEST_F(LanguageTest, GivenFileNameSkipsTheAutomaticChoice) {
  Write("LanguageCodes.csv", "1031,German.lang.txt");
  Write("German.lang.txt", "{Send}Senden");
  Write("French.lang.txt", "{Send}Envoyer");
  Load("French.lang.txt");
  EXPECT_EQ(i18n::Translate("Send"), "Envoyer");
  Load("Klingon.lang.txt");  // not there: English
  EXPECT_TRUE(i18n::LanguageFile().isEmpty());
  EXPECT_EQ(i18n::Translate("Send"), "Send");
  Load("   ");  // blank: chosen automatically
  EXPECT_EQ(i18n::Translate("Send"), "Senden");
}

TEST_F(LanguageTest, FindLanguageFilesListsMatchingFilesOnly) {
  Write("Zulu.lang.txt", "");
  Write("alpha.LANG.TXT", "");
  Write("Germanlang.txt", "");
  Write("readme.txt", "");
  Write("LanguageCodes.csv", "");
  ASSERT_TRUE(QDir().mkpath(Languages() + "/Folder.lang.txt"));
  QStringList files{"kept"};
  i18n::FindLanguageFiles(Languages(), files);
  EXPECT_EQ(files, QStringList({"kept", "alpha.LANG.TXT", "Germanlang.txt", "Zulu.lang.txt"}));

  Load("Germanlang.txt");  // matches the pattern but has no ".lang.txt"
  EXPECT_EQ(i18n::LanguageName(), "");
  EXPECT_FALSE(i18n::LanguageFile().isEmpty());
}

// /proc/self/mem opens like a regular file but reading its start fails with
// EIO, even for root, who ignores permission bits: a file that exists yet
// cannot be read.
bool LinkToUnreadableFile(const QString& link) {
  return QFile::exists("/proc/self/mem") && QFile::link("/proc/self/mem", link);
}

TEST_F(LanguageTest, UnreadableLanguageFileReportsTheErrorAndStaysEnglish) {
  Write("LanguageCodes.csv", "1031,German.lang.txt");
  QDir().mkpath(Languages());
  if (!LinkToUnreadableFile(Languages() + "/German.lang.txt")) GTEST_SKIP() << "no /proc/self/mem";
  try {
    Load();
    ADD_FAILURE() << "no error reported";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("German.lang.txt"), std::string::npos) << error.what();
  }
  EXPECT_EQ(i18n::LanguageFile(), Languages() + "/German.lang.txt");
  EXPECT_EQ(i18n::LanguageName(), "German");
  EXPECT_TRUE(i18n::LanguageLines().isEmpty());
  EXPECT_EQ(i18n::Translate("Send"), "Send");
}

TEST_F(LanguageTest, UnreadableLanguageCodesCountsAsEmpty) {
  Write("German.lang.txt", "{Send}Senden");
  if (!LinkToUnreadableFile(Languages() + "/LanguageCodes.csv")) GTEST_SKIP() << "no /proc/self/mem";
  EXPECT_NO_THROW(Load());
  EXPECT_TRUE(i18n::LanguageFile().isEmpty());
  EXPECT_EQ(i18n::LanguageFiles(), QStringList({"German.lang.txt"}));
}

TEST_F(LanguageTest, TranslateFromManyThreadsWhileTheLanguageIsReplaced) {
  Write("German.lang.txt", "{Send}Senden\n{Stop}Halt");
  Write("French.lang.txt", "{Send}Envoyer\n{Stop}Arret");
  Load("German.lang.txt");
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&] {
      while (!done.load()) {
        const QString send = i18n::Translate("Send");
        if (send != "Senden" && send != "Envoyer") ++wrong;
      }
    });
  }
  for (int i = 0; i < 200; ++i) Load(i % 2 ? "German.lang.txt" : "French.lang.txt");
  done = true;
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
