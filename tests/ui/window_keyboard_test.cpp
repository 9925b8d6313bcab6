// The main window without a mouse and for a screen reader, and the parts of
// it a new user trips over: the agent list's width and the smallest size.
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QSet>
#include <QComboBox>
#include <QMenu>
#include <QHeaderView>
#include <QScreen>
#include <QTableView>
#include <QStatusBar>
#include <QTimer>
#include <gtest/gtest.h>

#include "dialog_test_support.h"
#include "gui_test_base.h"
#include "i18n/language.h"
#include "support/run_site.h"
#include "ui/screen_fit.h"
#include "ui/wide_combo_box.h"

namespace {

class WindowTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    OpenForm();
  }
};

TEST_F(WindowTest, TheOpenAgentListShowsEveryEntryWhole) {
  auto* box = Child<ui::TWideComboBox>("ComboBox1");
  box->showPopup();
  QAbstractItemView* list = box->view();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
  const QFontMetrics metrics(list->font());
  for (int row = 0; row < box->count(); ++row) {
    const QRect item = list->visualRect(list->model()->index(row, 0));
    EXPECT_GE(item.width(), metrics.horizontalAdvance(box->itemText(row))) << row;
  }
  EXPECT_GT(list->window()->width(), box->width());
  const QRect screen = box->screen()->availableGeometry();
  EXPECT_TRUE(screen.contains(list->window()->geometry())) << "within the screen";
  box->hidePopup();

  // A narrow screen: the list is as wide as the screen at most.
  box->addItem(QString(400, u'W'));
  box->showPopup();
  EXPECT_LE(list->window()->width(), screen.width());
  EXPECT_TRUE(screen.contains(list->window()->geometry()));
  box->hidePopup();
}

// At the smallest size the window shows what it needs, in English and in
// the language with the longest labels.
void ExpectUsableAtSmallestSize(ui::TAppForm& form, ui::TUrlEditor* editor) {
  form.resize(1, 1);
  QTest::qWait(20);
  EXPECT_EQ(form.size(), form.minimumSize());
  const QRect window = form.rect();
  const int line = static_cast<int>(editor->SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 0));
  EXPECT_GE(editor->viewport()->height(), 3 * line) << "three lines of the editor";
  auto* view = form.findChild<QTableView*>(QStringLiteral("ListView1"));
  EXPECT_GE(view->viewport()->height(), 3 * view->verticalHeader()->defaultSectionSize()) << "three result rows";
  for (const char* name : {"Label1", "Label3", "Edit3", "Label4", "Edit4", "Label5", "ComboBox1", "ButtonStart",
                           "ButtonExport"}) {
    auto* w = form.findChild<QWidget*>(QLatin1String(name));
    ASSERT_NE(w, nullptr) << name;
    EXPECT_TRUE(w->isVisible()) << name;
    EXPECT_TRUE(window.contains(QRect(w->mapTo(&form, QPoint(0, 0)), w->size()))) << name << " lies inside";
    EXPECT_GE(w->width(), w->minimumSizeHint().width()) << name;
    EXPECT_GE(w->height(), qMin(w->sizeHint().height(), w->maximumHeight())) << name;
  }
}

TEST_F(WindowTest, TheSmallestWindowStillShowsEditorFieldsRowsAndButtons) {
  ExpectUsableAtSmallestSize(*form_, Editor());
  form_.reset();
  dialogtest::CopyShippedLanguages(folder_.path());
  WriteData(QStringLiteral("settings.ini"), "[Settings]\r\nLanguage=German.lang.txt\r\n\r\n");
  OpenForm();
  ExpectUsableAtSmallestSize(*form_, Editor());
  i18n::LoadLanguage(QString(), folder_.path() + QStringLiteral("/none"));
}

