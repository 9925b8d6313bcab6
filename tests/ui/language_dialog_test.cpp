// The language dialog: its list, flags and translators, OK with and without
// a change, the remembered choice across a restart, and start.sh.

#include "dialog_test_support.h"
#include "support/scoped_env.h"

#include "i18n/language.h"
#include "services/service_request.h"
#include "services/settings_store.h"
#include "ui/dialog_pictures.h"
#include "ui/language_choice.h"
#include "ui/translate_form.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStyleOptionViewItem>
#include <QAbstractItemDelegate>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using dialogtest::MessageBoxAnswerer;
using dialogtest::WriteFile;

class LanguageDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(program_.isValid());
    ASSERT_TRUE(data_.isValid());
    folder_ = program_.path();
  }
  void TearDown() override { i18n::LoadLanguage(QString(), empty_.path()); }

  void AddLanguage(const QString& name, const QByteArray& text) {
    WriteFile(folder_ + QStringLiteral("/Languages/") + name + QStringLiteral(".lang.txt"), text);
  }

  QStringList Items(QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
  }

  ui::TTranslateFormHost Host() {
    ui::TTranslateFormHost host;
    host.DataFolder = data_.path();
    host.ProgramPath = QStringLiteral("/opt/lumasift/lumasift");
    host.SetLanguageFile = [this](const QString& file) { chosenFiles_ << file; };
    host.StartAndQuit = [this](const QString& script) { startedScripts_ << script; };
    return host;
  }

  QTemporaryDir program_, data_, empty_;
  QString folder_;
  QStringList chosenFiles_, startedScripts_;
};

TEST_F(LanguageDialogTest, ListsLanguagesSortedWithFlagsAndSelectsTheLoadedOne) {
  AddLanguage(QStringLiteral("Slovak"), "{INFO:Translated By}Jana\n");
  AddLanguage(QStringLiteral("Klingon"), "{Language}tlhIngan\n");
  AddLanguage(QStringLiteral("German"), "{INFO:Translated By}Ann , Bob\n{Language}Sprache\n{OK}Gut\n");
  AddLanguage(QStringLiteral("English"), "");
  i18n::LoadLanguage(QStringLiteral("German.lang.txt"), folder_);

  ui::TTranslateForm form(Host());
  auto* list = form.findChild<QComboBox*>(QStringLiteral("ComboBox1"));
  ASSERT_NE(list, nullptr);
  // An English.lang.txt adds a second "English".
  EXPECT_EQ(Items(list), (QStringList{"English", "English", "German", "Klingon", "Slovak"}));
  EXPECT_EQ(list->currentText(), QStringLiteral("German"));
  EXPECT_EQ(form.OpenedLanguage(), QStringLiteral("German"));
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Sprache"));
  EXPECT_EQ(form.findChild<QPushButton*>(QStringLiteral("Button1"))->text(), QStringLiteral("Gut"));
  // "Ann , Bob" gives two lines.
  auto* names = form.findChild<QPlainTextEdit*>(QStringLiteral("RichEdit1"));
  EXPECT_EQ(names->toPlainText(), QStringLiteral("Ann\nBob"));

  QStringList flags;
  for (int i = 0; i < list->count(); ++i) flags << list->itemData(i, ui::TTranslateForm::kFlagRole).toString();
  EXPECT_EQ(flags, (QStringList{"flag", "flag", "de", "xx", "sk"}));

  // Choosing another item only refreshes the names.
  list->setCurrentIndex(list->findText(QStringLiteral("Klingon")));
  EXPECT_EQ(names->toPlainText(), QString());  // no translator line
  list->setCurrentIndex(list->findText(QStringLiteral("Slovak")));
  EXPECT_EQ(names->toPlainText(), QStringLiteral("Jana"));
  list->setCurrentIndex(0);
  EXPECT_EQ(names->toPlainText(), QStringLiteral("Corvane"));
  EXPECT_TRUE(chosenFiles_.isEmpty());
}

