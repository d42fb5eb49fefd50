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

#include "base/Folders.h"
#include "drivers/Codes.h"
#include "drivers/Transport.h"

namespace qm90drivers {
namespace {

constexpr std::size_t kReadSize = 256;

struct SerialPort {
  int fd = -1;
  SerialWaits waits{};
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
                        Clock::time_point deadline) {
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
// runs out. Silence until the first-byte wait ends means no module answers;
// once bytes came, the answer gets until its whole-answer wait, which nothing
// that arrives later moves. A sound answer of another module or to an earlier
// request (one that came after its time-out) is skipped; bytes that made no
// sound frame count as a damaged answer. Every byte of a read goes through the
// scanner, however many came at once.
std::int32_t ReadAnswer(SerialPort& port, std::uint8_t address, qm90::Answer& answer,
                        Clock::time_point sent) {
  std::uint8_t buffer[kReadSize];
  Clock::time_point deadline = sent + port.waits.first_byte;
  bool heard = false;
  for (Micros left = TimeLeft(deadline); left.count() > 0; left = TimeLeft(deadline)) {
    pollfd in{port.fd, POLLIN, 0};
    const timespec wait = Timespec(left);
    const int ready = ppoll(&in, 1, &wait, nullptr);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return kPortReadFailed;
    if (ready == 0) continue;  // the loop checks the clock: a wait never ends early
    const ssize_t n = read(port.fd, buffer, sizeof buffer);
    if (n > 0) {
      if (!heard) deadline = sent + port.waits.whole_answer;
      heard = true;
      std::size_t used = 0;
      if (port.scanner.FindAnswer(buffer, static_cast<std::size_t>(n), address, port.sequence,
                                  answer, used)) {
        return kOk;
      }
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
  if (code == kOk) port->waits = SerialAnswerWaits(settings.baud, settings.timing);
  return code;
}

std::int32_t SerialExchange(void* context, const qm90::Request& request, qm90::Answer& answer) {
  auto* port = static_cast<SerialPort*>(context);
  tcflush(port->fd, TCIFLUSH);  // what came before this request is no answer to it
  port->scanner.Clear();
  qm90::Request numbered = request;
  numbered.sequence = ++port->sequence;
  const Clock::time_point sent = Clock::now();
  const std::int32_t code =
      WriteFrame(port->fd, qm90::EncodeRequest(numbered), sent + port->waits.first_byte);
  if (code != kOk) return code;
  return ReadAnswer(*port, request.address, answer, sent);
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
  port->waits = SerialAnswerWaits(defaults.baud, defaults.timing);
  port->sequence = FirstSequence();
  out = {&kSerial, port};
  return kOk;
}

}  // namespace qm90drivers
