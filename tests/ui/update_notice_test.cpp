// The update notice: where it opens, that it leaves the focus alone, its
// texts and link, and that its countdown closes it.

#include "dialog_test_support.h"

#include "i18n/language.h"
#include "services/service_request.h"
#include "ui/new_ver.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class UpdateNoticeTest : public ::testing::Test {
 protected:
  void SetUp() override { i18n::LoadLanguage(QString(), empty_.path()); }
  QTemporaryDir empty_;
};

TEST_F(UpdateNoticeTest, OpensInTheTopRightCornerWithoutTakingTheFocus) {
  QWidget main;
  auto* edit = new QLineEdit(&main);
  main.resize(300, 200);
  main.show();
  main.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
  edit->setFocus();

  QPointer<ui::TNewVer> notice =
      new ui::TNewVer(QStringLiteral("Lumasift"), QStringLiteral("1.6"), QString(), &main);
  EXPECT_EQ(notice->findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("UPDATE AVAILABLE"));
  EXPECT_EQ(notice->findChild<QLabel*>(QStringLiteral("Label2"))->text(),
            QStringLiteral("Click to download Lumasift 1.6"));
  EXPECT_TRUE(notice->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(notice->windowFlags() & Qt::FramelessWindowHint);

  ASSERT_TRUE(QTest::qWaitFor([&] { return notice->isVisible(); }));
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  const QRect expected(screen.right() - 5 - 320 + 1, screen.top() + 5, 320, 68);
  EXPECT_TRUE(QTest::qWaitFor([&] { return notice->geometry() == expected; }))
      << "now " << notice->geometry().x() << "," << notice->geometry().y();
  EXPECT_EQ(expected.right(), screen.right() - 5);

  // Whatever the window system does on showing it, the main window is
  // active again right after.
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &main; }));
  EXPECT_FALSE(notice->isActiveWindow());
  EXPECT_TRUE(edit->hasFocus());
  notice->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return notice.isNull(); }));
}

TEST_F(UpdateNoticeTest, GrowsFromItsCentre) {
  QPointer<ui::TNewVer> notice = new ui::TNewVer(QStringLiteral("Lumasift"), QStringLiteral("1.6"), QString());
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  const QRect home = ui::TNewVer::PlaceOn(screen);
  notice->TimerStartTimer();  // what the 1 ms timer does
  EXPECT_TRUE(notice->isVisible());
  EXPECT_LT(notice->width(), 320);
  EXPECT_LT(notice->height(), 68);
  EXPECT_LE((notice->geometry().center() - home.center()).manhattanLength(), 2);
  EXPECT_TRUE(QTest::qWaitFor([&] { return notice->geometry() == home; }, 2000));
  notice->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return notice.isNull(); }));
}

TEST_F(UpdateNoticeTest, CountdownOfElevenSecondsClosesIt) {
  QPointer<ui::TNewVer> notice = new ui::TNewVer(QStringLiteral("Lumasift"), QStringLiteral("1.4"), QString());
  ASSERT_TRUE(QTest::qWaitFor([&] { return notice->isVisible(); }));
  EXPECT_EQ(notice->SecondsLeft(), 11);
  for (int tick = 0; tick < 10; ++tick) notice->TimerCloseTimer();
  EXPECT_EQ(notice->SecondsLeft(), 1);
  QTest::qWait(150);
  EXPECT_TRUE(notice->isVisible());
  notice->TimerCloseTimer();  // the eleventh: shrinks away and closes
  EXPECT_TRUE(QTest::qWaitFor([&] { return notice.isNull(); }));
}

