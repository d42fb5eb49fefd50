// A UDP socket connect()ed to its peer, so the system delivers only datagrams
// from that address and port.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "drivers/Codes.h"
#include "drivers/DatagramSocket.h"

namespace qm90drivers {
namespace {

class PosixDatagramSocket final : public DatagramSocket {
 public:
  explicit PosixDatagramSocket(int fd) : fd_(fd) {}
  ~PosixDatagramSocket() override { close(fd_); }
  PosixDatagramSocket(const PosixDatagramSocket&) = delete;
  PosixDatagramSocket& operator=(const PosixDatagramSocket&) = delete;

  std::int32_t Send(const std::uint8_t* bytes, std::size_t size) override {
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (send(fd_, bytes, size, 0) == static_cast<ssize_t>(size)) return kOk;
      // A refusal left over from an earlier datagram is reported once; try again.
      if (errno != ECONNREFUSED && errno != EINTR) return kSocketError;
    }
    return kSocketError;
  }

  // Most of a wait blocks in recv under the socket's receive time-out (one
  // system call when the answer comes, as it mostly does); the system ends
  // such a wait only on its timer's ticks, so the last ten milliseconds are
  // waited with ppoll, which keeps to the time given.
  std::int32_t Receive(std::uint8_t* buffer, std::size_t size, Micros wait,
                       std::size_t& got) override {
    constexpr Micros kCoarseMargin{10000};  // two ticks of a 250 Hz timer and more
    got = 0;
    ssize_t n = -1;
    if (wait > kCoarseMargin + Micros(1000)) {
      const int coarse_ms = static_cast<int>(
          std::chrono::floor<std::chrono::milliseconds>(wait - kCoarseMargin).count());
      if (coarse_ms != armed_ms_) {
        if (!SetReceiveTimeout(coarse_ms)) return kSocketError;
        armed_ms_ = coarse_ms;
      }
      n = recv(fd_, buffer, size, MSG_TRUNC);
    } else {
      pollfd in{fd_, POLLIN, 0};
      const timespec limit{static_cast<time_t>(wait.count() / 1000000),
                           static_cast<long>(wait.count() % 1000000) * 1000};
      const int ready = ppoll(&in, 1, &limit, nullptr);
      if (ready < 0) return errno == EINTR ? kOk : kSocketError;
      if (ready == 0) return kOk;
      n = recv(fd_, buffer, size, MSG_TRUNC | MSG_DONTWAIT);
    }
    if (n >= 0) {
      got = static_cast<std::size_t>(n);
      return kOk;
    }
    const bool nothing =
        errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNREFUSED;
    return nothing ? kOk : kSocketError;
  }

 private:
  bool SetReceiveTimeout(int ms) {
    timeval limit{};
    limit.tv_sec = ms / 1000;
    limit.tv_usec = (ms % 1000) * 1000;
    return setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
  }

  int fd_;
  int armed_ms_ = 0;  // receive time-out the socket holds now
};

}  // namespace

std::int32_t OpenDatagramSocket(const std::array<std::uint8_t, 4>& ip, std::uint16_t port,
                                std::unique_ptr<DatagramSocket>& out) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  std::memcpy(&target.sin_addr, ip.data(), ip.size());
  target.sin_port = htons(port);
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kSocketError;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    close(fd);
    return kSocketError;
  }
  out = std::make_unique<PosixDatagramSocket>(fd);
  return kOk;
}

}  // namespace qm90drivers
