#include "services/update_check.h"

#include "services/service_request.h"
#include "test_authority.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

using testsupport::LoopbackServer;
using testsupport::RefusingPort;
using services_test::TReply;
using services_test::SetReply;

namespace {

const QDate kToday(2026, 3, 14);

// The service's answer: version on line 1, url on line 2, important on line 6.
std::string Answer(const std::string& version, const std::string& url = "",
                   const std::string& important = "") {
  return "<version>" + version + "</version>\r\n<url>" + url +
         "</url>\r\n<date>2026-03-01</date>\r\n\r\n\r\n<important>" + important +
         "</important>\r\n";
}

class TRecordingHost : public services::TImportantMessageHost {
 public:
  void ShowImportantMessage(const QString& message) override {
    messages.append(message);
    threads.append(QThread::currentThread());
  }
  QStringList messages;
  QList<QThread*> threads;
};

class UpdateCheckTest : public services_test::TMakerServiceTest {
 protected:
  void SetUp() override {
    TMakerServiceTest::SetUp();
    ASSERT_TRUE(folder_.isValid());
    secure_ = std::make_unique<LoopbackServer>(authority_->ServerOptions());
    plain_ = std::make_unique<LoopbackServer>();
    PointMakerAt(secure_->Port(), plain_->Port());
  }
  QString StorePath() const { return folder_.filePath(QStringLiteral("update.ini")); }
  services::TUpdateStore Store() const { return services::TUpdateStore(StorePath()); }

  services::TUpdateCheckInputs Inputs() const {
    services::TUpdateCheckInputs inputs;
    inputs.storePath = StorePath();
    inputs.today = kToday;
    inputs.appName = QStringLiteral("CORVANE - Lumasift");
    inputs.appVersion = QStringLiteral("1.5");
    inputs.timeoutMs = 3000;
    inputs.machineGuid = [] { return QStringLiteral("0d3c1e9a-5b7f-4a2e-9c8d-1f2e3d4c5b6a"); };
    return inputs;
  }

  services::TUpdateOutcome Check(TRecordingHost* host = nullptr) {
    return services::RunUpdateCheck(Inputs(), host);
  }

  int RequestCount() const {
    return static_cast<int>(secure_->Requests().size() + plain_->Requests().size());
  }

