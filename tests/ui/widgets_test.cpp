// The shared pieces: the captioned message box, the drop-down button menu
// and the URL editor's own behaviour.
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

#include "ui/dropdown_menu.h"
#include "ui/message_dialog.h"
#include "ui/url_editor.h"

namespace {

TEST(CaptionedMessageDialog, CaptionsGoToTheButtonsInTheirOrder) {
  ui::TMessageBoxSeam::Activate();
  struct Case {
    QMessageBox::StandardButtons buttons;
    QStringList captions;
    QStringList shown;
  } cases[] = {
      {QMessageBox::Yes | QMessageBox::No, {"Evet", "Hay\u0131r", "surplus"}, {"Evet", "Hay\u0131r"}},
      {QMessageBox::Cancel | QMessageBox::No | QMessageBox::Yes, {"Ja"}, {"Ja", "&No", "Cancel"}},
      {QMessageBox::Ok, {}, {"&OK"}},
  };
  for (const Case& c : cases) {
    ui::CaptionedMessageDialog(QStringLiteral("text"), QMessageBox::Question, c.buttons, QStringLiteral("Title"),
                               c.captions);
    const auto shown = ui::TMessageBoxSeam::TakeShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, QStringLiteral("Title"));
    ASSERT_EQ(shown[0].buttonCaptions.size(), c.shown.size());
    for (qsizetype i = 0; i < c.shown.size(); ++i)
      EXPECT_EQ(QString(shown[0].buttonCaptions[i]).remove(u'&'), QString(c.shown[i]).remove(u'&'));
  }
  ui::TMessageBoxSeam::Deactivate();
}

TEST(CaptionedMessageDialog, ShowsARealModalBoxAndReturnsTheButtonPressed) {
  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Onay"));
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    box->button(QMessageBox::No)->click();
  });
  // activeModalWidget needs the box shown; give the event loop a moment.
  QTimer poll;
  const auto answer = ui::CaptionedMessageDialog(QStringLiteral("Yeniden?"), QMessageBox::Question,
                                                 QMessageBox::Yes | QMessageBox::No, QStringLiteral("Onay"),
                                                 {QStringLiteral("Evet"), QStringLiteral("Hay\u0131r")});
  EXPECT_EQ(answer, QMessageBox::No);
}

TEST(DropDownMenu, AClickWithin100msOfClosingDoesNotReopenTheMenu) {
  ui::testing::ForgetDropDownMenu();
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* button = new QPushButton(QStringLiteral("Export Results"));
  layout->addWidget(button);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QMenu menu;
  menu.addAction(QStringLiteral("Export to TXT..."));
  int opened = 0;
  QPoint openedAt;
  QObject::connect(&menu, &QMenu::aboutToShow, [&] {
    ++opened;
    QTimer::singleShot(0, &menu, [&] {
      openedAt = menu.geometry().topLeft();
      menu.close();
    });
  });

  ui::ShowDropDownMenu(button, &menu);
  ASSERT_EQ(opened, 1);
  EXPECT_EQ(openedAt, button->mapToGlobal(QPoint(0, button->height())));
  // The click that closed the menu reaches the button right away: no reopening.
  ui::ShowDropDownMenu(button, &menu);
  EXPECT_EQ(opened, 1);
  // That click only forgot the memory: the next click opens the menu again.
  ui::ShowDropDownMenu(button, &menu);
  EXPECT_EQ(opened, 2);
  // Later than 100 ms the menu opens again.
  QTest::qWait(120);
  ui::ShowDropDownMenu(button, &menu);
  EXPECT_EQ(opened, 3);
  // Another menu on the same button is not held back.
  QMenu other;
  other.addAction(QStringLiteral("x"));
  int otherOpened = 0;
  QObject::connect(&other, &QMenu::aboutToShow, [&] {
    ++otherOpened;
    QTimer::singleShot(0, &other, [&] { other.close(); });
  });
  ui::ShowDropDownMenu(button, &other);
  EXPECT_EQ(otherOpened, 1);
}

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* layout = new QVBoxLayout(&window_);
    editor_ = new ui::TUrlEditor;
    next_ = new QLineEdit;
    layout->addWidget(editor_);
    layout->addWidget(next_);
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
    editor_->setFocus();
  }
  int Column() {
    int line = 0, index = 0;
    editor_->getCursorPosition(&line, &index);
    return index;
  }
  QWidget window_;
  ui::TUrlEditor* editor_ = nullptr;
  QLineEdit* next_ = nullptr;
};

TEST_F(EditorTest, TabMovesTheFocusInsteadOfTypingATab) {
  editor_->setText(QStringLiteral("abc"));
  QTest::keyClick(editor_, Qt::Key_Tab);
  EXPECT_EQ(editor_->text(), QStringLiteral("abc"));
  EXPECT_TRUE(next_->hasFocus());
}

TEST_F(EditorTest, EndGoesToTheTextsEndThenToTheLinesEnd) {
  editor_->setText(QStringLiteral("abc   \nx"));
  editor_->setCursorPosition(0, 1);
  QTest::keyClick(editor_, Qt::Key_End);
  EXPECT_EQ(Column(), 3);
  QTest::keyClick(editor_, Qt::Key_End);
  EXPECT_EQ(Column(), 6);
  QTest::keyClick(editor_, Qt::Key_End);
  EXPECT_EQ(Column(), 3);
  editor_->setCursorPosition(0, 0);
  QTest::keyClick(editor_, Qt::Key_End, Qt::ShiftModifier);
  EXPECT_EQ(editor_->selectedText(), QStringLiteral("abc"));
}

TEST_F(EditorTest, EnterCopiesTheIndentationAndBackspaceReturnsToTheLevelAbove) {
  editor_->setText(QStringLiteral("  a"));
  editor_->setCursorPosition(0, 3);
  QTest::keyClick(editor_, Qt::Key_Return);
  EXPECT_EQ(editor_->Line(1), QStringLiteral("  "));
  QTest::keyClicks(editor_, QStringLiteral("    b"));
  QTest::keyClick(editor_, Qt::Key_Return);
  EXPECT_EQ(editor_->Line(2), QStringLiteral("      "));
  // Back to the two blanks of the first line, then to the start.
  QTest::keyClick(editor_, Qt::Key_Backspace);
  EXPECT_EQ(editor_->Line(2), QStringLiteral("  "));
  QTest::keyClick(editor_, Qt::Key_Backspace);
  EXPECT_EQ(editor_->Line(2), QString());
  EXPECT_EQ(editor_->LineCount(), 3);
}

TEST_F(EditorTest, LinesComeWithoutBreaksAndTheScrollHintCountsFromOne) {
  editor_->setText(QStringLiteral("a\r\nb\nc\r"));
  ASSERT_EQ(editor_->LineCount(), 4);
  EXPECT_EQ(editor_->Line(0), QStringLiteral("a"));
  EXPECT_EQ(editor_->Line(1), QStringLiteral("b"));
  EXPECT_EQ(editor_->Line(2), QStringLiteral("c"));
  EXPECT_EQ(editor_->Line(3), QString());
  EXPECT_TRUE(editor_->ScrollHintText(0).startsWith(QStringLiteral("1 - ")));
}

}  // namespace
