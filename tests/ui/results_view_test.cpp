// The results list as a user meets it: where row texts start, how the two
// columns share the width, the keys that move between rows, the row menu's
// enabled items and how it opens from the keyboard, and the tooltip of a
// cut-off cell.
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QHelpEvent>
#include <QScreen>
#include <QTimer>
#include <QPointer>
#include <QToolTip>
#include <gtest/gtest.h>

#include <vector>

#include "gui_test_base.h"
#include "ui/image_list.h"
#include "ui/results_view.h"

namespace {

struct Row {
  QString url;
  QString platform;
  int image;
};

class ResultsViewTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    OpenForm();
  }
  ui::TResultsView* View() { return Child<ui::TResultsView>("ListView1"); }
  void Fill(const std::vector<Row>& rows) {
    form_->SetRowCount(0);
    form_->WorkList().clear();
    for (const Row& r : rows) {
      form_->AddData(r.url, QString());
      form_->WorkList().back().FPlatform = r.platform;
      form_->WorkList().back().FImageNo = r.image;
    }
    form_->SetRowCount(static_cast<qint64>(rows.size()));
  }
  void FillNumbered(int count) {
    std::vector<Row> rows;
    for (int i = 0; i < count; ++i) rows.push_back({QStringLiteral("http://site%1.example").arg(i), QString(), -1});
    Fill(rows);
  }
  int ViewportWidth() { return View()->viewport()->width(); }
  int Divider() {
    QHeaderView* header = View()->horizontalHeader();
    return header->sectionViewportPosition(0) + header->sectionSize(0);
  }
  void HeaderMouse(QEvent::Type type, int x, Qt::MouseButtons buttons) {
    QWidget* target = View()->horizontalHeader()->viewport();
    const QPoint at(x, target->height() / 2);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, target->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
  }
  int CurrentRow() { return View()->currentIndex().row(); }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(View(), key, modifiers);
  }
  QAction* Action(const char* name) { return Child<QAction>(name); }
  // Selects one row as a click does (selectRow would follow the modifier
  // keys an earlier key press left behind).
  void SelectOnly(int row) {
    View()->selectionModel()->select(View()->model()->index(row, 0),
                                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    View()->setCurrentIndex(View()->model()->index(row, 0));
  }
};

TEST_F(ResultsViewTest, RowTextsStartAtTheSamePlaceWithAndWithoutAPicture) {
  Fill({{QStringLiteral("http://a.example"), QStringLiteral("WordPress"), ui::TImageList::kDone},
        {QStringLiteral("http://b.example"), QString(), -1},
        {QStringLiteral("http://c.example"), QString(), ui::TImageList::kInWork}});
  QAbstractItemModel* model = View()->model();
  const QRect withPicture = View()->TextRect(model->index(0, 0));
  const QRect without = View()->TextRect(model->index(1, 0));
  EXPECT_EQ(without.left(), withPicture.left());
  EXPECT_GE(without.left() - View()->visualRect(model->index(1, 0)).left(), View()->iconSize().width());
  EXPECT_EQ(View()->TextRect(model->index(2, 0)).left(), withPicture.left());
  // The platforms column has no pictures and keeps no room for one.
  EXPECT_LT(View()->TextRect(model->index(0, 1)).left() - View()->visualRect(model->index(0, 1)).left(),
            View()->iconSize().width());
}

