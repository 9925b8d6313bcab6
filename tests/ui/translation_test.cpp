// The whole interface in the chosen language: every text the program passes
// through Translate has a translation in each shipped language file, the
// window follows the chosen language, and a language file written for fewer
// texts still works.
#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTableView>
#include <gtest/gtest.h>

#include <map>

#include "dialog_test_support.h"
#include "gui_test_base.h"
#include "i18n/language.h"

namespace {

QStringList ShippedLanguageFiles() {
  return QDir(dialogtest::ShippedLanguagesFolder()).entryList({QStringLiteral("*.lang.txt")}, QDir::Files);
}

TEST(Translation, TheScanFindsEveryTranslatedText) {
  // The shipped files are checked against these keys in ShippedLanguages.*;
  // here, that the scan itself sees the program's texts.
  const std::map<QString, QString> keys = dialogtest::ProgramTranslationKeys();
  ASSERT_GT(keys.size(), 90u);
  for (const char* expected : {"Start", "STOP", "&File", "Platforms", "Processing %s", "Multi-Threading", "Enable",
                               "Stopping...", "About %s", "This address could not be opened. Please open it in "
                               "your web browser by hand:"})
    EXPECT_EQ(keys.count(QString::fromLatin1(expected)), 1u) << expected;
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

// Qt's own texts (standard buttons, the file boxes) follow the chosen
// language, from the toolkit's translations.
TEST_F(WindowLanguageTest, QtsOwnTextsFollowTheChosenLanguage) {
  const struct {
    const char* file;
    const char* cancel;
  } cases[] = {{"German.lang.txt", "Abbrechen"}, {"French.lang.txt", "Annuler"}, {"English.lang.txt", "Cancel"}};
  dialogtest::CopyShippedLanguages(folder_.path());
  for (const auto& c : cases) {
    WriteData(QStringLiteral("settings.ini"), "[Settings]\r\nLanguage=" + QByteArray(c.file) + "\r\n\r\n");
    OpenForm();
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text().remove(u'&'), QString::fromUtf8(c.cancel)) << c.file;
    const QString save = QCoreApplication::translate("QFileDialog", "&Save");
    EXPECT_EQ(save == QLatin1String("&Save"), QLatin1String(c.file) == QLatin1String("English.lang.txt")) << c.file;
    form_.reset();
  }
  // Turkish too: every shipped language has Qt's texts.
  WriteData(QStringLiteral("settings.ini"), "[Settings]\r\nLanguage=Turkish.lang.txt\r\n\r\n");
  OpenForm();
  EXPECT_NE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
}

}  // namespace
