// Not a check: pictures of the window for a person to look at. With
// LUMASIFT_SCREENSHOT_DIR set (run under a real display, e.g. xvfb-run with
// QT_QPA_PLATFORM=xcb), saves the window before and after a finished run
// against a loopback site as before-run.png and finished-run.png there,
// the multi-threading dialog as multi-threading.png, and the whole screen
// with the about box open over the window as about-box.png; and the whole
// screen with the evidence dialog of a finished row as evidence-dialog.png.
#include <QAction>
#include <QMenu>
#include <QDir>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTableView>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "dialog_test_support.h"
#include "gui_test_base.h"
#include "support/platform_site.h"
#include "support/run_site.h"
#include "ui/summary_panel.h"
#include "ui/about_box.h"
#include "ui/form_multi_thread.h"

namespace {

using testsupport::RunSite;
using testsupport::SiteReply;
using testsupport::SiteRequest;

SiteReply Answer(const SiteRequest& request) {
  static const std::map<std::string, std::string> platforms = {
      {"/news", "WordPress"}, {"/shop", "PrestaShop"}, {"/forum", "phpBB"}, {"/wiki", "MediaWiki"},
      {"/blog", "Ghost"},     {"/store", "Magento"},   {"/docs", ""},       {"/board", "vBulletin"}};
  SiteReply reply;
  const auto it = platforms.find(request.path);
  if (it == platforms.end()) {
    reply.status = 404;
    reply.reason = "Not Found";
    return reply;
  }
  if (!it->second.empty()) reply.headers.push_back({"X-Powered-By", it->second});
  reply.body = "<html><body>page</body></html>";
  reply.delayMs = 20;
  return reply;
}

class ScreenshotTest : public GuiTest {
 protected:
  void UseLanguageAndPalette() {
    // LUMASIFT_SCREENSHOT_LANGUAGE=German pictures the German window;
    // LUMASIFT_SCREENSHOT_PALETTE=dark the Fusion style with a dark palette.
    const QString language = qEnvironmentVariable("LUMASIFT_SCREENSHOT_LANGUAGE");
    if (!language.isEmpty()) {
      dialogtest::CopyShippedLanguages(folder_.path());
      WriteData(QStringLiteral("settings.ini"), "[Settings]\r\nLanguage=" + language.toUtf8() + ".lang.txt\r\n\r\n");
    }
    if (qEnvironmentVariable("LUMASIFT_SCREENSHOT_PALETTE") == QLatin1String("dark")) {
      QApplication::setStyle(QStringLiteral("Fusion"));
      QPalette dark;
      dark.setColor(QPalette::Window, QColor(45, 45, 48));
      dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
      dark.setColor(QPalette::Base, QColor(30, 30, 30));
      dark.setColor(QPalette::AlternateBase, QColor(45, 45, 48));
      dark.setColor(QPalette::Text, QColor(230, 230, 230));
      dark.setColor(QPalette::Button, QColor(55, 55, 58));
      dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
      dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
      dark.setColor(QPalette::HighlightedText, Qt::white);
      dark.setColor(QPalette::ToolTipBase, QColor(55, 55, 58));
      dark.setColor(QPalette::ToolTipText, QColor(230, 230, 230));
      dark.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
      dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(130, 130, 130));
      dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(130, 130, 130));
      dark.setColor(QPalette::Disabled, QPalette::Text, QColor(130, 130, 130));
      QApplication::setPalette(dark);
    }
  }
};

