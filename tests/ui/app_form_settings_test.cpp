// The window's settings fields, its ways of ending, Reset to Defaults, the
// URL list commands and the multi-threading dialog, against real files in
// the window's temporary data folder.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QTableView>
#include <gtest/gtest.h>

#include "dialog_test_support.h"
#include "gui_test_base.h"
#include "support/file_age.h"
#include "i18n/codepage.h"
#include "services/settings_store.h"
#include "ui/form_multi_thread.h"
#include "ui/maker_pages.h"
#include "ui/translate_form.h"

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

using SettingsTest = GuiTest;

QString SettingsValue(const QByteArray& ini, const QString& key) {
  for (const QString& line : QString::fromUtf8(ini).split(QStringLiteral("\r\n")))
    if (line.startsWith(key + u'=')) return line.mid(key.size() + 1);
  return QStringLiteral("<absent>");
}

TEST_F(SettingsTest, TypingInATimeoutFieldRewritesSettingsAtEveryKeystroke) {
  OpenForm();
  auto* edit = Child<QLineEdit>("Edit3");
  EXPECT_EQ(edit->text(), QStringLiteral("5000"));
  edit->setFocus();
  edit->end(false);
  QTest::keyClick(edit, Qt::Key_1);
  EXPECT_EQ(SettingsValue(ReadData("settings.ini"), "ConnectionTimeout"), QStringLiteral("50001"));
  QTest::keyClick(edit, Qt::Key_A);  // digits only
  EXPECT_EQ(edit->text(), QStringLiteral("50001"));
  QTest::keyClick(edit, Qt::Key_2);
  const QByteArray ini = ReadData("settings.ini");
  EXPECT_TRUE(ini.startsWith(kBom + "[Settings]\r\nConnectionTimeout=500012\r\n")) << ini.toStdString();

  edit->clear();
  EXPECT_EQ(SettingsValue(ReadData("settings.ini"), "ConnectionTimeout"), QString()) << "stored empty";
  OpenForm();  // the next start
  EXPECT_EQ(Child<QLineEdit>("Edit3")->text(), QStringLiteral("5000"));
}

// Temporary files that a crash during a write of a data file left behind go
// when the window starts; a young one (another running copy may be writing
// it) and names that are not ours stay.
TEST_F(SettingsTest, StartRemovesStaleTemporaryFilesOfTheDataFiles) {
  using std::chrono::seconds;
  const struct {
    const char* name;
    int age;
    bool stays;
  } files[] = {
      {".settings.ini.0123abcd.tmp", 120, false}, {".list.txt.89abcdef.tmp", 7200, false},
      {".start.sh.00c0ffee.tmp", 120, false},     {".list.txt.456789ab.tmp", 10, true},
      {".notes.txt.0123abcd.tmp", 120, true},     {".list.txt.0123abcd.tmp.1", 120, true},
  };
  QStringList staying;
  for (const auto& f : files) {
    testsupport::WriteAgedFile(DataFile(QString::fromLatin1(f.name)), seconds(f.age));
    if (f.stays) staying << QString::fromLatin1(f.name);
  }
  OpenForm();
  QStringList left = QDir(folder_.path()).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
  left.sort();
  staying.sort();
  EXPECT_EQ(left.join(u' ').toStdString(), staying.join(u' ').toStdString());
}

TEST_F(SettingsTest, StoredValuesAreShownAndMissingOnesKeepTheDefaults) {
  WriteData("settings.ini", kBom + "[Settings]\r\nConnectionTimeout=\r\nResponseTimeout=1234\r\n\r\n");
  OpenForm();
  EXPECT_EQ(Child<QLineEdit>("Edit3")->text(), QStringLiteral("5000"));
  EXPECT_EQ(Child<QLineEdit>("Edit4")->text(), QStringLiteral("1234"));
  auto* agent = Child<QComboBox>("ComboBox1");
  EXPECT_EQ(agent->currentText(), ui::TAppForm::UserAgents().at(1));
  EXPECT_EQ(agent->count(), 6);
  EXPECT_EQ(ReadData("settings.ini"), kBom + "[Settings]\r\nConnectionTimeout=\r\nResponseTimeout=1234\r\n\r\n")
      << "start-up writes nothing";

  agent->setCurrentIndex(3);
  EXPECT_EQ(SettingsValue(ReadData("settings.ini"), "UserAgent"), ui::TAppForm::UserAgents().at(3));
  agent->setEditText(QStringLiteral("MyAgent/2"));
  EXPECT_EQ(SettingsValue(ReadData("settings.ini"), "UserAgent"), QStringLiteral("MyAgent/2"));
  OpenForm();
  EXPECT_EQ(Child<QComboBox>("ComboBox1")->currentText(), QStringLiteral("MyAgent/2"));
}

