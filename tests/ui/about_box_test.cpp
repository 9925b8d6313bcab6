// The about box: identity texts, the animation's arithmetic, the sliding
// panel, the Info menu's pages and licence, dragging and Escape.

#include "dialog_test_support.h"

#include "i18n/language.h"
#include "services/service_request.h"
#include "ui/about_box.h"
#include "ui/falling_chars.h"
#include "ui/maker_pages.h"

#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using ui::TDrop;
using ui::TFallingChars;

TEST(FallingChars, EraseRowWrapsAboveTheTop) {
  struct Case {
    int row, matrixHeight, erased;
  } cases[] = {
      {45, 31, 5},            // plainly 40 rows up
      {40, 31, 0},
      {33, 31, 33 - 40 + 32},  // one wrap
      {5, 31, 5 - 40 + 2 * 32},  // still negative after one: two wraps
      {5, 10, 5 - 40 + 4 * 11},  // four wraps
      {0, 0, 0},               // no rows at all: wraps by one each time
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TFallingChars::EraseRow(c.row, c.matrixHeight), c.erased) << c.row << " / " << c.matrixHeight;
  }
}

TEST(FallingChars, Colours) {
  EXPECT_EQ(TFallingChars::HeadColour(99), QColor(148, 252, 98));  // b = 252
  EXPECT_EQ(TFallingChars::TrailColour(99), QColor(49, 84, 32));   // v = 84
  EXPECT_EQ(TFallingChars::HeadColour(50), QColor(74, 127, 49));   // b = 127
  EXPECT_EQ(TFallingChars::TrailColour(50), QColor(24, 42, 16));   // v = 42
  EXPECT_EQ(TFallingChars::HeadColour(0), QColor(0, 0, 0));
  EXPECT_EQ(TFallingChars::TrailColour(2), QColor(0, 1, 0));       // b = 5, v = 1
}

TEST(FallingChars, SetUpGivesTwoDropsPerColumn) {
  TFallingChars rain;
  rain.Seed(7);
  rain.Start(446, 374);
  EXPECT_EQ(rain.MatrixWidth(), 55);
  EXPECT_EQ(rain.MatrixHeight(), 31);
  ASSERT_EQ(rain.DropCount(), 110u);
  for (std::size_t k = 0; k < rain.DropCount(); ++k) {
    const TDrop& drop = rain.Drop(k);
    EXPECT_EQ(drop.Column, static_cast<int>(k % 55));
    EXPECT_GE(drop.Row, 0);
    EXPECT_LT(drop.Row, 31);
    EXPECT_GE(drop.Speed, 1);
    EXPECT_LE(drop.Speed, 3);
    EXPECT_GE(drop.Brightness, 0);
    EXPECT_LE(drop.Brightness, 99);
  }
  // The table never grows beyond its capacity, however wide the surface.
  rain.Start(8 * 3000, 120);
  EXPECT_EQ(rain.DropCount(), TFallingChars::kCapacity);
  EXPECT_EQ(rain.Drop(4999).Column, 1999);
}

TEST(FallingChars, DropsMoveByTheirSpeedAndRestartBelowTheBottom) {
  TFallingChars rain;
  rain.Seed(1);
  rain.Start(16, 120);  // 2 columns, 10 rows, 4 drops
  ASSERT_EQ(rain.DropCount(), 4u);
  rain.SetDrop(0, TDrop{0, 11, 1, 50});  // row 12 exceeds matrixHeight + 1 = 11
  rain.SetDrop(1, TDrop{1, 3, 2, 50});
  rain.SetDrop(2, TDrop{0, 3, 3, 50});
  rain.SetDrop(3, TDrop{1, 10, 1, 60});  // row 11 is still allowed

  QImage surface(16, 120, QImage::Format_RGB32);
  QPainter painter(&surface);
  rain.Tick(painter);  // tick 0: everyone moves
  EXPECT_EQ(rain.Drop(0).Row, 0);
  EXPECT_GE(rain.Drop(0).Speed, 1);
  EXPECT_LE(rain.Drop(0).Speed, 3);
  EXPECT_EQ(rain.Drop(1).Row, 4);
  EXPECT_EQ(rain.Drop(2).Row, 4);
  EXPECT_EQ(rain.Drop(3).Row, 11);
  EXPECT_EQ(rain.Drop(3).Brightness, 60);

  rain.Tick(painter);  // tick 1: only speed 1
  EXPECT_EQ(rain.Drop(1).Row, 4);
  EXPECT_EQ(rain.Drop(2).Row, 4);
  rain.Tick(painter);  // tick 2: speed 1 and 2
  EXPECT_EQ(rain.Drop(1).Row, 5);
  EXPECT_EQ(rain.Drop(2).Row, 4);
  rain.Tick(painter);  // tick 3: speed 1 and 3
  EXPECT_EQ(rain.Drop(1).Row, 5);
  EXPECT_EQ(rain.Drop(2).Row, 5);
  EXPECT_EQ(rain.TickCount(), 4u);
}

