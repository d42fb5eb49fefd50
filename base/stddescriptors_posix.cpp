#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "base/StdDescriptors.h"

namespace base {

void EnsureStdDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() takes the lowest free number, which is this one.
    const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened > 2) close(opened);
  }
}

}  // namespace base