TEST_F(SettingsTest, ClosingSavesTheListAndExitDoesNot) {
  OpenForm();
  EXPECT_EQ(Editor()->text(), ui::TAppForm::ExampleUrls());
  Editor()->setText(QStringLiteral("one.example\r\ntwo.example"));
  form_->findChild<QAction*>(QStringLiteral("Exit1"))->trigger();
  EXPECT_EQ(ended_, 1);
  EXPECT_FALSE(QFile::exists(DataFile("list.txt"))) << "Exit saves nothing";

  EXPECT_TRUE(form_->close());
  EXPECT_EQ(ReadData("list.txt"), kBom + "one.example\r\ntwo.example");

  // The next start shows the saved list; its line breaks go back as found.
  WriteData("list.txt", "a.example\nb.example\n");
  OpenForm();
  EXPECT_EQ(Editor()->text(), QStringLiteral("a.example\nb.example\n"));
  Editor()->append(QStringLiteral("c.example"));
  EXPECT_TRUE(form_->close());
  EXPECT_EQ(ReadData("list.txt"), kBom + "a.example\nb.example\nc.example");
}

TEST_F(SettingsTest, ExitEndsTheEventLoopWithoutClosingTheWindow) {
  ui::TAppFormOptions options;
  options.programFolder = folder_.path();  // the program's own way of ending
  options.updateCheck = false;              // nothing may reach the maker's real host
  ui::TAppForm form(options);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.findChild<ui::TUrlEditor*>(QStringLiteral("SynEdit1"))->setText(QStringLiteral("edited.example"));
  // The application's own event loop, as the program runs it (this test
  // program runs none of its own).
  QTimer::singleShot(0, &form, [&] { form.findChild<QAction*>(QStringLiteral("Exit1"))->trigger(); });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  guard.start(10000);
  EXPECT_EQ(QApplication::exec(), 0) << "Exit ends the application's event loop";
  EXPECT_TRUE(form.isVisible()) << "without the window's closing step";
  EXPECT_FALSE(QFile::exists(DataFile("list.txt")));
}

TEST_F(SettingsTest, AFailedSaveKeepsTheWindowOpenWithTheErrorShown) {
  OpenForm();
  ASSERT_TRUE(QDir(folder_.path()).mkdir(QStringLiteral("list.txt")));  // cannot be replaced by a file
  EXPECT_FALSE(form_->close());
  EXPECT_TRUE(form_->isVisible());
  const auto shown = ui::TMessageBoxSeam::TakeShown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].kind, QMessageBox::Critical);
  EXPECT_FALSE(shown[0].text.isEmpty());
}

// The new copy itself is started by services::StartNewCopyDetached (tested
// with the other services); here the window's part is checked through its
// seam. By hand: run build/app/lumasift, change a time-out, choose Settings >
// Reset to Defaults... > Yes: the window closes, a new one opens at once with
// both time-outs "5000", and build/app holds no settings.ini or list.txt.
TEST_F(SettingsTest, ResetToDefaultsAsksThenDeletesBothFilesAndRestarts) {
  WriteData("settings.ini", kBom + "[Settings]\r\nResponseTimeout=77\r\n\r\n");
  WriteData("list.txt", "kept.example");
  WriteData("other.txt", "not ours");
  OpenForm();

  ui::TMessageBoxSeam::QueueAnswer(QMessageBox::No);
  Child<QAction>("ResettoDefaults1")->trigger();
  auto shown = ui::TMessageBoxSeam::TakeShown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, QStringLiteral("Restart Application?"));
  EXPECT_EQ(shown[0].caption, QStringLiteral("Confirmation"));
  EXPECT_EQ(shown[0].kind, QMessageBox::Question);
  EXPECT_EQ(shown[0].buttonCaptions, (QStringList{"Yes", "No"}));
  EXPECT_TRUE(QFile::exists(DataFile("settings.ini")));
  EXPECT_TRUE(QFile::exists(DataFile("list.txt")));
  EXPECT_EQ(newCopies_, 0);

  ui::TMessageBoxSeam::QueueAnswer(QMessageBox::Yes);
  Child<QAction>("ResettoDefaults1")->trigger();
  EXPECT_FALSE(QFile::exists(DataFile("settings.ini")));
  EXPECT_FALSE(QFile::exists(DataFile("list.txt")));
  EXPECT_TRUE(QFile::exists(DataFile("other.txt")));
  EXPECT_EQ(newCopies_, 1);
  EXPECT_EQ(ended_, 1);
  EXPECT_FALSE(form_->SettingsReady());
  EXPECT_TRUE(form_->close());
  EXPECT_FALSE(QFile::exists(DataFile("list.txt"))) << "not saved again after the reset";

  // What the new copy shows.
  OpenForm();
  EXPECT_EQ(Child<QLineEdit>("Edit4")->text(), QStringLiteral("5000"));
  EXPECT_EQ(Editor()->text(), ui::TAppForm::ExampleUrls());
}

