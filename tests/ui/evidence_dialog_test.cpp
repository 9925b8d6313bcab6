// "Show Evidence...": the row menu command, the dialog's findings, versions,
// error rows, Copy with the real clipboard, and the versions tooltip.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QPalette>
#include <QRegularExpression>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTextBrowser>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <cmath>

#include "dialog_test_support.h"
#include "engine/evidence.h"
#include "gui_test_base.h"
#include "i18n/language.h"
#include "run/evidence_text.h"
#include "support/loopback_server.h"
#include "support/run_site.h"
#include "ui/evidence_dialog.h"
#include "ui/file_dialog.h"
#include "services/settings_store.h"
#include "ui/palette_colours.h"
#include "ui/proxy_form.h"
#include "ui/translate_form.h"

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

// A site for whole runs: /moved (any query) redirects to /gone (404), /chainN to
// /chainN+1 without end, /page is a page.
testsupport::SiteReply Redirecting(const testsupport::SiteRequest& request) {
  testsupport::SiteReply reply;
  if (request.path.starts_with("/moved") || request.path.starts_with("/chain")) {
    reply.status = 302;
    reply.reason = "Found";
    reply.headers.push_back(
        {"Location", request.path.starts_with("/moved") ? std::string("/gone")
                                              : "/chain" + std::to_string(std::stoi(request.path.substr(6)) + 1)});
  } else if (request.path == "/gone") {
    reply.status = 404;
    reply.reason = "Not Found";
  } else {
    reply.body = "<html>page</html>";
  }
  return reply;
}

// The dialog and its Copy tell the same about where the fetch ended, for
// each way a row can end: refused, redirected to an error, a redirect chain
// cut at its limit (a result, not an error), a page reached directly.
TEST_F(EvidenceInWindow, DialogAndCopyAgreeOnWhereTheFetchEnded) {
  testsupport::RunSite site(Redirecting);
  testsupport::RefusingPort refusing;
  const QString refused = QStringLiteral("http://127.0.0.1:%1/nope").arg(refusing.Port());
  const QString moved = QString::fromStdString(site.Url("/moved"));
  const QString chain = QString::fromStdString(site.Url("/chain0"));
  const QString page = QString::fromStdString(site.Url("/page"));
  Editor()->setText(QStringList{refused, moved, chain, page}.join(QStringLiteral("\r\n")));
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForIdle());
  ASSERT_EQ(form_->WorkList().size(), 4u);
  const struct {
    QString url;
    QString endedAt;  // empty: no "Ended at"
  } cases[] = {
      {refused, QString()},
      {moved, QString::fromStdString(site.Url("/gone"))},
      {chain, QString::fromStdString(site.Url("/chain9"))},  // the tenth redirect is the answer
      {page, QString()},
  };
  for (const auto& c : cases) {
    const auto row = std::find_if(form_->WorkList().begin(), form_->WorkList().end(),
                                  [&](const run::TWorkRecord& r) { return r.FURL == c.url; });
    ASSERT_NE(row, form_->WorkList().end()) << c.url.toStdString();
    ui::TEvidenceDialog dialog(*row);
    const QString html = dialog.BodyHtml(), copy = dialog.CopyText();
    const bool told = c.endedAt != c.url && !c.endedAt.isEmpty();
    EXPECT_EQ(html.contains(QStringLiteral("Ended at:")), told) << c.url.toStdString() << "\n" << html.toStdString();
    EXPECT_EQ(copy.contains(QStringLiteral("Ended at:")), told) << c.url.toStdString() << "\n" << copy.toStdString();
    if (told) {
      EXPECT_TRUE(html.contains(QStringLiteral("Ended at: ") + c.endedAt)) << html.toStdString();
      EXPECT_TRUE(copy.contains(QStringLiteral("  Ended at: ") + c.endedAt + u'\n') ||
                  copy.endsWith(QStringLiteral("  Ended at: ") + c.endedAt))
          << copy.toStdString();
    }
  }
}

