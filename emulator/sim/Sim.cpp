#include "emulator/sim/Sim.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <sstream>

#include "base/Baud.h"
#include "base/Folders.h"

#include "base/ModuleCommands.h"
#include "emulator/ControlGrammar.h"

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

constexpr int kBitsPerByte = 10;  // start bit, eight data bits, stop bit
constexpr std::size_t kMaxControlLine = 256;

constexpr speed_t kSpeeds[] = {B600, B1200, B2400, B4800, B9600, B19200, B38400, B57600, B115200};
static_assert(std::size(kSpeeds) == base::kBaudCount);

// Two modules answer at once: on the line the dominant level wins, and the
// twin's bytes trail by a bit, so each byte meets itself shifted by one bit.
void Collide(std::vector<std::uint8_t>& bytes) {
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(byte & (byte << 1));
}

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

long long UnixMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

int OpenLoopbackSocket(int type, const std::string& where, sockaddr_in& address,
                       std::string& error) {
  if (!ParseLoopbackHostPort(where, address, error)) return -1;
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd >= 0 && type == SOCK_STREAM) {
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  }
  if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      (type == SOCK_STREAM && ::listen(fd, 4) != 0)) {
    error = "cannot bind " + where + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return -1;
  }
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return fd;
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
  // localhost is the loopback by name; no resolver is asked.
  const std::string numeric = host == "localhost" ? "127.0.0.1" : host;
  if (::inet_pton(AF_INET, numeric.c_str(), &out.sin_addr) != 1 ||
      (ntohl(out.sin_addr.s_addr) >> 24) != 127) {
    error = "host '" + host +
            "' refused: qm90-sim is a local test device and binds only to a loopback address "
            "127.x.x.x or localhost";
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
  auto console = std::make_unique<ControlClient>();
  console->in_fd = STDIN_FILENO;
  console->out.Attach(STDOUT_FILENO, false);
  clients_.push_back(std::move(console));
  log_.Attach(STDERR_FILENO, false);
  for (std::size_t i = 0; i < bus_.Size(); ++i) views_.push_back(ViewOf(bus_.At(i)));
  faults_told_[0] = faults_.DropPercent();
  faults_told_[1] = faults_.CorruptPercent();
  faults_told_[2] = faults_.DelayMs();

  clients_[0]->out.WriteLine(ReadyText());
  Loop();
  for (auto& client : clients_) client->out.Flush();
  log_.Flush();
  CleanUp();
  return 0;
}

std::string Sim::ReadyText() const {
  qm90emulator::ReadyLine ready;
  if (udp_fd_ >= 0) ready.udp = "127.0.0.1:" + std::to_string(udp_port_);
  if (pty_master_ >= 0) ready.pty = pty_path_;
  if (!options_.serial.empty()) ready.com = "COM" + std::to_string(com_number_);
  if (control_fd_ >= 0) ready.control = "127.0.0.1:" + std::to_string(control_port_);
  return qm90emulator::FormatReady(ready);
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
    bus_.FindIdentity(static_cast<std::uint8_t>(address))->SetLoopback(options_.loopback);
  }
  if (options_.udp.empty() && options_.serial.empty()) {
    error = "nothing to serve: give --udp HOST:PORT and/or --serial COMn";
    return false;
  }
  return LoadState(error) && InstallStopSignals(error) && OpenUdp(error) && OpenControl(error) &&
         OpenPty(error);
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
  udp_fd_ = OpenLoopbackSocket(SOCK_DGRAM, options_.udp, address, error);
  udp_port_ = ntohs(address.sin_port);
  return udp_fd_ >= 0;
}

