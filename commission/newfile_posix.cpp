#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "commission/NewFile.h"

namespace qm90commission {

NewFileResult WriteNewFile(const std::string& path, std::string_view contents,
                           std::string& reason) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    reason = std::strerror(errno);
    return errno == EEXIST ? NewFileResult::kExists : NewFileResult::kFailed;
  }
  std::size_t written = 0;
  int error = 0;
  while (written < contents.size() && error == 0) {
    const ssize_t n = write(fd, contents.data() + written, contents.size() - written);
    if (n > 0)
      written += static_cast<std::size_t>(n);
    else if (n < 0 && errno != EINTR)
      error = errno;
  }
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0) return NewFileResult::kWritten;
  unlink(path.c_str());  // ours: created exclusively above
  reason = std::strerror(error);
  return NewFileResult::kFailed;
}

}  // namespace qm90commission
