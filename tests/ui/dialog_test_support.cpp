#include "dialog_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace dialogtest {

QStringList ReceivedRequest::Fields() const {
  QStringList fields;
  const QByteArray body = QByteArray::fromStdString(this->body);
  for (const QByteArray& part : body.split('&')) {
    if (part.isEmpty()) continue;
    const qsizetype equals = part.indexOf('=');
    const QByteArray name = equals < 0 ? part : part.left(equals);
    const QByteArray value = equals < 0 ? QByteArray() : part.mid(equals + 1);
    fields << QUrl::fromPercentEncoding(name) + u'=' + QUrl::fromPercentEncoding(value);
  }
  return fields;
}

LoopbackHttpServer::LoopbackHttpServer(std::string answerBody, int status)
    : answer_(std::move(answerBody)), status_(status) {
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (listener_ < 0) throw std::runtime_error("socket failed");
  int yes = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 8) != 0) {
    throw std::runtime_error("bind/listen failed");
  }
  socklen_t length = sizeof address;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  stop_ = true;
  thread_.join();
  ::close(listener_);
}

std::vector<ReceivedRequest> LoopbackHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void LoopbackHttpServer::Serve() {
  while (!stop_) {
    pollfd waiting{listener_, POLLIN, 0};
    if (::poll(&waiting, 1, 50) <= 0) continue;
    const int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) continue;
    std::string data;
    char buffer[4096];
    bool complete = false;
    bool tls = false;
    while (!complete && !stop_) {
      pollfd readable{client, POLLIN, 0};
      if (::poll(&readable, 1, 2000) <= 0) break;
      const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      data.append(buffer, static_cast<size_t>(got));
      if (static_cast<unsigned char>(data[0]) == 0x16) {  // a TLS handshake
        tls = true;
        break;
      }
      const size_t headerEnd = data.find("\r\n\r\n");
      if (headerEnd == std::string::npos) continue;
      size_t contentLength = 0;
      std::string headers = data.substr(0, headerEnd);
      for (char& c : headers) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      const size_t at = headers.find("content-length:");
      if (at != std::string::npos) contentLength = std::stoul(headers.substr(at + 15));
      if (headers.find("expect: 100-continue") != std::string::npos && data.size() == headerEnd + 4) {
        const char* goOn = "HTTP/1.1 100 Continue\r\n\r\n";
        ::send(client, goOn, std::strlen(goOn), MSG_NOSIGNAL);
      }
      if (data.size() >= headerEnd + 4 + contentLength) {
        ReceivedRequest request;
        const size_t space1 = data.find(' ');
        const size_t space2 = data.find(' ', space1 + 1);
        request.method = data.substr(0, space1);
        request.path = data.substr(space1 + 1, space2 - space1 - 1);
        request.body = data.substr(headerEnd + 4, contentLength);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          requests_.push_back(request);
        }
        complete = true;
      }
    }
    if (complete && !tls) {
      const std::string reply = "HTTP/1.1 " + std::to_string(status_) + " Answer\r\nContent-Type: text/plain; charset=utf-8\r\n" +
                                "Content-Length: " + std::to_string(answer_.size()) + "\r\nConnection: close\r\n\r\n" + answer_;
      ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
    }
    ::close(client);
  }
}

}  // namespace dialogtest