bool Sim::OpenControl(std::string& error) {
  if (options_.control.empty()) return true;
  sockaddr_in address{};
  control_fd_ = OpenLoopbackSocket(SOCK_STREAM, options_.control, address, error);
  control_port_ = ntohs(address.sin_port);
  return control_fd_ >= 0;
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
  enum Source { kSignal, kAccept, kControlIn, kControlOut, kLogOut, kUdp, kPty };
  std::vector<pollfd> fds;
  std::vector<std::pair<Source, std::size_t>> sources;
  while (!stop_) {
    fds.clear();
    sources.clear();
    const auto watch = [&](int fd, short events, Source source, std::size_t index = 0) {
      fds.push_back({fd, events, 0});
      sources.emplace_back(source, index);
    };
    watch(g_signal_pipe[0], POLLIN, kSignal);
    if (udp_fd_ >= 0) watch(udp_fd_, POLLIN, kUdp);
    if (pty_master_ >= 0) watch(pty_master_, POLLIN, kPty);
    if (control_fd_ >= 0) watch(control_fd_, POLLIN, kAccept);
    const auto now = Clock::now();
    for (std::size_t i = 0; i < clients_.size(); ++i) {
      if (WantsInput(*clients_[i], now)) watch(clients_[i]->in_fd, POLLIN, kControlIn, i);
      if (clients_[i]->out.Pending()) watch(clients_[i]->out.Fd(), POLLOUT, kControlOut, i);
    }
    if (log_.Pending()) watch(log_.Fd(), POLLOUT, kLogOut);

    timespec timeout{};
    const bool timed = PollTimeoutNs(timeout) >= 0;
    const int ready = ::ppoll(fds.data(), fds.size(), timed ? &timeout : nullptr, nullptr);
    if (ready < 0 && errno != EINTR) {
      Log(std::string("poll: ") + std::strerror(errno));
      return;
    }
    // Requests before control lines (the sources are in that order): a
    // control reply then comes after the answers to every request that had
    // already arrived.
    for (std::size_t i = 0; ready > 0 && i < fds.size() && !stop_; ++i) {
      if (fds[i].revents == 0) continue;
      const auto [source, index] = sources[i];
      // A connection closed earlier in this round; its number may be reused.
      const bool gone = (source == kControlIn || source == kControlOut) && index > 0 &&
                        !clients_[index]->out.Attached();
      if (gone) continue;
      switch (source) {
        case kSignal:
          ReadSignal();
          break;
        case kUdp:
          ReadUdp();
          break;
        case kPty:
          ReadPty();
          break;
        case kAccept:
          AcceptControl();
          break;
        case kControlIn:
          DrainRequests();
          ReadControl(*clients_[index]);
          break;
        case kControlOut:
          clients_[index]->out.Flush();
          HandleControlLines(*clients_[index]);
          break;
        case kLogOut:
          log_.Flush();
          break;
      }
    }
    SendDue();
    // Connections that ended, once their replies are out; never the console,
    // whose output may still be read.
    for (std::size_t i = clients_.size(); i-- > 1;) {
      ControlClient& client = *clients_[i];
      const bool done = !client.input_open && !client.HasLine() && !client.out.Pending();
      if (done || !client.out.Attached()) clients_.erase(clients_.begin() + static_cast<long>(i));
    }
  }
}

// Time to the next answer (or answer byte) due, or to a controller whose
// reading was paused; -1 when nothing waits.
int Sim::PollTimeoutNs(timespec& timeout) const {
  const auto now = Clock::now();
  Clock::time_point due = Clock::time_point::max();
  for (const auto& client : clients_) {
    const Clock::time_point resumes = InputResumes(*client);
    if (client->input_open && resumes > now) due = std::min(due, resumes);
  }
  if (Queued() == 0 && due == Clock::time_point::max()) return -1;
  if (!udp_queue_.empty()) due = std::min(due, udp_queue_.begin()->first);
  if (pty_current_ >= 0) {
    due = std::min(due, pty_queue_[static_cast<std::size_t>(pty_current_)].NextDue());
  } else {
    for (const PtyAnswer& out : pty_queue_)
      due = std::min(due, std::max(out.start, pty_line_free_));
  }
  const auto wait = std::max<long long>(
      0, std::chrono::duration_cast<std::chrono::nanoseconds>(due - now).count());
  timeout.tv_sec = static_cast<time_t>(wait / 1000000000);
  timeout.tv_nsec = static_cast<long>(wait % 1000000000);
  return 0;
}

void Sim::ReadSignal() {
  unsigned char byte = 0;
  while (::read(g_signal_pipe[0], &byte, 1) == 1) stop_ = true;
  if (stop_ && options_.verbose) Log("stop signal received");
}