TEST_F(ResultsViewTest, ColumnsShareTheWidthAndKeepTheUsersShare) {
  QHeaderView* header = View()->horizontalHeader();
  auto expectShare = [&](double share, const char* when) {
    EXPECT_NEAR(header->sectionSize(0), share * ViewportWidth(), 2.0) << when;
    EXPECT_NEAR(header->sectionSize(0) + header->sectionSize(1), ViewportWidth(), 2.0) << when;
  };
  expectShare(ui::TResultsView::kInitialShare, "at the default size");
  EXPECT_GT(header->sectionSize(1), 0.45 * ViewportWidth()) << "the platforms column is not squeezed";

  form_->resize(1000, form_->height());
  QTest::qWait(20);
  expectShare(ui::TResultsView::kInitialShare, "after widening the window");

  // The user drags the divider 80 pixels to the right.
  const int from = Divider() - 1;
  HeaderMouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
  HeaderMouse(QEvent::MouseMove, from + 40, Qt::LeftButton);
  HeaderMouse(QEvent::MouseMove, from + 80, Qt::LeftButton);
  HeaderMouse(QEvent::MouseButtonRelease, from + 80, Qt::NoButton);
  const double dragged = double(header->sectionSize(0)) / ViewportWidth();
  EXPECT_NEAR(header->sectionSize(0), from + 1 + 80, 2);
  form_->resize(800, form_->height());
  QTest::qWait(20);
  expectShare(dragged, "a resized window keeps the dragged share");

  // A double click on the divider fits the URL column to its contents.
  Fill({{QStringLiteral("http://a-rather-long-host-name.example/with/a/path/to/show"), QStringLiteral("x"), 54}});
  QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, QPoint(Divider() - 1, header->height() / 2));
  EXPECT_EQ(header->sectionSize(0), qMax(static_cast<QAbstractItemView*>(View())->sizeHintForColumn(0), header->sectionSizeHint(0)));
  const int fitted = header->sectionSize(0);
  form_->resize(900, form_->height());
  QTest::qWait(20);
  EXPECT_NEAR(header->sectionSize(0), fitted * 900.0 / 800.0, 12.0) << "the fitted width becomes the share";
}

TEST_F(ResultsViewTest, ACutOffCellShowsItsWholeTextAsTooltip) {
  const QString longText = QStringLiteral("WordPress, WooCommerce, Yoast SEO, Elementor, Contact Form 7, Jetpack, "
                                          "Really Simple SSL, Akismet, WPForms, Wordfence");
  Fill({{QStringLiteral("http://a.example"), longText, 54}, {QStringLiteral("http://b.example"), QStringLiteral("Joomla"), 54}});
  QAbstractItemModel* model = View()->model();
  EXPECT_TRUE(View()->IsCutOff(model->index(0, 1)));
  EXPECT_EQ(View()->CellToolTip(model->index(0, 1)), longText);
  EXPECT_FALSE(View()->IsCutOff(model->index(1, 1)));
  EXPECT_EQ(View()->CellToolTip(model->index(1, 1)), QString());
  EXPECT_EQ(View()->CellToolTip(model->index(1, 0)), QString());
  // Wide enough, the same cell is whole again.
  View()->horizontalHeader()->setStretchLastSection(false);
  View()->setColumnWidth(1, View()->fontMetrics().horizontalAdvance(longText) + 60);
  EXPECT_FALSE(View()->IsCutOff(model->index(0, 1)));
}

// A very long cell text shows as a wrapped tooltip within the screen, not
// as one line running off it: names wrap at their blanks, an address after
// its slashes.
TEST_F(ResultsViewTest, LongTooltipsWrapWithinTheScreen) {
  QStringList names;
  for (int i = 0; i < 60; ++i) names << QStringLiteral("Platform number %1").arg(i);
  QString path;
  for (int i = 0; i < 60; ++i) path += QStringLiteral("/segment%1").arg(i);
  Fill({{QStringLiteral("http://a.example") + path, names.join(QStringLiteral(", ")), 54}});
  const QRect screen = View()->screen()->availableGeometry();
  for (int column : {1, 0}) {
    const QModelIndex cell = View()->model()->index(0, column);
    ASSERT_TRUE(View()->IsCutOff(cell)) << column;
    const QPoint at = View()->visualRect(cell).center();
    QHelpEvent help(QEvent::ToolTip, at, View()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(View()->viewport(), &help);
    QWidget* tip = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("QTipLabel") && w->isVisible()) tip = w;
      return tip != nullptr;
    }, 3000)) << column;
    EXPECT_LE(tip->width(), screen.width()) << column;
    EXPECT_GT(tip->height(), 3 * tip->fontMetrics().height()) << column << ": several lines";
    // The tip label deletes itself once hidden: watch it through a guard.
    const QPointer<QWidget> shown(tip);
    QToolTip::hideText();
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown.isNull() || !shown->isVisible(); }, 3000));
  }
}

