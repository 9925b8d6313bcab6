#include "services/standard_descriptors.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace services {

void OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() takes the lowest free number, which is this one: every lower
    // one is open by now.
    const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      ::dup2(null, fd);
      ::close(null);
    }
  }
}

}  // namespace services
