#pragma once
// Helpers of the dialog tests: answering the next message box, catching the
// addresses the program asks the desktop to open, a program folder with
// language files, and a loopback HTTP server for the maker's web service.

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

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
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

// One request as the loopback server received it.
struct ReceivedRequest {
  std::string method;
  std::string path;
  std::string body;
  // The form fields in order, percent-decoded: "name=value".
  QStringList Fields() const;
};

// A plain HTTP/1.1 server on 127.0.0.1 and a free port, on its own thread
// (the feedback request blocks the main thread while it waits). Answers every
// request with the given body. A TLS handshake is refused at once, so an
// https attempt against it fails quickly, as against a host without https.
class LoopbackHttpServer {
 public:
  explicit LoopbackHttpServer(std::string answerBody, int status = 200);
  ~LoopbackHttpServer();
  int Port() const { return port_; }
  std::vector<ReceivedRequest> Requests() const;

 private:
  void Serve();
  int listener_ = -1;
  int port_ = 0;
  std::string answer_;
  int status_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<ReceivedRequest> requests_;
  std::thread thread_;
};

}  // namespace dialogtest