// A window never opens larger than the screen's available area: at 200 %
// on a 1600 x 1000 screen the wanted size exceeds the area.
TEST(ScreenFit, TheWindowStaysWithinTheAvailableAreaAndIsCentred) {
  const QMargins frame(4, 30, 4, 4);
  const struct {
    QSize wanted;
    QRect area;
    QRect expected;
  } cases[] = {
      {{684, 500}, {0, 0, 1600, 1000}, {458, 263, 684, 500}},  // fits: centred
      {{684, 500}, {0, 0, 800, 468}, {58, 30, 684, 434}},      // 200 %, a panel: lower
      {{684, 500}, {100, 50, 600, 400}, {104, 80, 592, 366}},  // smaller both ways
  };
  for (const auto& c : cases) {
    const QRect client = ui::ClientGeometryWithin(c.wanted, c.area, frame);
    EXPECT_EQ(client, c.expected) << c.area.width() << "x" << c.area.height();
    EXPECT_TRUE(c.area.contains(client.marginsAdded(frame))) << c.area.width() << "x" << c.area.height();
  }
}

TEST_F(WindowTest, TheWindowOpensWithinTheScreen) {
  const QRect area = form_->screen()->availableGeometry();
  EXPECT_TRUE(area.contains(form_->geometry().marginsAdded(ui::ExpectedWindowFrame(*form_))));
  EXPECT_LE(form_->minimumWidth(), area.width());
  EXPECT_LE(form_->minimumHeight(), area.height());
}

// The summary panel widens the window when it first opens: never past the
// screen, and a window near the right edge moves back in.
TEST_F(WindowTest, TheSummaryPanelGrowsTheWindowWithinTheScreen) {
  const QRect area = form_->screen()->availableGeometry();
  const QMargins frame = ui::ExpectedWindowFrame(*form_);
  form_->move(area.left() + area.width() - form_->width() - frame.left() - frame.right(), form_->pos().y());
  const int before = form_->width();
  Child<QAction>("Summary1")->trigger();
  QApplication::processEvents();
  EXPECT_GT(form_->width(), before);
  // The frame as the platform drew it.
  EXPECT_TRUE(area.contains(form_->frameGeometry()))
      << form_->frameGeometry().x() << "+" << form_->frameGeometry().width() << " in " << area.width();
}

// The control a focus widget belongs to (a field's inner editor, a view's
// viewport), named as the window names it.
QString ControlOf(QWidget* widget, const QStringList& names) {
  for (QWidget* w = widget; w != nullptr; w = w->parentWidget())
    if (names.contains(w->objectName())) return w->objectName();
  return widget ? QStringLiteral("<%1>").arg(QString::fromLatin1(widget->metaObject()->className())) : QStringLiteral("<none>");
}

// Tab from the focused control through `order` and Shift+Tab back: the
// controls passed, or both ways when they differ.
QStringList TabRound(const QStringList& order) {
  QStringList seen = {ControlOf(QApplication::focusWidget(), order)};
  for (int i = 1; i < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    seen << ControlOf(QApplication::focusWidget(), order);
  }
  QStringList back;
  for (int i = 1; i < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    back.prepend(ControlOf(QApplication::focusWidget(), order));
  }
  back << seen.last();
  return seen == back ? seen : seen + QStringList{QStringLiteral("| back:")} + back;
}

