#include "cli/standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace cli {

namespace {

// Main thread and the run's threads (records are delivered one at a time
// under the run's lock), never two at once.
int gFailure = 0;  // errno of the first failure
bool gTold = false;

void Fail(int error) {
  if (gFailure == 0) gFailure = error != 0 ? error : EIO;
}

}  // namespace

bool PrintOut(std::string_view bytes) {
  while (gFailure == 0 && !bytes.empty()) {
    // write(2) itself, not stdio: a signal (Ctrl-C) that interrupts it is
    // no failure, and nothing is left in a buffer for a later flush to lose.
    const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno != EINTR) Fail(errno);
      continue;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return gFailure == 0;
}

bool OutputFailed() { return gFailure != 0; }

std::string OutputFailure(bool told) {
  if (gFailure == 0) return {};
  gTold = gTold || told;
  return std::string("Error writing standard output: ") + std::strerror(gFailure);
}

int EndOutput(int code) {
  std::fflush(stdout);  // nothing should be there; but if it is, it counts
  if (std::ferror(stdout)) Fail(EIO);
  if (::close(STDOUT_FILENO) != 0 && errno != EINTR) Fail(errno);
  // Whatever writes after this (nothing should) goes nowhere instead of into
  // a file that took the free descriptor.
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null >= 0 && null != STDOUT_FILENO) {
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
  }
  if (gFailure == 0) return code;
  if (!gTold) std::fprintf(stderr, "lumasift-cli: %s\n", OutputFailure().c_str());
  return 2;
}

}  // namespace cli