// The ways of ending that do not save the URL list say so: Reset (which
// deletes it) and a language change (when the list differs from the saved
// one) below their question, "Exit" in its tip.
TEST_F(SettingsTest, WaysOfEndingWithoutSavingSayWhatHappensToTheList) {
  dialogtest::CopyShippedLanguages(folder_.path());
  WriteData("list.txt", "saved.example");
  OpenForm();
  ui::TMessageBoxSeam::QueueAnswer(QMessageBox::No);
  Child<QAction>("ResettoDefaults1")->trigger();
  auto shown = ui::TMessageBoxSeam::TakeShown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, QStringLiteral("Restart Application?")) << "the question itself as it was";
  EXPECT_TRUE(shown[0].note.contains(QStringLiteral("URL list are deleted"))) << shown[0].note.toStdString();

  // The language dialog, its choice changed, OK: the question, answered No.
  auto changeLanguage = [this] {
    QTimer::singleShot(0, form_.get(), [] {
      auto* dialog = qobject_cast<ui::TTranslateForm*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      auto* list = dialog->findChild<QComboBox*>(QStringLiteral("ComboBox1"));
      list->setCurrentIndex(list->findText(list->currentText() == QLatin1String("German") ? QStringLiteral("French")
                                                                                           : QStringLiteral("German")));
      dialog->Button1Click();
      dialog->reject();
    });
    Child<QAction>("Language1")->trigger();
    auto asked = ui::TMessageBoxSeam::TakeShown();
    EXPECT_EQ(asked.size(), 1u);
    return asked.empty() ? QString() : asked[0].note;
  };
  EXPECT_EQ(changeLanguage(), QString()) << "the list is as saved: nothing to lose";
  Editor()->append(QStringLiteral("\ntyped.example"));
  EXPECT_TRUE(changeLanguage().contains(QStringLiteral("not saved"))) << "a typed list is lost by the restart";
  EXPECT_EQ(restartScripts_.size(), 0);

  auto* exit = Child<QAction>("Exit1");
  EXPECT_TRUE(exit->statusTip().contains(QStringLiteral("not saved")));
  EXPECT_EQ(exit->toolTip(), exit->statusTip());
  EXPECT_TRUE(Child<QMenu>("File1")->toolTipsVisible());
}

