#include "dialog_test_support.h"

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

}  // namespace dialogtest
