#include "services/settings_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using services::TSettingsStore;

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.isValid()); }

  QString Ini() const { return folder_.filePath("settings.ini"); }

  void WriteIni(const QByteArray& bytes) {
    QFile file(Ini());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
  }

  QByteArray ReadIni() const {
    QFile file(Ini());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QStringList Entries() const {
    return QDir(folder_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }

  QTemporaryDir folder_;
};

TEST_F(SettingsStoreTest, EveryWriteRewritesTheWholeFileInFirstWrittenOrder) {
  TSettingsStore store(Ini());
  EXPECT_FALSE(QFile::exists(Ini()));  // nothing written before the first change
  store.WriteString("Settings", "ConnectionTimeout", "5");
  EXPECT_EQ(ReadIni(), QByteArray("\xEF\xBB\xBF[Settings]\r\nConnectionTimeout=5\r\n\r\n"));
  store.WriteString("Settings", "ConnectionTimeout", "50");
  store.WriteString("Settings", "UserAgent", QString::fromUtf8(" Agent/1.0 (ü)  "));
  store.WriteInteger("Settings", "MultiThreads", -3);
  store.WriteString("SETTINGS", "connectiontimeout", "");  // same key, other spelling
  store.WriteString("Other", "Key", "x");
  EXPECT_EQ(ReadIni(), QByteArray("\xEF\xBB\xBF[Settings]\r\n"
                                  "ConnectionTimeout=\r\n"
                                  "UserAgent= Agent/1.0 (\xC3\xBC)  \r\n"
                                  "MultiThreads=-3\r\n"
                                  "\r\n"
                                  "[Other]\r\n"
                                  "Key=x\r\n"
                                  "\r\n"));
  // A real temporary file and rename: nothing but the file itself is left.
  EXPECT_EQ(Entries(), QStringList({"settings.ini"}));

  TSettingsStore reopened(Ini());
  EXPECT_EQ(reopened.ReadString("Settings", "ConnectionTimeout", "5000"), "");
  EXPECT_EQ(reopened.ReadString("Settings", "UserAgent", ""), QString::fromUtf8(" Agent/1.0 (ü)  "));
  EXPECT_EQ(reopened.ReadInteger("Settings", "MultiThreads", 0), -3);
  EXPECT_EQ(reopened.ReadString("Other", "Key", ""), "x");
  EXPECT_TRUE(reopened.Problem().isEmpty());
}

TEST_F(SettingsStoreTest, ReadsNamesWithoutCaseAndSkipsTheMark) {
  WriteIni("\xEF\xBB\xBF; a note\n"
           "Orphan=1\n"
           "  [ settings ]  \n"
           "  MULTITHREADS = 0x1F\n"
           "multithreads=7\n"
           "NoEquals\n"
           "=novalue\n"
           "UserAgent=a=b\r"
           "\n"
           "[Other]\r\n"
           "Orphan=2\r\n");
  TSettingsStore store(Ini());
  EXPECT_EQ(store.ReadInteger("Settings", "MultiThreads", -1), 31);  // first line wins
  EXPECT_EQ(store.ReadString("SETTINGS", "useragent", ""), "a=b");
  EXPECT_EQ(store.ReadString("Settings", "Orphan", "none"), "none");
  EXPECT_EQ(store.ReadString("Other", "Orphan", "none"), "2");
  EXPECT_EQ(store.ReadString("Settings", "Missing", "def"), "def");
}

TEST_F(SettingsStoreTest, IntegersAreDecimalOrHexadecimalElseTheDefault) {
  const struct {
    const char* text;
    int value;
  } cases[] = {
      {"42", 42},       {"-7", -7},          {"+8", 8},           {" 12 ", 12},
      {"0x1F", 31},     {"0X1f", 31},        {"0xFFFFFFFF", -1},  {"0x7FFFFFFF", 2147483647},
      {"", 99},         {"abc", 99},         {"12abc", 99},       {"0x", 99},
      {"0x-1", 99},     {"0x1G", 99},        {"$10", 99},         {"1.5", 99},
      {"2147483648", 99}, {"0x100000000", 99},
  };
  for (const auto& c : cases) {
    WriteIni(QByteArray("[Settings]\r\nMultiThreads=") + c.text + "\r\n");
    TSettingsStore store(Ini());
    EXPECT_EQ(store.ReadInteger("Settings", "MultiThreads", 99), c.value) << '"' << c.text << '"';
  }
}

TEST_F(SettingsStoreTest, InvalidUtf8FileIsDeletedAndTheFirstChangeWritesANewOne) {
  WriteIni("\xEF\xBB\xBF[Settings]\r\nUserAgent=Caf\xE9\r\nMultiThreads=4\r\n");
  TSettingsStore store(Ini());
  EXPECT_FALSE(QFile::exists(Ini()));
  EXPECT_TRUE(store.Problem().isEmpty());
  EXPECT_EQ(store.ReadInteger("Settings", "MultiThreads", 0), 0);
  store.WriteString("Settings", "ResponseTimeout", "3000");
  EXPECT_EQ(ReadIni(), QByteArray("\xEF\xBB\xBF[Settings]\r\nResponseTimeout=3000\r\n\r\n"));
}

TEST_F(SettingsStoreTest, UnreadableFileIsDeleted) {
  // /proc/self/mem opens but cannot be read from its start, even by root.
  if (!QFile::link("/proc/self/mem", Ini())) GTEST_SKIP() << "no /proc/self/mem";
  TSettingsStore store(Ini());
  EXPECT_FALSE(QFileInfo(Ini()).isSymLink());
  EXPECT_TRUE(store.Problem().isEmpty());
  store.WriteString("Settings", "UserAgent", "x");
  EXPECT_EQ(ReadIni(), QByteArray("\xEF\xBB\xBF[Settings]\r\nUserAgent=x\r\n\r\n"));
}

TEST_F(SettingsStoreTest, FileThatCanNeitherBeReadNorDeletedGivesMemoryOnlySettings) {
  // A folder in the file's place, with something in it, defeats reading and
  // deleting alike, also for root.
  ASSERT_TRUE(QDir().mkpath(Ini() + "/keep"));
  TSettingsStore store(Ini());
  EXPECT_FALSE(store.Problem().isEmpty());
  EXPECT_TRUE(store.Problem().contains("settings.ini")) << store.Problem().toStdString();
  EXPECT_NO_THROW(store.WriteString("Settings", "ConnectionTimeout", "7000"));
  EXPECT_EQ(store.ReadString("Settings", "ConnectionTimeout", ""), "7000");
  EXPECT_TRUE(QFileInfo(Ini()).isDir());
  EXPECT_EQ(Entries(), QStringList({"settings.ini"}));
}

TEST_F(SettingsStoreTest, FailedWriteThrowsKeepsTheChangeAndLeavesNoTemporaryFile) {
  TSettingsStore store(Ini());
  store.WriteString("Settings", "ConnectionTimeout", "1");
  // The file turns into a folder after opening: the rename over it fails.
  ASSERT_TRUE(QFile::remove(Ini()));
  ASSERT_TRUE(QDir().mkpath(Ini() + "/keep"));
  try {
    store.WriteString("Settings", "ConnectionTimeout", "2");
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("settings.ini"), std::string::npos) << error.what();
  }
  EXPECT_EQ(store.ReadString("Settings", "ConnectionTimeout", ""), "2");
  EXPECT_EQ(Entries(), QStringList({"settings.ini"}));

  // A folder that cannot exist: its parent is a file.
  TSettingsStore nowhere(folder_.filePath("settings.ini/keep/file/settings.ini"));
  QFile(folder_.filePath("settings.ini/keep/file")).open(QIODevice::WriteOnly);
  EXPECT_THROW(nowhere.WriteInteger("Settings", "MultiThreads", 3), std::runtime_error);
  EXPECT_EQ(nowhere.ReadInteger("Settings", "MultiThreads", 0), 3);
}

