#pragma once
// Helpers of the dialog tests: answering the next message box, catching the
// addresses the program asks the desktop to open, a program folder with
// language files, and a loopback stand-in for the maker's web service.

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include "tests/support/loopback_server.h"

#include <map>
#include <string>
#include <vector>

namespace dialogtest {

// Answers the next modal message box that opens while it lives: remembers
// its title and text and presses the given button.
class MessageBoxAnswerer : public QObject {
 public:
  explicit MessageBoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok) : answer_(answer) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start();
  }

  int Count() const { return count_; }
  QString Title() const { return title_; }
  QString Text() const { return text_; }
  QMessageBox::Icon Icon() const { return icon_; }
  QStringList ButtonTexts() const { return buttons_; }

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box == last_) return;
    last_ = box;
    ++count_;
    title_ = box->windowTitle();
    text_ = box->text();
    icon_ = box->icon();
    buttons_.clear();
    for (QAbstractButton* button : box->buttons()) buttons_ << button->text();
    if (QAbstractButton* button = box->button(answer_)) {
      button->click();
    } else {
      box->reject();
    }
  }

  QMessageBox::StandardButton answer_;
  QTimer timer_;
  QPointer<QMessageBox> last_;
  int count_ = 0;
  QString title_, text_;
  QMessageBox::Icon icon_ = QMessageBox::NoIcon;
  QStringList buttons_;
};

// Catches what the program asks the desktop to open (web pages and files),
// so that no browser or viewer starts during the tests.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  UrlCatcher() {
    for (const char* scheme : {"http", "https", "file"}) {
      QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
    }
  }
  ~UrlCatcher() override {
    for (const char* scheme : {"http", "https", "file"}) QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
  }
  QList<QUrl> urls;

 public Q_SLOTS:
  void Open(const QUrl& url) { urls << url; }
};

inline void WriteFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  file.write(bytes);
}

// The source tree, where the shipped files lie.
inline QString SourceFolder() { return QStringLiteral(LUMASIFT_TEST_SOURCE_DIR); }

// The language files that ship with the program.
inline QString ShippedLanguagesFolder() { return QDir(SourceFolder()).filePath(QStringLiteral("Languages")); }

inline void CopyShippedLanguages(const QString& programFolder) {
  const QDir from(ShippedLanguagesFolder());
  QDir().mkpath(programFolder + QStringLiteral("/Languages"));
  const QStringList names = from.entryList(QDir::Files);
  ASSERT_FALSE(names.isEmpty()) << "no shipped language files in " << from.path().toStdString();
  for (const QString& name : names) {
    ASSERT_TRUE(QFile::copy(from.filePath(name), programFolder + QStringLiteral("/Languages/") + name));
  }
}

// Every text the program passes through Translate (the keys of the language
// files), found in the sources, with the file that asks for it. Fails the
// running test when a Translate call takes anything but a literal, whose
// key the scan could not see.
std::map<QString, QString> ProgramTranslationKeys();

// The form fields of a url-encoded request body in order, percent-decoded:
// "name=value".
QStringList FormFields(const std::string& body);

// The maker's web service on loopback: plain HTTP on a free port of
// 127.0.0.1, on the server's own threads (the feedback request blocks the
// main thread while it waits), answering every request with the given body.
// Its https port refuses connections, so the https attempt fails at once, as
// against a host without https.
class MakerService {
 public:
  explicit MakerService(std::string answerBody, int status = 200);
  int HttpsPort() const { return refusedHttps_.Port(); }
  int HttpPort() const { return server_.Port(); }
  std::vector<testsupport::Request> Requests() const { return server_.Requests(); }

 private:
  testsupport::RefusingPort refusedHttps_;
  testsupport::LoopbackServer server_;
};

}  // namespace dialogtest
