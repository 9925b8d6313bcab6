// Settings > Proxy: what the dialog stores (never the password in
// settings.ini), a run going through a real proxy with the password kept for
// the session, the password asked for once per session without a secret
// store, and the dialog's texts fitting in every shipped language.
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QPointer>
#include <QTimer>

#include <functional>

#include "gui_test_base.h"
#include "i18n/language.h"
#include "services/service_request.h"
#include "services/settings_store.h"
#include "tests/support/loopback_server.h"
#include "tests/support/proxy_server.h"
#include "tests/support/scoped_env.h"
#include "ui/proxy_form.h"

namespace {

QString SettingsValue(const QByteArray& ini, const QString& key) {
  for (const QString& line : QString::fromUtf8(ini).split(QStringLiteral("\r\n")))
    if (line.startsWith(key + u'=')) return line.mid(key.size() + 1);
  return QStringLiteral("<absent>");
}

// Runs `act` on the first modal widget of type T once it is open.
template <typename T>
void OnModal(const std::function<void(T&)>& act) {
  auto* poll = new QTimer;
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      act(*dialog);
    }
  });
  poll->start();
}

class ProxyFormTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    // No secret store here: the session bus points nowhere.
    environment_.Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/lumasift-test-bus");
    environment_.ClearProxyVariables();
  }
  void TearDown() override {
    GuiTest::TearDown();
    services::SetServiceProxy({});
  }

  void ChooseManual(const QString& url, const QString& user, const QString& password) {
    OnModal<ui::TProxyForm>([=](ui::TProxyForm& d) {
      d.findChild<QRadioButton*>("ProxyManual")->setChecked(true);
      d.findChild<QLineEdit*>("ProxyUrl")->setText(url);
      d.findChild<QLineEdit*>("ProxyUser")->setText(user);
      d.findChild<QLineEdit*>("ProxyPassword")->setText(password);
      d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    Child<QAction>("Proxy1")->trigger();
  }

  // Starts a run over `url` and waits for its end; `password` answers the
  // password prompt when one opens (nullptr: cancels it). Returns how many
  // prompts opened.
  int Run(const QString& url, const char* password) {
    Editor()->setText(url);
    int prompts = 0;
    QTimer poll;
    poll.setInterval(5);
    QPointer<QInputDialog> last;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* d = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      if (!d || d == last) return;
      last = d;
      ++prompts;
      if (password) {
        d->setTextValue(QString::fromUtf8(password));
        d->accept();
      } else {
        d->reject();
      }
    });
    poll.start();
    StartButton()->click();
    EXPECT_TRUE(WaitForIdle());
    return prompts;
  }

  testsupport::ScopedEnv environment_;
};

