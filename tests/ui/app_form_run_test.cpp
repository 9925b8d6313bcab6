// Runs from the real window against a loopback site: rows, pictures, status
// texts and the run control's states as the worker reaches them.
#include <QAbstractItemModel>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QIcon>
#include <QProgressBar>
#include <QTableView>
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>

#include "gui_test_base.h"
#include "run/test_hooks.h"
#include "services/settings_store.h"
#include "support/run_site.h"
#include "support/scoped_env.h"
#include "ui/image_list.h"

namespace {

using testsupport::RunSite;
using testsupport::SiteReply;
using testsupport::SiteRequest;

// /p/<name>: a page whose only platform is the X-Powered-By value
// "Plat-<name>"; /hold/<name> the same once the test lets it go; /missing 404.
SiteReply Answer(const SiteRequest& request) {
  SiteReply reply;
  if (request.path == "/missing") {
    reply.status = 404;
    reply.reason = "Not Found";
    reply.body = "gone";
    return reply;
  }
  const std::string name = request.path.substr(request.path.rfind('/') + 1);
  reply.headers.push_back({"Content-Type", "text/html"});
  reply.headers.push_back({"X-Powered-By", "Plat-" + name});
  reply.body = "<html><head><title>t</title></head><body>nothing to see</body></html>";
  reply.hold = request.path.starts_with("/hold/");
  return reply;
}

class RunTest : public GuiTest {
 protected:
  QString Url(const std::string& path) const { return QString::fromStdString(site_.Url(path)); }
  void SetLines(const QStringList& lines) { Editor()->setText(lines.join(QStringLiteral("\n"))); }
  QAbstractItemModel* Model() { return Child<QTableView>("ListView1")->model(); }
  QString Cell(int row, int column) { return Model()->index(row, column).data().toString(); }
  bool HasPicture(int row) { return Model()->index(row, 0).data(Qt::DecorationRole).isValid(); }
  int Image(int row) { return form_->WorkList().at(static_cast<size_t>(row)).FImageNo; }
  void ClickHeader(int column) {
    QHeaderView* header = Child<QTableView>("ListView1")->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
  }

  RunSite site_{Answer};
};

TEST_F(RunTest, RowsPicturesAndStatusFollowTheWorker) {
  OpenForm();
  SetLines({Url("/p/a"), QStringLiteral("   "), Url("/missing"), QStringLiteral("  ") + Url("/hold/c") + u' '});
  QTest::mouseClick(StartButton(), Qt::LeftButton);

  // Running: "STOP", no picture, busy pointer.
  EXPECT_EQ(StartButton()->text(), QStringLiteral("STOP"));
  EXPECT_TRUE(StartButton()->isEnabled());
  EXPECT_TRUE(StartButton()->icon().isNull());
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);

  ASSERT_TRUE(WaitFor([&] { return site_.Held() >= 1; }));
  ASSERT_TRUE(WaitFor([&] { return form_->StatusText(0) == QStringLiteral("2 / 3"); }));
  ASSERT_EQ(Model()->rowCount(), 3);
  EXPECT_EQ(Cell(0, 0), Url("/p/a"));
  EXPECT_EQ(Cell(0, 1), QStringLiteral("Plat-a"));
  EXPECT_EQ(Image(0), ui::TImageList::kDone);
  EXPECT_TRUE(Cell(1, 1).startsWith(QStringLiteral("Error: "))) << Cell(1, 1).toStdString();
  EXPECT_EQ(Image(1), ui::TImageList::kError);
  EXPECT_EQ(Cell(2, 0), Url("/hold/c")) << "trimmed";
  EXPECT_EQ(Cell(2, 1), QString());
  EXPECT_EQ(Image(2), ui::TImageList::kInWork);
  EXPECT_TRUE(HasPicture(2));
  EXPECT_EQ(form_->StatusText(1), QStringLiteral("Processing ") + Url("/hold/c"));
  auto* progress = Child<QProgressBar>("ProgressBar1");
  EXPECT_EQ(progress->maximum(), 3);
  EXPECT_EQ(progress->value(), 2);

  // Sorting is refused while the run lasts.
  ClickHeader(0);
  EXPECT_EQ(form_->SortColumn(), -1);