TEST_F(UpdateNoticeTest, LinkOpensTheDownloadOrTheHomePage) {
  services::SetMakerHostForTesting(services::TMakerHostOverride{QStringLiteral("maker.invalid"), 0, 0});
  dialogtest::UrlCatcher catcher;

  QPointer<ui::TNewVer> first = new ui::TNewVer(QStringLiteral("Lumasift"), QStringLiteral("1.6"), QString());
  ASSERT_TRUE(QTest::qWaitFor([&] { return first->isVisible() && first->size() == QSize(320, 68); }));
  QTest::mouseClick(first->findChild<QLabel*>(QStringLiteral("Label2")), Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }));

  QPointer<ui::TNewVer> second = new ui::TNewVer(QStringLiteral("Lumasift"), QStringLiteral("1.6"),
                                                 QStringLiteral("https://downloads.invalid/lumasift-1.6.tar.gz"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return second->isVisible(); }));
  second->Label2Click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return second.isNull(); }));

  ASSERT_EQ(catcher.urls.size(), 2);
  EXPECT_EQ(catcher.urls[0], QUrl(QStringLiteral("http://maker.invalid/")));
  EXPECT_EQ(catcher.urls[1], QUrl(QStringLiteral("https://downloads.invalid/lumasift-1.6.tar.gz")));

  // The close button closes it without opening anything.
  QPointer<ui::TNewVer> third = new ui::TNewVer(QStringLiteral("Lumasift"), QStringLiteral("1.6"), QString());
  ASSERT_TRUE(QTest::qWaitFor([&] { return third->isVisible() && third->size() == QSize(320, 68); }));
  QTest::mouseClick(third->findChild<QToolButton*>(QStringLiteral("Button1")), Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return third.isNull(); }));
  EXPECT_EQ(catcher.urls.size(), 2);
  services::SetMakerHostForTesting(std::nullopt);
}

TEST_F(UpdateNoticeTest, LinkTakesTheHotTrackColourWhileHovered) {
  QPointer<ui::TNewVer> notice = new ui::TNewVer(QStringLiteral("Lumasift"), QStringLiteral("1.6"), QString());
  ASSERT_TRUE(QTest::qWaitFor([&] { return notice->isVisible() && notice->size() == QSize(320, 68); }));
  auto* link = notice->findChild<QLabel*>(QStringLiteral("Label2"));
  const QColor hot = QApplication::palette().color(QPalette::Link);
  const QColor normal = QApplication::palette().color(QPalette::WindowText);
  ASSERT_NE(hot, normal);

  QCursor::setPos(link->mapToGlobal(link->rect().center()));
  notice->TimerLinkTimer();
  EXPECT_EQ(link->palette().color(QPalette::WindowText), hot);
  QCursor::setPos(notice->mapToGlobal(QPoint(2, 2)));
  notice->TimerLinkTimer();
  EXPECT_EQ(link->palette().color(QPalette::WindowText), normal);
  notice->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return notice.isNull(); }));
}

TEST_F(UpdateNoticeTest, DraggedByItsFrameNotByTheRightButton) {
  QPointer<ui::TNewVer> notice = new ui::TNewVer(QStringLiteral("Lumasift"), QStringLiteral("1.6"), QString());
  ASSERT_TRUE(QTest::qWaitFor([&] { return notice->isVisible(); }));
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(QTest::qWaitFor([&] { return notice->size() == QSize(320, 68); }));
  auto* title = notice->findChild<QLabel*>(QStringLiteral("Label1"));
  const QPoint start = notice->pos();

  QTest::mousePress(title, Qt::RightButton, {}, QPoint(5, 5));
  QTest::mouseMove(title, QPoint(25, 15));
  QTest::mouseRelease(title, Qt::RightButton, {}, QPoint(25, 15));
  EXPECT_EQ(notice->pos(), start);

  QTest::mousePress(title, Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseMove(title, QPoint(5 - 40, 5 + 30));
  QTest::mouseRelease(title, Qt::LeftButton, {}, QPoint(5 - 40, 5 + 30));
  EXPECT_TRUE(QTest::qWaitFor([&] { return notice->pos() == start + QPoint(-40, 30); }))
      << "now " << notice->pos().x() << "," << notice->pos().y();
  EXPECT_LE(notice->geometry().right(), screen.right());
  notice->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return notice.isNull(); }));
}

}  // namespace