  QTemporaryDir folder_;
  std::unique_ptr<LoopbackServer> secure_;
  std::unique_ptr<LoopbackServer> plain_;
};


TEST_F(UpdateCheckTest, SendsTheCheckFieldsInOrder) {
  SetReply(*secure_, {200, "text/plain", Answer("1.5"), 0});
  Check();

  const auto requests = secure_->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/php/check2.php");
  QStringList names, values;
  for (const QByteArray& pair : QByteArray::fromStdString(requests[0].body).split('&')) {
    const qsizetype equals = pair.indexOf('=');
    names.append(QString::fromUtf8(QByteArray::fromPercentEncoding(pair.left(equals))));
    values.append(QString::fromUtf8(QByteArray::fromPercentEncoding(pair.mid(equals + 1))));
  }
  EXPECT_EQ(names, (QStringList{"cmd", "appname", "version", "os", "local", "guid"}));
  EXPECT_EQ(values, (QStringList{"check", "CORVANE - Lumasift", "1.5",
                                 services::OperatingSystemDescription(),
                                 services::GetLocaleName(),
                                 "0d3c1e9a-5b7f-4a2e-9c8d-1f2e3d4c5b6a"}));
}

TEST_F(UpdateCheckTest, AtMostFiveChecksADay) {
  struct Case {
    const char* name;
    QDate lastCheck;  // invalid: no store yet
    int lastCount;
    bool requested;
    int countAfter;
    bool notice;
  };
  const Case cases[] = {
      {"fifth check done today", kToday, 5, false, 5, false},
      {"more than five today", kToday, 7, false, 7, false},
      {"fourth done today", kToday, 4, true, 5, false},
      {"second done today", kToday, 2, true, 3, true},
      {"nine yesterday", kToday.addDays(-1), 9, true, 1, true},
      {"first ever", QDate(), 0, true, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(StorePath());
    auto store = Store();
    if (c.lastCheck.isValid()) {
      ASSERT_TRUE(store.WriteLastUpdateCheck(services::UpdateCheckDateText(c.lastCheck), c.lastCount));
    }
    const int before = RequestCount();
    SetReply(*secure_, {200, "text/plain", Answer("1.6", "https://example.invalid/get"), 0});

    const auto outcome = Check();

    EXPECT_EQ(RequestCount() - before, c.requested ? 1 : 0);
    EXPECT_EQ(outcome.requestSent, c.requested);
    EXPECT_EQ(store.LastUpdateCheckCount(), c.countAfter);
    EXPECT_EQ(store.LastUpdateCheck(),
              c.requested ? QStringLiteral("2026-03-14") : services::UpdateCheckDateText(c.lastCheck));
    EXPECT_EQ(outcome.updateAvailable, c.notice);
  }
}

TEST_F(UpdateCheckTest, StoreIsAnIniFileWithASettingsSection) {
  SetReply(*secure_, {200, "text/plain", Answer("1.6"), 0});
  Check();
  QFile file(StorePath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  EXPECT_TRUE(text.contains(QStringLiteral("[Settings]")));
  EXPECT_TRUE(text.contains(QStringLiteral("LastUpdateCheck=2026-03-14")));
  EXPECT_TRUE(text.contains(QStringLiteral("LastUpdateCheckCount=1")));

  file.close();

  // Unreadable values fall back to the defaults.
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write("[Settings]\nShowUpdate=yes\nLastUpdateCheckCount=many\n");
  file.close();
  EXPECT_EQ(Store().ShowUpdate(), 1);
  EXPECT_EQ(Store().LastUpdateCheckCount(), 0);
  EXPECT_EQ(Store().LastUpdateCheck(), QString());
}

TEST_F(UpdateCheckTest, DefaultStoreLivesInTheUsersConfigurationFolder) {
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", folder_.path().toUtf8());
  const QString path = services::TUpdateStore::DefaultPath();
  qputenv("XDG_CONFIG_HOME", saved);
  EXPECT_EQ(path, folder_.path() + QStringLiteral("/CORVANE/Lumasift/update.ini"));
}

TEST_F(UpdateCheckTest, ShowUpdateZeroSendsNothing) {
  ASSERT_TRUE(Store().WriteShowUpdate(0));
  SetReply(*secure_, {200, "text/plain", Answer("1.6"), 0});
  const auto outcome = Check();
  EXPECT_EQ(RequestCount(), 0);
  EXPECT_EQ(outcome.showUpdate, 0);
  EXPECT_FALSE(outcome.updateAvailable);
  EXPECT_EQ(Store().LastUpdateCheck(), QString());
}

TEST_F(UpdateCheckTest, ShowUpdateOtherThanOneChecksWithoutNotice) {
  ASSERT_TRUE(Store().WriteShowUpdate(2));
  SetReply(*secure_, {200, "text/plain", Answer("1.6"), 0});
  const auto outcome = Check();
  EXPECT_EQ(RequestCount(), 1);
  EXPECT_EQ(outcome.showUpdate, 2);
  EXPECT_FALSE(outcome.updateAvailable);
  EXPECT_EQ(Store().LastUpdateCheckCount(), 1);
}

TEST_F(UpdateCheckTest, VersionComparison) {
  struct Case {
    std::string answer;
    bool notice;
  };
  const Case cases[] = {
      {Answer("1.4"), true},  // differs: older counts as well
      {Answer("1.6"), true},
      {Answer("2.0.1"), true},
      {Answer("1.6b"), false},  // not a number without its dots
      {Answer("1.5"), false},   // the running version
      {Answer(""), false},
      {"no tagged lines at all", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    QFile::remove(StorePath());
    SetReply(*secure_, {200, "text/plain", c.answer, 0});
    const auto outcome = Check();
    EXPECT_EQ(outcome.updateAvailable, c.notice);
    // Every successful check is counted, with or without a notice.
    EXPECT_EQ(Store().LastUpdateCheck(), QStringLiteral("2026-03-14"));
    EXPECT_EQ(Store().LastUpdateCheckCount(), 1);
  }
  EXPECT_FALSE(services::IsUpdateAvailable(QStringLiteral("1.6"), QStringLiteral("1.5"), 1, 5));
  EXPECT_FALSE(services::IsUpdateAvailable(QStringLiteral("1.6"), QStringLiteral("1.5"), 0, 1));
  EXPECT_FALSE(services::IsUpdateAvailable(QStringLiteral("1.6 "), QStringLiteral("1.5"), 1, 1));
  EXPECT_FALSE(services::IsUpdateAvailable(QStringLiteral("9.9.9.9.9.9.9.9.9.9"),
                                           QStringLiteral("1.5"), 1, 1));
}

TEST_F(UpdateCheckTest, LatestVersionAndDownloadAddressAreTaken) {
  SetReply(*secure_, {200, "text/plain; charset=utf-8",
                     Answer("1.6", "https://example.invalid/lumasift.deb"), 0});
  const auto outcome = Check();
  EXPECT_EQ(outcome.latestVersion, QStringLiteral("1.6"));
  EXPECT_EQ(outcome.downloadAddress, QStringLiteral("https://example.invalid/lumasift.deb"));
}

TEST_F(UpdateCheckTest, ErrorAnswerIsARefusal) {
  SetReply(*secure_, {200, "text/plain", "ERROR: unknown application\r\n", 0});
  TRecordingHost host;
  const auto outcome = Check(&host);
  EXPECT_EQ(RequestCount(), 1);
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_FALSE(outcome.updateAvailable);
  EXPECT_EQ(Store().LastUpdateCheck(), QString());
  EXPECT_EQ(Store().LastUpdateCheckCount(), 0);

  // Only the upper-case word at the very start refuses.
  SetReply(*secure_, {200, "text/plain", Answer("1.6") + "ERROR", 0});
  EXPECT_TRUE(Check().succeeded);
}

TEST_F(UpdateCheckTest, ImportantMessageIsHandedOverUntrimmed) {
  TRecordingHost host;
  SetReply(*secure_, {200, "text/plain", Answer("1.6", "", " Please update: security fix "), 0});
  EXPECT_TRUE(Check(&host).updateAvailable);
  EXPECT_EQ(host.messages, QStringList{" Please update: security fix "});

  host.messages.clear();
  SetReply(*secure_, {200, "text/plain", Answer("1.6", "", " \t "), 0});
  Check(&host);
  EXPECT_TRUE(host.messages.isEmpty());

  // On another line than the sixth it is not a message.
  SetReply(*secure_, {200, "text/plain", "<version>1.6</version>\r\n<important>hi</important>\r\n", 0});
  Check(&host);
  EXPECT_TRUE(host.messages.isEmpty());
}

TEST_F(UpdateCheckTest, HttpAnswerAfterHttpsFailureCounts) {
  RefusingPort refused;
  PointMakerAt(refused.Port(), plain_->Port());
  SetReply(*plain_, {200, "text/plain", Answer("1.6"), 0});
  const auto outcome = Check();
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_TRUE(outcome.updateAvailable);
  EXPECT_EQ(Store().LastUpdateCheckCount(), 1);
}

TEST_F(UpdateCheckTest, NothingIsWrittenWhenBothSchemesFail) {
  RefusingPort refusedSecure, refusedPlain;
  PointMakerAt(refusedSecure.Port(), refusedPlain.Port());
  TRecordingHost host;
  const auto outcome = Check(&host);
  EXPECT_TRUE(outcome.requestSent);
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_FALSE(outcome.updateAvailable);
  EXPECT_FALSE(QFile::exists(StorePath()));
}

TEST_F(UpdateCheckTest, MachineIdFailureIsClearedOnlyByAnHttpAnswer) {
  auto inputs = Inputs();
  inputs.machineGuid = []() -> QString { throw std::runtime_error("no machine id"); };

  // https answers: the failure mark stays, the check counts for nothing.
  SetReply(*secure_, {200, "text/plain", Answer("1.6"), 0});
  auto outcome = services::RunUpdateCheck(inputs, nullptr);
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_FALSE(QFile::exists(StorePath()));
  EXPECT_TRUE(secure_->Requests().at(0).body.ends_with("&guid="));

  // https fails and http answers: every mark is removed.
  RefusingPort refused;
  PointMakerAt(refused.Port(), plain_->Port());
  SetReply(*plain_, {200, "text/plain", Answer("1.6"), 0});
  outcome = services::RunUpdateCheck(inputs, nullptr);
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_EQ(Store().LastUpdateCheckCount(), 1);
}

TEST_F(UpdateCheckTest, CheckerRunsOnItsOwnThreadAndHandsTheMessageToTheMainThread) {
  SetReply(*secure_, {200, "text/plain",
                     Answer("1.6", "https://example.invalid/get", "Read this first"), 0});
  TRecordingHost host;
  QObject context;  // lives on the main thread, as the window does
  auto results = std::make_shared<services::TUpdateResults>();
  QPointer<services::TChecker> checker = new services::TChecker(Inputs(), results, &context, &host);
  EXPECT_FALSE(results->CheckDone());
  EXPECT_FALSE(results->UpdateAvailable());
  checker->start();

  // The main thread keeps serving events, as the window's event loop does.
  const QDeadlineTimer deadline(20000);
  while (!results->CheckDone() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_TRUE(results->CheckDone());

  EXPECT_EQ(host.messages, QStringList{"Read this first"});
  ASSERT_EQ(host.threads.size(), 1);
  EXPECT_EQ(host.threads[0], QThread::currentThread());
  EXPECT_TRUE(results->UpdateAvailable());
  EXPECT_EQ(results->ShowUpdate(), 1);
  EXPECT_EQ(results->LatestVersion(), QStringLiteral("1.6"));
  EXPECT_EQ(results->DownloadAddress(), QStringLiteral("https://example.invalid/get"));

  // It frees itself once it has ended.
  const QDeadlineTimer gone(10000);
  while (checker && !gone.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  EXPECT_TRUE(checker.isNull());
}

TEST_F(UpdateCheckTest, AbandonedCheckEndsQuicklyAndWritesNothing) {
  SetReply(*secure_, {200, "text/plain", Answer("1.6"), 5000});
  SetReply(*plain_, {200, "text/plain", Answer("1.6"), 5000});
  auto inputs = Inputs();
  inputs.timeoutMs = 10000;
  auto results = std::make_shared<services::TUpdateResults>();
  QPointer<services::TChecker> checker = new services::TChecker(inputs, results, nullptr, nullptr);
  checker->start();
  QThread::msleep(300);
  checker->Abandon();
  const QDeadlineTimer deadline(4000);
  while (!results->CheckDone() && !deadline.hasExpired()) QThread::msleep(20);
  ASSERT_TRUE(results->CheckDone());
  EXPECT_FALSE(results->UpdateAvailable());
  EXPECT_FALSE(QFile::exists(StorePath()));
  EXPECT_TRUE(plain_->Requests().empty());
  checker->wait();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(UpdateCheckTest, PollStartsWaitsAndReportsDoneOnce) {
  ASSERT_TRUE(Store().WriteShowUpdate(0));
  QObject context;
  services::TUpdateCheckPoll poll(Inputs(), &context, nullptr);
  using TTick = services::TUpdateCheckPoll::TTick;
  EXPECT_EQ(poll.Tick(), TTick::Started);
  TTick tick = TTick::Waiting;
  const QDeadlineTimer deadline(10000);
  while (tick == TTick::Waiting && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    tick = poll.Tick();
  }
  EXPECT_EQ(tick, TTick::Done);
  EXPECT_EQ(poll.Tick(), TTick::Idle);
  // Notices off: the entry ends unchecked, and nothing was asked.
  EXPECT_EQ(poll.Results()->ShowUpdate(), 0);
  EXPECT_FALSE(poll.Results()->UpdateAvailable());
  EXPECT_EQ(RequestCount(), 0);
  QThread::msleep(50);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(UpdateCheckTest, WindowClosingDuringTheCheckDropsTheMessage) {
  SetReply(*secure_, {200, "text/plain", Answer("1.6", "", "Read this first"), 300});
  TRecordingHost host;
  auto* context = new QObject;
  auto poll = std::make_unique<services::TUpdateCheckPoll>(Inputs(), context, &host);
  poll->Tick();
  const auto results = poll->Results();
  // The window goes: first its poll, then the object itself. The main thread
  // serves no events from here on, so a hand-over that waited for it would
  // never end.
  poll.reset();
  delete context;
  const QDeadlineTimer deadline(10000);
  while (!results->CheckDone() && !deadline.hasExpired()) QThread::msleep(20);
  ASSERT_TRUE(results->CheckDone());
  EXPECT_TRUE(host.messages.isEmpty());
  EXPECT_FALSE(results->UpdateAvailable());
  QThread::msleep(100);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(UpdateCheckTest, MenuEntryTogglesShowUpdate) {
  auto store = Store();
  EXPECT_FALSE(services::ToggleUpdateNotifications(true, store));
  EXPECT_EQ(store.ShowUpdate(), 0);
  EXPECT_TRUE(services::ToggleUpdateNotifications(false, store));
  EXPECT_EQ(store.ShowUpdate(), 1);
}

}  // namespace