void Sim::AcceptControl() {
  const int fd = ::accept4(control_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return;
  if (clients_.size() > kMaxControlClients) {
    const std::string refusal = qm90emulator::Error("too many control connections") + "\n";
    [[maybe_unused]] const ssize_t n =
        ::send(fd, refusal.data(), refusal.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    ::close(fd);
    return;
  }
  const int yes = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  auto client = std::make_unique<ControlClient>();
  client->in_fd = fd;
  client->socket = true;
  client->out.Attach(fd, true, 4 * OutputChannel::kDefaultBound);
  clients_.push_back(std::move(client));
}

void Sim::ReadControl(ControlClient& client) {
  char chunk[512];
  const ssize_t n = ::read(client.in_fd, chunk, sizeof chunk);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    client.input_open = false;  // end of stdin only ends control; serving goes on
  } else {
    const auto now = Clock::now();
    if (now - client.window_start >= kControlRateWindow) {
      client.window_start = now;
      client.window_bytes = 0;
    }
    client.window_bytes += static_cast<std::size_t>(n);
    client.input.append(chunk, static_cast<std::size_t>(n));
  }
  HandleControlLines(client);
}

// A reply is never dropped: while a controller's replies wait for it to read
// them, its further lines wait unread (serving goes on).
bool Sim::WantsInput(const ControlClient& client, Clock::time_point now) const {
  return client.input_open && !client.HasLine() && InputResumes(client) <= now &&
         client.out.Buffered() < OutputChannel::kReplyRoom;
}

Sim::Clock::time_point Sim::InputResumes(const ControlClient& client) const {
  if (client.window_bytes < kControlBytesPerWindow) return Clock::time_point::min();
  return client.window_start + kControlRateWindow;
}

void Sim::HandleControlLines(ControlClient& client) {
  std::string line;
  bool too_long = false;
  bool drained = false;
  while (!stop_ && client.out.Buffered() < OutputChannel::kReplyRoom &&
         NextControlLine(client, line, too_long)) {
    if (!drained) DrainRequests();
    drained = true;
    bool snapshot = false;
    const std::string reply =
        too_long ? qm90emulator::Error("line too long") : Execute(client, line, snapshot);
    client.out.WriteReply(reply);
    PublishChanges();
    if (snapshot) SendSnapshot(client);
  }
}

bool Sim::NextControlLine(ControlClient& client, std::string& line, bool& too_long) {
  const std::size_t newline = client.input.find('\n');
  if (newline == std::string::npos) {
    if (client.input.size() > kMaxControlLine) {
      client.discarding_long_line = true;
      client.input.clear();
    }
    return false;
  }
  std::size_t length = newline;
  if (length > 0 && client.input[length - 1] == '\r') --length;
  too_long = client.discarding_long_line || length > kMaxControlLine;
  line.assign(client.input, 0, too_long ? 0 : length);
  client.input.erase(0, newline + 1);
  client.discarding_long_line = false;
  return true;
}

std::string Sim::Execute(ControlClient& client, const std::string& line, bool& snapshot) {
  std::istringstream in(line);
  std::string verb;
  std::string extra;
  in >> verb >> extra;
  if (verb != "subscribe" && verb != "unsubscribe" && verb != "stats" && verb != "unplug" &&
      verb != "replug") {
    return ExecuteControl(bus_, faults_, line, stop_);
  }
  if (!extra.empty()) return qm90emulator::Error("usage: " + verb);
  if (verb == "stats") return Stats();
  if (verb == "unplug" || verb == "replug") {
    if (options_.serial.empty()) return qm90emulator::Error("no serial line (--serial)");
    if ((verb == "unplug") != (pty_master_ >= 0)) {
      return verb == "unplug" ? qm90emulator::Error("already unplugged")
                              : qm90emulator::Error("not unplugged");
    }
    std::string error;
    if (verb == "unplug") {
      Unplug();
    } else if (!Replug(error)) {
      return qm90emulator::Error("" + error);
    }
    return qm90emulator::Ok();
  }
  snapshot = verb == "subscribe" && !client.subscribed;
  client.subscribed = verb == "subscribe";
  return qm90emulator::Ok();
}

std::string Sim::Stats() const {
  std::uint64_t output_drops = log_.DroppedLines();
  for (const auto& client : clients_) output_drops += client->out.DroppedLines();
  return qm90emulator::Ok("requests=" + std::to_string(counters_.requests) +
                          " answered=" + std::to_string(counters_.answered) +
                          " fault-drops=" + std::to_string(counters_.fault_drops) +
                          " queue-drops=" + std::to_string(counters_.queue_drops) +
                          " send-failures=" + std::to_string(counters_.send_failures) +
                          " output-drops=" + std::to_string(output_drops) +
                          " queued=" + std::to_string(Queued()));
}

// Before a control line: every request already received is handled first,
// within a bound, so that a flood cannot starve the control interface.
void Sim::DrainRequests() {
  constexpr int kMaxDrained = 1024;
  for (int i = 0; i < kMaxDrained && udp_fd_ >= 0 && ReadUdp(); ++i) {
  }
  for (int i = 0; i < kMaxDrained && pty_master_ >= 0 && ReadPty(); ++i) {
  }
}

// One datagram per wake-up: poll reports the socket again while more wait, and
// a flood on one port cannot starve the control interface or the pty. False
// when none was waiting.
bool Sim::ReadUdp() {
  std::uint8_t datagram[512];
  sockaddr_in from{};
  socklen_t from_length = sizeof from;
  const ssize_t n = ::recvfrom(udp_fd_, datagram, sizeof datagram, MSG_TRUNC,
                               reinterpret_cast<sockaddr*>(&from), &from_length);
  if (n < 0) return false;
  qm90::Request request;
  std::uint16_t sequence = 0;
  std::uint8_t baud = 0;
  // n is the datagram's real length (MSG_TRUNC); anything longer than the
  // buffer is refused as too long without being read.
  const auto size = std::min(static_cast<std::size_t>(n), sizeof datagram);
  const qm90::Decode result = qm90::DecodeUdpRequest(datagram, size, request, sequence, baud);
  if (result == qm90::Decode::kOk) {
    Serve(request, Line{true, baud, from, sequence, Clock::now()});
  } else if (options_.verbose) {
    Log("udp " + Endpoint(from) + " datagram of " + std::to_string(n) +
        " bytes refused: " + qm90::DecodeName(result));
  }
  return true;
}

// The client writes a request into the pty at once; the module hears its
// last byte only when the line at its rate could have carried it.
bool Sim::ReadPty() {
  std::uint8_t chunk[64];
  const ssize_t n = ::read(pty_master_, chunk, sizeof chunk);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return false;
  if (n <= 0) {
    // Not expected while the slave is held open; stop polling a dead line.
    Log(std::string("serial line closed: ") + (n < 0 ? std::strerror(errno) : "end of file"));
    ::close(pty_master_);
    pty_master_ = -1;
    return false;
  }
  rx_busy_until_ =
      std::max(rx_busy_until_, Clock::now()) + PtyByteTime() * static_cast<long long>(n);
  scanner_.Feed(chunk, static_cast<std::size_t>(n));
  qm90::Request request;
  while (scanner_.NextRequest(request)) {
    Serve(request, Line{false, PtyBaudIndex(), sockaddr_in{}, request.sequence, rx_busy_until_});
  }
  return true;
}

int Sim::PtyBaudIndex() const {
  termios mode{};
  if (::tcgetattr(pty_slave_, &mode) != 0) return -1;
  const speed_t speed = ::cfgetospeed(&mode);
  const auto found = std::find(std::begin(kSpeeds), std::end(kSpeeds), speed);
  return found == std::end(kSpeeds) ? -1 : static_cast<int>(found - std::begin(kSpeeds));
}

// A rate that is none of the nine is timed as 9600 Bd (no module hears it).
Sim::Clock::duration Sim::PtyByteTime() const {
  const int index = PtyBaudIndex();
  const int baud = index < 0 ? 9600 : base::kBaudRates[index];
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::nanoseconds(static_cast<long long>(kBitsPerByte) * 1000000000LL / baud));
}