TEST_F(LanguageDialogTest, NamesMenuAndContributeLink) {
  AddLanguage(QStringLiteral("German"), "{INFO:Translated By}Ann , Bob\n{Copy}Kopieren\n");
  i18n::LoadLanguage(QStringLiteral("German.lang.txt"), folder_);
  services::SetMakerHostForTesting(services::TMakerHostOverride{QStringLiteral("maker.invalid"), 0, 0});
  dialogtest::UrlCatcher catcher;
  ui::TTranslateForm form(Host());
  form.show();

  auto* link = form.findChild<QLabel*>(QStringLiteral("Label3"));
  EXPECT_EQ(link->toolTip(), QStringLiteral("https://maker.invalid/translate/"));
  EXPECT_TRUE(link->font().underline());
  QTest::mouseClick(link, Qt::LeftButton);
  ASSERT_EQ(catcher.urls.size(), 1);
  EXPECT_EQ(catcher.urls[0], QUrl(QStringLiteral("https://maker.invalid/translate/")));

  EXPECT_EQ(form.findChild<QAction*>(QStringLiteral("Copy1"))->text(), QStringLiteral("Kopieren"));
  form.SelectAll1Click();
  form.Copy1Click();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Ann\nBob"));
  services::SetMakerHostForTesting(std::nullopt);
}

TEST_F(LanguageDialogTest, TranslatorLinesSplitAtEveryComma) {
  struct Case {
    QByteArray line;
    QString shown;
  } cases[] = {
      {"{INFO:Translated By}Ann , Bob", "Ann\nBob"},
      {"{INFO:Translated By}Ann,,Bob", "Ann\n\nBob"},
      {"{INFO:Translated By}", ""},
      {"{INFO:Translated By}  Solo  ", "Solo"},
      {"{info:Translated By}Ann", ""},  // the key is case-sensitive
  };
  for (const Case& c : cases) {
    AddLanguage(QStringLiteral("Dutch"), "\xEF\xBB\xBF" + c.line + "\r\n{INFO:Translated By}Later\r\n");
    i18n::LoadLanguage(QStringLiteral("Dutch.lang.txt"), folder_);
    ui::TTranslateForm form(Host());
    EXPECT_EQ(form.findChild<QPlainTextEdit*>(QStringLiteral("RichEdit1"))->toPlainText(),
              c.line.startsWith("{info") ? QStringLiteral("Later") : c.shown)
        << c.line.toStdString();
  }
}

TEST_F(LanguageDialogTest, WithoutLanguageFilesOnlyEnglishWithCorvane) {
  i18n::LoadLanguage(QString(), folder_);  // no Languages folder at all
  ui::TTranslateForm form(Host());
  auto* list = form.findChild<QComboBox*>(QStringLiteral("ComboBox1"));
  EXPECT_EQ(Items(list), QStringList{QStringLiteral("English")});
  EXPECT_EQ(form.findChild<QPlainTextEdit*>(QStringLiteral("RichEdit1"))->toPlainText(), QStringLiteral("Corvane"));
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Language"));
}

TEST_F(LanguageDialogTest, FlagsByName) {
  EXPECT_EQ(ui::FlagNameFor(QStringLiteral("Slovak")), QStringLiteral("sk"));
  EXPECT_EQ(ui::FlagNameFor(QStringLiteral("Klingon")), QStringLiteral("xx"));
  EXPECT_EQ(ui::FlagNameFor(QStringLiteral("slovak")), QStringLiteral("xx"));  // exact comparison
  EXPECT_EQ(ui::FlagNameFor(QStringLiteral("English")), QStringLiteral("flag"));
  EXPECT_EQ(ui::FlagNameFor(QStringLiteral("Vietnamese")), QStringLiteral("vi"));
  // Every picture is 16 x 16; an unknown flag falls back to the neutral one.
  for (const QString& name : {QStringLiteral("sk"), QStringLiteral("xx"), QStringLiteral("flag"),
                              QStringLiteral("nonesuch")}) {
    const QPixmap picture = ui::FlagPicture(name);
    EXPECT_EQ(picture.size(), QSize(16, 16)) << name.toStdString();
  }
  EXPECT_EQ(ui::FlagPicture(QStringLiteral("nonesuch")).toImage(), ui::NeutralFlagPicture().toImage());
}

