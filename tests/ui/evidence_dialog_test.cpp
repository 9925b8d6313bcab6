// "Show Evidence...": the row menu command, the dialog's findings, versions,
// error rows, Copy with the real clipboard, and the versions tooltip.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTextBrowser>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "dialog_test_support.h"
#include "engine/evidence.h"
#include "gui_test_base.h"
#include "i18n/language.h"
#include "run/evidence_text.h"
#include "ui/evidence_dialog.h"

namespace {

run::TWorkRecord FinishedRecord() {
  const std::u16string page =
      u"<meta name=\"generator\" content=\"WordPress 6.3.1\">\r\n<link href=\"/wp-content/a.css\">\r\n";
  const auto found = engine::IdentifySiteWithEvidence(page, u"Server: nginx\r\nX-Powered-By: wordpress\r\n");
  run::TWorkRecord record(QStringLiteral("http://wp.example/"), QString::fromStdU16String(found.platforms),
                          run::kImageDone);
  record.evidence = run::TEvidence(found, u"https://wp.example/");
  return record;
}

TEST(EvidenceDialog, ListsEachFindingWithItsMatchHighlightedInContext) {
  const run::TWorkRecord record = FinishedRecord();
  ASSERT_EQ(record.FPlatform, QStringLiteral("WordPress, nginx"));
  ui::TEvidenceDialog dialog(record);
  const QString html = dialog.BodyHtml();
  EXPECT_TRUE(html.contains(QStringLiteral("Found by: plain entry 1"))) << html.toStdString();
  EXPECT_TRUE(html.contains(QStringLiteral("Found by: header Server"))) << html.toStdString();
  EXPECT_TRUE(html.contains(QStringLiteral("Version: 6.3.1"))) << html.toStdString();
  EXPECT_TRUE(html.contains(QStringLiteral("font-weight:bold\">/wp-content/</span>a.css&quot;&gt;\u23CE")))
      << html.toStdString();
  EXPECT_TRUE(html.contains(QStringLiteral("(duplicate, left out)"))) << html.toStdString();
  EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("EvidenceUrl"))->text(), QStringLiteral("http://wp.example/"));

  // Copy: the same as text, as --explain prints it; Close ends the dialog.
  QApplication::clipboard()->clear();
  dialog.findChild<QPushButton*>(QStringLiteral("ButtonCopy"))->click();
  EXPECT_EQ(QApplication::clipboard()->text(), run::ExplainText(record.FURL, record.FPlatform, run::FetchFailed(record), record.evidence));
  EXPECT_TRUE(QApplication::clipboard()->text().contains(QStringLiteral("[[/wp-content/]]")));
  dialog.show();
  dialog.findChild<QPushButton*>(QStringLiteral("ButtonClose"))->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// An entry of a signature file is named as an extra one with its file and
// line, in English and in each shipped language.
TEST(EvidenceDialog, ExtraEntriesNameTheirFileAndLine) {
  engine::TSiteEvidence found;
  found.platforms = u"New CMS, Ghostly, Ghost CMS";
  engine::TFinding& plain = found.findings.emplace_back();
  plain.platform = u"New CMS";
  plain.entry = 1;
  plain.file = u"mine.txt";
  plain.line = 6;
  plain.match = u"shared-marker";
  plain.offset = 3;
  engine::TFinding& regex = found.findings.emplace_back(plain);
  regex.source = engine::TFindingSource::Regex;
  regex.platform = u"Ghostly";
  regex.entry = 2;
  regex.line = 9;
  engine::TFinding generator = found.findings.front();
  generator.source = engine::TFindingSource::Generator;
  generator.platform = u"Ghost CMS";
  generator.entry = 3;
  generator.line = 12;
  found.findings.push_back(generator);
  run::TWorkRecord record(QStringLiteral("http://new.example/"), QStringLiteral("New CMS, Ghostly, Ghost CMS"),
                          run::kImageDone);
  record.evidence = run::TEvidence(found, u"http://new.example/");

  QTemporaryDir program, none;
  dialogtest::CopyShippedLanguages(program.path());
  const struct {
    const char* file;
    const char* plain;
    const char* regex;
    const char* generator;
  } cases[] = {
      {"", "extra plain entry 1 (mine.txt line 6)", "extra expression 2 (mine.txt line 9)",
       "extra generator entry 3 (mine.txt line 12)"},
      {"German.lang.txt", "zusätzlicher Texteintrag 1 (mine.txt, Zeile 6)", "zusätzlicher Ausdruck 2 (mine.txt, Zeile 9)",
       "zusätzlicher Generator-Eintrag 3 (mine.txt, Zeile 12)"},
      {"French.lang.txt", "entrée texte supplémentaire 1 (mine.txt, ligne 6)",
       "expression supplémentaire 2 (mine.txt, ligne 9)", "entrée de générateur supplémentaire 3 (mine.txt, ligne 12)"},
      {"Turkish.lang.txt", "ek düz metin girdisi 1 (mine.txt, satır 6)", "ek ifade 2 (mine.txt, satır 9)",
       "ek üretici girdisi 3 (mine.txt, satır 12)"},
  };
  for (const auto& c : cases) {
    i18n::LoadLanguage(QString::fromUtf8(c.file), *c.file ? program.path() : none.path());
    ui::TEvidenceDialog dialog(record);
    const QString html = dialog.BodyHtml();
    EXPECT_TRUE(html.contains(QString::fromUtf8(c.plain))) << html.toStdString();
    EXPECT_TRUE(html.contains(QString::fromUtf8(c.regex))) << html.toStdString();
    EXPECT_TRUE(html.contains(QString::fromUtf8(c.generator))) << html.toStdString();
  }
  i18n::LoadLanguage(QString(), none.path());
}