TEST_F(ProxyFormTest, ManualProxyCarriesRunsAndThePasswordStaysOutOfSettings) {
  if (!testsupport::ProxyServer::Installed(testsupport::ProxyServer::Kind::Http)) GTEST_SKIP() << "no tinyproxy";
  testsupport::ProxyServer proxy({testsupport::ProxyServer::Kind::Http, "alice", "s3cret"});
  ASSERT_TRUE(proxy.Started()) << proxy.Problem();
  testsupport::LoopbackServer site;
  site.SetHandler([](const testsupport::Request&) {
    return testsupport::Reply::Status(200, "<html><body>nothing to see</body></html>",
                                      {{"Content-Type", "text/html"}, {"X-Powered-By", "Plat-proxied"}});
  });
  const QString siteUrl = QString::fromStdString(site.Url("/"));

  OpenForm();
  ChooseManual(QString::fromStdString(proxy.Url()), QStringLiteral("alice"), QStringLiteral("s3cret"));
  const QByteArray ini = ReadData("settings.ini");
  EXPECT_EQ(SettingsValue(ini, "ProxyMode"), QStringLiteral("manual"));
  EXPECT_EQ(SettingsValue(ini, "Proxy"), QString::fromStdString(proxy.Url()));
  EXPECT_EQ(SettingsValue(ini, "ProxyUser"), QStringLiteral("alice"));
  EXPECT_FALSE(ini.contains("s3cret"));
  // Without a secret store the user is told the password lasts for this session.
  const auto shown = ui::TMessageBoxSeam::TakeShown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(shown[0].text.contains(QStringLiteral("secret store")));

  // This session knows the password: no prompt, and the run goes through the proxy.
  EXPECT_EQ(Run(siteUrl, nullptr), 0);
  ASSERT_EQ(form_->WorkList().size(), 1u);
  EXPECT_EQ(form_->WorkList()[0].FPlatform, QStringLiteral("Plat-proxied"));
  EXPECT_TRUE(proxy.Saw(site.Port())) << proxy.Log();
  // The maker's services follow the same proxy.
  EXPECT_EQ(services::ServiceProxy().url, proxy.Url());
  EXPECT_EQ(services::ServiceProxy().password, "s3cret");

  // Next start: asked once, then kept.
  OpenForm();
  EXPECT_EQ(Run(siteUrl, "s3cret"), 1);
  EXPECT_EQ(form_->WorkList()[0].FPlatform, QStringLiteral("Plat-proxied"));
  EXPECT_EQ(Run(siteUrl, nullptr), 0);
  EXPECT_EQ(site.Requests().size(), 6u) << "a page fetch and a probe per run";

  // Cancelling the prompt starts no run.
  OpenForm();
  EXPECT_EQ(Run(siteUrl, nullptr), 1);
  EXPECT_TRUE(form_->WorkList().empty());
  EXPECT_EQ(site.Requests().size(), 6u);
  EXPECT_FALSE(ReadData("settings.ini").contains("s3cret"));
}

TEST_F(ProxyFormTest, DialogRefusesUnusableUrlsAndStoresEachMode) {
  OpenForm();
  auto* action = Child<QAction>("Proxy1");
  const QList<QAction*> items = Child<QMenu>("Settings1")->actions();
  EXPECT_EQ(items.indexOf(action), items.indexOf(Child<QAction>("MultiThreaded1")) + 1);

  struct Refused {
    const char* url;
    const char* says;
  } refused[] = {{"", "Enter the proxy URL."},
                 {"ftp://proxy:21", "socks5h://"},
                 {"http://alice:pw@proxy:3128", "own fields"}};
  for (const Refused& r : refused) {
    bool stillOpen = false;
    QString problem;
    OnModal<ui::TProxyForm>([&](ui::TProxyForm& d) {
      d.findChild<QRadioButton*>("ProxyManual")->setChecked(true);
      d.findChild<QLineEdit*>("ProxyUrl")->setText(QString::fromUtf8(r.url));
      d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
      stillOpen = d.isVisible();
      problem = d.findChild<QLabel*>("ProxyProblem")->text();
      d.reject();
    });
    action->trigger();
    EXPECT_TRUE(stillOpen) << r.url;
    EXPECT_TRUE(problem.contains(QString::fromUtf8(r.says))) << r.url << " " << problem.toStdString();
  }
  EXPECT_FALSE(QFile::exists(DataFile("settings.ini"))) << "nothing stored by a refused or cancelled dialog";

  OnModal<ui::TProxyForm>([](ui::TProxyForm& d) {
    EXPECT_TRUE(d.findChild<QRadioButton*>("ProxyNone")->isChecked()) << "the default";
    EXPECT_FALSE(d.findChild<QLineEdit*>("ProxyUrl")->isEnabled());
    d.findChild<QRadioButton*>("ProxyEnvironment")->setChecked(true);
    d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  });
  action->trigger();
  EXPECT_EQ(SettingsValue(ReadData("settings.ini"), "ProxyMode"), QStringLiteral("env"));
  EXPECT_EQ(services::ServiceProxy().mode, fetch::ProxyMode::Environment);

  // A hand-edited URL that is no longer usable means direct requests.
  form_->Settings().WriteString(services::kSettingsSection, QStringLiteral("ProxyMode"), QStringLiteral("manual"));
  form_->Settings().WriteString(services::kSettingsSection, QStringLiteral("Proxy"), QStringLiteral("gopher://x"));
  OpenForm();
  EXPECT_EQ(services::ServiceProxy().mode, fetch::ProxyMode::None);
}

