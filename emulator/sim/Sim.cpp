#include "emulator/sim/Sim.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>

#include "base/Baud.h"
#include "base/Folders.h"

#include "base/ModuleCommands.h"

namespace qm90sim {

namespace {

int g_signal_pipe[2] = {-1, -1};

void OnStopSignal(int signal_number) {
  const unsigned char byte = static_cast<unsigned char>(signal_number);
  const int saved = errno;
  [[maybe_unused]] const ssize_t n = ::write(g_signal_pipe[1], &byte, 1);
  errno = saved;
}

bool InstallStopSignals(std::string& error) {
  if (::pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  return true;
}

constexpr speed_t kSpeeds[] = {B600, B1200, B2400, B4800, B9600, B19200, B38400, B57600, B115200};
static_assert(std::size(kSpeeds) == base::kBaudCount);

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  char item[4];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(item, sizeof item, i ? " %02x" : "%02x", bytes[i]);
    text += item;
  }
  return text;
}

std::string Describe(const qm90::Request& r) {
  return "req a=" + std::to_string(r.address) + " c=" + std::to_string(r.command) +
         " s=" + std::to_string(r.subcode) + " d=" + Hex(r.d, 5);
}

std::string Describe(const qm90::Answer& a) {
  return "ans a=" + std::to_string(a.address) + " st=" + std::to_string(a.status) +
         " d=" + Hex(a.d, 5);
}

std::string Endpoint(const sockaddr_in& address) {
  char host[INET_ADDRSTRLEN] = "?";
  ::inet_ntop(AF_INET, &address.sin_addr, host, sizeof host);
  return std::string(host) + ":" + std::to_string(ntohs(address.sin_port));
}

bool ParseNumber(const std::string& text, unsigned long max, unsigned long& out) {
  if (text.empty() || text.size() > 10) return false;
  out = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    out = out * 10 + static_cast<unsigned long>(c - '0');
  }
  return out <= max;
}

}  // namespace

bool ParseLoopbackHostPort(const std::string& text, sockaddr_in& out, std::string& error) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) {
    error = "expected HOST:PORT, got '" + text + "'";
    return false;
  }
  const std::string host = text.substr(0, colon);
  unsigned long port = 0;
  if (!ParseNumber(text.substr(colon + 1), 65535, port)) {
    error = "port must be 0..65535 in '" + text + "'";
    return false;
  }
  out = sockaddr_in{};
  out.sin_family = AF_INET;
  out.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::inet_pton(AF_INET, host.c_str(), &out.sin_addr) != 1 ||
      (ntohl(out.sin_addr.s_addr) >> 24) != 127) {
    error = "host '" + host +
            "' refused: qm90-sim is a local test device and binds only to a loopback address "
            "127.x.x.x";
    return false;
  }
  return true;
}

bool ParseComName(const std::string& text, int& number, std::string& error) {
  unsigned long value = 0;
  const bool prefix = text.size() > 3 && (text[0] == 'C' || text[0] == 'c') &&
                      (text[1] == 'O' || text[1] == 'o') && (text[2] == 'M' || text[2] == 'm');
  if (!prefix || !ParseNumber(text.substr(3), 255, value) || value == 0) {
    error = "serial port must be COM1..COM255, got '" + text + "'";
    return false;
  }
  number = static_cast<int>(value);
  return true;
}

std::string RuntimeLinkFolder() {
  return base::RuntimeFolder();
}

Sim::Sim(SimOptions options) : options_(std::move(options)), faults_(options_.seed) {
  faults_.Set(options_.drop_percent, options_.corrupt_percent, options_.delay_ms);
}

Sim::~Sim() {
  CleanUp();
}

int Sim::Run() {
  std::string error;
  if (!SetUp(error)) {
    std::cerr << "qm90-sim: " << error << std::endl;
    return 1;
  }
  std::string ready = "qm90-sim ready";
  if (udp_fd_ >= 0) ready += " udp=127.0.0.1:" + std::to_string(udp_port_);
  if (pty_master_ >= 0) ready += " pty=" + pty_path_ + " com=COM" + std::to_string(com_number_);
  std::printf("%s\n", ready.c_str());
  std::fflush(stdout);
  Loop();
  CleanUp();
  return 0;
}