// The colour of the brightest pixel in a cell.
QColor Brightest(const QImage& image, int column, int row) {
  QColor best(0, 0, 0);
  for (int y = row * 12; y < row * 12 + 12; ++y) {
    for (int x = column * 8; x < column * 8 + 8; ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (pixel.green() > best.green()) best = pixel;
    }
  }
  return best;
}

bool CellIs(const QImage& image, int column, int row, const QColor& colour) {
  for (int y = row * 12; y < row * 12 + 12; ++y) {
    for (int x = column * 8; x < column * 8 + 8; ++x) {
      if (image.pixelColor(x, y) != colour) return false;
    }
  }
  return true;
}

TEST(FallingChars, DrawsHeadTrailAndErasesFortyRowsUp) {
  TFallingChars rain;
  rain.Start(80, 120);  // 10 x 10 cells
  QImage surface(80, 120, QImage::Format_RGB32);
  QPainter painter(&surface);
  const QFont font = rain.Font();
  painter.setFont(font);

  surface.fill(Qt::white);
  rain.DrawDrop(painter, TDrop{2, 5, 1, 99}, u'n');
  painter.end();
  // Row 5 - 40 = -35, plus 11 three times: row 9.
  EXPECT_TRUE(CellIs(surface, 2, 9, Qt::black));
  EXPECT_EQ(Brightest(surface, 2, 5), TFallingChars::HeadColour(99));
  EXPECT_EQ(Brightest(surface, 2, 4), TFallingChars::TrailColour(99));
  EXPECT_TRUE(CellIs(surface, 2, 3, Qt::white));
  EXPECT_TRUE(CellIs(surface, 2, 6, Qt::white));

  // At row 0 there is no trail: only the head and the wiped cell change.
  surface.fill(Qt::white);
  painter.begin(&surface);
  painter.setFont(font);
  rain.DrawDrop(painter, TDrop{0, 0, 1, 99}, u'n');
  painter.end();
  const int erased = TFallingChars::EraseRow(0, 10);
  for (int row = 0; row < 10; ++row) {
    if (row == 0) {
      EXPECT_EQ(Brightest(surface, 0, 0), TFallingChars::HeadColour(99));
    } else if (row == erased) {
      EXPECT_TRUE(CellIs(surface, 0, row, Qt::black));
    } else {
      EXPECT_TRUE(CellIs(surface, 0, row, Qt::white)) << "row " << row;
    }
  }
}

class AboutBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { i18n::LoadLanguage(QString(), empty_.path()); }
  QTemporaryDir empty_, program_;
};