TEST_F(LanguageDialogTest, ItemsAreDrawnWithTheirFlagAtTheTopLeft) {
  AddLanguage(QStringLiteral("Slovak"), "");
  i18n::LoadLanguage(QString(), folder_);
  ui::TTranslateForm form(Host());
  auto* list = form.findChild<QComboBox*>(QStringLiteral("ComboBox1"));
  const QModelIndex slovak = list->model()->index(list->findText(QStringLiteral("Slovak")), 0);
  QAbstractItemDelegate* delegate = list->itemDelegate();

  QStyleOptionViewItem option;
  option.rect = QRect(0, 0, 120, 18);
  option.palette = list->palette();
  option.font = list->font();
  option.state = QStyle::State_Enabled;
  EXPECT_EQ(delegate->sizeHint(option, slovak).height(), 18);

  QImage drawn(120, 18, QImage::Format_ARGB32);
  drawn.fill(Qt::white);
  QPainter painter(&drawn);
  delegate->paint(&painter, option, slovak);
  painter.end();
  const QImage flag = ui::FlagPicture(QStringLiteral("sk")).toImage().convertToFormat(QImage::Format_ARGB32);
  int compared = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      if (qAlpha(flag.pixel(x, y)) != 255) continue;
      EXPECT_EQ(drawn.pixel(x, y), flag.pixel(x, y)) << x << "," << y;
      ++compared;
    }
  }
  EXPECT_GT(compared, 100);
  // The text starts right of the flag.
  bool textRightOfFlag = false;
  for (int y = 0; y < 18; ++y) {
    for (int x = 16; x < 120; ++x) textRightOfFlag |= qGray(drawn.pixel(x, y)) < 128;
  }
  EXPECT_TRUE(textRightOfFlag);
}

// The list names each language in itself (in a German window too), while
// the items stay the language files' names; the drawn item shows that name.
TEST_F(LanguageDialogTest, LanguagesAreShownByTheirOwnNames) {
  dialogtest::CopyShippedLanguages(folder_);
  AddLanguage(QStringLiteral("Klingon"), "");
  AddLanguage(QStringLiteral("PortugueseBrazil"), "");
  i18n::LoadLanguage(QStringLiteral("German.lang.txt"), folder_);
  ui::TTranslateForm form(Host());
  auto* list = form.findChild<QComboBox*>(QStringLiteral("ComboBox1"));
  EXPECT_EQ(Items(list), (QStringList{"English", "French", "German", "Klingon", "PortugueseBrazil", "Turkish"}));
  QStringList own, spoken;
  for (int i = 0; i < list->count(); ++i) {
    own << list->itemData(i, ui::TTranslateForm::kOwnNameRole).toString();
    spoken << list->itemData(i, Qt::AccessibleTextRole).toString();
  }
  const QStringList expected{"English", "Français", "Deutsch", "Klingon", "Português (Brasil)", "Türkçe"};
  EXPECT_EQ(own, expected);
  EXPECT_EQ(spoken, expected) << "what a screen reader says";

  // The delegate draws the flag and the own name.
  const QModelIndex german = list->model()->index(list->findText(QStringLiteral("German")), 0);
  QStyleOptionViewItem option;
  option.rect = QRect(0, 0, 160, 18);
  option.palette = list->palette();
  option.font = list->font();
  option.state = QStyle::State_Enabled;
  QImage drawn(160, 18, QImage::Format_ARGB32), expectedImage(160, 18, QImage::Format_ARGB32);
  drawn.fill(Qt::white);
  expectedImage.fill(Qt::white);
  {
    QPainter painter(&drawn);
    list->itemDelegate()->paint(&painter, option, german);
  }
  {
    QPainter painter(&expectedImage);
    painter.fillRect(option.rect, option.palette.base());
    painter.drawPixmap(0, 0, ui::FlagPicture(QStringLiteral("de")));
    painter.setPen(option.palette.text().color());
    painter.setFont(option.font);
    painter.drawText(option.rect.adjusted(16, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     QStringLiteral("Deutsch"));
  }
  EXPECT_EQ(drawn, expectedImage);
  EXPECT_GE(list->sizeHint().width(), list->fontMetrics().horizontalAdvance(QStringLiteral("Português (Brasil)")) + 16);
}

TEST_F(LanguageDialogTest, OkWithoutChangeClosesWithoutQuestion) {
  AddLanguage(QStringLiteral("German"), "{INFO:Translated By}Ann\n");
  i18n::LoadLanguage(QStringLiteral("German.lang.txt"), folder_);
  ui::TTranslateForm form(Host());
  MessageBoxAnswerer answerer(QMessageBox::Yes);
  form.open();
  form.Button1Click();
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Accepted);
  QTest::qWait(30);
  EXPECT_EQ(answerer.Count(), 0);
  EXPECT_TRUE(chosenFiles_.isEmpty());
}

