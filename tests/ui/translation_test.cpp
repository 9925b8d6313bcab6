// The whole interface in the chosen language: every text the program passes
// through Translate has a translation in each shipped language file, the
// window follows the chosen language, and a language file written for fewer
// texts still works.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTableView>
#include <gtest/gtest.h>

#include <map>

#include "dialog_test_support.h"
#include "gui_test_base.h"
#include "i18n/language.h"

namespace {

QString Unescape(const QString& literal) {
  QString text;
  for (qsizetype i = 0; i < literal.size(); ++i) {
    if (literal[i] == u'\\' && i + 1 < literal.size()) {
      ++i;
      text += literal[i] == u'n' ? QChar(u'\n') : literal[i];
    } else {
      text += literal[i];
    }
  }
  return text;
}

// Every key of the program's Translate calls, with the file that asks for it.
std::map<QString, QString> TranslatedTexts() {
  static const QRegularExpression call(QStringLiteral(R"re(Translate\(\s*QStringLiteral\(\s*"((?:[^"\\]|\\.)*)"\s*\)\s*\))re"));
  static const QRegularExpression anyCall(QStringLiteral(R"re(\bTranslate\()re"));
  std::map<QString, QString> keys;
  for (const char* folder : {"ui", "services", "run", "app", "cli"}) {
    QDirIterator files(QDir(dialogtest::SourceFolder()).filePath(QString::fromLatin1(folder)),
                       {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
      const QString path = files.next();
      QFile file(path);
      EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
      QString code;
      // Comments may mention Translate("..."); only code counts.
      for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const qsizetype comment = line.indexOf(QLatin1String("//"));
        code += (comment >= 0 && !line.left(comment).contains(u'"') ? line.left(comment) : line) + u'\n';
      }
      int found = 0;
      for (auto it = call.globalMatch(code); it.hasNext(); ++found) keys.emplace(Unescape(it.next().captured(1)), path);
      int calls = 0;
      for (auto it = anyCall.globalMatch(code); it.hasNext(); it.next()) ++calls;
      // A call with anything but a literal would hide its key from this test.
      EXPECT_EQ(calls, found) << path.toStdString() << ": every Translate call takes a QStringLiteral";
    }
  }
  return keys;
}

QStringList ShippedLanguageFiles() {
  return QDir(dialogtest::ShippedLanguagesFolder()).entryList({QStringLiteral("*.lang.txt")}, QDir::Files);
}

int Count(const QString& text, const QString& what) { return static_cast<int>(text.count(what)); }

TEST(Translation, EveryTranslatedTextHasItsKeyInEachShippedLanguage) {
  const std::map<QString, QString> keys = TranslatedTexts();
  ASSERT_GT(keys.size(), 90u);
  for (const char* expected : {"Start", "STOP", "&File", "Platforms", "Processing %s", "Multi-Threading", "Enable"})
    EXPECT_EQ(keys.count(QString::fromLatin1(expected)), 1u) << expected;
  const QStringList files = ShippedLanguageFiles();
  ASSERT_EQ(files, (QStringList{"French.lang.txt", "German.lang.txt", "Turkish.lang.txt"}));
  for (const QString& name : files) {
    const QStringList lines = i18n::ReadLanguageFileLines(QDir(dialogtest::ShippedLanguagesFolder()).filePath(name));
    for (const auto& [key, where] : keys) {
      const std::optional<QString> translation = i18n::FindTranslationLine(lines, key);
      if (!translation || translation->isEmpty()) {
        ADD_FAILURE() << name.toStdString() << " lacks {" << key.toStdString() << "} (" << where.toStdString() << ")";
        continue;
      }
      // Placeholders and the accelerator mark survive the translation.
      for (const QString& mark : {QStringLiteral("%s"), QStringLiteral("%1"), QStringLiteral("%2"), QStringLiteral("&")})
        EXPECT_EQ(Count(*translation, mark), Count(key, mark))
            << name.toStdString() << ": {" << key.toStdString() << "}" << translation->toStdString();
      EXPECT_EQ(translation->endsWith(u' '), key.endsWith(u' ')) << name.toStdString() << ": " << key.toStdString();
    }
    // No line a program text never asks for (a misspelt key translates nothing).
    for (const QString& line : lines) {
      if (!line.startsWith(u'{')) continue;
      const QString key = line.mid(1, line.indexOf(u'}') - 1);
      if (key.startsWith(QLatin1String("INFO:"))) continue;
      EXPECT_EQ(keys.count(key), 1u) << name.toStdString() << ": {" << key.toStdString() << "} is never asked for";
    }
  }
}

class WindowLanguageTest : public GuiTest {
 protected:
  void TearDown() override {
    GuiTest::TearDown();
    i18n::LoadLanguage(QString(), folder_.path() + QStringLiteral("/none"));
  }
  void Choose(const QString& languageFile) {
    dialogtest::CopyShippedLanguages(folder_.path());
    WriteData(QStringLiteral("settings.ini"), "[Settings]\r\nLanguage=" + languageFile.toUtf8() + "\r\n\r\n");
  }
  QString Action(const char* name) { return Child<QAction>(name)->text(); }
};

TEST_F(WindowLanguageTest, TheWholeWindowFollowsTheChosenLanguage) {
  Choose(QStringLiteral("German.lang.txt"));
  OpenForm();
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("CORVANE - Lumasift"));
  EXPECT_EQ(Child<QLabel>("Label1")->text(), QStringLiteral("URL-Liste:"));
  EXPECT_EQ(Child<QLabel>("Label3")->text(), QStringLiteral("Verbindungs-Timeout (ms):"));
  EXPECT_EQ(Child<QAbstractButton>("ButtonExport")->text(), QStringLiteral("Ergebnisse exportieren"));
  EXPECT_EQ(Child<QMenu>("File1")->title(), QStringLiteral("&Datei"));
  EXPECT_EQ(Action("Exit1"), QStringLiteral("&Beenden"));
  EXPECT_EQ(Action("CopyURL1"), QStringLiteral("URL kopieren"));
  auto* view = Child<QTableView>("ListView1");
  EXPECT_EQ(view->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Plattformen"));
  form_->SetStatusText(1, QStringLiteral("Processing http://a.example"));
  EXPECT_EQ(form_->StatusText(1), QStringLiteral("Wird verarbeitet: http://a.example"));

  // The run control and the sorting know the translated captions.
  EXPECT_EQ(StartButton()->text(), QStringLiteral("Start"));
  Editor()->setText(QString());
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([this] { return !form_->RunInProgress(); }));
  EXPECT_EQ(StartButton()->text(), QStringLiteral("Start"));
  form_->ListView1ColumnClick(1);
  EXPECT_EQ(form_->SortColumn(), 1) << "idle under the German caption";
}

TEST_F(WindowLanguageTest, AcceleratorsAreUniqueInEveryMenuOfEveryLanguage) {
  const QStringList languages = ShippedLanguageFiles() << QStringLiteral("English.lang.txt");
  for (const QString& language : languages) {
    Choose(language);
    OpenForm();
    QList<QList<QAction*>> menus = {form_->menuBar()->actions()};
    for (QAction* title : form_->menuBar()->actions()) menus << title->menu()->actions();
    for (const QList<QAction*>& menu : menus) {
      QSet<QChar> keys;
      for (QAction* action : menu) {
        if (action->isSeparator()) continue;
        const QString text = action->text();
        const qsizetype at = text.indexOf(u'&');
        ASSERT_GE(at, 0) << language.toStdString() << ": " << text.toStdString();
        const QChar key = text.at(at + 1).toLower();
        EXPECT_FALSE(keys.contains(key)) << language.toStdString() << ": " << text.toStdString();
        keys.insert(key);
      }
    }
    form_.reset();
    QDir(folder_.path() + QStringLiteral("/Languages")).removeRecursively();
  }
}

TEST_F(WindowLanguageTest, AnOlderLanguageFileShowsEnglishForTextsItLacks) {
  QDir().mkpath(folder_.path() + QStringLiteral("/Languages"));
  dialogtest::WriteFile(folder_.path() + QStringLiteral("/Languages/Old.lang.txt"),
                        "{INFO:Translated By}Someone\n{Stopping...}Wird angehalten...\n{Yes}Ja\n");
  WriteData(QStringLiteral("settings.ini"), "[Settings]\r\nLanguage=Old.lang.txt\r\n\r\n");
  OpenForm();
  EXPECT_EQ(Child<QLabel>("Label1")->text(), QStringLiteral("URL List:"));
  EXPECT_EQ(Child<QMenu>("File1")->title(), QStringLiteral("&File"));
  EXPECT_EQ(StartButton()->text(), QStringLiteral("Start"));
  EXPECT_EQ(i18n::Translate(QStringLiteral("Stopping...")), QStringLiteral("Wird angehalten..."));
}

}  // namespace
