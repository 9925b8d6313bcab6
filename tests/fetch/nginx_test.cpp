// The fetch against a server nobody here wrote: nginx, started by the test on
// free loopback ports with its own temporary prefix and configuration.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "fetch/fetch.h"
#include "fetch_test_util.h"
#include "support/loopback_server.h"
#include "support/proxy_server.h"

using fetchtest::HeaderText;
using fetchtest::Page;

namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";

class Nginx {
 public:
  // Starts nginx in the foreground; retries with new ports when one was
  // taken between choosing it and nginx binding it.
  bool Start(std::string& problem) {
    const auto& root = folder_.Path();
    testsupport::Certificate::Shared().WriteTo(root);
    folder_.Write("www/index.html", Page());
    folder_.Write("www/big.html", std::string(20000, 'x') + "\n<p>Made with Drupal</p>\n");
    for (const char* sub : {"tmp/body", "tmp/proxy", "tmp/fastcgi", "tmp/uwsgi", "tmp/scgi"})
      std::filesystem::create_directories(root / sub);
    for (int attempt = 0; attempt < 3; ++attempt) {
      httpPort_ = testsupport::FreeLoopbackPort();
      httpsPort_ = testsupport::FreeLoopbackPort();
      if (httpPort_ == httpsPort_) continue;
      WriteConfig();
      pid_ = ::fork();
      if (pid_ == 0) {
        const std::string prefix = root.string() + "/";
        const std::string config = (root / "nginx.conf").string();
        const std::string errors = (root / "error.log").string();
        ::execl(kNginx, kNginx, "-p", prefix.c_str(), "-c", config.c_str(), "-e", errors.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
      }
      for (int i = 0; i < 100; ++i) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
          pid_ = -1;
          break;
        }
        if (testsupport::AcceptsConnections(httpPort_) && testsupport::AcceptsConnections(httpsPort_)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      Stop();
    }
    std::ifstream log(root / "error.log");
    std::stringstream text;
    text << log.rdbuf();
    problem = "nginx did not start: " + text.str();
    return false;
  }

  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  ~Nginx() { Stop(); }

  std::string Http(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(httpPort_) + path; }
  std::string Https(const std::string& path) const { return "https://127.0.0.1:" + std::to_string(httpsPort_) + path; }

  static std::string Page() {
    std::string page = "<html><head><meta charset=\"windows-1251\"><title>\xcf\xf0\xe8\xe2\xe5\xf2</title></head>\n";
    for (int i = 0; i < 200; ++i) page += "<p>Powered by WordPress, line " + std::to_string(i) + "</p>\n";
    return page + "</html>\n";
  }

 private:
  void WriteConfig() {
    const std::string root = folder_.Path().string();
    std::ofstream config(folder_.Path() / "nginx.conf");
    config << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
           << "error_log " << root << "/error.log;\npid " << root << "/nginx.pid;\n"
           << "events { worker_connections 64; }\n"
           << "http {\n"
           << "  access_log off;\n"
           << "  client_body_temp_path " << root << "/tmp/body;\n"
           << "  proxy_temp_path " << root << "/tmp/proxy;\n"
           << "  fastcgi_temp_path " << root << "/tmp/fastcgi;\n"
           << "  uwsgi_temp_path " << root << "/tmp/uwsgi;\n"
           << "  scgi_temp_path " << root << "/tmp/scgi;\n"
           << "  types { text/html html; }\n"
           << "  default_type application/octet-stream;\n"
           << "  gzip on; gzip_min_length 1;\n"
           << "  server {\n"
           << "    listen 127.0.0.1:" << httpPort_ << ";\n"
           << "    listen 127.0.0.1:" << httpsPort_ << " ssl;\n"
           << "    ssl_certificate " << root << "/cert.pem;\n"
           << "    ssl_certificate_key " << root << "/key.pem;\n"
           << "    root " << root << "/www;\n"
           << "    location = /old { return 301 /index.html; }\n"
           << "    location = /chain { return 302 /old; }\n"
           << "  }\n"
           << "}\n";
  }

  testsupport::TempFolder folder_;
  pid_t pid_ = -1;
  uint16_t httpPort_ = 0;
  uint16_t httpsPort_ = 0;
};

class NginxTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!std::filesystem::exists(kNginx)) return;
    nginx_ = new Nginx;
    if (!nginx_->Start(problem_)) {
      delete nginx_;
      nginx_ = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete nginx_;
    nginx_ = nullptr;
  }
  void SetUp() override {
    if (!std::filesystem::exists(kNginx)) GTEST_SKIP() << kNginx << " is not installed";
    ASSERT_NE(nginx_, nullptr) << problem_;
  }

  static Nginx* nginx_;
  static std::string problem_;
};

Nginx* NginxTest::nginx_ = nullptr;
std::string NginxTest::problem_;

// The page as the fetch should deliver it: decoded from windows-1251 by its
// meta element, every line ended by CR LF.
std::string ExpectedPage() {
  std::string page = "<html><head><meta charset=\"windows-1251\"><title>Привет</title></head>\r\n";
  for (int i = 0; i < 200; ++i) page += "<p>Powered by WordPress, line " + std::to_string(i) + "</p>\r\n";
  return page + "</html>\r\n";
}

TEST_F(NginxTest, GzipPageIsDecompressedAndDecoded) {
  // The probe's headers show that nginx compresses this page for us.
  auto headers = HeaderText(nginx_->Http("/index.html"));
  ASSERT_TRUE(headers);
  EXPECT_NE(headers->find("Server: nginx"), std::string::npos) << *headers;
  EXPECT_NE(headers->find("Content-Encoding: gzip"), std::string::npos) << *headers;
  EXPECT_EQ(Page(nginx_->Http("/index.html")), ExpectedPage());
}

TEST_F(NginxTest, RedirectsAreFollowed) {
  EXPECT_EQ(Page(nginx_->Http("/chain")), ExpectedPage());
  auto headers = HeaderText(nginx_->Http("/old"));
  ASSERT_TRUE(headers);
  EXPECT_NE(headers->find("Content-Type: text/html"), std::string::npos) << *headers;
  EXPECT_EQ(Page(nginx_->Http("/missing")), "Error: HTTP/1.1 404 Not Found");
}

TEST_F(NginxTest, TlsPageIsRead) {
  EXPECT_EQ(Page(nginx_->Https("/old")), ExpectedPage());
  const std::string big = Page(nginx_->Https("/big.html"));
  EXPECT_EQ(big, std::string(20000, 'x') + "\r\n<p>Made with Drupal</p>\r\n");
}

}  // namespace
