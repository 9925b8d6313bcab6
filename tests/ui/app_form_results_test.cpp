// Sorting the work list by a header click, and the row commands with the
// real clipboard.
#include <QAbstractItemModel>
#include <QAction>
#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTableView>
#include <gtest/gtest.h>

#include <vector>

#include "gui_test_base.h"
#include "ui/results_model.h"

namespace {

struct Rec {
  const char16_t* url;
  const char16_t* platform;
};

class ResultsTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    OpenForm();
  }
  // Fills the work list the way a run's intake and count do.
  void Fill(const std::vector<Rec>& records) {
    form_->SetRowCount(0);
    form_->WorkList().clear();
    for (const Rec& r : records) {
      form_->AddData(QString::fromUtf16(r.url), QString());
      form_->WorkList().back().FPlatform = QString::fromUtf16(r.platform);
      form_->WorkList().back().FImageNo = 54;
    }
    form_->SetRowCount(static_cast<qint64>(records.size()));
  }
  QTableView* View() { return Child<QTableView>("ListView1"); }
  void ClickHeader(int column) {
    QHeaderView* header = View()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
  }
  QStringList Column(int column) {
    QStringList texts;
    for (int row = 0; row < View()->model()->rowCount(); ++row)
      texts << View()->model()->index(row, column).data().toString();
    return texts;
  }
  void Select(const std::vector<int>& rows) {
    QItemSelectionModel* selection = View()->selectionModel();
    selection->clearSelection();
    for (int row : rows)
      selection->select(View()->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  void Trigger(const char* name) { Child<QAction>(name)->trigger(); }
};

TEST_F(ResultsTest, HeaderClicksFlipAndSwitchTheSharedSortState) {
  Fill({{u"http://b", u"Joomla"}, {u"http://c", u"Drupal"}, {u"http://a", u"WordPress"}});
  struct Step {
    int click;
    int column;
    bool descending;
    QStringList urls;
  } steps[] = {
      {0, 0, false, {"http://a", "http://b", "http://c"}},
      {0, 0, true, {"http://c", "http://b", "http://a"}},
      {1, 1, false, {"http://c", "http://b", "http://a"}},
      {1, 1, true, {"http://a", "http://b", "http://c"}},
      {0, 0, false, {"http://a", "http://b", "http://c"}},
  };
  for (const Step& step : steps) {
    ClickHeader(step.click);
    EXPECT_EQ(form_->SortColumn(), step.column);
    EXPECT_EQ(form_->SortDescending(), step.descending);
    EXPECT_EQ(Column(0), step.urls);
  }
  // Whole records move: each URL keeps its platforms text and picture.
  EXPECT_EQ(Column(1), (QStringList{"WordPress", "Joomla", "Drupal"}));
}

TEST_F(ResultsTest, OrdinalComparisonEdgeCases) {
  Fill({{u"http://a", u"b-platform"},
        {u"http://b", u""},
        {u"http://c", u"Error: Host not found."},
        {u"http://d", u"Drupal"},
        {u"http://e", u"Facebook"},
        {u"http://f", u"\U00010000"},
        {u"http://g", u"\uFF61"},
        {u"http://h", u"Drupal 7"}});
  ClickHeader(1);
  // Empty first; capitals before small letters; "Error: " among names by
  // its first letter; a prefix before the longer text; code units, not code
  // points (U+10000 is D800 DC00, below U+FF61).
  EXPECT_EQ(Column(1), (QStringList{"", "Drupal", "Drupal 7", "Error: Host not found.", "Facebook", "b-platform",
                                    QString::fromUtf16(u"\U00010000"), QString::fromUtf16(u"\uFF61")}));
  ClickHeader(1);
  EXPECT_EQ(Column(1).last(), QString()) << "descending puts empty texts last";
  EXPECT_EQ(Column(1).first(), QString::fromUtf16(u"\uFF61"));
}

TEST_F(ResultsTest, AClickOnAnEmptyListOnlyUpdatesTheState) {
  ClickHeader(1);
  EXPECT_EQ(form_->SortColumn(), 1);
  EXPECT_FALSE(form_->SortDescending());
  ClickHeader(1);
  EXPECT_TRUE(form_->SortDescending());
}

TEST_F(ResultsTest, RowCommandsActOnTheLowestSelectedRowWithTheRealClipboard) {
  Fill({{u"http://r0", u"P0"}, {u"http://r1", u"P1"}, {u"http://r2", u""}, {u"http://r3", u"P3"},
        {u"http://r4", u"P4"}, {u"http://r5", u"P5"}, {u"http://r6", u"P6"}, {u"http://r7", u"P7"},
        {u"http://r8", u"P8"}, {u"http://r9", u"P9"}});
  QClipboard* clipboard = QGuiApplication::clipboard();

  // Nothing selected: the clipboard keeps its text and nothing opens.
  clipboard->setText(QStringLiteral("untouched"));
  Select({});
  Trigger("CopyURL1");
  Trigger("CopyPlatform1");
  Trigger("GotoURL1");
  EXPECT_EQ(clipboard->text(), QStringLiteral("untouched"));
  EXPECT_TRUE(opened_.isEmpty());

  Select({9, 3, 7});
  Trigger("CopyURL1");
  EXPECT_EQ(clipboard->text(), QStringLiteral("http://r3"));
  Trigger("CopyPlatform1");
  EXPECT_EQ(clipboard->text(), QStringLiteral("P3"));
  Trigger("GotoURL1");
  ASSERT_EQ(opened_.size(), 1);
  EXPECT_EQ(opened_[0], QUrl(QStringLiteral("http://r3")));

  Select({2});
  Trigger("CopyPlatform1");
  EXPECT_EQ(clipboard->text(), QString()) << "an unprocessed record copies an empty text";

  // After a sort the first row is the record the sort put first.
  ClickHeader(0);
  ClickHeader(0);
  Select({0});
  Trigger("CopyURL1");
  EXPECT_EQ(clipboard->text(), QStringLiteral("http://r9"));
}

// The selection belongs to the sites: after a sort the same records are
// selected (the current one in view), and the header shows the sort.
TEST_F(ResultsTest, ASortKeepsTheSelectedSitesSelectedAndShowsItInTheHeader) {
  std::vector<Rec> records;
  std::vector<QString> urls;
  for (int i = 0; i < 300; ++i) urls.push_back(QStringLiteral("http://s%1.example").arg(299 - i, 3, 10, QLatin1Char('0')));
  for (const QString& url : urls) records.push_back({reinterpret_cast<const char16_t*>(url.utf16()), u"P"});
  Fill(records);
  QHeaderView* header = View()->horizontalHeader();
  EXPECT_FALSE(header->isSortIndicatorShown()) << "nothing sorted yet";

  // Rows 2 and 3 (s297, s296) and row 250 (s049), the current one.
  Select({2, 3, 250});
  View()->selectionModel()->setCurrentIndex(View()->model()->index(250, 0), QItemSelectionModel::NoUpdate);
  ClickHeader(0);
  auto selectedUrls = [this] {
    QStringList selected;
    for (const QModelIndex& row : View()->selectionModel()->selectedRows()) selected << row.data().toString();
    selected.sort();
    return selected;
  };
  EXPECT_EQ(selectedUrls(), (QStringList{"http://s049.example", "http://s296.example", "http://s297.example"}));
  EXPECT_EQ(View()->currentIndex().data().toString(), QStringLiteral("http://s049.example"));
  EXPECT_EQ(View()->currentIndex().row(), 49);
  EXPECT_TRUE(View()->viewport()->rect().intersects(View()->visualRect(View()->currentIndex())))
      << "the current site is scrolled into view";
  EXPECT_TRUE(header->isSortIndicatorShown());
  EXPECT_EQ(header->sortIndicatorSection(), 0);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

  // The row commands act on the selected site, not on the old row number.
  Trigger("CopyURL1");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("http://s049.example"));

  ClickHeader(0);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  EXPECT_EQ(selectedUrls(), (QStringList{"http://s049.example", "http://s296.example", "http://s297.example"}));
  ClickHeader(1);
  EXPECT_EQ(header->sortIndicatorSection(), 1);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
  EXPECT_EQ(selectedUrls().size(), 3);

  // A filtered list (the summary's click): rows stand for other records,
  // and the selected ones still follow the sort.
  auto* model = qobject_cast<ui::TResultsModel*>(View()->model());
  ASSERT_NE(model, nullptr);
  model->SetFilter([](const run::TWorkRecord& r) { return r.FURL.endsWith(QLatin1String("0.example")); });
  ASSERT_EQ(model->rowCount(), 30);
  Select({1, 4});
  View()->selectionModel()->setCurrentIndex(model->index(4, 0), QItemSelectionModel::NoUpdate);
  const QStringList before = selectedUrls();
  const QString current = View()->currentIndex().data().toString();
  ClickHeader(0);
  ClickHeader(0);
  EXPECT_EQ(selectedUrls(), before);
  EXPECT_EQ(View()->currentIndex().data().toString(), current);
  model->ClearFilter();

  // A click during a run sorts nothing, and the header keeps showing the
  // sort that is in force.
  Child<QAbstractButton>("ButtonStart")->setText(QStringLiteral("STOP"));
  ClickHeader(1);
  EXPECT_EQ(header->sortIndicatorSection(), 0);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  Child<QAbstractButton>("ButtonStart")->setText(QStringLiteral("Start"));
}