TEST_F(WindowTest, TabRunsThroughTheWindowInReadingOrderAndBackWithAndWithoutRows) {
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  // An empty list: nothing to export, so Export is disabled and left out.
  Editor()->setFocus();
  EXPECT_EQ(TabRound({"SynEdit1", "Edit3", "Edit4", "ComboBox1", "ListView1", "ButtonStart"}),
            (QStringList{"SynEdit1", "Edit3", "Edit4", "ComboBox1", "ListView1", "ButtonStart"}));

  // With rows, and the current cell in the first column of the list (where
  // Tab used to move to the next cell and never leave).
  for (const char* url : {"http://a.example", "http://b.example", "http://c.example"}) form_->AddData(QString::fromLatin1(url), QString());
  form_->SetRowCount(3);
  auto* view = Child<QTableView>("ListView1");
  view->setCurrentIndex(view->model()->index(1, 0));
  const QStringList order = {"SynEdit1", "Edit3", "Edit4", "ComboBox1", "ListView1", "ButtonStart", "ButtonExport"};
  Editor()->setFocus();
  EXPECT_EQ(TabRound(order), order);
  view->setFocus();
  view->setCurrentIndex(view->model()->index(2, 1));
  QTest::keyClick(view, Qt::Key_Tab);
  EXPECT_EQ(ControlOf(QApplication::focusWidget(), order), QStringLiteral("ButtonStart")) << "Tab leaves the list";
  view->setFocus();
  QTest::keyClick(view, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(ControlOf(QApplication::focusWidget(), order), QStringLiteral("ComboBox1")) << "Shift+Tab leaves it too";
  // Inside the list the arrow keys move between cells.
  view->setFocus();
  view->setCurrentIndex(view->model()->index(0, 0));
  QTest::keyClick(view, Qt::Key_Right);
  EXPECT_EQ(view->currentIndex(), view->model()->index(0, 1));
  QTest::keyClick(view, Qt::Key_Down);
  EXPECT_EQ(view->currentIndex(), view->model()->index(1, 1));
}

TEST_F(WindowTest, MenusHaveAcceleratorsAndAltOpensThem) {
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  for (QAction* menu : form_->menuBar()->actions()) {
    EXPECT_TRUE(menu->text().contains(u'&')) << menu->text().toStdString();
    for (QAction* item : menu->menu()->actions())
      if (!item->isSeparator()) {
        EXPECT_TRUE(item->text().contains(u'&')) << item->text().toStdString();
      }
  }
  // Alt+F opens the File menu.
  QWidget* opened = nullptr;
  QTimer::singleShot(50, [&] {
    opened = QApplication::activePopupWidget();
    if (opened) opened->close();
  });
  QTest::keyClick(form_.get(), Qt::Key_F, Qt::AltModifier);
  QTest::qWait(100);
  EXPECT_EQ(opened, Child<QMenu>("File1"));
}

// Every accessible object below `root`, depth first.
void Walk(QAccessibleInterface* root, QList<QAccessibleInterface*>& all, int depth = 0) {
  if (root == nullptr || depth > 12) return;
  all << root;
  for (int i = 0; i < root->childCount(); ++i) Walk(root->child(i), all, depth + 1);
}

TEST_F(WindowTest, ScreenReadersFindEveryControlNamedAndDescribedAndRowsReadAsTheirTexts) {
  form_->AddData(QStringLiteral("http://a.example"), QString());
  form_->WorkList().back().FPlatform = QStringLiteral("WordPress, WooCommerce");
  form_->WorkList().back().FImageNo = 54;
  form_->AddData(QStringLiteral("http://b.example"), QString());
  form_->SetRowCount(2);

  QList<QAccessibleInterface*> all;
  Walk(QAccessible::queryAccessibleInterface(form_.get()), all);
  QHash<QString, QAccessibleInterface*> byName;
  for (QAccessibleInterface* node : all)
    if (node->object() && !node->object()->objectName().isEmpty()) byName.insert(node->object()->objectName(), node);

  const struct {
    const char* control;
    const char* name;  // empty: any non-empty name
  } controls[] = {
      {"SynEdit1", "URL List:"},    {"Edit3", "Connection Timeout (ms):"}, {"Edit4", "Response Timeout (ms):"},
      {"ComboBox1", "Agent:"},      {"ListView1", "Results"},              {"ButtonStart", "Start"},
      {"ButtonExport", "Export Results"},
  };
  for (const auto& c : controls) {
    QAccessibleInterface* node = byName.value(QString::fromLatin1(c.control));
    ASSERT_NE(node, nullptr) << c.control << " is not in the window's accessibility tree";
    if (QLatin1String(c.control) == QLatin1String("ComboBox1")) {
      // On this desktop a combo box's name is its text; its label is a relation.
      QStringList labels;
      for (const auto& [other, relation] : node->relations(QAccessible::Label)) labels << other->text(QAccessible::Name);
      EXPECT_EQ(labels, QStringList{QString::fromLatin1(c.name)});
    } else {
      EXPECT_EQ(node->text(QAccessible::Name), QString::fromLatin1(c.name)) << c.control;
    }
    EXPECT_FALSE(node->text(QAccessible::Description).isEmpty()) << c.control;
  }

  QAccessibleTableInterface* table = byName.value(QStringLiteral("ListView1"))->tableInterface();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->rowCount(), 2);
  QAccessibleInterface* url = table->cellAt(0, 0);
  QAccessibleInterface* platforms = table->cellAt(0, 1);
  ASSERT_NE(url, nullptr);
  ASSERT_NE(platforms, nullptr);
  EXPECT_EQ(url->text(QAccessible::Name), QStringLiteral("http://a.example"));
  EXPECT_EQ(platforms->text(QAccessible::Name), QStringLiteral("WordPress, WooCommerce"));
  EXPECT_EQ(url->text(QAccessible::Description), QStringLiteral("http://a.example: WordPress, WooCommerce"));
  EXPECT_EQ(platforms->text(QAccessible::Description), url->text(QAccessible::Description));
  // A row without a result yet says so instead of reading nothing.
  EXPECT_EQ(table->cellAt(1, 1)->text(QAccessible::Name), QStringLiteral("waiting"));
  // The column headers are there too.
  QStringList headers;
  for (int column = 0; column < table->columnCount(); ++column)
    headers << table->columnDescription(column);
  EXPECT_EQ(headers, (QStringList{"URL", "Platforms"}));
}

