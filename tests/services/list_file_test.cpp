#include "services/list_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/scoped_env.h"

namespace {

class ListFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.isValid()); }

  QString List() const { return folder_.filePath("list.txt"); }

  void Write(const QByteArray& bytes) {
    QFile file(List());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
  }

  QByteArray Read() const {
    QFile file(List());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir folder_;
};

TEST_F(ListFileTest, MissingFileGivesNothing) { EXPECT_EQ(services::LoadListFile(List()), std::nullopt); }

TEST_F(ListFileTest, EveryLineBreakStyleRoundTrips) {
  const struct {
    const char* name;
    QByteArray text;  // UTF-8, without mark
    const char* lineBreak;
    int lines;
  } cases[] = {
      {"CR LF", "a.com\r\nb.com\r\nc.com", "\r\n", 3},
      {"LF", "a.com\nb.com", "\n", 2},
      {"CR", "a.com\rb.com\r", "\r", 3},
      {"break after last line", "a.com\r\n", "\r\n", 2},
      {"no break", "\xC3\xBC.example", "\r\n", 1},
      {"empty", "", "\r\n", 1},
      {"blank lines kept", "\n\na.com\n\n", "\n", 5},
  };
  for (const auto& c : cases) {
    for (const QByteArray& mark : {QByteArray(), QByteArray("\xEF\xBB\xBF")}) {
      Write(mark + c.text);
      const std::optional<services::TLoadedText> loaded = services::LoadListFile(List());
      ASSERT_TRUE(loaded) << c.name;
      EXPECT_EQ(loaded->text, QString::fromUtf8(c.text)) << c.name;  // no mark character
      EXPECT_EQ(loaded->lineBreak, c.lineBreak) << c.name;
      const QStringList lines = services::SplitListLines(loaded->text);
      EXPECT_EQ(lines.size(), c.lines) << c.name;
      services::SaveListFile(List(), lines, loaded->lineBreak);
      EXPECT_EQ(Read(), "\xEF\xBB\xBF" + c.text) << c.name;
    }
  }
  EXPECT_EQ(QDir(folder_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList({"list.txt"}));
}

TEST_F(ListFileTest, SavingJoinsWithTheGivenBreakOrCrLf) {
  services::SaveListFile(List(), {"a", "b", ""}, "\n");
  EXPECT_EQ(Read(), "\xEF\xBB\xBF" "a\nb\n");
  services::SaveListFile(List(), {"a", "b"}, "");
  EXPECT_EQ(Read(), "\xEF\xBB\xBF" "a\r\nb");
  services::SaveListFile(List(), {QString::fromUtf8("ü")}, "\r\n");
  EXPECT_EQ(Read(), "\xEF\xBB\xBF\xC3\xBC");
}

TEST_F(ListFileTest, TextThatIsNotUtf8IsReadInTheAnsiCodePage) {
  Write("http://caf\xE9.example/\r\n");
  {
    testsupport::ScopedEnv env("LANGUAGE", "de_DE");
    EXPECT_EQ(services::LoadListFile(List())->text, QString::fromUtf8("http://café.example/\r\n"));
  }
  {
    testsupport::ScopedEnv env("LANGUAGE", "ru_RU");
    EXPECT_EQ(services::LoadListFile(List())->text, QString::fromUtf8("http://cafй.example/\r\n"));
  }
  // A mark followed by bytes that are not UTF-8: the rest is ANSI and the
  // mark does not end up in front of the first URL.
  Write("\xEF\xBB\xBF" "caf\xE9");
  testsupport::ScopedEnv env("LANGUAGE", "de_DE");
  EXPECT_EQ(services::LoadListFile(List())->text, QString::fromUtf8("café"));
}

TEST_F(ListFileTest, FailuresAreReportedAndLeaveTheOldFile) {
  // /proc/self/mem opens but cannot be read from its start, even by root.
  if (QFile::link("/proc/self/mem", List())) {
    EXPECT_THROW(services::LoadListFile(List()), std::runtime_error);
    ASSERT_TRUE(QFile::remove(List()));
  }
  Write("\xEF\xBB\xBF" "old");
  QFile blocker(folder_.filePath("file"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  try {
    services::SaveListFile(folder_.filePath("file/list.txt"), {"x"}, "\r\n");
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("list.txt"), std::string::npos) << error.what();
  }
  EXPECT_EQ(Read(), "\xEF\xBB\xBF" "old");
  EXPECT_EQ(QDir(folder_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList({"file", "list.txt"}));
}

}  // namespace
