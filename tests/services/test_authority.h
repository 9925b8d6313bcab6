// TLS for the service tests' loopback servers: a certificate authority made
// at run time that the client under test is told to trust, and a server
// certificate it signed. One scripted reply serves every request.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "services/service_request.h"
#include "tests/support/loopback_server.h"

namespace services_test {

// A certificate authority of its own and a server certificate it signed for
// 127.0.0.1 and localhost. CaFile() is the authority's certificate as PEM,
// for a client that should trust it.
class TTestAuthority {
 public:
  TTestAuthority();
  TTestAuthority(const TTestAuthority&) = delete;
  TTestAuthority& operator=(const TTestAuthority&) = delete;

  QString CaFile() const { return caFile_; }
  // A loopback server speaking TLS with the signed certificate.
  testsupport::LoopbackServer::Options ServerOptions() const;

 private:
  QTemporaryDir folder_;
  QString caFile_;
  testsupport::Certificate server_;
};

struct TReply {
  int status = 200;
  std::string contentType = "text/plain; charset=utf-8";
  std::string body;
  int delayMs = 0;  // wait this long before answering
};

// From now on the server answers every request with `reply`.
void SetReply(testsupport::LoopbackServer& server, const TReply& reply);

// Tests against the maker's service on loopback: one authority per suite,
// trusted by the service requests while a test runs; the trust and the
// maker's host are set back after every test.
class TMakerServiceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { authority_ = std::make_unique<TTestAuthority>(); }
  static void TearDownTestSuite() { authority_.reset(); }
  void SetUp() override { services::SetTrustedCaFileForTesting(authority_->CaFile()); }
  void TearDown() override {
    services::SetMakerHostForTesting(std::nullopt);
    services::SetTrustedCaFileForTesting(QString());
  }
  static void PointMakerAt(int httpsPort, int httpPort) {
    services::SetMakerHostForTesting(
        services::TMakerHostOverride{QStringLiteral("127.0.0.1"), httpsPort, httpPort});
  }

  static inline std::unique_ptr<TTestAuthority> authority_;
};

}  // namespace services_test