TEST_F(AboutBoxTest, TitleLabelAndCaptions) {
  ui::TAboutBox box(nullptr, program_.path());
  EXPECT_EQ(box.windowTitle(), QStringLiteral("About Lumasift"));
  EXPECT_EQ(box.findChild<QLabel*>(QStringLiteral("Label2"))->text(), QStringLiteral("Lumasift 1.5"));
  EXPECT_EQ(box.findChild<QPushButton*>(QStringLiteral("BitBtn1"))->text(), QStringLiteral("OK"));
  EXPECT_EQ(box.findChild<QPushButton*>(QStringLiteral("BitBtn2"))->text(), QStringLiteral("Info"));
  QStringList entries;
  for (QAction* action : box.findChild<QMenu*>(QStringLiteral("PopupMenu1"))->actions()) entries << action->text();
  EXPECT_EQ(entries, (QStringList{"Acknowledgements...", "How to uninstall...", "License..."}));
  EXPECT_EQ(box.size(), QSize(446, 374));
  EXPECT_EQ(box.Animation().DropCount(), 2u * (446 / 8));

  // With the shipped French file the captions follow.
  dialogtest::CopyShippedLanguages(program_.path());
  i18n::LoadLanguage(QStringLiteral("French.lang.txt"), program_.path());
  ui::TAboutBox french(nullptr, program_.path());
  EXPECT_EQ(french.windowTitle(), QStringLiteral("À propos de Lumasift"));
  EXPECT_EQ(french.findChild<QPushButton*>(QStringLiteral("BitBtn2"))->text(), QStringLiteral("Infos"));
}

TEST_F(AboutBoxTest, PanelSlidesAwayAndComesBackCentred) {
  ui::TAboutBox box(nullptr, program_.path());
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  auto* panel = box.findChild<QFrame*>(QStringLiteral("Panel1"));
  auto* egg = box.findChild<QFrame*>(QStringLiteral("PanelEgg"));
  auto* icon = box.findChild<QLabel*>(QStringLiteral("Image1"));
  auto* picture = box.findChild<QLabel*>(QStringLiteral("ImageEgg"));
  const QPoint home = panel->pos();
  EXPECT_EQ(home.x(), (446 - 350) / 2);
  EXPECT_FALSE(egg->isVisible());
  EXPECT_EQ(egg->pos(), QPoint((446 - 324) / 2, (374 - 220) / 2));

  QTest::mouseDClick(icon, Qt::LeftButton);
  EXPECT_TRUE(box.Sliding());
  EXPECT_TRUE(egg->isVisible());
  EXPECT_TRUE(QTest::qWaitFor([&] { return panel->x() > home.x(); }));
  // Double clicks while it slides change nothing.
  const int before = panel->x();
  QTest::mouseDClick(picture, Qt::LeftButton);
  EXPECT_TRUE(egg->isVisible());
  EXPECT_GE(panel->x(), before);
  box.Image1DblClick();
  EXPECT_GE(panel->x(), before);

  EXPECT_TRUE(QTest::qWaitFor([&] { return !box.Sliding(); }, 10000));
  EXPECT_GT(panel->x(), box.width());
  EXPECT_EQ(panel->y(), home.y());

  QTest::mouseDClick(picture, Qt::LeftButton);
  EXPECT_FALSE(egg->isVisible());
  EXPECT_EQ(panel->pos(), home);
}

TEST_F(AboutBoxTest, InfoMenuPagesAndLicence) {
  services::SetMakerHostForTesting(services::TMakerHostOverride{QStringLiteral("maker.invalid"), 0, 0});
  dialogtest::UrlCatcher catcher;
  ui::TAboutBox box(nullptr, program_.path());
  box.open();
  EXPECT_EQ(box.findChild<QLabel*>(QStringLiteral("Label5"))->text(), QStringLiteral("maker.invalid"));
  box.Credits1Click();
  box.Howtouninstall1Click();
  box.Label5Click();
  QTest::mouseClick(box.findChild<QLabel*>(QStringLiteral("Label5")), Qt::LeftButton);
  ASSERT_EQ(catcher.urls.size(), 4);
  EXPECT_EQ(catcher.urls[0], QUrl(QStringLiteral("https://maker.invalid/blog/credits-and-acknowledgements/")));
  EXPECT_EQ(catcher.urls[1], QUrl(QStringLiteral("http://maker.invalid/blog/how-to-uninstall-corvane-software/")));
  EXPECT_EQ(catcher.urls[2], QUrl(QStringLiteral("http://maker.invalid/")));
  EXPECT_EQ(catcher.urls[3], QUrl(QStringLiteral("http://maker.invalid/")));

  {
    dialogtest::MessageBoxAnswerer answerer;
    box.LicensePrivacyPolicy1Click();
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.Text(), QStringLiteral("File not found!"));
    EXPECT_EQ(answerer.Title(), QStringLiteral("License"));
    EXPECT_EQ(answerer.Icon(), QMessageBox::Critical);
  }
  dialogtest::WriteFile(program_.path() + QStringLiteral("/license.txt"), "terms\n");
  box.LicensePrivacyPolicy1Click();
  ASSERT_EQ(catcher.urls.size(), 5);
  EXPECT_EQ(catcher.urls[4], QUrl::fromLocalFile(program_.path() + QStringLiteral("/license.txt")));
  services::SetMakerHostForTesting(std::nullopt);
}