QString AccessibleName(QWidget* widget) {
  return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

// The status panels' texts reach screen readers (a label's accessible name
// would hide them), and the end of a run is told by the status bar's name
// (Qt sends the name change; an alert goes with it).
TEST_F(WindowTest, StatusTextsReachScreenReadersAndTheEndOfARunIsAnnounced) {
  testsupport::RunSite site([](const testsupport::SiteRequest& request) {
    testsupport::SiteReply reply;
    reply.body = "<html>page</html>";
    reply.hold = request.path == "/held" && request.method == "GET";
    return reply;
  });
  auto* done = Child<QLabel>("StatusPanel0");
  auto* inWork = Child<QLabel>("StatusPanel1");
  auto* bar = Child<QStatusBar>("StatusBar1");
  EXPECT_EQ(AccessibleName(inWork), QStringLiteral("Site in work")) << "nothing in work: the name alone";

  const QString held = QString::fromStdString(site.Url("/held"));
  Editor()->setText(QString::fromStdString(site.Url("/a")) + QStringLiteral("\r\n") + held);
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return site.Held() >= 1; }));  // events run: the run hands over to this thread
  ASSERT_TRUE(WaitFor([&] { return done->text() == QLatin1String("1 / 2"); }));
  EXPECT_EQ(AccessibleName(done), QStringLiteral("Sites done: 1 / 2"));
  EXPECT_EQ(AccessibleName(inWork), QStringLiteral("Site in work: Processing ") + held);
  site.Release();
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(AccessibleName(done), QStringLiteral("Sites done: 2 / 2"));
  EXPECT_EQ(AccessibleName(inWork), QStringLiteral("Site in work"));
  EXPECT_EQ(AccessibleName(bar), QStringLiteral("Run finished: 2 / 2 sites done."));
  EXPECT_TRUE(bar->currentMessage().isEmpty()) << "the counts stay in view";

  // A list without an address: the run ends at once, and the window says why.
  Editor()->setText(QStringLiteral("  \n"));
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(form_->StatusText(0), QStringLiteral("0 / 0"));
  const QString why = QStringLiteral("Nothing to do: the URL list holds no address.");
  EXPECT_EQ(bar->currentMessage(), why);
  EXPECT_EQ(AccessibleName(bar), why);
  // The next run takes the message away.
  Editor()->setText(QString::fromStdString(site.Url("/a")));
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  EXPECT_TRUE(bar->currentMessage().isEmpty());
  ASSERT_TRUE(WaitForIdle());
}

}  // namespace
