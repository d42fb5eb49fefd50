// Serial transport: a COM port as a POSIX terminal device, raw 8N1.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>

#include "drivers/Codes.h"
#include "drivers/Transport.h"

namespace qbl {
namespace {

constexpr int kMinAnswerWaitMs = 100;
constexpr int kMsPerTimingUnit = 10;
constexpr int kBitsPerByte = 10;  // start, eight data bits, stop

struct SerialPort {
  int fd = -1;
  int timeout_ms = 0;
  std::uint8_t sequence = 0;  // of the request in flight; the module echoes it
  qm90::StreamScanner scanner;
};

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

// Answer time-out: ten milliseconds per timing unit (at least 100 ms) plus the
// time both frames take on the line at the rate in force.
int AnswerTimeoutMs(const LinkSettings& settings) {
  const int frame_bytes = static_cast<int>(qm90::RequestFrameSize() + qm90::AnswerFrameSize());
  const int line_ms = (frame_bytes * kBitsPerByte * 1000 + settings.baud - 1) / settings.baud;
  return std::max(kMinAnswerWaitMs, settings.timing * kMsPerTimingUnit) + line_ms;
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
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folders[2];
  if (runtime != nullptr && runtime[0] == '/') folders[0] = std::string(runtime) + "/qm90";
  folders[1] = "/tmp/qm90-" + std::to_string(getuid());
  for (const auto& folder : folders) {
    struct stat info {};
    if (!folder.empty() && IsOwnFolder(folder) &&
        lstat((folder + "/" + name).c_str(), &info) == 0) {
      return folder + "/" + name;
    }
  }
  return "/dev/ttyS" + std::to_string(com_number - 1);
}

std::int32_t ApplyLine(int fd, std::int32_t baud) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return kPortSetupFailed;
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (cfsetispeed(&tio, SpeedOf(baud)) != 0 || cfsetospeed(&tio, SpeedOf(baud)) != 0) {
    return kPortSetupFailed;
  }
  return tcsetattr(fd, TCSANOW, &tio) == 0 ? kOk : kPortSetupFailed;
}

std::int32_t WriteFrame(int fd, const std::vector<std::uint8_t>& frame,
                        std::chrono::steady_clock::time_point deadline) {
  std::size_t written = 0;
  while (written < frame.size()) {
    const ssize_t n = write(fd, frame.data() + written, frame.size() - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return kPortWriteFailed;
    pollfd out{fd, POLLOUT, 0};
    const int left = MillisecondsLeft(deadline);
    if (left == 0) return kTimeout;
    if (poll(&out, 1, left) < 0 && errno != EINTR) return kPortWriteFailed;
  }
  return kOk;
}

// Reads until the addressed module's answer to this request arrives or time
// runs out; the deadline stays where it was whatever else arrives. A sound
// answer of another module or to an earlier request (one that came after its
// time-out) is skipped; bytes that made no sound frame count as a damaged
// answer.
std::int32_t ReadAnswer(SerialPort& port, std::uint8_t address, qm90::Answer& answer,
                        std::chrono::steady_clock::time_point deadline) {
  std::uint8_t buffer[256];
  for (int left = MillisecondsLeft(deadline); left > 0; left = MillisecondsLeft(deadline)) {
    pollfd in{port.fd, POLLIN, 0};
    const int ready = poll(&in, 1, left);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return kPortReadFailed;
    if (ready == 0) break;
    const ssize_t n = read(port.fd, buffer, sizeof buffer);
    if (n > 0) {
      port.scanner.Feed(buffer, static_cast<std::size_t>(n));
      if (port.scanner.NextAnswer(address, port.sequence, answer)) return kOk;
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      return kPortReadFailed;  // device gone (hang-up) or broken
    }
  }
  const bool damaged = port.scanner.NoiseBytes() > 0 || port.scanner.Pending() > 0;
  return damaged ? kDamagedAnswer : kTimeout;
}

std::int32_t SerialConfigure(void* context, const LinkSettings& settings) {
  auto* port = static_cast<SerialPort*>(context);
  const std::int32_t code = ApplyLine(port->fd, settings.baud);
  if (code == kOk) port->timeout_ms = AnswerTimeoutMs(settings);
  return code;
}

std::int32_t SerialExchange(void* context, const qm90::Request& request, qm90::Answer& answer) {
  auto* port = static_cast<SerialPort*>(context);
  tcflush(port->fd, TCIFLUSH);  // what came before this request is no answer to it
  port->scanner.Clear();
  qm90::Request numbered = request;
  numbered.sequence = ++port->sequence;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(port->timeout_ms);
  const std::int32_t code = WriteFrame(port->fd, qm90::EncodeRequest(numbered), deadline);
  if (code != kOk) return code;
  return ReadAnswer(*port, request.address, answer, deadline);
}

void SerialClose(void* context) {
  auto* port = static_cast<SerialPort*>(context);
  if (port->fd >= 0) close(port->fd);
  delete port;
}

constexpr Transport kSerial{SerialConfigure, SerialExchange, SerialClose};

// A port opened again starts its sequence elsewhere than the last one did, so
// that an answer still on the line from before is not taken for a new one.
std::uint8_t FirstSequence() {
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return static_cast<std::uint8_t>(ticks ^ (ticks >> 8) ^ (ticks >> 16) ^ getpid());
}

}  // namespace

std::int32_t OpenSerial(std::int32_t com_number, OpenedLink& out) {
  constexpr std::int32_t kHighestCom = 255;
  if (com_number < 1 || com_number > kHighestCom) return kInvalidParameter;
  const int fd = open(DevicePath(com_number).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kPortOpenFailed;
  if (!isatty(fd)) {
    close(fd);
    return kPortOpenFailed;
  }
  const LinkSettings defaults;
  if (ApplyLine(fd, defaults.baud) != kOk) {
    close(fd);
    return kPortSetupFailed;
  }
  auto* port = new SerialPort;
  port->fd = fd;
  port->timeout_ms = AnswerTimeoutMs(defaults);
  port->sequence = FirstSequence();
  out = {&kSerial, port};
  return kOk;
}

}  // namespace qbl