// What does not fit in the dialog as laid out now: a text cut or squeezed,
// a field lower than it needs, two controls on top of each other.
QStringList Misfits(QDialog& dialog) {
  QStringList misfits;
  QList<QWidget*> shown;
  for (QWidget* widget : dialog.findChildren<QWidget*>()) {
    if (!widget->isVisible() || widget->parentWidget() != &dialog) continue;
    shown << widget;
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      // Wrapped notes need their height for the width they got.
      const int need = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
      if (label->height() < need) misfits << QStringLiteral("%1 is %2 high, needs %3").arg(label->text()).arg(label->height()).arg(need);
      if (!label->wordWrap() && label->width() < label->sizeHint().width()) misfits << label->text() + QStringLiteral(" cut");
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      if (button->width() < button->sizeHint().width()) misfits << button->text() + QStringLiteral(" cut");
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
      if (edit->height() < edit->sizeHint().height())
        misfits << QStringLiteral("%1 is %2 high, needs %3").arg(edit->objectName()).arg(edit->height()).arg(edit->sizeHint().height());
    }
  }
  for (qsizetype i = 0; i < shown.size(); ++i)
    for (qsizetype j = i + 1; j < shown.size(); ++j)
      if (shown[i]->geometry().intersects(shown[j]->geometry()))
        misfits << shown[i]->objectName() + QStringLiteral(" overlaps ") + shown[j]->objectName();
  return misfits;
}

// In every language, as opened and once OK has shown why a URL is refused:
// the dialog grows for the message instead of squeezing its fields.
TEST_F(ProxyFormTest, TextsFitInEveryShippedLanguageAlsoWithTheMessage) {
  OpenForm();
  const QString program = QStringLiteral(LUMASIFT_TEST_SOURCE_DIR);
  for (const char* language : {"German.lang.txt", "French.lang.txt", "Turkish.lang.txt", ""}) {
    i18n::LoadLanguage(QString::fromLatin1(language), program);
    ui::TProxyState state(form_->Settings());
    ui::TProxyForm dialog(state, form_.get());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    if (*language) {
      EXPECT_FALSE(dialog.findChild<QLabel*>("ProxyPasswordNote")->text().startsWith(u"The password"))
          << language << ": translated";
    }
    EXPECT_EQ(Misfits(dialog), QStringList()) << language << ", as opened";
    const QSize opened = dialog.size();
    dialog.findChild<QRadioButton*>("ProxyManual")->setChecked(true);
    dialog.findChild<QLineEdit*>("ProxyUrl")->setText(QStringLiteral("127.0.0.1:18888"));
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QTest::qWait(20);
    ASSERT_TRUE(dialog.isVisible()) << language;
    ASSERT_TRUE(dialog.findChild<QLabel*>("ProxyProblem")->isVisible()) << language;
    EXPECT_GT(dialog.height(), opened.height()) << language << ": grown for the message";
    EXPECT_EQ(Misfits(dialog), QStringList()) << language << ", with the message";
    dialog.close();
  }
  i18n::LoadLanguage(QString(), folder_.path());
}

TEST_F(ProxyFormTest, TheMissingSecretStoreIsSaidOncePerSession) {
  OpenForm();
  for (const char* password : {"one", "two", "three"}) ChooseManual(QStringLiteral("http://127.0.0.1:3128"), QStringLiteral("alice"), QString::fromLatin1(password));
  const auto shown = ui::TMessageBoxSeam::TakeShown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(shown[0].text.contains(QStringLiteral("secret store")));
  // A new session says it again, once.
  OpenForm();
  ChooseManual(QStringLiteral("http://127.0.0.1:3128"), QStringLiteral("alice"), QStringLiteral("four"));
  EXPECT_EQ(ui::TMessageBoxSeam::TakeShown().size(), 1u);
}

}  // namespace