TEST_F(AboutBoxTest, PagesAndLicenceThatCannotBeOpenedAreNamedInAMessageBox) {
  // A handler without the slot it names: the desktop reports a failure.
  QObject refuser;
  for (const char* scheme : {"http", "https", "file"})
    QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &refuser, "NoSuchSlot");
  dialogtest::WriteFile(program_.path() + QStringLiteral("/license.txt"), "terms\n");
  ui::TAboutBox box(nullptr, program_.path());
  box.open();
  {
    dialogtest::MessageBoxAnswerer answerer;
    box.LicensePrivacyPolicy1Click();
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.Icon(), QMessageBox::Warning);
    EXPECT_TRUE(answerer.Text().endsWith(QDir::toNativeSeparators(program_.path() + QStringLiteral("/license.txt"))))
        << answerer.Text().toStdString();
  }
  {
    dialogtest::MessageBoxAnswerer answerer;
    box.Credits1Click();
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_TRUE(answerer.Text().endsWith(ui::AcknowledgementsAddress())) << answerer.Text().toStdString();
  }
  for (const char* scheme : {"http", "https", "file"}) QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

TEST_F(AboutBoxTest, ShippedLicenceIsThere) {
  const QString path = QDir(dialogtest::SourceFolder()).filePath(QStringLiteral("license.txt"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  const QByteArray text = file.readAll();
  EXPECT_TRUE(text.contains("Lumasift"));
  EXPECT_TRUE(text.contains("CORVANE"));
}

TEST_F(AboutBoxTest, DraggingAndEscape) {
  ui::TAboutBox box(nullptr, program_.path());
  box.move(100, 100);
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  auto* panel = box.findChild<QFrame*>(QStringLiteral("Panel1"));
  const QPoint start = box.pos();

  // The right button does not drag, nor do the buttons and the link.
  QTest::mousePress(panel, Qt::RightButton, {}, QPoint(10, 200));
  EXPECT_FALSE(box.Dragging());
  QTest::mouseMove(panel, QPoint(60, 230));
  QTest::mouseRelease(panel, Qt::RightButton, {}, QPoint(60, 230));
  EXPECT_EQ(box.pos(), start);
  for (const char* name : {"BitBtn1", "BitBtn2", "Label5"}) {
    QWidget* widget = box.findChild<QWidget*>(QString::fromLatin1(name));
    QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_FALSE(box.Dragging()) << name;
    // Released outside, so the press clicks nothing.
    QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(-40, -40));
  }
  // The left button on the panel does.
  QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(10, 200));
  EXPECT_TRUE(box.Dragging());
  QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(10, 200));
  EXPECT_FALSE(box.Dragging());

  // Esc closes the box whichever button has the focus.
  for (const char* name : {"BitBtn1", "BitBtn2"}) {
    ui::TAboutBox again(nullptr, program_.path());
    again.open();
    auto* button = again.findChild<QPushButton*>(QString::fromLatin1(name));
    button->setFocus();
    EXPECT_TRUE(QTest::qWaitFor([&] { return again.Animation().TickCount() >= 2; }));  // every 50 ms
    QTest::keyClick(button, Qt::Key_Escape);
    EXPECT_FALSE(again.isVisible()) << name;
    EXPECT_EQ(again.result(), QDialog::Rejected);
    // The animation stops with the box.
    const unsigned ticks = again.Animation().TickCount();
    QTest::qWait(120);
    EXPECT_EQ(again.Animation().TickCount(), ticks);
  }
}

}  // namespace
