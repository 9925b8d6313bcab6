// The feedback dialog end to end: the tiles, the checks before sending, and
// the request against a loopback server standing in for the maker's service.

#include "dialog_test_support.h"

#include "i18n/language.h"
#include "services/service_request.h"
#include "ui/feedback_form.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using dialogtest::MakerService;
using dialogtest::MessageBoxAnswerer;

class FeedbackDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { i18n::LoadLanguage(QString(), empty_.path()); }
  void TearDown() override {
    services::SetMakerHostForTesting(std::nullopt);
    i18n::LoadLanguage(QString(), empty_.path());
  }

  void PointAt(const MakerService& service) {
    services::SetMakerHostForTesting(
        services::TMakerHostOverride{QStringLiteral("127.0.0.1"), service.HttpsPort(), service.HttpPort()});
  }

  void UseShippedGerman() {
    dialogtest::CopyShippedLanguages(program_.path());
    i18n::LoadLanguage(QStringLiteral("German.lang.txt"), program_.path());
    ASSERT_EQ(i18n::LanguageName(), QStringLiteral("German"));
  }

  static ui::TFeedbackTile* Like(ui::TFeedbackForm& form) {
    return form.findChild<ui::TFeedbackTile*>(QStringLiteral("Panel4"));
  }
  static ui::TFeedbackTile* Dislike(ui::TFeedbackForm& form) {
    return form.findChild<ui::TFeedbackTile*>(QStringLiteral("Panel5"));
  }
  static QPlainTextEdit* Memo(ui::TFeedbackForm& form) {
    return form.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
  }
  static QLineEdit* Email(ui::TFeedbackForm& form) { return form.findChild<QLineEdit*>(QStringLiteral("Edit1")); }

  QTemporaryDir program_, empty_;
};

