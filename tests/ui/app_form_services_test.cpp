// The window's Help menu and its maker services: every entry opens its
// dialog, the update check at start runs against a loopback stand-in for the
// maker's service, the language choice survives a restart, and ending during
// a check leaves nothing behind.
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QSettings>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

#include "dialog_test_support.h"
#include "gui_test_base.h"
#include "i18n/language.h"
#include "services/service_request.h"
#include "services/update_check.h"
#include "support/scoped_env.h"
#include "ui/about_box.h"
#include "ui/feedback_form.h"
#include "ui/maker_pages.h"
#include "ui/new_ver.h"
#include "ui/translate_form.h"

namespace {

using dialogtest::MakerService;

// Hands each modal dialog that opens (message boxes never do: the seam
// answers them) to `act`, which must close it.
class DialogHandler : public QObject {
 public:
  explicit DialogHandler(std::function<void(QDialog*)> act) : act_(std::move(act)) {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr || dialog == last_) return;
      last_ = dialog;
      ++count_;
      act_(dialog);
    });
    timer_.start();
  }
  int Count() const { return count_; }

 private:
  std::function<void(QDialog*)> act_;
  QTimer timer_;
  QPointer<QDialog> last_;
  int count_ = 0;
};

// Accepts connections on 127.0.0.1 and never answers: a service that hangs.
class SilentServer {
 public:
  SilentServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(listener_, 8) != 0) return;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() { ::close(listener_); }
  int Port() const { return port_; }
  // Whether a client has connected (the connection waits in the backlog).
  bool Contacted() const {
    pollfd p{listener_, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
  }

 private:
  int listener_ = -1;
  int port_ = 0;
};

class AppFormServicesTest : public GuiTest {
 protected:
  void TearDown() override {
    GuiTest::TearDown();
    services::SetMakerHostForTesting(std::nullopt);
    services::SetTrustedCaFileForTesting(QString());
    i18n::LoadLanguage(QString(), store_.path());  // no language for the next test
  }

  // The update check on, against a loopback server, with a private store and
  // a trust store of its own (an empty one: the https attempt fails, and
  // nothing depends on the system's certificates).
  void CheckAgainst(int port) { CheckAgainst(port, port); }
  void CheckAgainst(const MakerService& service) { CheckAgainst(service.HttpsPort(), service.HttpPort()); }
  void CheckAgainst(int httpsPort, int httpPort) {
    services::SetMakerHostForTesting(
        services::TMakerHostOverride{QStringLiteral("127.0.0.1"), httpsPort, httpPort});
    dialogtest::WriteFile(store_.filePath(QStringLiteral("no-authorities.pem")), QByteArray());
    services::SetTrustedCaFileForTesting(store_.filePath(QStringLiteral("no-authorities.pem")));
    updateCheck_ = true;
    updateStorePath_ = store_.filePath(QStringLiteral("update.ini"));
  }

  QVariant Stored(const char* key) const {
    return QSettings(updateStorePath_, QSettings::IniFormat).value(QStringLiteral("Settings/") + QLatin1String(key));
  }

  bool WaitForCheck() {
    return WaitFor([this] { return !form_->UpdateCheckPending(); }, 25000);
  }

  QTemporaryDir store_;
};

TEST_F(AppFormServicesTest, EveryHelpEntryOpensItsDialog) {
  OpenForm();
  struct Case {
    const char* action;
    const char* dialogClass;
    const char* title;
  } const cases[] = {
      {"Language1", "ui::TTranslateForm", "Language"},
      {"SendFeedback1", "ui::TFeedbackForm", nullptr},
      {"About1", "ui::TAboutBox", "About Lumasift"},
  };
  for (const Case& c : cases) {
    QString openedClass, title;
    DialogHandler handler([&](QDialog* dialog) {
      openedClass = QString::fromLatin1(dialog->metaObject()->className());
      title = dialog->windowTitle();
      QTimer::singleShot(0, dialog, &QDialog::reject);
    });
    Child<QAction>(c.action)->trigger();  // returns once the dialog has closed
    EXPECT_EQ(handler.Count(), 1) << c.action;
    EXPECT_EQ(openedClass, QLatin1String(c.dialogClass)) << c.action;
    if (c.title) {
      EXPECT_EQ(title, QLatin1String(c.title)) << c.action;
    }
  }
  EXPECT_TRUE(Child<QAction>("Language1")->isVisible());
  EXPECT_TRUE(ui::TMessageBoxSeam::TakeShown().empty());

  Child<QAction>("Help2")->trigger();
  ASSERT_EQ(opened_.size(), 1);
  EXPECT_EQ(opened_[0].toString(), ui::OnlineHelpAddress(QStringLiteral("Lumasift")));
}

