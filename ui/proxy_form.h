#pragma once
// The window's proxy: the choice kept in settings.ini (ProxyMode, Proxy,
// ProxyUser), the password kept in the desktop's secret store (never in
// settings.ini), and the "Proxy" dialog that changes them.
//
// The password: read from the secret store in the background when the
// window starts; when the store has none (or there is no store), asked for
// once, the first time a request needs it (a run's start, feedback), and
// then kept until the program ends. Main thread only.
#include <QDialog>
#include <QObject>
#include <QString>

#include <utility>

#include "fetch/proxy.h"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QRadioButton;
namespace QKeychain {
class Job;
}
namespace services {
class TSettingsStore;
}

namespace ui {

// What settings.ini holds: the mode, the manual proxy URL and its user name.
struct TProxyChoice {
  fetch::ProxyMode mode = fetch::ProxyMode::None;
  QString url;
  QString user;
};
TProxyChoice ReadProxyChoice(const services::TSettingsStore& settings);

// The secret store's outcome.
enum class TSecretResult { Ok, NotFound, NoStore };

class TProxyState : public QObject {
  Q_OBJECT
 public:
  // Reads the choice and starts reading the password in the background.
  TProxyState(services::TSettingsStore& settings, QObject* parent = nullptr);

  const TProxyChoice& Choice() const { return choice_; }
  QString Password() const { return password_; }
  // What the requests use (the password, when not known yet, is empty).
  fetch::ProxySettings Settings() const;

  // Before requests that must not go without the password: waits for the
  // secret store, else asks the user once. False when the user cancelled.
  bool EnsurePassword(QWidget* parent);

  // The dialog's OK: writes settings.ini and the secret store. Returns the
  // secret store's outcome (Ok when there was no password to keep). Throws
  // std::runtime_error when settings.ini cannot be written.
  TSecretResult Save(const TProxyChoice& choice, const QString& password);

  // True the first time it is asked (per window, so per program run): the
  // missing secret store is said once, not at every OK.
  bool FirstNoStoreNotice() { return !std::exchange(noStoreNoticed_, true); }

 Q_SIGNALS:
  // The settings the requests use have changed.
  void Changed();

 private:
  void PasswordRead(QKeychain::Job* job);
  bool NeedsPassword() const;
  void Publish();

  services::TSettingsStore& settings_;
  TProxyChoice choice_;
  QString password_;
  bool passwordKnown_ = false;
  bool reading_ = false;
  bool noStoreNoticed_ = false;
};

// Settings > Proxy: none, the environment, or a manual URL with user name and
// password. OK checks the URL and saves; Cancel changes nothing.
class TProxyForm : public QDialog {
  Q_OBJECT
 public:
  TProxyForm(TProxyState& state, QWidget* parent = nullptr);
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void UpdateEnabled();
  void ShowProblem(const QString& text);
  void GrowToContents();

  TProxyState& state_;
  QRadioButton* none_ = nullptr;
  QRadioButton* environment_ = nullptr;
  QRadioButton* manual_ = nullptr;
  QLineEdit* url_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QLabel* problem_ = nullptr;
};

}  // namespace ui