TEST_F(ScreenshotTest, WindowBeforeAndAfterARun) {
  const QString folder = qEnvironmentVariable("LUMASIFT_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "LUMASIFT_SCREENSHOT_DIR not set";
  UseLanguageAndPalette();
  RunSite site(Answer);
  OpenForm();
  QStringList lines;
  for (const char* path : {"/news", "/shop", "/forum", "/wiki", "/missing", "/blog", "/store", "/docs", "/board"})
    lines << QString::fromStdString(site.Url(path));
  Editor()->setText(lines.join(QStringLiteral("\r\n")));
  QTest::qWait(200);
  form_->grab().save(QDir(folder).filePath(QStringLiteral("before-run.png")));
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForIdle());
  Child<QTableView>("ListView1")->selectRow(1);
  // Sorted by URL, as a header click does: the indicator shows it.
  form_->ListView1ColumnClick(0);
  QTest::qWait(200);
  form_->grab().save(QDir(folder).filePath(QStringLiteral("finished-run.png")));

  ui::TFormMultiThread dialog(form_->DefaultPoolLimits(), form_->Settings(),
                              form_->findChild<QAction*>(QStringLiteral("MultiThreaded1")), form_.get());
  dialog.show();
  QTest::qWait(100);
  dialog.grab().save(QDir(folder).filePath(QStringLiteral("multi-threading.png")));
  dialog.close();

  // Opened from the menu as a person would, pictured a second later (the
  // animation has filled part of it), then closed.
  QTimer::singleShot(1000, form_.get(), [folder] {
    QWidget* box = QApplication::activeModalWidget();
    if (!qobject_cast<ui::TAboutBox*>(box)) return;
    if (QScreen* screen = box->screen())
      screen->grabWindow(0).save(QDir(folder).filePath(QStringLiteral("about-box.png")));
    box->close();
  });
  Child<QAction>("About1")->trigger();
}

// A blog page with a generator, a theme file and a Server header.
SiteReply BlogAnswer(const SiteRequest& request) {
  SiteReply reply;
  reply.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
  reply.headers.push_back({"Server", "nginx/1.24.0"});
  reply.headers.push_back({"X-Powered-By", "PHP/8.2.12"});
  reply.body = request.path == "/blog"
                   ? "<!DOCTYPE html>\n<html lang=\"en\"><head>\n<meta name=\"generator\" content=\"WordPress 6.4.2\" />\n"
                     "<link rel=\"stylesheet\" href=\"https://blog.example/wp-content/themes/twentytwentyfour/style.css\">\n"
                     "</head><body><p>Hello</p></body></html>\n"
                   : "<html><body>page</body></html>";
  return reply;
}

TEST_F(ScreenshotTest, EvidenceDialogOfAFinishedRow) {
  const QString folder = qEnvironmentVariable("LUMASIFT_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "LUMASIFT_SCREENSHOT_DIR not set";
  UseLanguageAndPalette();
  RunSite site(BlogAnswer);
  OpenForm();
  Editor()->setText(QString::fromStdString(site.Url("/blog")) + QStringLiteral("\r\n") +
                    QString::fromStdString(site.Url("/about")));
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForIdle());
  auto* view = Child<QTableView>("ListView1");
  view->selectRow(0);
  // The row menu opened on the finished row enables the command; then it is
  // chosen, and the screen pictured with the dialog open.
  auto* menu = Child<QMenu>("PopupMenu3");
  QTimer::singleShot(100, menu, [menu] { menu->close(); });
  QTest::keyClick(view, Qt::Key_Menu);
  QWidget* window = form_.get();
  QTimer::singleShot(700, window, [folder, window] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr) return;
    // The window with the dialog over it, frames included.
    const QRect area = window->frameGeometry().united(dialog->frameGeometry()).adjusted(-4, -4, 4, 4);
    if (QScreen* screen = dialog->screen()) {
      screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
          .save(QDir(folder).filePath(QStringLiteral("evidence-dialog.png")));
    }
    dialog->close();
  });
  Child<QAction>("ShowEvidence1")->trigger();
}

// View > Summary after a run of real platform pages, with the first bar
// clicked: summary.png (the window and its panel).
TEST_F(ScreenshotTest, SummaryPanelAfterARun) {
  const QString folder = qEnvironmentVariable("LUMASIFT_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "LUMASIFT_SCREENSHOT_DIR not set";
  UseLanguageAndPalette();
  RunSite site(testsupport::PlatformPage);
  OpenForm();
  form_->resize(1180, 700);
  QStringList lines;
  for (const char* path : {"/wp/6.4.2", "/wp/6.4.1", "/wp/6.3", "/wp/5.9", "/drupal", "/joomla", "/plain", "/gone",
                           "/wp/6.4.3", "/broken", "/joomla", "/plain", "/wp/6.2"})
    lines << QString::fromStdString(site.Url(path));
  Editor()->setText(lines.join(QStringLiteral("\r\n")));
  Child<QAction>("Summary1")->trigger();
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForIdle());
  form_->SummaryPanel()->Refresh();
  QTest::qWait(300);
  form_->SummaryPanel()->ClickBar(0);
  QTest::qWait(300);
  form_->grab().save(QDir(folder).filePath(QStringLiteral("summary.png")));
}

}  // namespace