TEST_F(ResultsTest, ExportIsEnabledOnlyWithRecordsAndXlsxHasItsOwnItem) {
  auto* exportButton = Child<QAbstractButton>("ButtonExport");
  EXPECT_FALSE(exportButton->isEnabled()) << "nothing to export";
  Fill({{u"http://a", u"One, Two"}});
  EXPECT_TRUE(exportButton->isEnabled());

  QStringList texts;
  for (QAction* action : Child<QMenu>("PopupMenu1")->actions()) texts << action->text();
  EXPECT_EQ(texts, (QStringList{"Export to TXT...", "Export to CSV...", "Export to XLS...", "Export to XLSX..."}));
  const QString name = DataFile(QStringLiteral("book"));
  ui::TFileDialogSeam::SetNextFileName(name);
  Trigger("XLSX1");
  const auto calls = ui::TFileDialogSeam::TakeCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].defaultSuffix, QStringLiteral("xlsx"));
  EXPECT_EQ(calls[0].nameFilters, (QStringList{"XLSX File (*.xlsx)", "Any File (*.*)"}));
  QFile book(name + QStringLiteral(".xlsx"));
  ASSERT_TRUE(book.open(QIODevice::ReadOnly));
  EXPECT_EQ(book.read(2), QByteArray("PK")) << "an Office Open XML workbook (a zip)";

  Fill({});
  EXPECT_FALSE(exportButton->isEnabled());
}

