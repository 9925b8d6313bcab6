#include "service_test_server.h"

#include <QFile>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
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

bool EndsHeaders(const std::string& data, size_t* end) {
  const size_t at = data.find("\r\n\r\n");
  if (at == std::string::npos) return false;
  *end = at + 4;
  return true;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
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

  context_ = SSL_CTX_new(TLS_server_method());
  Check(context_ != nullptr, "server context");
  Check(SSL_CTX_use_certificate(context_, server) == 1 &&
            SSL_CTX_use_PrivateKey(context_, serverKey) == 1,
        "server certificate");
  X509_free(server);
  X509_free(authority);
  EVP_PKEY_free(serverKey);
  EVP_PKEY_free(authorityKey);
}

TTestAuthority::~TTestAuthority() { SSL_CTX_free(context_); }

// ---- Requests --------------------------------------------------------------------

std::string TReceivedRequest::Header(const std::string& name) const {
  const std::string wanted = Lower(name) + ":";
  size_t start = 0;
  while (start < headers.size()) {
    size_t end = headers.find("\r\n", start);
    if (end == std::string::npos) end = headers.size();
    const std::string line = headers.substr(start, end - start);
    if (Lower(line.substr(0, wanted.size())) == wanted) {
      std::string value = line.substr(wanted.size());
      value.erase(0, value.find_first_not_of(' '));
      return value;
    }
    start = end + 2;
  }
  return {};
}

bool TReceivedRequest::HasHeader(const std::string& name) const {
  const std::string wanted = "\r\n" + Lower(name) + ":";
  return Lower("\r\n" + headers).find(wanted) != std::string::npos;
}

// ---- Server ----------------------------------------------------------------------

TLoopbackServer::TLoopbackServer(const TTestAuthority* tls) : tls_(tls) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  Check(listener_ >= 0, "socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  Check(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "bind");
  Check(::listen(listener_, 16) == 0, "listen");
  socklen_t length = sizeof address;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  Check(::pipe2(wake_, O_CLOEXEC) == 0, "pipe");
  thread_ = std::thread([this] { Serve(); });
}

TLoopbackServer::~TLoopbackServer() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  stopped_.notify_all();
  [[maybe_unused]] const auto written = ::write(wake_[1], "x", 1);
  thread_.join();
  ::close(listener_);
  ::close(wake_[0]);
  ::close(wake_[1]);
}

void TLoopbackServer::SetReply(const TReply& reply) {
  std::lock_guard lock(mutex_);
  reply_ = reply;
}

std::vector<TReceivedRequest> TLoopbackServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void TLoopbackServer::Serve() {
  for (;;) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    timeval limit{5, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    Handle(connection);
    ::close(connection);
  }
}

void TLoopbackServer::Handle(int connection) {
  SSL* ssl = nullptr;
  if (tls_) {
    ssl = SSL_new(tls_->ServerContext());
    SSL_set_fd(ssl, connection);
    if (SSL_accept(ssl) != 1) {
      ++failedHandshakes_;
      ERR_clear_error();
      SSL_free(ssl);
      return;
    }
  }
  auto receive = [&](char* buffer, int size) -> int {
    return ssl ? SSL_read(ssl, buffer, size) : static_cast<int>(::recv(connection, buffer, size, 0));
  };
  auto send = [&](const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
      const int count =
          ssl ? SSL_write(ssl, data.data() + done, static_cast<int>(data.size() - done))
              : static_cast<int>(::send(connection, data.data() + done, data.size() - done,
                                        MSG_NOSIGNAL));
      if (count <= 0) return;
      done += static_cast<size_t>(count);
    }
  };

  std::string data;
  size_t headerEnd = 0;
  char buffer[4096];
  while (!EndsHeaders(data, &headerEnd)) {
    const int count = receive(buffer, sizeof buffer);
    if (count <= 0) break;
    data.append(buffer, static_cast<size_t>(count));
  }
  if (headerEnd == 0) {
    if (ssl) SSL_free(ssl);
    return;
  }
  TReceivedRequest request;
  const std::string head = data.substr(0, headerEnd - 4);
  const size_t firstLineEnd = head.find("\r\n");
  const std::string requestLine = head.substr(0, firstLineEnd);
  request.headers = firstLineEnd == std::string::npos ? std::string() : head.substr(firstLineEnd + 2);
  const size_t space1 = requestLine.find(' ');
  const size_t space2 = requestLine.find(' ', space1 + 1);
  request.method = requestLine.substr(0, space1);
  request.target = requestLine.substr(space1 + 1, space2 - space1 - 1);
  const std::string lengthText = request.Header("Content-Length");
  const size_t length = lengthText.empty() ? 0 : std::stoul(lengthText);
  request.body = data.substr(headerEnd);
  while (request.body.size() < length) {
    const int count = receive(buffer, sizeof buffer);
    if (count <= 0) break;
    request.body.append(buffer, static_cast<size_t>(count));
  }

  TReply reply;
  {
    std::unique_lock lock(mutex_);
    requests_.push_back(request);
    reply = reply_;
    if (reply.delayMs > 0 &&
        stopped_.wait_for(lock, std::chrono::milliseconds(reply.delayMs), [this] { return stop_; })) {
      if (ssl) SSL_free(ssl);
      return;
    }
  }
  std::string response = "HTTP/1.1 " + std::to_string(reply.status) + " Scripted\r\n";
  if (!reply.contentType.empty()) response += "Content-Type: " + reply.contentType + "\r\n";
  response += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
  response += "Connection: close\r\n\r\n";
  response += reply.body;
  send(response);
  if (ssl) {
    SSL_shutdown(ssl);
    SSL_free(ssl);
  }
}

// ---- Refusing port ---------------------------------------------------------------

TRefusingPort::TRefusingPort() {
  socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  Check(socket_ >= 0, "socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  Check(::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "bind");
  socklen_t length = sizeof address;
  ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
}

TRefusingPort::~TRefusingPort() { ::close(socket_); }

}  // namespace services_test
