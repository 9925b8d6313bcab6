#include "test_authority.h"

#include <QFile>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <functional>
#include <stdexcept>

namespace services_test {
namespace {

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("test authority: ") + what);
}

void AddExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  Check(extension != nullptr, "extension");
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

X509* NewCertificate(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey) {
  X509* certificate = X509_new();
  Check(certificate != nullptr, "certificate");
  X509_set_version(certificate, 2);
  unsigned char serial[8];
  RAND_bytes(serial, sizeof serial);
  serial[0] &= 0x7F;
  BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate));
  BN_free(number);
  X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 7 * 24 * 3600);
  X509_set_pubkey(certificate, key);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  const bool isAuthority = issuer == nullptr;
  X509* signer = isAuthority ? certificate : issuer;
  X509_set_issuer_name(certificate, X509_get_subject_name(signer));
  AddExtension(certificate, signer, NID_subject_key_identifier, "hash");
  if (isAuthority) {
    AddExtension(certificate, signer, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(certificate, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    AddExtension(certificate, signer, NID_authority_key_identifier, "keyid:always");
    AddExtension(certificate, signer, NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(certificate, signer, NID_key_usage, "critical,digitalSignature");
    AddExtension(certificate, signer, NID_ext_key_usage, "serverAuth");
    AddExtension(certificate, signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
  }
  Check(X509_sign(certificate, isAuthority ? key : issuerKey, EVP_sha256()) > 0, "signature");
  return certificate;
}

std::string Pem(const std::function<int(BIO*)>& write) {
  BIO* bio = BIO_new(BIO_s_mem());
  Check(bio && write(bio) == 1, "PEM");
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<size_t>(size));
  BIO_free(bio);
  return pem;
}

}  // namespace

// ---- Authority -------------------------------------------------------------------

TTestAuthority::TTestAuthority() {
  Check(folder_.isValid(), "temporary folder");
  EVP_PKEY* authorityKey = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
  EVP_PKEY* serverKey = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
  Check(authorityKey && serverKey, "keys");
  X509* authority = NewCertificate(authorityKey, "Lumasift Test Authority", nullptr, nullptr);
  X509* server = NewCertificate(serverKey, "127.0.0.1", authority, authorityKey);

  caFile_ = folder_.filePath(QStringLiteral("test-authority.pem"));
  BIO* out = BIO_new_file(QFile::encodeName(caFile_).constData(), "w");
  Check(out && PEM_write_bio_X509(out, authority) == 1, "writing the authority");
  BIO_free(out);

  server_.certificatePem = Pem([&](BIO* bio) { return PEM_write_bio_X509(bio, server); });
  server_.privateKeyPem =
      Pem([&](BIO* bio) { return PEM_write_bio_PrivateKey(bio, serverKey, nullptr, nullptr, 0, nullptr, nullptr); });
  X509_free(server);
  X509_free(authority);
  EVP_PKEY_free(serverKey);
  EVP_PKEY_free(authorityKey);
}

testsupport::LoopbackServer::Options TTestAuthority::ServerOptions() const {
  testsupport::LoopbackServer::Options options;
  options.tls = true;
  options.certificate = server_;
  return options;
}

void SetReply(testsupport::LoopbackServer& server, const TReply& reply) {
  server.SetHandler([reply](const testsupport::Request&) {
    return testsupport::Reply::Status(reply.status, reply.body, {{"Content-Type", reply.contentType}})
        .Delay(std::chrono::milliseconds(reply.delayMs));
  });
}

}  // namespace services_test