TEST_F(LanguageDialogTest, EscapeClosesFromTheListTheButtonAndTheNames) {
  AddLanguage(QStringLiteral("German"), "");
  i18n::LoadLanguage(QString(), folder_);
  for (const char* name : {"ComboBox1", "Button1", "RichEdit1"}) {
    ui::TTranslateForm form(Host());
    form.open();
    QWidget* widget = form.findChild<QWidget*>(QString::fromLatin1(name));
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible()) << name;
    EXPECT_EQ(form.result(), QDialog::Rejected) << name;
  }
  EXPECT_TRUE(chosenFiles_.isEmpty());
}

TEST_F(LanguageDialogTest, AnsweringNoKeepsTheDialogOpenWithTheNewSelection) {
  AddLanguage(QStringLiteral("German"), "{Restart Application?}Neu starten?\n{Confirmation}Bestätigung\n{Yes}Ja\n{No}Nein\n");
  i18n::LoadLanguage(QStringLiteral("German.lang.txt"), folder_);
  ui::TTranslateForm form(Host());
  auto* list = form.findChild<QComboBox*>(QStringLiteral("ComboBox1"));
  form.open();
  list->setCurrentIndex(list->findText(QStringLiteral("English")));
  MessageBoxAnswerer answerer(QMessageBox::No);
  form.Button1Click();
  ASSERT_EQ(answerer.Count(), 1);
  EXPECT_EQ(answerer.Text(), QStringLiteral("Neu starten?"));
  EXPECT_EQ(answerer.Title(), QStringLiteral("Bestätigung"));
  EXPECT_EQ(answerer.Icon(), QMessageBox::Question);
  EXPECT_TRUE(answerer.ButtonTexts().contains(QStringLiteral("Ja")));
  EXPECT_TRUE(answerer.ButtonTexts().contains(QStringLiteral("Nein")));
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(list->currentText(), QStringLiteral("English"));
  EXPECT_TRUE(chosenFiles_.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(data_.path() + QStringLiteral("/start.sh")));
}

