// The main window without a mouse and for a screen reader, and the parts of
// it a new user trips over: the agent list's width and the smallest size.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QScreen>
#include <gtest/gtest.h>

#include "gui_test_base.h"
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

}  // namespace