TEST_F(AppFormServicesTest, UpdateCheckShowsTheImportantMessageAndTheNotice) {
  MakerService server(
      "<version>1.4</version>\r\n<url>http://127.0.0.1:9/download</url>\r\n\r\n\r\n\r\n"
      "<important>Please update soon</important>\r\n");
  CheckAgainst(server);
  OpenForm();
  auto* entry = Child<QAction>("UpdateNotifications1");
  EXPECT_FALSE(entry->isEnabled()) << "disabled until the check is done";
  ASSERT_TRUE(WaitForCheck());

  const std::vector<ui::TShownMessage> shown = ui::TMessageBoxSeam::TakeShown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].kind, QMessageBox::Warning);
  EXPECT_EQ(shown[0].caption, QStringLiteral("IMPORTANT"));
  EXPECT_EQ(shown[0].text, QStringLiteral("Please update soon"));

  ui::TNewVer* notice = form_->UpdateNotice();
  ASSERT_NE(notice, nullptr) << "1.4 differs from the running 1.5";
  EXPECT_EQ(notice->findChild<QLabel*>(QStringLiteral("Label2"))->text(),
            QStringLiteral("Click to download Lumasift 1.4"));
  EXPECT_TRUE(entry->isEnabled());
  EXPECT_TRUE(entry->isChecked());

  // Over https first (refused), then answered over http.
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Path(), "/php/check2.php");
  const QStringList fields = dialogtest::FormFields(requests[0].body);
  ASSERT_GE(fields.size(), 3);
  EXPECT_EQ(fields.mid(0, 3),
            (QStringList{"cmd=check", "appname=CORVANE - Lumasift", "version=" + form_->AppVersion()}));
  EXPECT_EQ(Stored("LastUpdateCheckCount").toInt(), 1);

  // The notice goes with the window.
  QPointer<ui::TNewVer> alive(notice);
  form_.reset();
  EXPECT_TRUE(alive.isNull());
}

TEST_F(AppFormServicesTest, NotificationsOffAsksNothingAndLeavesTheEntryUnchecked) {
  MakerService server("<version>1.4</version>\r\n");
  CheckAgainst(server);
  dialogtest::WriteFile(updateStorePath_, "[Settings]\nShowUpdate=0\n");
  OpenForm();
  ASSERT_TRUE(WaitForCheck());
  auto* entry = Child<QAction>("UpdateNotifications1");
  EXPECT_TRUE(entry->isEnabled());
  EXPECT_FALSE(entry->isChecked());
  EXPECT_EQ(form_->UpdateNotice(), nullptr);
  EXPECT_TRUE(server.Requests().empty());

  // The entry writes the store for the next start.
  entry->trigger();
  EXPECT_TRUE(entry->isChecked());
  EXPECT_EQ(Stored("ShowUpdate").toInt(), 1);
  entry->trigger();
  EXPECT_FALSE(entry->isChecked());
  EXPECT_EQ(Stored("ShowUpdate").toInt(), 0);
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(AppFormServicesTest, EndingDuringACheckAbandonsIt) {
  for (const bool byExit : {true, false}) {
    SCOPED_TRACE(byExit ? "Exit" : "closing the window");
    SilentServer server;
    ASSERT_NE(server.Port(), 0);
    CheckAgainst(server.Port());
    OpenForm();
    ASSERT_TRUE(WaitFor([&] { return server.Contacted(); }, 10000)) << "the check never started";
    if (byExit) {
      Child<QAction>("Exit1")->trigger();
      EXPECT_EQ(ended_, 1);
    } else {
      EXPECT_TRUE(form_->close());
    }
    EXPECT_FALSE(form_->UpdateCheckPending());
    // The hanging request is given up at once, not after its time-outs.
    QElapsedTimer clock;
    clock.start();
    form_.reset();
    EXPECT_LT(clock.elapsed(), services::kUpdateCheckTimeoutMs);
    QTest::qWait(10);
    EXPECT_TRUE(ui::TMessageBoxSeam::TakeShown().empty());
    EXPECT_FALSE(QSettings(updateStorePath_, QSettings::IniFormat).contains(QStringLiteral("Settings/LastUpdateCheck")));
    ended_ = 0;
  }
}

TEST_F(AppFormServicesTest, LanguageChoiceRestartsWithoutSavingAndIsRememberedAtTheNextStart) {
  dialogtest::CopyShippedLanguages(folder_.path());
  testsupport::ScopedEnv french("LANGUAGE", "fr_FR");  // the system's own choice: French
  WriteData(QStringLiteral("list.txt"), "kept.example\n");
  OpenForm();
  EXPECT_EQ(i18n::LanguageName(), QStringLiteral("French"));
  Editor()->setText(QStringLiteral("edited.example"));

  DialogHandler handler([](QDialog* dialog) {
    auto* form = qobject_cast<ui::TTranslateForm*>(dialog);
    ASSERT_NE(form, nullptr);
    auto* list = form->findChild<QComboBox*>(QStringLiteral("ComboBox1"));
    list->setCurrentIndex(list->findText(QStringLiteral("German")));
    ui::TMessageBoxSeam::QueueAnswer(QMessageBox::Yes);
    form->Button1Click();
    // The program would be gone by now; here the ending was only recorded.
    QTimer::singleShot(0, dialog, &QDialog::reject);
  });
  Child<QAction>("Language1")->trigger();
  ASSERT_EQ(handler.Count(), 1);

  const std::vector<ui::TShownMessage> shown = ui::TMessageBoxSeam::TakeShown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].kind, QMessageBox::Question);
  EXPECT_EQ(shown[0].caption, i18n::Translate(QStringLiteral("Confirmation")));
  EXPECT_EQ(shown[0].answer, QMessageBox::Yes);
  EXPECT_EQ(ended_, 1);
  ASSERT_EQ(restartScripts_.size(), 1);
  EXPECT_EQ(restartScripts_[0], DataFile(QStringLiteral("start.sh")));
  EXPECT_TRUE(QFileInfo(restartScripts_[0]).isFile());
  EXPECT_EQ(ReadData(QStringLiteral("list.txt")), "kept.example\n") << "ending like Exit: the list is not saved";

  // The next start loads the remembered language, not the system's.
  OpenForm();
  EXPECT_EQ(i18n::LanguageName(), QStringLiteral("German"));
  EXPECT_EQ(Editor()->text(), QStringLiteral("kept.example\n"));
}

}  // namespace