TEST_F(LanguageDialogTest, ChosenLanguageSurvivesTheRestart) {
  dialogtest::CopyShippedLanguages(folder_);
  AddLanguage(QStringLiteral("Slovak"), "{INFO:Translated By}Jana\n");
  testsupport::ScopedEnv german("LANGUAGE", "de_DE");  // the automatic choice: German
  const QString ini = data_.path() + QStringLiteral("/settings.ini");

  {
    services::TSettingsStore store(ini);
    ui::LoadStartupLanguage(store, folder_);
    EXPECT_EQ(i18n::LanguageName(), QStringLiteral("German"));  // nothing stored yet: automatic
  }

  {
    services::TSettingsStore store(ini);
    ui::TTranslateFormHost host = Host();
    host.SetLanguageFile = [&store](const QString& file) { ui::SetLanguageFile(store, file); };
    ui::TTranslateForm form(host);
    auto* list = form.findChild<QComboBox*>(QStringLiteral("ComboBox1"));
    list->setCurrentIndex(list->findText(QStringLiteral("Slovak")));
    form.open();
    MessageBoxAnswerer answerer(QMessageBox::Yes);
    form.Button1Click();
    EXPECT_EQ(answerer.Count(), 1);
    ASSERT_EQ(startedScripts_.size(), 1);
    EXPECT_EQ(startedScripts_[0], QDir(data_.path()).filePath(QStringLiteral("start.sh")));
  }

  // The next start: a fresh store read from the file.
  services::TSettingsStore store(ini);
  EXPECT_EQ(store.ReadString(services::kSettingsSection, QStringLiteral("Language"), QString()),
            QStringLiteral("Slovak.lang.txt"));
  ui::LoadStartupLanguage(store, folder_);
  EXPECT_EQ(i18n::LanguageName(), QStringLiteral("Slovak"));

  // English needs no file and stays English although the system says German.
  ui::SetLanguageFile(store, QStringLiteral("English.lang.txt"));
  ui::LoadStartupLanguage(store, folder_);
  EXPECT_EQ(i18n::LanguageFile(), QString());
  EXPECT_EQ(i18n::Translate(QStringLiteral("Yes")), QStringLiteral("Yes"));

  // A remembered file that is gone, or a name outside the folder: automatic.
  for (const QString& stored : {QStringLiteral("Gone.lang.txt"), QStringLiteral("../German.lang.txt"), QString()}) {
    ui::SetLanguageFile(store, stored);
    EXPECT_EQ(ui::StartupLanguageFile(store, folder_), QString()) << stored.toStdString();
    ui::LoadStartupLanguage(store, folder_);
    EXPECT_EQ(i18n::LanguageName(), QStringLiteral("German")) << stored.toStdString();
  }
}

