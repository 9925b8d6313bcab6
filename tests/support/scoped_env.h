#pragma once
// Sets (or unsets, with nullptr) environment variables for one scope and
// restores their previous values when it ends.
#include <utility>
#include <vector>

#include <QByteArray>
#include <QtGlobal>

namespace testsupport {

class ScopedEnv {
 public:
  ScopedEnv() = default;
  ScopedEnv(const char* name, const char* value) { Set(name, value); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->had) qputenv(it->name, it->value); else qunsetenv(it->name);
    }
  }

  // Unsets every variable that could send a request through a proxy.
  ScopedEnv& ClearProxyVariables() {
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
      Set(name, nullptr);
    return *this;
  }

  ScopedEnv& Set(const char* name, const char* value) {
    saved_.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
    if (value) qputenv(name, value); else qunsetenv(name);
    return *this;
  }

 private:
  struct Saved {
    const char* name;
    QByteArray value;
    bool had;
  };
  std::vector<Saved> saved_;
};

}  // namespace testsupport