TEST(EvidenceDialog, AnErrorRowShowsTheErrorAndWhereTheFetchEnded) {
  run::TWorkRecord record(QStringLiteral("http://moved.example/"), QStringLiteral("Error: HTTP/1.1 404 Not Found"),
                          run::kImageError);
  record.evidence = run::TEvidence(engine::TSiteEvidence(), u"http://moved.example/gone");
  const QString html = ui::TEvidenceDialog(record).BodyHtml();
  EXPECT_TRUE(html.contains(QStringLiteral("Error: HTTP/1.1 404 Not Found")));
  EXPECT_TRUE(html.contains(QStringLiteral("Ended at: http://moved.example/gone")));
  // Where the end is not known, only the error.
  record.evidence = run::TEvidence();
  EXPECT_FALSE(ui::TEvidenceDialog(record).BodyHtml().contains(QStringLiteral("Ended at")));
}

TEST(VersionsToolTip, OnlyForAFinishedRowWithVersions) {
  run::TWorkRecord record = FinishedRecord();
  EXPECT_EQ(ui::VersionsToolTip(record), QStringLiteral("Versions:\nWordPress 6.3.1"));
  record.FImageNo = run::kImageInWork;
  EXPECT_EQ(ui::VersionsToolTip(record), QString());
  record.FImageNo = run::kImageDone;
  record.evidence = run::TEvidence();
  EXPECT_EQ(ui::VersionsToolTip(record), QString());
}

class EvidenceInWindow : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    OpenForm();
  }
  QTableView* View() { return Child<QTableView>("ListView1"); }
  void Select(int row) {
    View()->selectionModel()->clearSelection();
    View()->selectionModel()->select(View()->model()->index(row, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
};

TEST_F(EvidenceInWindow, RowMenuOpensTheDialogForAFinishedRow) {
  form_->SetRowCount(0);
  form_->WorkList().clear();
  form_->WorkList().push_back(FinishedRecord());
  form_->WorkList().push_back(run::TMyRecord{QStringLiteral("http://waiting.example/"), QString(), run::kImageNone});
  form_->SetRowCount(2);

  // The Platforms cell of the finished row shows the versions as its tooltip.
  EXPECT_EQ(View()->model()->index(0, 1).data(Qt::ToolTipRole).toString(),
            QStringLiteral("Versions:\nWordPress 6.3.1"));
  EXPECT_FALSE(View()->model()->index(1, 1).data(Qt::ToolTipRole).isValid());

  // The row menu, opened on each row: the command joins it, enabled for the
  // finished row only, and leaves it again when the menu closes.
  auto* menu = Child<QMenu>("PopupMenu3");
  auto* command = Child<QAction>("ShowEvidence1");
  for (int row : {1, 0}) {
    Select(row);
    bool seen = false, enabled = false;
    QTimer::singleShot(50, menu, [&] {
      seen = menu->actions().contains(command);
      enabled = command->isEnabled();
      menu->close();
    });
    QTest::keyClick(View(), Qt::Key_Menu);
    EXPECT_TRUE(seen) << row;
    EXPECT_EQ(enabled, row == 0) << row;
    EXPECT_EQ(command->text(), QStringLiteral("Show Evidence..."));
    EXPECT_FALSE(menu->actions().contains(command));
  }

  // As chosen from the menu just opened on the finished row.
  QString shown;
  QTimer::singleShot(50, form_.get(), [&] {
    auto* dialog = qobject_cast<ui::TEvidenceDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    shown = dialog->findChild<QTextBrowser*>(QStringLiteral("EvidenceView"))->toPlainText();
    dialog->findChild<QPushButton*>(QStringLiteral("ButtonClose"))->click();
  });
  command->trigger();
  EXPECT_TRUE(shown.contains(QStringLiteral("Found by: plain entry 1"))) << shown.toStdString();
}

}  // namespace
