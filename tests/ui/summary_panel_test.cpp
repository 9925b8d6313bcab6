// View > Summary in the real window, over a loopback run of real platform
// pages and failing sites: live counts, the chart and the table, the filter
// a click sets on the results, the XLSX export's sheet, language, palette,
// saving and copying the chart.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QAbstractBarSeries>
#include <QBarSet>
#include <QChartView>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "export/export_writer.h"
#include "dialog_test_support.h"
#include "gui_test_base.h"
#include "i18n/language.h"
#include "support/platform_site.h"
#include "support/workbook_reader.h"
#include "ui/summary_panel.h"

namespace {

using testsupport::RunSite;

class SummaryPanelTest : public GuiTest {
 protected:
  QString Url(const std::string& path) const { return QString::fromStdString(site_.Url(path)); }
  ui::TSummaryPanel& Panel() { return *form_->SummaryPanel(); }
  QAbstractItemModel* Results() { return Child<QTableView>("ListView1")->model(); }
  QStringList ResultUrls() {
    QStringList urls;
    for (int r = 0; r < Results()->rowCount(); ++r) urls << Results()->index(r, 0).data().toString();
    return urls;
  }
  QTreeWidget* Table() { return Panel().findChild<QTreeWidget*>(QStringLiteral("SummaryTable")); }
  QString Counts() { return Panel().findChild<QLabel*>(QStringLiteral("SummaryCounts"))->text(); }
  QTreeWidgetItem* Row(const QString& name) {
    const auto found = Table()->findItems(name, Qt::MatchExactly | Qt::MatchRecursive, 0);
    return found.isEmpty() ? nullptr : found.first();
  }
  // The lengths of the chart's bars from the top.
  QList<qreal> BarValues() {
    QList<qreal> values;
    const auto* view = Panel().findChild<QChartView*>(QStringLiteral("SummaryChart"));
    for (QAbstractSeries* series : view->chart()->series())
      if (auto* bars = qobject_cast<QAbstractBarSeries*>(series))
        for (int i = bars->barSets().value(0)->count() - 1; i >= 0; --i) values << bars->barSets().value(0)->at(i);
    return values;
  }
  // Runs the list and waits for its end.
  void Run(const QStringList& paths) {
    QStringList lines;
    for (const QString& path : paths) lines << Url(path.toStdString());
    Editor()->setText(lines.join(u'\n'));
    QTest::mouseClick(StartButton(), Qt::LeftButton);
  }

  RunSite site_{testsupport::PlatformPage};
};

TEST_F(SummaryPanelTest, CountsLiveDuringTheRunAndShowsTheWholeRunAfterIt) {
  OpenForm();
  // View > Summary (F9) shows the panel.
  QMenu* view = form_->menuBar()->findChild<QMenu*>(QStringLiteral("View1"));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->title(), QStringLiteral("&View"));
  EXPECT_FALSE(Panel().isVisible());
  QTest::keyClick(form_.get(), Qt::Key_F9);
  ASSERT_TRUE(Panel().isVisible());

  Run({"/wp/6.4.2", "/wp/6.4.1", "/drupal", "/joomla", "/plain", "/gone", "/gone", "/broken", "/hold/wp/5.9"});
  // While the last site is held, the others are counted and it is not done.
  ASSERT_TRUE(WaitFor([&] { return Panel().Summary().Urls() == 8; }));
  ASSERT_TRUE(WaitFor([&] { return Counts().endsWith(QStringLiteral("3 failed, 1 not done")); })) << Counts().toStdString();
  EXPECT_EQ(Counts(), QStringLiteral("9 URLs: 5 answered (4 with a platform, 1 without), 3 failed, 1 not done"));
  Panel().Refresh();
  EXPECT_EQ(BarValues(), QList<qreal>({2, 2, 1, 1, 1, 1}));
  site_.Release();
  ASSERT_TRUE(WaitForIdle());
  Panel().Refresh();
  EXPECT_EQ(Counts(), QStringLiteral("9 URLs: 6 answered (5 with a platform, 1 without), 3 failed, 0 not done"));

  EXPECT_EQ(Panel().BarLabels(), QStringList({"WordPress", "nginx", "Apache", "Drupal", "Joomla", "PHP"}));
  // The bars were drawn while the last site was held (same bars, shorter):
  // their lengths follow the counts.
  EXPECT_EQ(BarValues(), QList<qreal>({3, 3, 1, 1, 1, 1}));
  QTreeWidgetItem* wordpress = Row(QStringLiteral("WordPress"));
  ASSERT_NE(wordpress, nullptr);
  EXPECT_EQ(wordpress->text(1), QStringLiteral("3"));
  EXPECT_EQ(wordpress->text(2), QStringLiteral("50.0 %"));
  QStringList versions;
  for (int c = 0; c < wordpress->childCount(); ++c) versions << wordpress->child(c)->text(0) + u'=' + wordpress->child(c)->text(1);
  EXPECT_EQ(versions, QStringList({"6.4=2", "5.9=1"}));
  QTreeWidgetItem* failed = Row(QStringLiteral("Failed"));
  ASSERT_NE(failed, nullptr);
  EXPECT_EQ(failed->text(1), QStringLiteral("3"));
  ASSERT_EQ(failed->childCount(), 2);
  EXPECT_EQ(failed->child(0)->text(0), QStringLiteral("HTTP/1.1 404 Not Found"));
  EXPECT_EQ(Row(QStringLiteral("No platform"))->text(1), QStringLiteral("1"));