  site_.Release();
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(Cell(2, 1), QStringLiteral("Plat-c"));
  EXPECT_EQ(Image(2), ui::TImageList::kDone);
  EXPECT_EQ(form_->StatusText(0), QStringLiteral("3 / 3"));
  EXPECT_EQ(form_->StatusText(1), QString());
  EXPECT_TRUE(StartButton()->isEnabled());
  EXPECT_FALSE(StartButton()->icon().isNull());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(progress->value(), 3);
}

TEST_F(RunTest, StopGoesThroughStoppingToStartAndLeavesUnreachedRowsBlank) {
  OpenForm();
  SetLines({Url("/hold/a"), Url("/p/b"), Url("/p/c")});
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return site_.Held() >= 1; }));

  QTest::mouseClick(StartButton(), Qt::LeftButton);
  EXPECT_EQ(StartButton()->text(), QStringLiteral("Stopping..."));
  EXPECT_FALSE(StartButton()->isEnabled());
  EXPECT_TRUE(StartButton()->icon().isNull());
  ClickHeader(1);
  EXPECT_EQ(form_->SortColumn(), -1) << "refused while a stop is pending";

  site_.Release();
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(Cell(0, 1), QStringLiteral("Plat-a")) << "the job in progress completes";
  EXPECT_EQ(Image(0), ui::TImageList::kDone);
  for (int row : {1, 2}) {
    EXPECT_EQ(Cell(row, 1), QString()) << row;
    EXPECT_EQ(Image(row), -1) << row;
    EXPECT_FALSE(HasPicture(row)) << row;
  }
  EXPECT_EQ(form_->StatusText(0), QStringLiteral("1 / 3"));
}

// Stop disables the button, and Qt passes the keyboard focus on to Export
// Results; at the end of the run it comes back to Start, unless the user has
// put it somewhere else meanwhile (the parameter).
class StopFocusTest : public RunTest, public testing::WithParamInterface<bool> {};

TEST_P(StopFocusTest, TheKeyboardFocusComesBackToStartAfterAStop) {
  const bool userMovesOn = GetParam();
  OpenForm();
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  SetLines({Url("/hold/a"), Url("/p/b")});
  StartButton()->setFocus(Qt::TabFocusReason);
  QTest::keyClick(StartButton(), Qt::Key_Space);
  ASSERT_TRUE(WaitFor([&] { return site_.Held() >= 1; }));
  QTest::keyClick(StartButton(), Qt::Key_Space);
  ASSERT_FALSE(StartButton()->isEnabled());
  EXPECT_NE(form_->focusWidget(), StartButton());
  QWidget* elsewhere = Child<QWidget>("Edit3");
  if (userMovesOn) elsewhere->setFocus(Qt::TabFocusReason);
  site_.Release();
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(form_->focusWidget(), userMovesOn ? elsewhere : StartButton());
}

INSTANTIATE_TEST_SUITE_P(User, StopFocusTest, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "MovesOn" : "Waits"; });

TEST_F(RunTest, StoppingAndTheResetQuestionPassThroughTheLanguageFile) {
  testsupport::ScopedEnv env("LANGUAGE", "tr_TR");  // Windows language 1055
  ASSERT_TRUE(QDir(folder_.path()).mkdir(QStringLiteral("Languages")));
  WriteData(QStringLiteral("Languages/LanguageCodes.csv"), "1055,Turkish.lang.txt\r\n");
  WriteData(QStringLiteral("Languages/Turkish.lang.txt"),
            "{Stopping...}Durduruluyor...\r\n{Restart Application?}Yeniden ba\xC5\x9Flat\xC4\xB1ls\xC4\xB1n m\xC4\xB1?\r\n"
            "{Confirmation}Onay\r\n{Yes}Evet\r\n{No}Hay\xC4\xB1r\r\n");
  OpenForm();
  SetLines({Url("/hold/a")});
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return site_.Held() >= 1; }));
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  EXPECT_EQ(StartButton()->text(), QStringLiteral("Durduruluyor..."));
  site_.Release();
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(StartButton()->text(), QStringLiteral("Start")) << "Start and STOP are not translated";

  Child<QAction>("ResettoDefaults1")->trigger();  // answered "No" by the seam
  const auto shown = ui::TMessageBoxSeam::TakeShown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, QString::fromUtf8("Yeniden ba\xC5\x9Flat\xC4\xB1ls\xC4\xB1n m\xC4\xB1?"));
  EXPECT_EQ(shown[0].caption, QStringLiteral("Onay"));
  EXPECT_EQ(shown[0].buttonCaptions, (QStringList{QStringLiteral("Evet"), QString::fromUtf8("Hay\xC4\xB1r")}));
  EXPECT_EQ(newCopies_, 0);
}