TEST(GotoUrl, OnlyWebAddressesGoToTheBrowser) {
  const struct {
    const char* record;
    const char* opened;
  } cases[] = {
      {"http://a.example/x?y=1", "http://a.example/x?y=1"},
      {"https://b.example", "https://b.example"},
      {"httpbin.example/get", "http://httpbin.example/get"},  // a host beginning with "http": no scheme at intake
      {"httpx:payload", ""},
      {"http-helper:run", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ui::TAppForm::BrowserAddress(QString::fromLatin1(c.record)).toString(), QString::fromLatin1(c.opened))
        << c.record;
}

TEST_F(ResultsTest, PopupMenuHoldsTheRowCommandsInOrder) {
  auto* menu = Child<QMenu>("PopupMenu3");
  QStringList texts;
  for (QAction* action : menu->actions()) texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
  EXPECT_EQ(texts, (QStringList{"Copy URL", "Go to URL", "-", "Copy Platforms"}));
}

TEST_F(ResultsTest, ExportAfterSortingWritesTheSortedOrder) {
  Fill({{u"http://b", u"Two"}, {u"http://a", u"One"}});
  ClickHeader(0);
  const QString name = DataFile(QStringLiteral("out"));
  ui::TFileDialogSeam::SetNextFileName(name);
  Trigger("XT1");
  const auto calls = ui::TFileDialogSeam::TakeCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].defaultSuffix, QStringLiteral("txt"));
  EXPECT_EQ(calls[0].nameFilters, (QStringList{"Text File (*.txt)", "Any File (*.*)"}));
  QFile file(name + QStringLiteral(".txt"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("\xEF\xBB\xBFhttp://a,One\r\nhttp://b,Two\r\n"));

  // The one save dialog offers the last chosen name to the next export,
  // with the extension of the format chosen now.
  ui::TFileDialogSeam::SetNextCancel();
  Trigger("CSV1");
  const auto next = ui::TFileDialogSeam::TakeCalls();
  ASSERT_EQ(next.size(), 1u);
  EXPECT_EQ(next[0].offeredName, QStringLiteral("out.csv"));
  EXPECT_EQ(next[0].defaultSuffix, QStringLiteral("csv"));
  EXPECT_FALSE(QFile::exists(name + QStringLiteral(".csv")));
  ui::TFileDialogSeam::SetNextCancel();
  Trigger("XLS1");
  EXPECT_EQ(ui::TFileDialogSeam::TakeCalls().at(0).offeredName, QStringLiteral("out.xls"));
  ui::TFileDialogSeam::SetNextCancel();
  Trigger("XT1");
  EXPECT_EQ(ui::TFileDialogSeam::TakeCalls().at(0).offeredName, QStringLiteral("out.txt"));
}

TEST(NameForFormat, KeepsAListedExtensionAndReplacesAnyOther) {
  const QString txt = QStringLiteral("Text File|*.txt|Any File|*.*");
  const QString xls = QStringLiteral("XLS File|*.xls|XLSX File|*.xlsx");
  const struct {
    const char* name;
    const char* suffix;
    const QString& filters;
    const char* offered;
  } cases[] = {
      {"/d/out.txt", "csv", QStringLiteral("CSV File|*.csv|Any File|*.*"), "/d/out.csv"},
      {"/d/out.xlsx", "xls", xls, "/d/out.xlsx"},  // the second format of the same box
      {"/d/out.XLS", "xls", xls, "/d/out.XLS"},
      {"/d/out.csv", "txt", txt, "/d/out.txt"},
      {"/d/my.results.csv", "txt", txt, "/d/my.results.txt"},
      {"/d/out", "txt", txt, "/d/out.txt"},
      {"", "txt", txt, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ui::NameForFormat(QString::fromLatin1(c.name), QString::fromLatin1(c.suffix), c.filters),
              QString::fromLatin1(c.offered))
        << c.name;
}

TEST_F(ResultsTest, AFailedSpreadsheetExportShowsTheWarningBox) {
  Fill({{u"http://a", u"One"}});
  ui::TFileDialogSeam::SetNextFileName(DataFile(QStringLiteral("no-such-folder/out.xlsx")));
  Trigger("XLS1");
  const auto shown = ui::TMessageBoxSeam::TakeShown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, QStringLiteral("WARNING"));
  EXPECT_EQ(shown[0].kind, QMessageBox::Warning);
  EXPECT_FALSE(shown[0].text.isEmpty());
}

}  // namespace
