#pragma once
// A fixture for tests that drive the real main window: its program folder
// (and so its data folder, settings.ini and list.txt) is a fresh temporary
// folder, message boxes are answered by the test instead of a person, file
// dialogs take the test's next file name, and opening a web page or a file,
// starting a new copy, starting the restart script and ending the
// application are recorded instead of done. The update check stays off unless a test turns it
// on (after pointing the maker's host at a loopback server of its own).
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "run/identifier.h"
#include "ui/app_form.h"
#include "ui/dropdown_menu.h"
#include "ui/file_dialog.h"
#include "ui/message_dialog.h"
#include "ui/url_editor.h"

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    ui::TMessageBoxSeam::Activate();
    ui::TFileDialogSeam::Reset();
    ui::testing::ForgetDropDownMenu();
    run::StopFlag().store(false);
  }

  void TearDown() override {
    form_.reset();
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    ui::TMessageBoxSeam::Deactivate();
    ui::TFileDialogSeam::Reset();
  }

  // Creates (or re-creates, as a new start of the program would) the window.
  ui::TAppForm& OpenForm() {
    form_.reset();
    ui::TAppFormOptions options;
    options.programFolder = folder_.path();
    options.openUrl = [this](const QUrl& url) {
      opened_ << url;
      return openSucceeds_;
    };
    options.openFile = [this](const QUrl& url) {
      openedFiles_ << url;
      return openFileWorks_;
    };
    options.startNewCopy = [this] {
      ++newCopies_;
      return true;
    };
    options.endApplication = [this] { ++ended_; };
    options.startRestartScript = [this](const QString& script) {
      restartScripts_ << script;
      return true;
    };
    // Off unless a test points the maker's host at its own server.
    options.updateCheck = updateCheck_;
    options.updateStorePath = updateStorePath_;
    form_ = std::make_unique<ui::TAppForm>(options);
    form_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    QTest::qWait(5);  // Timer1's tick
    return *form_;
  }

  template <typename T>
  T* Child(const char* name) {
    T* child = form_->findChild<T*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  ui::TUrlEditor* Editor() { return Child<ui::TUrlEditor>("SynEdit1"); }
  QAbstractButton* StartButton() { return Child<QAbstractButton>("ButtonStart"); }

  QString DataFile(const QString& name) const { return folder_.path() + u'/' + name; }
  QByteArray ReadData(const QString& name) const {
    QFile file(DataFile(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  void WriteData(const QString& name, const QByteArray& bytes) const {
    QFile file(DataFile(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
  }

  // Waits, with events running, until `done` holds; false after `ms`.
  static bool WaitFor(const std::function<bool()>& done, int ms = 20000) { return QTest::qWaitFor(done, ms); }

  // Waits until the window is idle again after a run.
  bool WaitForIdle(int ms = 20000) {
    return WaitFor([this] { return !form_->RunInProgress() && StartButton()->text() == QLatin1String("Start"); }, ms);
  }

  QTemporaryDir folder_;
  std::unique_ptr<ui::TAppForm> form_;
  QList<QUrl> opened_;
  QList<QUrl> openedFiles_;
  bool openFileWorks_ = true;
  bool openSucceeds_ = true;  // what the desktop answers when asked to open an address
  int newCopies_ = 0;
  int ended_ = 0;
  QStringList restartScripts_;
  bool updateCheck_ = false;
  QString updateStorePath_;
};