  // The window's XLSX export carries the same summary on its second sheet.
  const QString workbook = folder_.filePath(QStringLiteral("run.xlsx"));
  ui::TFileDialogSeam::SetNextFileName(workbook);
  form_->XLS1Click();
  const QJsonObject sheet = export_test::ReadSummarySheet(workbook);
  const QJsonArray rows = sheet.value("rows").toArray();
  EXPECT_EQ(rows.at(0).toArray().at(1), QJsonValue(9));
  EXPECT_EQ(rows.at(8).toArray().at(0), QJsonValue("WordPress"));
  EXPECT_EQ(rows.at(8).toArray().at(1), QJsonValue(3));
  EXPECT_EQ(sheet.value("charts").toArray().size(), 1);

  // A new run starts from nothing.
  Run({"/joomla"});
  ASSERT_TRUE(WaitForIdle());
  Panel().Refresh();
  EXPECT_EQ(Panel().BarLabels(), QStringList({"Joomla"}));
}

TEST_F(SummaryPanelTest, ABarOrARowFiltersTheResultsUntilCleared) {
  OpenForm();
  QTest::keyClick(form_.get(), Qt::Key_F9);
  QAbstractItemModelTester tester(Results(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  Run({"/wp/6.4.2", "/plain", "/drupal", "/gone", "/wp/5.9", "/broken", "/hold/wp/6.4.1"});
  ASSERT_TRUE(WaitFor([&] { return Panel().Summary().Urls() == 6; }));
  Panel().Refresh();

  // A click on the first bar, during the run: the WordPress sites so far...
  ASSERT_EQ(Panel().BarLabels().value(0), QStringLiteral("WordPress"));
  EXPECT_EQ(Panel().MarkedBar(), -1);
  Panel().ClickBar(0);
  EXPECT_EQ(ResultUrls(), QStringList({Url("/wp/6.4.2"), Url("/wp/5.9")}));
  EXPECT_EQ(Panel().MarkedBar(), 0);
  // ...and one more as its job ends, at its place in the list.
  site_.Release();
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(ResultUrls(), QStringList({Url("/wp/6.4.2"), Url("/wp/5.9"), Url("/hold/wp/6.4.1")}));

  // The row commands act on the record a filtered row shows.
  QTableView* list = Child<QTableView>("ListView1");
  list->setCurrentIndex(Results()->index(1, 0));
  list->selectRow(1);
  QApplication::clipboard()->clear();
  form_->CopyURL1Click();
  EXPECT_EQ(QApplication::clipboard()->text(), Url("/wp/5.9"));

  // A version row, chosen from the keyboard.
  QTreeWidgetItem* wordpress = Row(QStringLiteral("WordPress"));
  ASSERT_NE(wordpress, nullptr);
  Table()->expandItem(wordpress);
  Table()->setFocus();
  Table()->setCurrentItem(wordpress->child(0));  // 6.4
  QTest::keyClick(Table(), Qt::Key_Return);
  EXPECT_EQ(ResultUrls(), QStringList({Url("/wp/6.4.2"), Url("/hold/wp/6.4.1")}));
  EXPECT_EQ(Panel().MarkedBar(), 0);  // a version marks its platform's bar
  // An error text, then the failed sites as a whole, then no platform.
  QTreeWidgetItem* failed = Row(QStringLiteral("Failed"));
  ASSERT_NE(failed, nullptr);
  Table()->expandItem(failed);
  Table()->scrollToItem(failed->child(0));
  QTest::qWait(1);  // the items are laid out
  QTest::mouseClick(Table()->viewport(), Qt::LeftButton, {}, Table()->visualItemRect(failed->child(0)).center());
  EXPECT_EQ(ResultUrls(), QStringList({Url("/gone")}));
  QTest::mouseClick(Table()->viewport(), Qt::LeftButton, {}, Table()->visualItemRect(failed).center());
  EXPECT_EQ(ResultUrls(), QStringList({Url("/gone"), Url("/broken")}));
  QTest::mouseClick(Table()->viewport(), Qt::LeftButton, {}, Table()->visualItemRect(Row("No platform")).center());
  EXPECT_EQ(ResultUrls(), QStringList({Url("/plain")}));
  EXPECT_EQ(Panel().MarkedBar(), -1);

  // Sorting keeps the filter; Clear Filter shows every row.
  Panel().ClickBar(0);
  form_->ListView1ColumnClick(0);
  form_->ListView1ColumnClick(0);  // descending
  EXPECT_EQ(ResultUrls(), QStringList({Url("/wp/6.4.2"), Url("/wp/5.9"), Url("/hold/wp/6.4.1")}));
  auto* clear = Panel().findChild<QPushButton*>(QStringLiteral("SummaryClearFilter"));
  ASSERT_TRUE(clear->isEnabled());
  QTest::mouseClick(clear, Qt::LeftButton);
  EXPECT_EQ(Results()->rowCount(), 7);
  EXPECT_FALSE(clear->isEnabled());
  EXPECT_FALSE(Panel().Filter().has_value());

  // Start clears the filter with the old rows.
  Panel().ClickBar(0);
  Run({"/drupal"});
  EXPECT_FALSE(Panel().Filter().has_value());
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(ResultUrls(), QStringList({Url("/drupal")}));
}

TEST_F(SummaryPanelTest, ChartFollowsPaletteAndLanguageAndIsSavedAndCopied) {
  OpenForm();
  form_->SummaryPanel()->show();
  Run({"/wp/6.4.2", "/drupal", "/gone"});
  ASSERT_TRUE(WaitForIdle());
  Panel().Refresh();

  const QString png = folder_.filePath(QStringLiteral("chart.png")), svg = folder_.filePath(QStringLiteral("chart.svg"));
  ASSERT_TRUE(Panel().SaveChart(png));
  const QImage image(png);
  EXPECT_FALSE(image.isNull());
  EXPECT_GT(image.width(), 100);
  ui::TFileDialogSeam::SetNextFileName(svg);
  QTest::mouseClick(Panel().findChild<QPushButton*>(QStringLiteral("SummarySaveChart")), Qt::LeftButton);
  QFile svgFile(svg);
  ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
  const QByteArray svgText = svgFile.readAll();
  EXPECT_TRUE(svgText.contains("<svg")) << svgText.left(200).toStdString();
  EXPECT_TRUE(svgText.contains("WordPress")) << svgText.mid(svgText.indexOf("<text"), 600).toStdString();

  QApplication::clipboard()->clear();
  QTest::mouseClick(Panel().findChild<QPushButton*>(QStringLiteral("SummaryCopy")), Qt::LeftButton);
  const QMimeData* copied = QApplication::clipboard()->mimeData();
  ASSERT_NE(copied, nullptr);
  EXPECT_TRUE(copied->hasImage());
  EXPECT_TRUE(copied->text().contains(QStringLiteral("WordPress\t1\t50.0 %"))) << copied->text().toStdString();

  // A dark palette: the chart's background follows.
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(30, 30, 30));
  dark.setColor(QPalette::Base, QColor(20, 20, 20));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  Panel().setPalette(dark);
  const QImage darkChart = [&] {
    EXPECT_TRUE(Panel().SaveChart(png));
    return QImage(png);
  }();
  EXPECT_LT(QColor(darkChart.pixel(3, 3)).lightness(), 60);
}

// Opened docked the first time, the panel makes the window wider rather
// than taking the results' room, and never pushes it past the screen's edge.
TEST_F(SummaryPanelTest, WindowGrowsForThePanelWithinTheScreen) {
  OpenForm();
  const QRect room = form_->screen()->availableGeometry();
  form_->resize(room.width() * 2 / 3, room.height() * 2 / 3);
  form_->move(room.right() - form_->frameGeometry().width() - 10, room.top());
  QCoreApplication::processEvents();
  const int before = form_->width();
  QTest::keyClick(form_.get(), Qt::Key_F9);
  ASSERT_TRUE(Panel().isVisible());
  QCoreApplication::processEvents();
  EXPECT_GT(form_->width(), before);
  EXPECT_LE(form_->frameGeometry().right(), room.right());
  EXPECT_GE(form_->frameGeometry().left(), room.left());
}

TEST_F(SummaryPanelTest, TextsFollowTheChosenLanguage) {
  dialogtest::CopyShippedLanguages(folder_.path());
  WriteData(QStringLiteral("settings.ini"), "[Settings]\r\nLanguage=German.lang.txt\r\n\r\n");
  OpenForm();
  QMenu* view = form_->menuBar()->findChild<QMenu*>(QStringLiteral("View1"));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->title(), i18n::Translate(QStringLiteral("&View")));
  EXPECT_NE(view->title(), QStringLiteral("&View"));
  EXPECT_EQ(Panel().windowTitle(), i18n::Translate(QStringLiteral("Summary")));
  EXPECT_EQ(Table()->headerItem()->text(0), i18n::Translate(QStringLiteral("Platform")));
  EXPECT_NE(Table()->headerItem()->text(0), QStringLiteral("Platform"));
}

}  // namespace