std::string Sim::Line::Describe() const {
  if (!udp) return "pty seq=" + std::to_string(sequence) + " baud=" + std::to_string(baud);
  return "udp " + Endpoint(from) + " seq=" + std::to_string(sequence) +
         " baud=" + std::to_string(baud);
}

// The port disappears as a USB adapter's does: the pty is closed (a driver
// holding it open sees the line end) and its COMn link removed.
void Sim::Unplug() {
  RemoveComLink();
  for (int* fd : {&pty_slave_, &pty_master_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  pty_queue_.clear();
  pty_current_ = -1;
  scanner_ = qm90::StreamScanner();
  pty_path_.clear();
}

// Comes back under the same COMn name (on a new pty).
bool Sim::Replug(std::string& error) {
  if (OpenPty(error)) return true;
  Unplug();
  return false;
}

void Sim::Serve(const qm90::Request& request, const Line& line) {
  ++counters_.requests;
  qm90::Module* module =
      base::IsBaudIndex(line.baud)
          ? bus_.FindListening(request.address, static_cast<std::uint8_t>(line.baud))
          : nullptr;
  const bool writes = module != nullptr && request.command == qm90cmd::kWriteRegister;
  const std::string eeprom_before = writes ? module->SaveEeprom() : std::string();
  qm90::Answer answer;
  const bool answered = module != nullptr && module->Handle(request, answer);
  // Like a module, answer a write only once it is stored; a write that
  // cannot be stored did not happen.
  if (answered && writes && answer.status == qm90::kAnswerOk &&
      !StoreWrite(*module, eeprom_before)) {
    const qm90::Answer ok = answer;
    answer = qm90::Answer{};
    answer.address = ok.address;
    answer.sequence = ok.sequence;
    answer.status = qm90::kAnswerNotStored;
  }
  std::string note = "no answer (no module at this address and baud rate)";
  const char* result = "none";
  if (answered && faults_.ShouldDrop()) {
    note = "answer dropped";
    result = "drop";
    ++counters_.fault_drops;
  } else if (answered && SendAnswer(answer, line, module->Twin(), note)) {
    result = "ok";
    ++counters_.answered;
  } else if (answered) {
    note = "answer dropped: " + std::to_string(kMaxQueuedAnswers) + " answers already waiting";
    result = "lost";
    ++counters_.queue_drops;
  }
  if (options_.verbose) Log(line.Describe() + " " + Describe(request) + " -> " + note);
  const bool told = answered && result[0] != 'n';
  Publish(ExchangeEvent(UnixMilliseconds(), line.udp, request, result, told ? &answer : nullptr));
  PublishChanges();
}

bool Sim::StoreWrite(qm90::Module& module, const std::string& eeprom_before) {
  if (options_.state_file.empty()) return true;
  std::string error;
  if (qm90::WriteFileAtomically(options_.state_file, bus_.SaveState(), error)) return true;
  module.LoadEeprom(eeprom_before);
  Log("register write refused: cannot write state file " + options_.state_file + ": " + error);
  return false;
}

bool Sim::SendAnswer(const qm90::Answer& answer, const Line& line, bool twin, std::string& note) {
  if (Queued() >= kMaxQueuedAnswers) return false;
  std::vector<std::uint8_t> bytes =
      line.udp ? qm90::EncodeUdpAnswer(answer, line.sequence) : qm90::EncodeAnswer(answer);
  note = options_.verbose ? Describe(answer) : std::string();
  if (faults_.ShouldCorrupt()) {
    // Never the start byte or the UDP header: a damaged answer fails its CRC.
    faults_.Corrupt(bytes, line.udp ? 3 : 1);
    note += " corrupted";
  }
  if (twin && !line.udp) {
    Collide(bytes);
    note += " collided with its twin's";
  }
  const auto delay = std::chrono::milliseconds(faults_.DelayMs());
  if (delay.count() > 0) note += " delayed " + std::to_string(delay.count()) + " ms";
  if (!line.udp) {
    PtyAnswer out;
    out.start = line.heard + std::chrono::milliseconds(options_.turnaround_ms) + delay;
    out.byte_time = PtyByteTime();
    out.bytes = std::move(bytes);
    // A late answer comes whole at its time: a driver that has moved on to its
    // next request then meets a sound stale frame, never a torn one.
    out.whole = delay.count() > 0;
    pty_queue_.push_back(std::move(out));
    return true;
  }
  UdpAnswer out{line.from, std::move(bytes), twin ? 2u : 1u};
  if (delay.count() == 0) {
    TransmitUdp(out);
  } else {
    udp_queue_.emplace(Clock::now() + delay, std::move(out));
  }
  return true;
}

void Sim::SendDue() {
  const auto now = Clock::now();
  while (!udp_queue_.empty() && udp_queue_.begin()->first <= now) {
    TransmitUdp(udp_queue_.begin()->second);
    udp_queue_.erase(udp_queue_.begin());
  }
  SendDuePty(now);
}

// One answer at a time on the line, each from its own start time on: the one
// due first goes next once the line is free, and keeps the line to its end.
void Sim::SendDuePty(Clock::time_point now) {
  for (;;) {
    if (pty_current_ < 0) {
      const auto first = std::min_element(
          pty_queue_.begin(), pty_queue_.end(),
          [](const PtyAnswer& a, const PtyAnswer& b) { return a.start < b.start; });
      if (first == pty_queue_.end() || std::max(first->start, pty_line_free_) > now) return;
      first->start = std::max(first->start, pty_line_free_);
      if (!first->whole) {
        pty_line_free_ =
            first->start + first->byte_time * static_cast<long long>(first->bytes.size());
      }
      pty_current_ = first - pty_queue_.begin();
    }
    PtyAnswer& out = pty_queue_[static_cast<std::size_t>(pty_current_)];
    std::size_t due = out.whole ? out.bytes.size() : out.sent;
    while (due < out.bytes.size() &&
           out.start + out.byte_time * static_cast<long long>(due + 1) <= now)
      ++due;
    if (due > out.sent) {
      const ssize_t n =
          pty_master_ < 0 ? -1 : ::write(pty_master_, out.bytes.data() + out.sent, due - out.sent);
      if (n != static_cast<ssize_t>(due - out.sent)) {
        // Nobody takes the line's bytes: the rest of this answer is lost.
        ++counters_.send_failures;
        if (options_.verbose) Log("answer not sent on the serial line: line full");
        due = out.bytes.size();
      }
      out.sent = due;
    }
    if (out.sent < out.bytes.size()) return;
    pty_queue_.erase(pty_queue_.begin() + pty_current_);
    pty_current_ = -1;
  }
}

// A twin's copy goes out in the same call, so that it has arrived by the
// time a client has taken the first: two modules answering at once.
void Sim::TransmitUdp(const UdpAnswer& out) {
  iovec data{const_cast<std::uint8_t*>(out.bytes.data()), out.bytes.size()};
  mmsghdr messages[2]{};
  const unsigned count = std::min(out.copies, 2u);
  for (unsigned i = 0; i < count; ++i) {
    messages[i].msg_hdr.msg_name = const_cast<sockaddr_in*>(&out.to);
    messages[i].msg_hdr.msg_namelen = sizeof out.to;
    messages[i].msg_hdr.msg_iov = &data;
    messages[i].msg_hdr.msg_iovlen = 1;
  }
  const int sent = ::sendmmsg(udp_fd_, messages, count, 0);
  for (unsigned i = 0; i < count; ++i) {
    if (sent >= 0 && static_cast<unsigned>(sent) > i && messages[i].msg_len == out.bytes.size())
      continue;
    ++counters_.send_failures;
    Log(std::string("answer not sent: ") + (sent < 0 ? std::strerror(errno) : "short write"));
  }
}

void Sim::Publish(const std::string& line) {
  for (auto& client : clients_) {
    if (client->subscribed) client->out.WriteLine(line);
  }
}

void Sim::PublishChanges() {
  const bool anyone = std::any_of(clients_.begin(), clients_.end(),
                                  [](const auto& client) { return client->subscribed; });
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < bus_.Size(); ++i) {
    const ModuleView now = ViewOf(bus_.At(i));
    if (now == views_[i]) continue;
    if (anyone) ChangeEvents(bus_.IdentityAt(i), views_[i], now, false, lines);
    views_[i] = now;
  }
  const int faults[3] = {faults_.DropPercent(), faults_.CorruptPercent(), faults_.DelayMs()};
  if (!std::equal(std::begin(faults), std::end(faults), faults_told_)) {
    std::copy(std::begin(faults), std::end(faults), faults_told_);
    lines.push_back(FaultsEvent(faults[0], faults[1], faults[2]));
  }
  const bool serial_present = pty_master_ >= 0;
  if (!options_.serial.empty() && serial_present != serial_present_told_) {
    serial_present_told_ = serial_present;
    lines.push_back(SerialEvent(serial_present));
  }
  if (!anyone) return;
  for (const std::string& line : lines) Publish(line);
}

void Sim::SendSnapshot(ControlClient& client) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < bus_.Size(); ++i) {
    ChangeEvents(bus_.IdentityAt(i), views_[i], ViewOf(bus_.At(i)), true, lines);
  }
  lines.push_back(FaultsEvent(faults_.DropPercent(), faults_.CorruptPercent(), faults_.DelayMs()));
  if (!options_.serial.empty()) lines.push_back(SerialEvent(pty_master_ >= 0));
  for (const std::string& line : lines) client.out.WriteLine(line);
}

void Sim::Log(const std::string& line) {
  log_.WriteLine("qm90-sim: " + line);
}

// Only the link that still points at this simulator's pty: another may have
// taken the name since.
void Sim::RemoveComLink() {
  if (com_link_.empty()) return;
  char target[256] = {};
  const ssize_t n = ::readlink(com_link_.c_str(), target, sizeof target - 1);
  if (n > 0 && pty_path_ == std::string(target, static_cast<std::size_t>(n))) {
    ::unlink(com_link_.c_str());
  }
  com_link_.clear();
}

void Sim::CleanUp() {
  RemoveComLink();
  clients_.clear();
  for (int* fd : {&udp_fd_, &control_fd_, &pty_slave_, &pty_master_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

}  // namespace qm90sim
