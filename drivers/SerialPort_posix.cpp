// A COM port as a POSIX terminal device, raw 8N1.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/Folders.h"
#include "drivers/Codes.h"
#include "drivers/SerialPort.h"

namespace qm90drivers {
namespace {

speed_t SpeedOf(std::int32_t baud) {
  switch (baud) {
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    default:
      return B9600;
  }
}

// A per-user folder another user cannot have planted: a directory we own.
bool IsOwnFolder(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid();
}

// The emulator publishes its pseudo-terminals as COMn in a per-user folder;
// otherwise COMn is the system's n-th serial device.
std::string DevicePath(std::int32_t com_number) {
  const std::string name = "COM" + std::to_string(com_number);
  const std::string folder = base::RuntimeFolder();
  struct stat info {};
  if (IsOwnFolder(folder) && lstat((folder + "/" + name).c_str(), &info) == 0) {
    return folder + "/" + name;
  }
  return "/dev/ttyS" + std::to_string(com_number - 1);
}

timespec Timespec(Micros wait) {
  return {static_cast<time_t>(wait.count() / 1000000),
          static_cast<long>(wait.count() % 1000000) * 1000};
}

class PosixSerialPort final : public SerialPort {
 public:
  explicit PosixSerialPort(int fd) : fd_(fd) {}
  ~PosixSerialPort() override { close(fd_); }
  PosixSerialPort(const PosixSerialPort&) = delete;
  PosixSerialPort& operator=(const PosixSerialPort&) = delete;

  std::int32_t SetBaud(std::int32_t baud) override {
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return kPortSetupFailed;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, SpeedOf(baud)) != 0 || cfsetospeed(&tio, SpeedOf(baud)) != 0) {
      return kPortSetupFailed;
    }
    return tcsetattr(fd_, TCSANOW, &tio) == 0 ? kOk : kPortSetupFailed;
  }

  void DiscardInput() override { tcflush(fd_, TCIFLUSH); }

  std::int32_t Write(const std::uint8_t* bytes, std::size_t size, Micros wait,
                     std::size_t& written) override {
    written = 0;
    const ssize_t n = write(fd_, bytes, size);
    if (n > 0) {
      written = static_cast<std::size_t>(n);
      return kOk;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return kPortWriteFailed;
    pollfd out{fd_, POLLOUT, 0};
    const timespec limit = Timespec(wait);
    if (ppoll(&out, 1, &limit, nullptr) < 0 && errno != EINTR) return kPortWriteFailed;
    return kOk;
  }

  std::int32_t Read(std::uint8_t* buffer, std::size_t size, Micros wait,
                    std::size_t& got) override {
    got = 0;
    pollfd in{fd_, POLLIN, 0};
    const timespec limit = Timespec(wait);
    const int ready = ppoll(&in, 1, &limit, nullptr);
    if (ready < 0) return errno == EINTR ? kOk : kPortReadFailed;
    if (ready == 0) return kOk;
    const ssize_t n = read(fd_, buffer, size);
    if (n > 0) {
      got = static_cast<std::size_t>(n);
      return kOk;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return kOk;
    return kPortReadFailed;  // device gone (hang-up) or broken
  }

 private:
  int fd_;
};

}  // namespace

std::int32_t OpenSerialPort(std::int32_t com_number, std::unique_ptr<SerialPort>& out) {
  const int fd = open(DevicePath(com_number).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kPortOpenFailed;
  if (!isatty(fd)) {
    close(fd);
    return kPortOpenFailed;
  }
  out = std::make_unique<PosixSerialPort>(fd);
  return kOk;
}

}  // namespace qm90drivers