TEST_F(ResultsViewTest, HomeEndAndPageKeysMoveBetweenRows) {
  FillNumbered(300);
  View()->setFocus();
  View()->setCurrentIndex(View()->model()->index(40, 1));
  Key(Qt::Key_End);
  EXPECT_EQ(CurrentRow(), 299);
  EXPECT_EQ(View()->currentIndex().column(), 1) << "the column stays";
  EXPECT_TRUE(View()->selectionModel()->isRowSelected(299, QModelIndex()));
  Key(Qt::Key_Home);
  EXPECT_EQ(CurrentRow(), 0);
  EXPECT_TRUE(View()->selectionModel()->isRowSelected(0, QModelIndex()));
  Key(Qt::Key_PageDown);
  const int page = CurrentRow();
  EXPECT_GT(page, 2) << "a page is more than a row";
  EXPECT_LT(page, 299);
  Key(Qt::Key_PageDown);
  EXPECT_NEAR(CurrentRow(), 2 * page, 2);
  Key(Qt::Key_PageUp);
  EXPECT_NEAR(CurrentRow(), page, 2);
  // Shift+End selects from the current row to the last.
  Key(Qt::Key_End, Qt::ShiftModifier);
  EXPECT_EQ(CurrentRow(), 299);
  EXPECT_TRUE(View()->selectionModel()->isRowSelected(page, QModelIndex()));
  EXPECT_TRUE(View()->selectionModel()->isRowSelected(200, QModelIndex()));
}

TEST_F(ResultsViewTest, RowMenuItemsAreEnabledOnlyWhenTheyCanAct) {
  Fill({{QStringLiteral("http://a.example"), QStringLiteral("WordPress"), 54},
        {QStringLiteral("httpx:payload"), QString(), 55}});
  auto enabled = [this] {
    return std::vector<bool>{Action("CopyURL1")->isEnabled(), Action("GotoURL1")->isEnabled(),
                             Action("CopyPlatform1")->isEnabled()};
  };
  View()->clearSelection();
  EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false})) << "no row selected";
  SelectOnly(0);
  EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true}));
  SelectOnly(1);
  EXPECT_EQ(enabled(), (std::vector<bool>{true, false, true})) << "no browser takes that address";
  // A new run empties the list: nothing to act on again.
  form_->SetRowCount(0);
  form_->WorkList().clear();
  EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false}));
}

TEST_F(ResultsViewTest, MenuKeyAndShiftF10OpenTheRowMenuUnderTheCurrentRow) {
  FillNumbered(5);
  View()->setFocus();
  SelectOnly(2);
  auto* menu = Child<QMenu>("PopupMenu3");
  for (const auto& [key, modifiers] : std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>>{
           {Qt::Key_Menu, Qt::NoModifier}, {Qt::Key_F10, Qt::ShiftModifier}}) {
    QWidget* opened = nullptr;
    QPoint at;
    QTimer::singleShot(50, [&] {
      opened = QApplication::activePopupWidget();
      if (opened) {
        at = opened->pos();
        opened->close();
      }
    });
    Key(key, modifiers);
    EXPECT_EQ(opened, menu) << key;
    const QRect row = View()->visualRect(View()->model()->index(2, 0));
    EXPECT_EQ(at, View()->viewport()->mapToGlobal(QPoint(row.left(), row.bottom()))) << key;
    EXPECT_TRUE(Action("CopyURL1")->isEnabled());
  }
  // F10 alone is not the menu request.
  QWidget* opened = nullptr;
  QTimer::singleShot(50, [&] {
    opened = QApplication::activePopupWidget();
    if (opened) opened->close();
  });
  Key(Qt::Key_F10);
  QTest::qWait(100);
  EXPECT_EQ(opened, nullptr);
}

}  // namespace