bool Sim::SetUp(std::string& error) {
  if (options_.addresses.empty()) options_.addresses.push_back(1);
  for (int address : options_.addresses) {
    if (address < 0 || address > 255) {
      error = "address " + std::to_string(address) + " out of range 0..255";
      return false;
    }
    if (!bus_.AddModule(static_cast<std::uint8_t>(address))) {
      error = "address " + std::to_string(address) + " given twice";
      return false;
    }
  }
  if (options_.udp.empty() && options_.serial.empty()) {
    error = "nothing to serve: give --udp HOST:PORT and/or --serial COMn";
    return false;
  }
  return LoadState(error) && InstallStopSignals(error) && OpenUdp(error) && OpenPty(error);
}

bool Sim::LoadState(std::string& error) {
  if (options_.state_file.empty()) return true;
  std::string text;
  bool missing = false;
  if (!qm90::ReadTextFile(options_.state_file, text, missing, error)) {
    if (missing) return true;  // a new module: factory EEPROM
    error = "state file " + options_.state_file + ": " + error;
    return false;
  }
  if (!bus_.LoadState(text, error)) {
    error = "state file " + options_.state_file + ": " + error + " (file left untouched)";
    return false;
  }
  return true;
}

bool Sim::OpenUdp(std::string& error) {
  if (options_.udp.empty()) return true;
  sockaddr_in address{};
  if (!ParseLoopbackHostPort(options_.udp, address, error)) return false;
  udp_fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (udp_fd_ < 0 ||
      ::bind(udp_fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = "cannot bind UDP " + options_.udp + ": " + std::strerror(errno);
    return false;
  }
  socklen_t length = sizeof address;
  ::getsockname(udp_fd_, reinterpret_cast<sockaddr*>(&address), &length);
  udp_port_ = ntohs(address.sin_port);
  return true;
}

bool Sim::OpenPty(std::string& error) {
  if (options_.serial.empty()) return true;
  if (!ParseComName(options_.serial, com_number_, error)) return false;
  pty_master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (pty_master_ < 0 || ::grantpt(pty_master_) != 0 || ::unlockpt(pty_master_) != 0) {
    error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  pty_path_ = ::ptsname(pty_master_);
  // Held open for the whole run: the line keeps its settings between the
  // driver's sessions and the master never sees a hang-up.
  pty_slave_ = ::open(pty_path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios mode{};
  if (pty_slave_ < 0 || ::tcgetattr(pty_slave_, &mode) != 0) {
    error = "cannot open " + pty_path_ + ": " + std::strerror(errno);
    return false;
  }
  ::cfmakeraw(&mode);
  const qm90::Module& first = bus_.At(0);
  ::cfsetispeed(&mode, kSpeeds[first.ActiveBaudIndex()]);
  ::cfsetospeed(&mode, kSpeeds[first.ActiveBaudIndex()]);
  ::tcsetattr(pty_slave_, TCSANOW, &mode);
  return PublishComLink(error);
}

bool Sim::PublishComLink(std::string& error) {
  const std::string folder = RuntimeLinkFolder();
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create " + folder + ": " + std::strerror(errno);
    return false;
  }
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid() ||
      (info.st_mode & 0022) != 0) {
    error = folder + " is not a private folder of this user; refusing to publish the COM link";
    return false;
  }
  com_link_ = folder + "/COM" + std::to_string(com_number_);
  const std::string temp = com_link_ + ".tmp" + std::to_string(::getpid());
  ::unlink(temp.c_str());
  if (::symlink(pty_path_.c_str(), temp.c_str()) != 0 ||
      ::rename(temp.c_str(), com_link_.c_str()) != 0) {
    error = "cannot publish " + com_link_ + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    com_link_.clear();
    return false;
  }
  return true;
}

void Sim::Loop() {
  while (!stop_) {
    pollfd fds[4];
    nfds_t count = 0;
    fds[count++] = {g_signal_pipe[0], POLLIN, 0};
    const nfds_t control_index = stdin_open_ ? count : 99;
    if (stdin_open_) fds[count++] = {STDIN_FILENO, POLLIN, 0};
    const nfds_t udp_index = udp_fd_ >= 0 ? count : 99;
    if (udp_fd_ >= 0) fds[count++] = {udp_fd_, POLLIN, 0};
    const nfds_t pty_index = pty_master_ >= 0 ? count : 99;
    if (pty_master_ >= 0) fds[count++] = {pty_master_, POLLIN, 0};

    const int ready = ::poll(fds, count, PollTimeoutMs());
    if (ready < 0 && errno != EINTR) {
      std::cerr << "qm90-sim: poll: " << std::strerror(errno) << std::endl;
      return;
    }
    const auto has_input = [&](nfds_t i) { return i < count && fds[i].revents != 0; };
    if (ready > 0) {
      if (has_input(0)) ReadSignal();
      // Requests before control lines: a control reply then comes after the
      // answers to every request that had already arrived.
      if (has_input(udp_index)) ReadUdp();
      if (has_input(pty_index)) ReadPty();
      if (has_input(control_index)) ReadControl();
    }
    SendDue();
  }
}

int Sim::PollTimeoutMs() const {
  if (outgoing_.empty()) return -1;
  const auto due =
      std::min_element(outgoing_.begin(), outgoing_.end(),
                       [](const Outgoing& a, const Outgoing& b) { return a.due < b.due; })
          ->due;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
  return static_cast<int>(std::max<long long>(0, wait));
}

void Sim::ReadSignal() {
  unsigned char byte = 0;
  while (::read(g_signal_pipe[0], &byte, 1) == 1) stop_ = true;
  if (stop_ && options_.verbose) Log("stop signal received");
}

void Sim::ReadControl() {
  char chunk[512];
  const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    stdin_open_ = false;  // EOF only ends control; serving goes on
    return;
  }
  constexpr std::size_t kMaxLine = 256;
  for (ssize_t i = 0; i < n && !stop_; ++i) {
    const char c = chunk[i];
    if (c != '\n') {
      if (control_buffer_.size() < kMaxLine) {
        control_buffer_ += c;
      } else {
        discarding_long_line_ = true;
      }
      continue;
    }
    std::string reply = "error line too long";
    if (!discarding_long_line_) reply = ExecuteControl(bus_, faults_, control_buffer_, stop_);
    control_buffer_.clear();
    discarding_long_line_ = false;
    std::printf("%s\n", reply.c_str());
    std::fflush(stdout);
  }
}

