#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "base/StdDescriptors.h"

namespace base {

// The C runtime's descriptors 0..2: a program without a console or started
// with a handle closed gets them on the null device, so they are never reused
// for a file the program opens.
void EnsureStdDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (_get_osfhandle(fd) != -1) continue;
    const int opened = _open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
    if (opened >= 0 && opened != fd) {
      _dup2(opened, fd);
      _close(opened);
    }
  }
}

}  // namespace base