TEST(RestartScript, LinesAndFile) {
  EXPECT_EQ(ui::RestartScriptLines(QStringLiteral("/opt/lumasift/lumasift")),
            (QStringList{"#!/bin/sh", "echo This file was created automatically to restart the program.",
                         "echo It is safe to delete this file.", "sleep 1", "\"/opt/lumasift/lumasift\""}));
  // Characters the shell would read inside double quotes stay literal.
  EXPECT_EQ(ui::RestartScriptLines(QStringLiteral("/a b/$HOME/`x`/\"q\"/\\")).last(),
            QStringLiteral("\"/a b/\\$HOME/\\`x\\`/\\\"q\\\"/\\\\\""));

  QTemporaryDir data;
  dialogtest::WriteFile(data.path() + QStringLiteral("/start.sh"), "old contents that are longer than the new ones\n");
  const QString path = ui::WriteRestartScript(data.path(), QStringLiteral("/opt/lumasift/lumasift"));
  EXPECT_EQ(path, data.path() + QStringLiteral("/start.sh"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(),
            "#!/bin/sh\necho This file was created automatically to restart the program.\n"
            "echo It is safe to delete this file.\nsleep 1\n\"/opt/lumasift/lumasift\"\n");

  EXPECT_THROW(ui::WriteRestartScript(data.path() + QStringLiteral("/missing/folder"), QStringLiteral("/x")),
               std::runtime_error);

  // A new script is its owner's alone, and runnable.
  QTemporaryDir fresh;
  const QString made = ui::WriteRestartScript(fresh.path(), QStringLiteral("/x"));
  EXPECT_EQ(QFile::permissions(made) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST(RestartScript, StartsTheProgramAfterASecond) {
  // A "program" in a folder whose name the shell would otherwise expand.
  QTemporaryDir root;
  const QString folder = root.path() + QStringLiteral("/my $HOME `id` dir");
  const QString marker = root.path() + QStringLiteral("/started");
  const QString program = folder + QStringLiteral("/fake program");
  dialogtest::WriteFile(program, ("#!/bin/sh\ntouch '" + marker + "'\n").toUtf8());
  QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeOwner);

  const QString script = ui::WriteRestartScript(root.path(), program);
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(ui::StartRestartScript(script, root.path()));
  while (!QFileInfo::exists(marker) && clock.elapsed() < 10000) QTest::qWait(50);
  EXPECT_TRUE(QFileInfo::exists(marker));
  EXPECT_GE(clock.elapsed(), 900);
}

}  // namespace

namespace {

TEST(ShippedLanguages, TranslateEveryTextOnce) {
  QStringList kTranslatedTexts;
  for (const auto& [key, where] : dialogtest::ProgramTranslationKeys()) kTranslatedTexts << key;
  const QStringList files = QDir(dialogtest::ShippedLanguagesFolder()).entryList({"*.lang.txt"}, QDir::Files);
  EXPECT_EQ(files, (QStringList{"French.lang.txt", "German.lang.txt", "Turkish.lang.txt"}));
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    const QStringList lines = i18n::ReadLanguageFileLines(QDir(dialogtest::ShippedLanguagesFolder()).filePath(file));
    QStringList keys;
    for (const QString& line : lines) {
      if (line.isEmpty()) continue;
      ASSERT_TRUE(line.startsWith(u'{') && line.contains(u'}')) << line.toStdString();
      const QString key = line.mid(1, line.indexOf(u'}') - 1);
      EXPECT_FALSE(keys.contains(key)) << "twice: " << key.toStdString();
      keys << key;
      EXPECT_TRUE(key == QLatin1String("INFO:Translated By") || kTranslatedTexts.contains(key))
          << "not a text of the program: " << key.toStdString();
    }
    EXPECT_FALSE(i18n::FindTranslationLine(lines, QStringLiteral("INFO:Translated By")).value_or(QString()).isEmpty());
    for (const QString& text : kTranslatedTexts) {
      const QString translated = i18n::FindTranslationLine(lines, text).value_or(QString());
      EXPECT_FALSE(translated.trimmed().isEmpty()) << "missing: " << text.toStdString();
      // Placeholders and the accelerator mark survive the translation.
      for (const char* mark : {"%s", "%1", "%2", "&"})
        EXPECT_EQ(translated.count(QLatin1String(mark)), text.count(QLatin1String(mark))) << text.toStdString();
      EXPECT_EQ(translated, translated.trimmed()) << text.toStdString();
    }
  }
}

TEST(ShippedLanguages, RegionsOfEachLanguageChooseItsFile) {
  QTemporaryDir program, empty;
  dialogtest::CopyShippedLanguages(program.path());
  struct Case {
    const char* locale;
    const char* language;
  } cases[] = {{"de_DE", "German"}, {"de_AT", "German"}, {"de_CH", "German"}, {"de_LU", "German"},
               {"de_LI", "German"}, {"fr_FR", "French"}, {"fr_BE", "French"}, {"fr_CA", "French"},
               {"fr_CH", "French"}, {"fr_LU", "French"}, {"fr_MC", "French"}, {"tr_TR", "Turkish"},
               {"en_US", ""},       {"es_ES", ""}};
  for (const Case& c : cases) {
    testsupport::ScopedEnv env("LANGUAGE", c.locale);
    i18n::LoadLanguage(QString(), program.path());
    EXPECT_EQ(i18n::LanguageName(), QString::fromLatin1(c.language)) << c.locale;
  }
  i18n::LoadLanguage(QString(), empty.path());
}

}  // namespace