// One datagram per wake-up: poll reports the socket again while more wait, and
// a flood on one port cannot starve the control interface or the pty.
void Sim::ReadUdp() {
  std::uint8_t datagram[512];
  sockaddr_in from{};
  socklen_t from_length = sizeof from;
  const ssize_t n = ::recvfrom(udp_fd_, datagram, sizeof datagram, MSG_TRUNC,
                               reinterpret_cast<sockaddr*>(&from), &from_length);
  if (n < 0) return;
  qm90::Request request;
  std::uint16_t sequence = 0;
  std::uint8_t baud = 0;
  // n is the datagram's real length (MSG_TRUNC); anything longer than the
  // buffer is refused as too long without being read.
  const auto size = std::min(static_cast<std::size_t>(n), sizeof datagram);
  const qm90::Decode result = qm90::DecodeUdpRequest(datagram, size, request, sequence, baud);
  if (result == qm90::Decode::kOk) {
    Serve(request, Line{true, baud, from, sequence});
  } else if (options_.verbose) {
    Log("udp " + Endpoint(from) + " datagram of " + std::to_string(n) +
        " bytes refused: " + qm90::DecodeName(result));
  }
}

void Sim::ReadPty() {
  std::uint8_t chunk[64];
  const ssize_t n = ::read(pty_master_, chunk, sizeof chunk);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (n <= 0) {
    // Not expected while the slave is held open; stop polling a dead line.
    Log(std::string("serial line closed: ") + (n < 0 ? std::strerror(errno) : "end of file"));
    ::close(pty_master_);
    pty_master_ = -1;
    return;
  }
  scanner_.Feed(chunk, static_cast<std::size_t>(n));
  qm90::Request request;
  while (scanner_.NextRequest(request)) {
    Serve(request, Line{false, PtyBaudIndex(), sockaddr_in{}, request.sequence});
  }
}