TEST_F(SettingsStoreTest, NamesAndValuesThatWouldBreakTheFileAreRefused) {
  TSettingsStore store(Ini());
  EXPECT_THROW(store.WriteString("Settings", "UserAgent", "a\r\nEvil=1"), std::runtime_error);
  EXPECT_THROW(store.WriteString("Settings", "Key=1", "x"), std::runtime_error);
  EXPECT_THROW(store.WriteString("Settings", " Key", "x"), std::runtime_error);
  EXPECT_THROW(store.WriteString("Settings", "", "x"), std::runtime_error);
  EXPECT_THROW(store.WriteString("Set]tings", "Key", "x"), std::runtime_error);
  EXPECT_THROW(store.WriteString("Settings", "Key\n", "x"), std::runtime_error);
  EXPECT_EQ(store.ReadString("Settings", "UserAgent", "none"), "none");
  EXPECT_FALSE(QFile::exists(Ini()));
}

TEST_F(SettingsStoreTest, ReadsFromAnotherThreadSeeWholeValues) {
  TSettingsStore store(Ini());
  store.WriteInteger("Settings", "MultiThreads", 0);
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::thread reader([&] {
    while (!done.load()) {
      const int value = store.ReadInteger("Settings", "MultiThreads", -1);
      if (value < 0 || value > 40) ++wrong;
    }
  });
  for (int i = 1; i <= 40; ++i) store.WriteInteger("Settings", "MultiThreads", i);
  done = true;
  reader.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(TSettingsStore(Ini()).ReadInteger("Settings", "MultiThreads", -1), 40);
}

}  // namespace