TEST_F(SettingsTest, LoadUrlListReadsUtf8OrTheAnsiCodePageAndReplacesTheText) {
  OpenForm();
  struct Case {
    const char* name;
    QByteArray bytes;
    QString text;
  } cases[] = {
      {"bom.txt", kBom + "https://caf\xC3\xA9.example\r\nb.example", QString::fromUtf8("https://caf\xC3\xA9.example\r\nb.example")},
      {"plain.txt", "https://caf\xC3\xA9.example\r\nb.example", QString::fromUtf8("https://caf\xC3\xA9.example\r\nb.example")},
      {"ansi.txt", i18n::EncodeAnsi(QString::fromUtf8("caf\xC3\xA9.example")),
       i18n::DecodeAnsi(i18n::EncodeAnsi(QString::fromUtf8("caf\xC3\xA9.example")))},
      {"empty.txt", QByteArray(), QString()},
  };
  for (const Case& c : cases) {
    WriteData(c.name, c.bytes);
    Editor()->setText(QStringLiteral("unsaved\nchanges"));
    Editor()->setCursorPosition(1, 3);
    ui::TFileDialogSeam::SetNextFileName(DataFile(c.name));
    Child<QAction>("LoadURLList1")->trigger();
    EXPECT_EQ(Editor()->text(), c.text) << c.name;
    int line = -1, index = -1;
    Editor()->getCursorPosition(&line, &index);
    EXPECT_EQ(line, 0) << c.name;
    EXPECT_EQ(index, 0) << c.name;
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << c.name;
  }
  const auto calls = ui::TFileDialogSeam::TakeCalls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0].defaultSuffix, QStringLiteral("txt"));
  EXPECT_EQ(calls[0].nameFilters, (QStringList{"Text File (*.txt)", "Any File (*.*)"}));

  // A file that cannot be read: the error is shown and the text stays.
  Editor()->setText(QStringLiteral("kept"));
  ui::TFileDialogSeam::SetNextFileName(DataFile("missing.txt"));
  Child<QAction>("LoadURLList1")->trigger();
  EXPECT_EQ(Editor()->text(), QStringLiteral("kept"));
  EXPECT_EQ(ui::TMessageBoxSeam::TakeShown().size(), 1u);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(SettingsTest, OnlineHelpOpensTheProductsHelpPage) {
  OpenForm();
  auto* help = Child<QAction>("Help2");
  EXPECT_EQ(help->shortcut(), QKeySequence(Qt::Key_F1));
  help->trigger();
  ASSERT_EQ(opened_.size(), 1);
  EXPECT_EQ(opened_[0].toString(), QStringLiteral("http://" LUMASIFT_MAKER_HOST "/help/lumasift/"));
  EXPECT_EQ(ui::OnlineHelpAddress(QStringLiteral("Alpha Beta")),
            QStringLiteral("http://" LUMASIFT_MAKER_HOST "/help/alpha-beta/"));
}

TEST_F(SettingsTest, AnAddressThatCannotBeOpenedIsNamedInAMessageBox) {
  openSucceeds_ = false;
  OpenForm();
  Child<QAction>("Help2")->trigger();
  form_->AddData(QStringLiteral("http://site.example/page"), QStringLiteral("WordPress"));
  form_->SetRowCount(1);
  Child<QTableView>("ListView1")->selectRow(0);
  Child<QAction>("GotoURL1")->trigger();
  const auto shown = ui::TMessageBoxSeam::TakeShown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].kind, QMessageBox::Warning);
  EXPECT_EQ(shown[0].caption, QStringLiteral("WARNING"));
  EXPECT_TRUE(shown[0].text.endsWith(QStringLiteral("\n\nhttp://" LUMASIFT_MAKER_HOST "/help/lumasift/")))
      << shown[0].text.toStdString();
  EXPECT_TRUE(shown[1].text.endsWith(QStringLiteral("\n\nhttp://site.example/page"))) << shown[1].text.toStdString();
  // Opened as asked: no box.
  openSucceeds_ = true;
  Child<QAction>("GotoURL1")->trigger();
  EXPECT_TRUE(ui::TMessageBoxSeam::TakeShown().empty());
}

TEST_F(SettingsTest, MenusAsBuilt) {
  OpenForm();
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("CORVANE - Lumasift"));
  auto* updates = Child<QAction>("UpdateNotifications1");
  EXPECT_TRUE(updates->isChecked());
  EXPECT_FALSE(updates->isEnabled());
  EXPECT_TRUE(Child<QAction>("Language1")->isVisible());
  EXPECT_FALSE(Child<QAction>("MultiThreaded1")->isChecked());
  for (const char* name : {"LoadURLList1", "Exit1", "Help2", "Language1", "SendFeedback1", "About1"})
    EXPECT_FALSE(Child<QAction>(name)->icon().isNull()) << name;
  QStringList editorMenu;
  for (QAction* action : Child<QMenu>("PopupMenu2")->actions())
    editorMenu << (action->isSeparator() ? QStringLiteral("-") : action->text());
  EXPECT_EQ(editorMenu, (QStringList{"Undo", "-", "Cut", "Copy", "Paste", "Delete", "-", "Select All"}));
  QStringList exportMenu;
  for (QAction* action : Child<QMenu>("PopupMenu1")->actions()) exportMenu << action->text();
  EXPECT_EQ(exportMenu, (QStringList{"Export to TXT...", "Export to CSV...", "Export to XLS...", "Export to XLSX..."}));
}

TEST_F(SettingsTest, AResizeClearsTheAgentFieldsSelection) {
  OpenForm();
  QLineEdit* field = Child<QComboBox>("ComboBox1")->lineEdit();
  field->selectAll();
  ASSERT_TRUE(field->hasSelectedText());
  form_->resize(form_->width() + 40, form_->height() + 20);
  QTest::qWait(10);
  EXPECT_FALSE(field->hasSelectedText());
  EXPECT_EQ(SettingsValue(ReadData("settings.ini"), "UserAgent"), QStringLiteral("<absent>")) << "nothing written";
}