int Sim::PtyBaudIndex() const {
  termios mode{};
  if (::tcgetattr(pty_slave_, &mode) != 0) return -1;
  const speed_t speed = ::cfgetospeed(&mode);
  const auto found = std::find(std::begin(kSpeeds), std::end(kSpeeds), speed);
  return found == std::end(kSpeeds) ? -1 : static_cast<int>(found - std::begin(kSpeeds));
}

std::string Sim::Line::Describe() const {
  if (!udp) return "pty seq=" + std::to_string(sequence) + " baud=" + std::to_string(baud);
  return "udp " + Endpoint(from) + " seq=" + std::to_string(sequence) +
         " baud=" + std::to_string(baud);
}

void Sim::Serve(const qm90::Request& request, const Line& line) {
  qm90::Answer answer;
  const bool answered = line.baud >= 0 && line.baud <= 8 &&
                        bus_.Handle(request, static_cast<std::uint8_t>(line.baud), answer);
  std::string note = "no answer (no module at this address and baud rate)";
  if (answered && faults_.ShouldDrop()) {
    note = "answer dropped";
  } else if (answered) {
    note = SendAnswer(answer, line);
  }
  if (options_.verbose) Log(line.Describe() + " " + Describe(request) + " -> " + note);
  // After the answer is out: the state file's fsync must not delay it.
  if (answered && request.command == qm90cmd::kWriteRegister && answer.status == qm90::kAnswerOk)
    SaveState();
}

std::string Sim::SendAnswer(const qm90::Answer& answer, const Line& line) {
  Outgoing out;
  out.udp = line.udp;
  out.to = line.from;
  out.bytes = line.udp ? qm90::EncodeUdpAnswer(answer, line.sequence) : qm90::EncodeAnswer(answer);
  std::string note = options_.verbose ? Describe(answer) : std::string();
  if (faults_.ShouldCorrupt()) {
    // Never the start byte or the UDP header: a damaged answer fails its CRC.
    faults_.Corrupt(out.bytes, line.udp ? 3 : 1);
    note += " corrupted";
  }
  const int delay = faults_.DelayMs();
  out.due = Clock::now() + std::chrono::milliseconds(delay);
  if (delay == 0 && outgoing_.empty()) {
    Transmit(out);
  } else {
    outgoing_.push_back(std::move(out));
    note += " delayed " + std::to_string(delay) + " ms";
  }
  return note;
}

void Sim::SendDue() {
  const auto now = Clock::now();
  for (auto it = outgoing_.begin(); it != outgoing_.end();) {
    if (it->due > now) {
      ++it;
      continue;
    }
    Transmit(*it);
    it = outgoing_.erase(it);
  }
}

void Sim::Transmit(const Outgoing& out) {
  ssize_t sent = -1;
  if (out.udp) {
    sent = ::sendto(udp_fd_, out.bytes.data(), out.bytes.size(), 0,
                    reinterpret_cast<const sockaddr*>(&out.to), sizeof out.to);
  } else if (pty_master_ >= 0) {
    sent = ::write(pty_master_, out.bytes.data(), out.bytes.size());
  }
  if (sent != static_cast<ssize_t>(out.bytes.size())) {
    Log(std::string("answer not sent: ") + (sent < 0 ? std::strerror(errno) : "short write"));
  }
}

bool Sim::SaveState() {
  if (options_.state_file.empty()) return true;
  std::string error;
  if (!qm90::WriteFileAtomically(options_.state_file, bus_.SaveState(), error)) {
    Log("cannot write state file " + options_.state_file + ": " + error);
    return false;
  }
  return true;
}

void Sim::Log(const std::string& line) const {
  std::cerr << "qm90-sim: " << line << std::endl;
}

void Sim::CleanUp() {
  if (!com_link_.empty()) {
    char target[256] = {};
    const ssize_t n = ::readlink(com_link_.c_str(), target, sizeof target - 1);
    if (n > 0 && pty_path_ == std::string(target, static_cast<std::size_t>(n))) {
      ::unlink(com_link_.c_str());
    }
    com_link_.clear();
  }
  for (int* fd : {&udp_fd_, &pty_slave_, &pty_master_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

}  // namespace qm90sim
