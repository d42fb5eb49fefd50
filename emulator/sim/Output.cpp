#include "emulator/sim/Output.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace qm90sim {

namespace {

// A write this small always fits once poll reports room on a pipe or terminal.
constexpr std::size_t kPollFirstChunk = 256;

}  // namespace

OutputChannel::~OutputChannel() {
  Close();
}

void OutputChannel::Attach(int fd, bool own, std::size_t bound) {
  Close();
  broken_ = false;
  bound_ = bound;
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) {
    if (own && fd >= 0) ::close(fd);
    return;
  }
  fd_ = fd;
  own_ = own;
  if (S_ISSOCK(info.st_mode)) {
    mode_ = Mode::kSocket;
    return;
  }
  if (S_ISREG(info.st_mode)) {
    mode_ = Mode::kNonBlocking;  // a file takes what it is given
    return;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  const int reopened = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (reopened >= 0) {
    if (own_) ::close(fd_);
    fd_ = reopened;
    own_ = true;
    mode_ = Mode::kNonBlocking;
  } else {
    mode_ = Mode::kPollFirst;
  }
}

void OutputChannel::Close() {
  if (own_ && fd_ >= 0) ::close(fd_);
  fd_ = -1;
  own_ = false;
  buffer_.clear();
}

void OutputChannel::WriteLine(std::string_view text) {
  if (fd_ < 0) {
    if (broken_) ++dropped_lines_;
    return;
  }
  if (buffer_.size() + text.size() + 1 > bound_) {
    ++dropped_lines_;
    Flush();
    return;
  }
  buffer_.append(text);
  buffer_ += '\n';
  Flush();
}

void OutputChannel::WriteReply(std::string_view text) {
  if (fd_ < 0) {
    if (broken_) ++dropped_lines_;
    return;
  }
  buffer_.append(text);
  buffer_ += '\n';
  Flush();
}

long OutputChannel::WriteSome(const char* data, std::size_t size) {
  switch (mode_) {
    case Mode::kSocket:
      return ::send(fd_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    case Mode::kPollFirst: {
      pollfd out{fd_, POLLOUT, 0};
      if (::poll(&out, 1, 0) != 1 || (out.revents & POLLOUT) == 0) {
        errno = (out.revents & (POLLERR | POLLHUP)) != 0 ? EPIPE : EAGAIN;
        return -1;
      }
      return ::write(fd_, data, std::min(size, kPollFirstChunk));
    }
    case Mode::kNonBlocking:
      break;
  }
  return ::write(fd_, data, size);
}

void OutputChannel::Flush() {
  std::size_t done = 0;
  while (fd_ >= 0 && done < buffer_.size()) {
    const long n = WriteSome(buffer_.data() + done, buffer_.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) break;
    // The reader is gone: what is left, and all that follows, is lost.
    dropped_lines_ += static_cast<std::uint64_t>(
        std::count(buffer_.begin() + static_cast<long>(done), buffer_.end(), '\n'));
    Close();
    broken_ = true;
    return;
  }
  buffer_.erase(0, done);
}

}  // namespace qm90sim