// Runs `act` on the multi-threading dialog once it is open.
void OnDialog(const std::function<void(ui::TFormMultiThread&)>& act) {
  auto* poll = new QTimer;
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    if (auto* dialog = qobject_cast<ui::TFormMultiThread*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      act(*dialog);
    }
  });
  poll->start();
}

TEST_F(SettingsTest, MultiThreadingDialogStatesAndWhatItStores) {
  OpenForm();
  const run::PoolLimits limits = form_->DefaultPoolLimits();
  auto* item = Child<QAction>("MultiThreaded1");
  const int custom = limits.minimum + 1;

  // First opening: the limits, "Automatic", the field at the maximum.
  OnDialog([&](ui::TFormMultiThread& d) {
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Multi-Threading"));
    EXPECT_EQ(d.findChild<QLabel*>("Label3")->text(), QString::number(limits.minimum));
    EXPECT_EQ(d.findChild<QLabel*>("Label4")->text(), QString::number(limits.maximum));
    auto* spin = d.findChild<QSpinBox*>("SpinEdit1");
    EXPECT_EQ(spin->minimum(), limits.minimum);
    EXPECT_EQ(spin->maximum(), limits.maximum);
    EXPECT_EQ(spin->value(), limits.maximum);
    EXPECT_TRUE(d.findChild<QRadioButton*>("RadioButton1")->isChecked());
    // "Custom" then Cancel: nothing stored.
    d.findChild<QRadioButton*>("RadioButton2")->setChecked(true);
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  item->trigger();
  EXPECT_FALSE(item->isChecked());
  EXPECT_FALSE(QFile::exists(DataFile("settings.ini")));

  // "Custom" with a number, Enable.
  OnDialog([&](ui::TFormMultiThread& d) {
    d.findChild<QRadioButton*>("RadioButton2")->setChecked(true);
    d.findChild<QSpinBox*>("SpinEdit1")->setValue(custom);
    d.findChild<QPushButton*>("Button1")->click();
  });
  item->trigger();
  EXPECT_TRUE(item->isChecked());
  QByteArray ini = ReadData("settings.ini");
  EXPECT_EQ(SettingsValue(ini, "MultiThreaded"), QStringLiteral("ON"));
  EXPECT_EQ(SettingsValue(ini, "MultiThreads"), QString::number(custom));

  // Clicking the checked item: off at once, no dialog, the number stays.
  item->trigger();
  EXPECT_FALSE(item->isChecked());
  ini = ReadData("settings.ini");
  EXPECT_EQ(SettingsValue(ini, "MultiThreaded"), QStringLiteral("OFF"));
  EXPECT_EQ(SettingsValue(ini, "MultiThreads"), QString::number(custom));

  // After a restart the dialog shows the stored number under "Custom"; a
  // number typed above the maximum stores the maximum.
  OpenForm();
  item = Child<QAction>("MultiThreaded1");
  EXPECT_FALSE(item->isChecked()) << "off at every start";
  OnDialog([&](ui::TFormMultiThread& d) {
    EXPECT_TRUE(d.findChild<QRadioButton*>("RadioButton2")->isChecked());
    auto* spin = d.findChild<QSpinBox*>("SpinEdit1");
    EXPECT_EQ(spin->value(), custom);
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, QString::number(limits.maximum * 10 + 7));
    d.findChild<QPushButton*>("Button1")->click();
  });
  item->trigger();
  EXPECT_EQ(SettingsValue(ReadData("settings.ini"), "MultiThreads"), QString::number(limits.maximum));

  // A stored number outside the range opens with "Automatic"; Enable then stores 0.
  form_->Settings().WriteInteger(services::kSettingsSection, QStringLiteral("MultiThreads"), limits.maximum + 1);
  item->trigger();  // off
  OnDialog([&](ui::TFormMultiThread& d) {
    EXPECT_TRUE(d.findChild<QRadioButton*>("RadioButton1")->isChecked());
    EXPECT_EQ(d.findChild<QSpinBox*>("SpinEdit1")->value(), limits.maximum);
    d.findChild<QPushButton*>("Button1")->click();
  });
  item->trigger();
  EXPECT_TRUE(item->isChecked());
  EXPECT_EQ(SettingsValue(ReadData("settings.ini"), "MultiThreads"), QStringLiteral("0"));
}

}  // namespace
