#include "ui/proxy_form.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include <qt6keychain/keychain.h>

#include <stdexcept>

#include "i18n/language.h"
#include "services/service_request.h"
#include "services/settings_store.h"
#include "ui/message_dialog.h"
#include "ui/palette_colours.h"

namespace ui {
namespace {

const QString kProxyModeKey = QStringLiteral("ProxyMode");
const QString kProxyKey = QStringLiteral("Proxy");
const QString kProxyUserKey = QStringLiteral("ProxyUser");
// The secret store's service name; each entry's key is "user@proxy URL".
const QString kSecretService = QStringLiteral("Lumasift proxy");
// How long a start waits for a secret store that has not answered yet.
constexpr int kSecretStoreWaitMs = 10000;

QString Account(const TProxyChoice& choice) { return choice.user + u'@' + choice.url; }

bool WithPassword(const TProxyChoice& choice) {
  return choice.mode == fetch::ProxyMode::Manual && !choice.user.isEmpty();
}

TSecretResult ResultOf(const QKeychain::Job& job) {
  switch (job.error()) {
    case QKeychain::NoError:
      return TSecretResult::Ok;
    case QKeychain::EntryNotFound:
      return TSecretResult::NotFound;
    default:
      return TSecretResult::NoStore;
  }
}

// Runs a secret-store job to its end (the store may ask the user to unlock
// it, so events go on meanwhile).
TSecretResult RunJob(QKeychain::Job& job) {
  job.setAutoDelete(false);
  QEventLoop loop;
  QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
  job.start();
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  return ResultOf(job);
}

}  // namespace

TProxyChoice ReadProxyChoice(const services::TSettingsStore& settings) {
  TProxyChoice choice;
  const QString mode = settings.ReadString(services::kSettingsSection, kProxyModeKey, QString()).trimmed();
  fetch::ProxyMode parsed = fetch::ProxyMode::None;
  if (fetch::ProxyModeFromName(mode.toStdString(), parsed)) choice.mode = parsed;
  choice.url = settings.ReadString(services::kSettingsSection, kProxyKey, QString()).trimmed();
  choice.user = settings.ReadString(services::kSettingsSection, kProxyUserKey, QString());
  // A URL that is no longer usable (edited by hand) sends nothing anywhere
  // unexpected: the requests then go direct.
  if (choice.mode == fetch::ProxyMode::Manual &&
      fetch::CheckProxyUrl(choice.url.toStdString()) != fetch::ProxyUrlProblem::None)
    choice.mode = fetch::ProxyMode::None;
  return choice;
}

// ---- TProxyState ------------------------------------------------------------

TProxyState::TProxyState(services::TSettingsStore& settings, QObject* parent)
    : QObject(parent), settings_(settings), choice_(ReadProxyChoice(settings)) {
  Publish();
  if (!NeedsPassword()) return;
  auto* job = new QKeychain::ReadPasswordJob(kSecretService, this);
  job->setKey(Account(choice_));
  connect(job, &QKeychain::Job::finished, this, &TProxyState::PasswordRead);
  reading_ = true;
  job->start();
}

bool TProxyState::NeedsPassword() const { return WithPassword(choice_) && !passwordKnown_; }

void TProxyState::PasswordRead(QKeychain::Job* job) {
  reading_ = false;
  if (ResultOf(*job) != TSecretResult::Ok || !NeedsPassword()) return;
  password_ = static_cast<QKeychain::ReadPasswordJob*>(job)->textData();
  passwordKnown_ = true;
  Publish();
}

fetch::ProxySettings TProxyState::Settings() const {
  fetch::ProxySettings settings;
  settings.mode = choice_.mode;
  if (choice_.mode == fetch::ProxyMode::Manual) {
    settings.url = choice_.url.toStdString();
    settings.user = choice_.user.toStdString();
    settings.password = password_.toStdString();
  }
  return settings;
}

void TProxyState::Publish() {
  if (!password_.isEmpty()) fetch::KeepCoreDumpsFromPassword();
  services::SetServiceProxy(Settings());
  Q_EMIT Changed();
}

bool TProxyState::EnsurePassword(QWidget* parent) {
  if (!NeedsPassword()) return true;
  if (reading_) {
    QEventLoop loop;
    QTimer::singleShot(kSecretStoreWaitMs, &loop, &QEventLoop::quit);
    connect(this, &TProxyState::Changed, &loop, &QEventLoop::quit);
    for (QKeychain::Job* job : findChildren<QKeychain::Job*>())
      connect(job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!NeedsPassword()) return true;
  }
  bool ok = false;
  const QString password =
      QInputDialog::getText(parent, i18n::Translate(QStringLiteral("Proxy")),
                            i18n::Translate(QStringLiteral("Password of the proxy user %1:")).arg(choice_.user),
                            QLineEdit::Password, QString(), &ok);
  if (!ok) return false;
  password_ = password;
  passwordKnown_ = true;
  Publish();
  return true;
}

TSecretResult TProxyState::Save(const TProxyChoice& choice, const QString& password) {
  settings_.WriteString(services::kSettingsSection, kProxyModeKey,
                        QString::fromLatin1(fetch::ProxyModeName(choice.mode).data()));
  settings_.WriteString(services::kSettingsSection, kProxyKey, choice.url);
  settings_.WriteString(services::kSettingsSection, kProxyUserKey, choice.user);

  TSecretResult result = TSecretResult::Ok;
  const bool keep = WithPassword(choice) && !password.isEmpty();
  if (WithPassword(choice_) && (!keep || Account(choice_) != Account(choice))) {
    QKeychain::DeletePasswordJob job(kSecretService);
    job.setKey(Account(choice_));
    RunJob(job);
  }
  if (keep) {
    QKeychain::WritePasswordJob job(kSecretService);
    job.setKey(Account(choice));
    job.setTextData(password);
    result = RunJob(job);
  }
  choice_ = choice;
  password_ = WithPassword(choice) ? password : QString();
  passwordKnown_ = true;
  Publish();
  return result;
}

// ---- TProxyForm --------------------------------------------------------------

TProxyForm::TProxyForm(TProxyState& state, QWidget* parent) : QDialog(parent), state_(state) {
  setObjectName(QStringLiteral("ProxyForm"));
  setWindowTitle(i18n::Translate(QStringLiteral("Proxy")));
  auto* layout = new QVBoxLayout(this);

  none_ = new QRadioButton(i18n::Translate(QStringLiteral("No proxy: connect directly")), this);
  none_->setObjectName(QStringLiteral("ProxyNone"));
  environment_ = new QRadioButton(
      i18n::Translate(QStringLiteral("Proxy from the environment (http_proxy, https_proxy, all_proxy, no_proxy)")),
      this);
  environment_->setObjectName(QStringLiteral("ProxyEnvironment"));
  manual_ = new QRadioButton(i18n::Translate(QStringLiteral("Manual proxy:")), this);
  manual_->setObjectName(QStringLiteral("ProxyManual"));
  auto* group = new QButtonGroup(this);
  for (QRadioButton* button : {none_, environment_, manual_}) {
    group->addButton(button);
    layout->addWidget(button);
  }

  auto* form = new QFormLayout;
  form->setContentsMargins(24, 0, 0, 0);
  url_ = new QLineEdit(this);
  url_->setObjectName(QStringLiteral("ProxyUrl"));
  url_->setPlaceholderText(QStringLiteral("http://proxy.example.com:3128"));
  user_ = new QLineEdit(this);
  user_->setObjectName(QStringLiteral("ProxyUser"));
  password_ = new QLineEdit(this);
  password_->setObjectName(QStringLiteral("ProxyPassword"));
  password_->setEchoMode(QLineEdit::Password);
  form->addRow(i18n::Translate(QStringLiteral("Proxy URL:")), url_);
  form->addRow(i18n::Translate(QStringLiteral("User name:")), user_);
  form->addRow(i18n::Translate(QStringLiteral("Password:")), password_);
  layout->addLayout(form);

  auto* note = new QLabel(i18n::Translate(QStringLiteral(
                              "The password is kept in the desktop's secret store, never in settings.ini. Without a secret store it is kept until the program ends and asked for once after the next start.")),
                          this);
  note->setObjectName(QStringLiteral("ProxyPasswordNote"));
  note->setWordWrap(true);
  layout->addWidget(note);

  problem_ = new QLabel(this);
  problem_->setObjectName(QStringLiteral("ProxyProblem"));
  problem_->setWordWrap(true);
  QPalette problemPalette = problem_->palette();
  problemPalette.setColor(QPalette::WindowText, ProblemTextColour(problemPalette));
  problem_->setPalette(problemPalette);
  problem_->hide();
  layout->addWidget(problem_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(i18n::Translate(QStringLiteral("OK")));
  buttons->button(QDialogButtonBox::Cancel)->setText(i18n::Translate(QStringLiteral("Cancel")));
  connect(buttons, &QDialogButtonBox::accepted, this, &TProxyForm::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  const TProxyChoice& choice = state_.Choice();
  (choice.mode == fetch::ProxyMode::Manual        ? manual_
   : choice.mode == fetch::ProxyMode::Environment ? environment_
                                                   : none_)
      ->setChecked(true);
  url_->setText(choice.url);
  user_->setText(choice.user);
  password_->setText(state_.Password());
  connect(group, &QButtonGroup::buttonToggled, this, [this] { UpdateEnabled(); });
  UpdateEnabled();
  // Wide enough for the note to wrap into a few lines, not a column.
  setMinimumWidth(qMax(480, layout->sizeHint().width()));
}

void TProxyForm::ShowProblem(const QString& text) {
  problem_->setText(text);
  problem_->show();
  GrowToContents();
}

void TProxyForm::GrowToContents() {
  // Wrapped texts need more lines than the dialog had room for (a message
  // shown, a longer translation): the dialog grows instead of squeezing the
  // fields under them.
  QLayout* all = layout();
  all->activate();
  const int needed = all->hasHeightForWidth() ? all->totalHeightForWidth(width()) : all->totalSizeHint().height();
  setMinimumHeight(qMax(minimumHeight(), needed));
  if (height() < needed) resize(width(), needed);
}

void TProxyForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  GrowToContents();
}

void TProxyForm::UpdateEnabled() {
  for (QLineEdit* edit : {url_, user_, password_}) edit->setEnabled(manual_->isChecked());
}

void TProxyForm::accept() {
  TProxyChoice choice;
  choice.mode = manual_->isChecked()        ? fetch::ProxyMode::Manual
                : environment_->isChecked() ? fetch::ProxyMode::Environment
                                            : fetch::ProxyMode::None;
  choice.url = url_->text().trimmed();
  choice.user = user_->text();
  if (choice.mode == fetch::ProxyMode::Manual) {
    QString problem;
    switch (fetch::CheckProxyUrl(choice.url.toStdString())) {
      case fetch::ProxyUrlProblem::None:
        break;
      case fetch::ProxyUrlProblem::Empty:
        problem = i18n::Translate(QStringLiteral("Enter the proxy URL."));
        break;
      case fetch::ProxyUrlProblem::Credentials:
        problem = i18n::Translate(QStringLiteral("Put the user name and password in their own fields, not in the URL."));
        break;
      default:
        problem = i18n::Translate(QStringLiteral(
            "The proxy URL begins with http://, https://, socks4://, socks4a://, socks5:// or socks5h:// and names a host, for example http://proxy.example.com:3128."));
        break;
    }
    if (!problem.isEmpty()) {
      ShowProblem(problem);
      url_->setFocus();
      return;
    }
  } else {
    // Kept for the next time the manual mode is chosen; the password goes
    // with the mode, so it is not kept.
    choice.url = fetch::CheckProxyUrl(choice.url.toStdString()) == fetch::ProxyUrlProblem::None ? choice.url
                                                                                                 : QString();
  }
  TSecretResult stored = TSecretResult::Ok;
  try {
    stored = state_.Save(choice, choice.mode == fetch::ProxyMode::Manual ? password_->text() : QString());
  } catch (const std::exception& error) {
    ShowProblem(QString::fromUtf8(error.what()));
    return;
  }
  QDialog::accept();
  if (stored == TSecretResult::NoStore && state_.FirstNoStoreNotice()) {
    // Said once, here, so the user knows why the next start asks for it.
    ShowMessageBox(parentWidget(), QMessageBox::Information, i18n::Translate(QStringLiteral("Proxy")),
                   i18n::Translate(QStringLiteral(
                       "No secret store is available: the password is kept until the program ends.")));
  }
}

}  // namespace ui