TEST_F(RunTest, ASecondStartClearsTheOldRowsAtOnce) {
  OpenForm();
  SetLines({Url("/p/a"), Url("/p/b")});
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForIdle());
  ASSERT_EQ(Model()->rowCount(), 2);

  SetLines({Url("/hold/x")});
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  EXPECT_EQ(Model()->rowCount(), 0) << "before any new row is shown";
  EXPECT_TRUE(form_->WorkList().empty());
  ASSERT_TRUE(WaitFor([&] { return site_.Held() >= 1; }));
  EXPECT_EQ(Model()->rowCount(), 1);
  site_.Release();
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(Cell(0, 1), QStringLiteral("Plat-x"));
}

TEST_F(RunTest, PageFetchesSendTheAgentOfStartAndProbesTheAgentFieldAsItIsNow) {
  OpenForm();
  auto* agent = Child<QComboBox>("ComboBox1");
  agent->setEditText(QStringLiteral("AgentAtStart/1"));
  SetLines({Url("/hold/a")});
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return site_.Held() >= 1; }));
  agent->setEditText(QStringLiteral("AgentTypedLater/2"));  // while the page is being fetched
  site_.Release();
  ASSERT_TRUE(WaitForIdle());
  std::map<std::string, std::string> agents;
  for (const auto& request : site_.Requests()) agents[request.method] = request.headers.at("user-agent");
  EXPECT_EQ(agents["GET"], "AgentAtStart/1");
  EXPECT_EQ(agents["HEAD"], "AgentTypedLater/2");
}

TEST_F(RunTest, AnEmptyListEndsAtOnce) {
  OpenForm();
  Editor()->setText(QStringLiteral("  \n\t\n"));
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(form_->StatusText(0), QStringLiteral("0 / 0"));
  EXPECT_EQ(Model()->rowCount(), 0);
}

TEST_F(RunTest, PooledRunFillsEveryRowWithTheStoredThreadCount) {
  OpenForm();
  form_->Settings().WriteInteger(services::kSettingsSection, QStringLiteral("MultiThreads"), 4);
  Child<QAction>("MultiThreaded1")->setChecked(true);
  QStringList lines;
  for (int i = 0; i < 40; ++i) lines << Url("/p/n" + std::to_string(i));
  SetLines(lines);
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForIdle());
  ASSERT_EQ(Model()->rowCount(), 40);
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(Cell(i, 1), QStringLiteral("Plat-n%1").arg(i));
    EXPECT_EQ(Image(i), ui::TImageList::kDone);
  }
  EXPECT_EQ(form_->StatusText(0), QStringLiteral("40 / 40"));
  EXPECT_LE(site_.MaxInProgress(), 4);
}

TEST_F(RunTest, AFailedRunShowsTheErrorBoxAndReturnsToIdleWithoutTheFinish) {
  OpenForm();
  SetLines({Url("/p/a"), Url("/p/b")});
  run::testing::SetJobHook([](int index, const QString&) {
    if (index == 1) throw std::runtime_error("out of luck");
  });
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  const bool idle = WaitForIdle();
  run::testing::SetJobHook(nullptr);
  ASSERT_TRUE(idle);
  const auto shown = ui::TMessageBoxSeam::TakeShown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, QStringLiteral("ERROR"));
  EXPECT_EQ(shown[0].text, QStringLiteral("out of luck"));
  EXPECT_EQ(shown[0].kind, QMessageBox::Critical);
  EXPECT_EQ(Image(0), ui::TImageList::kDone);
  EXPECT_EQ(Image(1), ui::TImageList::kInWork) << "the failing job keeps its in-work picture";
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(RunTest, ClosingTheWindowDuringARunLeavesNothingRunning) {
  OpenForm();
  SetLines({Url("/hold/a"), Url("/p/b")});
  QTest::mouseClick(StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return site_.Held() >= 1; }));
  EXPECT_TRUE(form_->close());
  form_.reset();  // abandons the run and joins its thread; the held request is cut off
  SUCCEED();
}

}  // namespace