TEST_F(FeedbackDialogTest, SendsTheTranslatedLikeLineAndClosesOnOk) {
  UseShippedGerman();
  MakerService server("OK\r\n");
  PointAt(server);

  ui::TFeedbackForm form;
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Lumasift Feedback"));
  EXPECT_EQ(Like(form)->Caption(), QStringLiteral("Gefällt mir!"));
  form.open();
  QTest::mouseClick(Like(form), Qt::LeftButton);
  Memo(form)->setPlainText(QStringLiteral("  \n Great tool\nthanks \n\n"));

  MessageBoxAnswerer answerer;
  form.BitBtn1Click();

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/php/feedback.php");
  // The tile's line in English with the German caption in brackets, a CR
  // alone, then the message with CR LF; no e-mail field when none is given.
  EXPECT_EQ(dialogtest::FormFields(requests[0].body),
            (QStringList{"cmd=feedback", "appname=CORVANE - Lumasift", "version=1.5",
                         QStringLiteral("feedback=I like it! (Gefällt mir!)\rGreat tool\r\nthanks")}));
  EXPECT_EQ(answerer.Count(), 1);
  EXPECT_EQ(answerer.Title(), QStringLiteral("Erfolg"));
  EXPECT_EQ(answerer.Icon(), QMessageBox::Information);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST_F(FeedbackDialogTest, FailureKeepsEverythingTyped) {
  // The same two letters in lower case are no success.
  MakerService server("ok");
  PointAt(server);

  ui::TFeedbackForm form;
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Lumasift feedback"));
  form.open();
  QTest::mouseClick(Dislike(form), Qt::LeftButton);
  Memo(form)->setPlainText(QStringLiteral("Crashes on start"));
  Email(form)->setText(QStringLiteral(" ann@example.org "));

  MessageBoxAnswerer answerer;
  form.BitBtn1Click();

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(dialogtest::FormFields(requests[0].body),
            (QStringList{"cmd=feedback", "appname=CORVANE - Lumasift", "version=1.5",
                         QStringLiteral("feedback=I dislike it!\rCrashes on start"), "email=ann@example.org"}));
  EXPECT_EQ(answerer.Title(), QStringLiteral("Failure"));
  EXPECT_EQ(answerer.Icon(), QMessageBox::Critical);
  EXPECT_TRUE(answerer.Text().startsWith(QStringLiteral("Something went wrong.")));
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(Memo(form)->toPlainText(), QStringLiteral("Crashes on start"));
  EXPECT_EQ(Email(form)->text(), QStringLiteral(" ann@example.org "));
  EXPECT_TRUE(Dislike(form)->IsSelected());
}

TEST_F(FeedbackDialogTest, UnreachableServiceFails) {
  // A port that nobody listens on: both attempts fail at once.
  testsupport::RefusingPort refused;
  services::SetMakerHostForTesting(
      services::TMakerHostOverride{QStringLiteral("127.0.0.1"), refused.Port(), refused.Port()});
  ui::TFeedbackForm form;
  form.open();
  Memo(form)->setPlainText(QStringLiteral("Hello"));
  MessageBoxAnswerer answerer;
  form.BitBtn1Click();
  EXPECT_EQ(answerer.Title(), QStringLiteral("Failure"));
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the hourglass is gone again
}

TEST_F(FeedbackDialogTest, ChecksBeforeSending) {
  MakerService server("OK");
  PointAt(server);
  ui::TFeedbackForm form;
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

  // Blanks and line breaks only: no request, even with a tile selected.
  QTest::mouseClick(Like(form), Qt::LeftButton);
  Memo(form)->setPlainText(QStringLiteral(" \n\t\n "));
  Email(form)->setFocus();
  MessageBoxAnswerer answerer;
  form.BitBtn1Click();
  EXPECT_EQ(form.focusWidget(), Memo(form));
  EXPECT_EQ(answerer.Count(), 0);

  // A bad address: refused with a box, the focus goes to the address.
  Memo(form)->setPlainText(QStringLiteral("Nice"));
  for (const QString& bad : {QStringLiteral("ann @example.org"), QStringLiteral("änn@example.org"),
                             QStringLiteral("ann@example"), QStringLiteral("ann@example.org.")}) {
    Email(form)->setText(bad);
    Memo(form)->setFocus();
    const int before = answerer.Count();
    form.BitBtn1Click();
    EXPECT_EQ(answerer.Count(), before + 1) << bad.toStdString();
    EXPECT_EQ(answerer.Text(), QStringLiteral("Invalid e-mail address!"));
    EXPECT_EQ(answerer.Title(), QStringLiteral("Failure"));
    EXPECT_EQ(form.focusWidget(), Email(form)) << bad.toStdString();
  }
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_TRUE(form.isVisible());
}

TEST_F(FeedbackDialogTest, TilesSwapAndStaySelected) {
  ui::TFeedbackForm form;
  form.show();
  ui::TFeedbackTile* like = Like(form);
  ui::TFeedbackTile* dislike = Dislike(form);
  EXPECT_FALSE(like->IsSelected());
  EXPECT_FALSE(dislike->IsSelected());
  EXPECT_EQ(like->palette().color(QPalette::Window), QApplication::palette().color(QPalette::Button));
  EXPECT_EQ(like->frameShadow(), QFrame::Raised);

  // A click on the tile's picture counts as a click on the tile.
  QWidget* picture = like->findChildren<QLabel*>().value(0);
  ASSERT_NE(picture, nullptr);
  QTest::mouseClick(picture, Qt::LeftButton);
  EXPECT_TRUE(like->IsSelected());
  EXPECT_EQ(like->palette().color(QPalette::Window), QApplication::palette().color(QPalette::Highlight));
  EXPECT_EQ(like->palette().color(QPalette::WindowText), QApplication::palette().color(QPalette::HighlightedText));
  EXPECT_EQ(like->frameShadow(), QFrame::Sunken);

  QTest::mouseClick(like, Qt::LeftButton);  // again: stays selected
  EXPECT_TRUE(like->IsSelected());
  QTest::mouseClick(dislike, Qt::LeftButton);
  EXPECT_TRUE(dislike->IsSelected());
  EXPECT_FALSE(like->IsSelected());
}

TEST_F(FeedbackDialogTest, LimitsAndEscape) {
  ui::TFeedbackForm form;
  form.show();
  EXPECT_EQ(Email(form)->maxLength(), 100);
  Memo(form)->setPlainText(QString(9990, u'a'));
  Memo(form)->moveCursor(QTextCursor::End);
  Memo(form)->insertPlainText(QString(30, u'b'));
  EXPECT_EQ(Memo(form)->toPlainText().size(), 10000);
  EXPECT_TRUE(Memo(form)->toPlainText().endsWith(QString(10, u'b')));

  Memo(form)->setFocus();
  QTest::keyClick(Memo(form), Qt::Key_Escape);
  EXPECT_FALSE(form.isVisible());

  ui::TFeedbackForm again;
  again.show();
  QTest::keyClick(Email(again), Qt::Key_Escape);
  EXPECT_FALSE(again.isVisible());
  EXPECT_TRUE(Memo(again)->toPlainText().isEmpty());  // a new dialog starts empty
}

}  // namespace
