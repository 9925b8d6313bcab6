#include "services/service_request.h"

#include "test_authority.h"
#include "support/proxy_server.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

using testsupport::LoopbackServer;
using testsupport::RefusingPort;
using services_test::TReply;
using services_test::SetReply;
using services_test::TTestAuthority;

namespace {

class ServiceRequestTest : public services_test::TMakerServiceTest {
 protected:
  static QString Url(const char* scheme, int port, const char* path = "php/check2.php") {
    return QStringLiteral("%1://127.0.0.1:%2/%3")
        .arg(QLatin1String(scheme))
        .arg(port)
        .arg(QLatin1String(path));
  }
};

TEST_F(ServiceRequestTest, HttpsPostSendsTheEncodedFormWithConnectionClose) {
  LoopbackServer server(authority_->ServerOptions());
  SetReply(server, {200, "text/plain; charset=utf-8", "<version>1.6</version>\r\n", 0});

  const QString answer = services::PostForm(
      Url("https", server.Port()),
      {QStringLiteral("cmd=check"), QStringLiteral("appname=CORVANE - Lumasift"),
       QStringLiteral("feedback=I like it! (Ich mag es)\r\xC4=&+b"), QStringLiteral("guid=")},
      3000);

  EXPECT_EQ(answer, QStringLiteral("<version>1.6</version>\r\n"));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/php/check2.php");
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(requests[0].Header("Connection"), "close");
  // Names and values percent-encoded from UTF-8, in order, joined by "&".
  EXPECT_EQ(requests[0].body,
            "cmd=check&appname=CORVANE%20-%20Lumasift"
            "&feedback=I%20like%20it%21%20%28Ich%20mag%20es%29%0D%C3%84%3D%26%2Bb&guid=");
}

TEST_F(ServiceRequestTest, HttpsErrorStatusIsAnAnswerButPlainHttpErrorStatusFails) {
  LoopbackServer secure(authority_->ServerOptions());
  LoopbackServer plain;
  const TReply serverError{500, "text/html", "<html>Internal Server Error</html>", 0};
  SetReply(secure, serverError);
  SetReply(plain, serverError);

  EXPECT_EQ(services::PostForm(Url("https", secure.Port()), {QStringLiteral("cmd=check")}, 3000),
            QStringLiteral("<html>Internal Server Error</html>"));
  EXPECT_THROW(services::PostForm(Url("http", plain.Port()), {QStringLiteral("cmd=check")}, 3000),
               std::runtime_error);

  SetReply(plain, {399, "text/plain", "still an answer", 0});
  EXPECT_EQ(services::PostForm(Url("http", plain.Port()), {QStringLiteral("cmd=check")}, 3000),
            QStringLiteral("still an answer"));
}

TEST_F(ServiceRequestTest, BodyIsDecodedByTheDeclaredCharset) {
  LoopbackServer server;
  struct Case {
    const char* contentType;
    std::string body;
    QString expected;
  };
  const Case cases[] = {
      {"text/plain; charset=windows-1254", "\xDE\xFE\xD0", QStringLiteral(u"ŞşĞ")},
      {"text/plain; charset=\"ISO-8859-1\"", "caf\xE9", QStringLiteral(u"café")},
      {"text/plain; charset=utf-8", "\xEF\xBB\xBFOK", QStringLiteral("OK")},
      {"text/plain", "\xC3\xA7", QStringLiteral(u"ç")},
      {"text/plain; charset=no-such-charset", "\xC3\xA7", QStringLiteral(u"ç")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.contentType);
    SetReply(server, {200, c.contentType, c.body, 0});
    EXPECT_EQ(services::PostForm(Url("http", server.Port()), {QStringLiteral("cmd=x")}, 3000),
              c.expected);
  }
}

TEST_F(ServiceRequestTest, HttpsRefusesACertificateFromAnUntrustedAuthority) {
  TTestAuthority stranger;
  LoopbackServer server(stranger.ServerOptions());
  SetReply(server, {200, "text/plain", "OK", 0});
  EXPECT_THROW(services::PostForm(Url("https", server.Port()), {QStringLiteral("cmd=x")}, 3000),
               std::runtime_error);
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(ServiceRequestTest, HttpsRefusedThenHttpAnsweredWithTheSameFields) {
  RefusingPort refused;
  LoopbackServer plain;
  SetReply(plain, {200, "text/plain", "OK", 0});
  PointMakerAt(refused.Port(), plain.Port());

  bool httpsFailed = false;
  const QStringList fields = {QStringLiteral("cmd=feedback"), QStringLiteral("feedback=a b")};
  EXPECT_EQ(services::ServiceRequest(QStringLiteral("php/feedback.php"), fields, 3000, &httpsFailed),
            QStringLiteral("OK"));
  EXPECT_TRUE(httpsFailed);
  const auto requests = plain.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/php/feedback.php");
  EXPECT_EQ(requests[0].body, "cmd=feedback&feedback=a%20b");
}

TEST_F(ServiceRequestTest, HttpsAnswerIsTakenWithoutAskingHttp) {
  LoopbackServer secure(authority_->ServerOptions());
  LoopbackServer plain;
  SetReply(secure, {503, "text/plain", "busy", 0});
  PointMakerAt(secure.Port(), plain.Port());

  bool httpsFailed = true;
  EXPECT_EQ(services::ServiceRequest(QStringLiteral("php/check2.php"), {QStringLiteral("cmd=check")},
                                     3000, &httpsFailed),
            QStringLiteral("busy"));
  EXPECT_FALSE(httpsFailed);
  EXPECT_TRUE(plain.Requests().empty());
}

TEST_F(ServiceRequestTest, BothSchemesFailing) {
  RefusingPort refusedSecure;
  LoopbackServer plain;
  SetReply(plain, {404, "text/html", "not here", 0});
  PointMakerAt(refusedSecure.Port(), plain.Port());

  bool httpsFailed = false;
  EXPECT_THROW(services::ServiceRequest(QStringLiteral("php/check2.php"),
                                        {QStringLiteral("cmd=check")}, 3000, &httpsFailed),
               std::runtime_error);
  EXPECT_TRUE(httpsFailed);

  RefusingPort refusedPlain;
  PointMakerAt(refusedSecure.Port(), refusedPlain.Port());
  EXPECT_THROW(services::ServiceRequest(QStringLiteral("php/check2.php"),
                                        {QStringLiteral("cmd=check")}, 3000),
               std::runtime_error);
}

TEST_F(ServiceRequestTest, HttpsThatDoesNotAnswerInTimeFallsBackToHttp) {
  LoopbackServer secure(authority_->ServerOptions());
  LoopbackServer plain;
  SetReply(secure, {200, "text/plain", "too late", 5000});
  SetReply(plain, {200, "text/plain", "OK", 0});
  PointMakerAt(secure.Port(), plain.Port());

  bool httpsFailed = false;
  EXPECT_EQ(services::ServiceRequest(QStringLiteral("php/feedback.php"),
                                     {QStringLiteral("cmd=feedback")}, 300, &httpsFailed),
            QStringLiteral("OK"));
  EXPECT_TRUE(httpsFailed);
  ASSERT_EQ(secure.Requests().size(), 1u);
  EXPECT_EQ(secure.Requests()[0].body, plain.Requests().at(0).body);
}

TEST_F(ServiceRequestTest, BothSchemesGoThroughTheServiceProxy) {
  if (!testsupport::ProxyServer::Installed(testsupport::ProxyServer::Kind::Http)) GTEST_SKIP() << "no tinyproxy";
  testsupport::ProxyServer proxy({testsupport::ProxyServer::Kind::Http, "alice", "s3cret"});
  ASSERT_TRUE(proxy.Started()) << proxy.Problem();
  LoopbackServer secure(authority_->ServerOptions());
  LoopbackServer plain;
  SetReply(secure, {200, "text/plain", "secure", 0});
  SetReply(plain, {200, "text/plain", "plain", 0});
  PointMakerAt(secure.Port(), plain.Port());
  struct ResetProxy {
    ~ResetProxy() { services::SetServiceProxy({}); }
  } reset;

  services::SetServiceProxy({fetch::ProxyMode::Manual, proxy.Url(), "alice", "s3cret"});
  EXPECT_EQ(services::ServiceRequest(QStringLiteral("php/check2.php"), {QStringLiteral("cmd=check")}, 3000),
            QStringLiteral("secure"));
  EXPECT_TRUE(proxy.Saw(secure.Port())) << proxy.Log();  // a tunnel, the certificate still checked
  EXPECT_EQ(services::PostForm(Url("http", plain.Port()), {QStringLiteral("cmd=check")}, 3000),
            QStringLiteral("plain"));
  EXPECT_TRUE(proxy.Saw(plain.Port())) << proxy.Log();

  // The proxy's refusal is told in the fetch's words.
  services::SetServiceProxy({fetch::ProxyMode::Manual, proxy.Url(), "", ""});
  try {
    services::PostForm(Url("http", plain.Port()), {QStringLiteral("cmd=check")}, 3000);
    ADD_FAILURE() << "no failure";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Proxy requires authentication.");
  }
  EXPECT_EQ(plain.Requests().size(), 1u);
}

TEST_F(ServiceRequestTest, MakerUrlUsesTheBuildSettingUnlessOverridden) {
  EXPECT_EQ(services::MakerHost(), QStringLiteral(LUMASIFT_MAKER_HOST));
  EXPECT_EQ(services::MakerUrl(QStringLiteral("https"), QStringLiteral("php/check2.php")),
            QStringLiteral("https://" LUMASIFT_MAKER_HOST "/php/check2.php"));
  PointMakerAt(4443, 8080);
  EXPECT_EQ(services::MakerUrl(QStringLiteral("https"), QStringLiteral("a")),
            QStringLiteral("https://127.0.0.1:4443/a"));
  EXPECT_EQ(services::MakerUrl(QStringLiteral("http"), QStringLiteral("a")),
            QStringLiteral("http://127.0.0.1:8080/a"));
}

TEST(TagValue, ReadsOnlyExactlyTaggedLines) {
  struct Case {
    const char* line;
    const char* tag;
    const char* expected;
  };
  const Case cases[] = {
      {"<version>1.6</version>", "version", "1.6"},
      {"<version>1.6</version>", "Version", "1.6"},  // the tag is lowered
      {" <version>1.6</version>", "version", ""},    // something before the tag
      {"<version>1.6</version> ", "version", ""},    // something after it
      {"<Version>1.6</Version>", "version", ""},     // tags compare case-sensitively
      {"<url></url>", "url", ""},
      {"<important>  keep blanks </important>", "important", "  keep blanks "},
      {"<version>1.6</url>", "version", ""},
      {"<version>", "version", ""},
      {"", "version", ""},
      {"<>x</>", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(services::TagValue(QString::fromUtf8(c.line), QString::fromUtf8(c.tag)),
              QString::fromUtf8(c.expected));
  }
}

TEST(OperatingSystemDescription, FromOsReleaseAndKernel) {
  const QString debian = QStringLiteral(
      "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n");
  EXPECT_EQ(services::OperatingSystemDescriptionFrom(debian, "Linux", "6.1.0-13-amd64", "x86_64"),
            QStringLiteral("Debian GNU/Linux 12 (bookworm) (Version 6.1, Build 0, 64-bit Edition)"));
  EXPECT_EQ(services::OperatingSystemDescriptionFrom(QStringLiteral("NAME='Arch \"Linux\"'"),
                                                     "Linux", "6.12.7-arch1-1", "i686"),
            QStringLiteral("Arch \"Linux\" (Version 6.12, Build 7, 32-bit Edition)"));
  EXPECT_EQ(services::OperatingSystemDescriptionFrom(QString(), "Linux", "5", "aarch64"),
            QStringLiteral("Linux (Version 5.0, Build 0, 64-bit Edition)"));
  EXPECT_EQ(services::OperatingSystemDescriptionFrom(
                QStringLiteral("PRETTY_NAME=\"Say \\\"%1\\\" 100%\""), "Linux", "6.1", "s390x"),
            QStringLiteral("Say \"%1\" 100% (Version 6.1, Build 0, 64-bit Edition)"));

  // This machine's own description has the same shape.
  EXPECT_TRUE(services::OperatingSystemDescription().contains(
      QRegularExpression(QStringLiteral(R"(^.+ \(Version \d+\.\d+, Build \d+, (32|64)-bit Edition\)$)"))));
}

TEST(LocaleName, LanguageRegionOrXx) {
  EXPECT_EQ(services::LocaleNameFor(QStringLiteral("de_DE")), QStringLiteral("de-DE"));
  EXPECT_EQ(services::LocaleNameFor(QStringLiteral("en_US")), QStringLiteral("en-US"));
  EXPECT_EQ(services::LocaleNameFor(QStringLiteral("tr_TR")), QStringLiteral("tr-TR"));
  EXPECT_EQ(services::LocaleNameFor(QStringLiteral("C")), QStringLiteral("xx"));
  EXPECT_EQ(services::LocaleNameFor(QStringLiteral("POSIX")), QStringLiteral("xx"));
  EXPECT_EQ(services::LocaleNameFor(QString()), QStringLiteral("xx"));
  EXPECT_FALSE(services::GetLocaleName().isEmpty());
}

TEST(MachineGuid, KeyedHashOfTheMachineIdNeverTheIdItself) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  auto write = [&folder](const char* name, const QByteArray& contents) {
    const QString path = folder.filePath(QLatin1String(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
    return path;
  };
  const QString machineId = write("machine-id", "4f2c9d1e8a7b43c6b5d0e1f2a3b4c5d6\n");
  // Known answer: HMAC-SHA256(key = machine id, data = our application id),
  // first 16 bytes, marked as a version 4 UUID.
  EXPECT_EQ(services::GetMachineGuidFrom(machineId),
            QStringLiteral("a01a0178-e104-47a8-a866-e0a0ebd1fc89"));
  // The UUID spelling of the same id gives the same identifier.
  EXPECT_EQ(services::GetMachineGuidFrom(write("dashed", "4f2c9d1e-8a7b-43c6-b5d0-e1f2a3b4c5d6")),
            QStringLiteral("a01a0178-e104-47a8-a866-e0a0ebd1fc89"));

  EXPECT_EQ(services::GetMachineGuidFrom(folder.filePath(QStringLiteral("missing"))), QString());
  EXPECT_EQ(services::GetMachineGuidFrom(write("empty", "")), QString());
  EXPECT_EQ(services::GetMachineGuidFrom(write("uninitialized", "uninitialized\n")), QString());
  EXPECT_EQ(services::GetMachineGuidFrom(write("short", "4f2c9d1e8a7b43c6")), QString());
  EXPECT_EQ(services::GetMachineGuidFrom(write("zero", QByteArray(32, '0'))), QString());
  EXPECT_EQ(services::GetMachineGuidFrom(write("nonhex", "4f2c9d1e8a7b43c6b5d0e1f2a3b4c5zz")),
            QString());
}

TEST(MachineGuid, AgreesWithSystemdsApplicationSpecificId) {
  const QString tool = QStandardPaths::findExecutable(QStringLiteral("systemd-id128"));
  if (tool.isEmpty() || !QFile::exists(QStringLiteral("/etc/machine-id")))
    GTEST_SKIP() << "no systemd-id128 or no /etc/machine-id here";
  QProcess process;
  process.start(tool, {QStringLiteral("machine-id"),
                       QStringLiteral("--app-specific=0b1af7c2e45941e6b5cc3ef95991029f")});
  ASSERT_TRUE(process.waitForFinished(10000));
  if (process.exitCode() != 0) GTEST_SKIP() << "systemd-id128 could not read the machine id";
  const QString expected = QString::fromLatin1(process.readAllStandardOutput()).trimmed();
  QString ours = services::GetMachineGuidFrom(QStringLiteral("/etc/machine-id"));
  ours.remove(u'-');
  EXPECT_EQ(ours, expected);
}

}  // namespace