// International addresses read as they were written wherever the window
// shows one: the row, the dialog and its Copy ("Ended at" after a redirect
// to another path), and the exports. (*.localhost names are loopback
// without asking a name server.)
TEST_F(EvidenceInWindow, UnicodeHostsAppearAsWritten) {
  testsupport::RunSite site(Redirecting);
  const QString port = QString::number(site.Port());
  const QString latin = QStringLiteral("http://b\u00FCcher.localhost:%1/moved").arg(port);
  const QString cyrillic = QStringLiteral("http://\u043A\u043D\u0438\u0433\u0438.localhost:%1/moved?q=\u00E9").arg(port);
  Editor()->setText(latin + QStringLiteral("\r\n") + cyrillic);
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForIdle());
  ASSERT_EQ(form_->WorkList().size(), 2u);
  const struct {
    QString url;
    QString endedAt;
  } cases[] = {
      {latin, QStringLiteral("http://b\u00FCcher.localhost:%1/gone").arg(port)},
      {cyrillic, QStringLiteral("http://\u043A\u043D\u0438\u0433\u0438.localhost:%1/gone").arg(port)},
  };
  for (int row = 0; row < 2; ++row) {
    const run::TWorkRecord& record = form_->WorkList()[static_cast<size_t>(row)];
    EXPECT_EQ(View()->model()->index(row, 0).data().toString(), cases[row].url);
    EXPECT_EQ(record.FPlatform.toStdString(), "Error: HTTP/1.1 404 Not Found");
    ui::TEvidenceDialog dialog(record);
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("EvidenceUrl"))->text(), cases[row].url);
    EXPECT_TRUE(dialog.BodyHtml().contains(QStringLiteral("Ended at: ") + cases[row].endedAt))
        << dialog.BodyHtml().toStdString();
    EXPECT_EQ(dialog.CopyText().toStdString(),
              (cases[row].url + QStringLiteral("\n  Error: HTTP/1.1 404 Not Found\n  Ended at: ") + cases[row].endedAt)
                  .toStdString());
  }
  const QString name = DataFile(QStringLiteral("out.txt"));
  ui::TFileDialogSeam::SetNextFileName(name);
  Child<QAction>("XT1")->trigger();
  QFile file(name);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("\xEF\xBB\xBF") + (latin + QStringLiteral(",Error: HTTP/1.1 404 Not Found\r\n") +
                                                          cyrillic + QStringLiteral(",Error: HTTP/1.1 404 Not Found\r\n"))
                                                             .toUtf8());
}

// The highlighted match stays readable under a light and a dark palette:
// both colours are set, at a contrast of 4.5:1 or more.
double Luminance(const QColor& c) {
  auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}
double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

std::pair<QPalette, QPalette> LightAndDarkPalettes() {
  QPalette light;
  light.setColor(QPalette::Window, QColor(239, 239, 239));
  light.setColor(QPalette::WindowText, Qt::black);
  light.setColor(QPalette::Base, Qt::white);
  light.setColor(QPalette::Text, Qt::black);
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(45, 45, 48));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  dark.setColor(QPalette::Base, QColor(30, 30, 30));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  return {light, dark};
}

TEST(EvidenceDialog, TheHighlightIsReadableInLightAndDarkPalettes) {
  const auto [light, dark] = LightAndDarkPalettes();
  const QPalette before = QApplication::palette();
  for (const QPalette& palette : {light, dark}) {
    QApplication::setPalette(palette);
    ui::TEvidenceDialog dialog(FinishedRecord());
    const QString html = dialog.BodyHtml();
    static const QRegularExpression style(QStringLiteral("<span style=\"([^\"]*)\">/wp-content/</span>"));
    const QRegularExpressionMatch span = style.match(html);
    ASSERT_TRUE(span.hasMatch()) << html.toStdString();
    static const QRegularExpression background(QStringLiteral("background-color:(#[0-9a-f]{6})"));
    static const QRegularExpression text(QStringLiteral("(?:^|;)color:(#[0-9a-f]{6})"));
    const auto back = background.match(span.captured(1)), fore = text.match(span.captured(1));
    ASSERT_TRUE(back.hasMatch() && fore.hasMatch()) << "both colours set: " << span.captured(1).toStdString();
    EXPECT_GE(Contrast(QColor(back.captured(1)), QColor(fore.captured(1))), 4.5) << span.captured(1).toStdString();
    // The marked text stands out from the page around it.
    EXPECT_NE(QColor(back.captured(1)), palette.color(QPalette::Base));
  }
  QApplication::setPalette(before);
}

// The other colours of our own: the proxy dialog's red message and the
// language dialog's link, against the window's background.
TEST(PaletteColours, MessagesAndLinksAreReadableInLightAndDarkPalettes) {
  const auto [light, dark] = LightAndDarkPalettes();
  for (const QPalette& palette : {light, dark}) {
    const QColor window = palette.color(QPalette::Window);
    EXPECT_GE(Contrast(ui::ProblemTextColour(palette), window), 4.5) << window.name().toStdString();
    EXPECT_GE(Contrast(ui::LinkTextColour(palette), window), 4.5) << window.name().toStdString();
    EXPECT_GT(ui::ProblemTextColour(palette).red(), ui::ProblemTextColour(palette).green()) << "still red";
    EXPECT_GT(ui::LinkTextColour(palette).blue(), ui::LinkTextColour(palette).red()) << "still blue";
  }
  const QPalette before = QApplication::palette();
  QApplication::setPalette(dark);
  {
    ui::TTranslateForm language{ui::TTranslateFormHost()};
    EXPECT_EQ(language.findChild<QLabel*>(QStringLiteral("Label3"))->palette().color(QPalette::WindowText),
              ui::LinkTextColour(dark));
    QTemporaryDir folder;
    services::TSettingsStore settings(folder.filePath(QStringLiteral("settings.ini")));
    ui::TProxyState state(settings);
    ui::TProxyForm proxy(state);
    EXPECT_EQ(proxy.findChild<QLabel*>(QStringLiteral("ProxyProblem"))->palette().color(QPalette::WindowText),
              ui::ProblemTextColour(dark));
  }
  QApplication::setPalette(before);
}

}  // namespace
