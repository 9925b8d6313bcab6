#include "dialog_test_support.h"

#include <QDirIterator>
#include <QRegularExpression>

namespace dialogtest {

QStringList FormFields(const std::string& body) {
  QStringList fields;
  for (const QByteArray& part : QByteArray::fromStdString(body).split('&')) {
    if (part.isEmpty()) continue;
    const qsizetype equals = part.indexOf('=');
    const QByteArray name = equals < 0 ? part : part.left(equals);
    const QByteArray value = equals < 0 ? QByteArray() : part.mid(equals + 1);
    fields << QUrl::fromPercentEncoding(name) + u'=' + QUrl::fromPercentEncoding(value);
  }
  return fields;
}

MakerService::MakerService(std::string answerBody, int status) {
  server_.SetHandler([answerBody = std::move(answerBody), status](const testsupport::Request&) {
    return testsupport::Reply::Status(status, answerBody, {{"Content-Type", "text/plain; charset=utf-8"}});
  });
}

namespace {

QString Unescape(const QString& literal) {
  QString text;
  for (qsizetype i = 0; i < literal.size(); ++i) {
    if (literal[i] == u'\\' && i + 1 < literal.size()) {
      ++i;
      text += literal[i] == u'n' ? QChar(u'\n') : literal[i];
    } else {
      text += literal[i];
    }
  }
  return text;
}

}  // namespace

// Every key of the program's Translate calls, with the file that asks for it.
std::map<QString, QString> ProgramTranslationKeys() {
  static const QRegularExpression call(QStringLiteral(R"re(Translate\(\s*QStringLiteral\(\s*"((?:[^"\\]|\\.)*)"\s*\)\s*\))re"));
  static const QRegularExpression anyCall(QStringLiteral(R"re(\bTranslate\()re"));
  std::map<QString, QString> keys;
  for (const char* folder : {"ui", "services", "run", "app", "cli"}) {
    QDirIterator files(QDir(dialogtest::SourceFolder()).filePath(QString::fromLatin1(folder)),
                       {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
      const QString path = files.next();
      QFile file(path);
      EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
      QString code;
      // Comments may mention Translate("..."); only code counts.
      for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const qsizetype comment = line.indexOf(QLatin1String("//"));
        code += (comment >= 0 && !line.left(comment).contains(u'"') ? line.left(comment) : line) + u'\n';
      }
      int found = 0;
      for (auto it = call.globalMatch(code); it.hasNext(); ++found) keys.emplace(Unescape(it.next().captured(1)), path);
      int calls = 0;
      for (auto it = anyCall.globalMatch(code); it.hasNext(); it.next()) ++calls;
      // A call with anything but a literal would hide its key from this test.
      EXPECT_EQ(calls, found) << path.toStdString() << ": every Translate call takes a QStringLiteral";
    }
  }
  return keys;
}

}  // namespace dialogtest
