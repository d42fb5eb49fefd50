#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "link/QBLxxx.h"
#include "tests/soak/LateAnswer.h"
#include "tests/soak/Soak.h"

namespace soak {
namespace {

constexpr int kComPort = 9;
constexpr int kUdpTimeoutMs = 100;  // the library's default
constexpr std::uint8_t kUdpKind = 4;
constexpr std::uint8_t kSerialKind = 0;

std::string BaseRuntimeFolder() {
  static const std::string base = [] {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return std::string(runtime != nullptr ? runtime : "/tmp");
  }();
  return base;
}

bool Contains(const std::string& line, const char* word) {
  return line.find(word) != std::string::npos;
}

}  // namespace

const char* TransportName(Transport transport) {
  return transport == Transport::kUdp ? "UDP 127.0.0.1 (QBL314)" : "pty COM9 (QBL310)";
}

SimLink::SimLink(Transport transport, unsigned seed) : transport_(transport) {
  SwitchToPrivateRuntimeFolder();
  if (StartSim(seed)) OpenLink();
}

SimLink::~SimLink() {
  if (data_.LinkOpen && data_.LinkHandle != 0) DrvClose(data_.InterfaceKind, &data_.LinkHandle);
  data_.LinkOpen = false;
  sim_.Stop();
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

// The pty's COM link is published in the runtime folder: one of our own keeps
// it apart from tests running at the same time.
void SimLink::SwitchToPrivateRuntimeFolder() {
  static int count = 0;
  folder_ =
      BaseRuntimeFolder() + "/soak-" + std::to_string(getpid()) + "-" + std::to_string(++count);
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
  std::filesystem::create_directories(folder_ + "/state", ignored);
  chmod(folder_.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
  setenv("XDG_STATE_HOME", (folder_ + "/state").c_str(), 1);
  log_path_ = folder_ + "/sim.log";
}

// The emulator inherits stderr; for the time of its start stderr points to
// the log file, so its --verbose lines land there.
bool SimLink::StartSim(unsigned seed) {
  std::vector<std::string> args = {"--seed", std::to_string(seed), "--verbose"};
  if (transport_ == Transport::kUdp) {
    args.insert(args.end(), {"--udp", "127.0.0.1:0"});
  } else {
    args.insert(args.end(), {"--serial", "COM" + std::to_string(kComPort)});
  }
  const int log = ::open(log_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int saved = ::dup(STDERR_FILENO);
  if (log >= 0 && saved >= 0) ::dup2(log, STDERR_FILENO);
  const bool started = sim_.Start(args);
  if (log >= 0 && saved >= 0) ::dup2(saved, STDERR_FILENO);
  if (saved >= 0) ::close(saved);
  if (log >= 0) ::close(log);
  if (!started) error_ = "qm90-sim did not start: " + sim_.Error();
  return started;
}

bool SimLink::OpenLink() {
  SetDriverDirectory(qm90sim::BinDir());
  SetDataDefaults(&data_);
  data_.ModuleAddress = 1;
  data_.InitBlock = {};
  if (transport_ == Transport::kUdp) {
    data_.InterfaceKind = kUdpKind;
    data_.IpAddress = "127.0.0.1";
    data_.UdpPort = sim_.UdpPort();
    data_.UdpTimeout = kUdpTimeoutMs;
    data_.InitBlock[0] = reinterpret_cast<std::intptr_t>(data_.IpAddress.c_str());
    data_.InitBlock[1] = data_.UdpPort;
    data_.InitBlock[2] = data_.UdpTimeout;
  } else {
    data_.InterfaceKind = kSerialKind;
    data_.ComPort = kComPort;
    data_.InitBlock[0] = kComPort;
  }
  std::int32_t code = DrvOpen(data_.InterfaceKind, &data_.LinkHandle, &data_.InitBlock);
  if (code == 0 && data_.LinkHandle != 0)
    code = DrvSetConfig(data_.InterfaceKind, data_.LinkHandle, 9600, 13, 2);
  if (code != 0 || data_.LinkHandle == 0) {
    error_ = "link not opened: code " + std::to_string(code) + " " +
             ErrorText(data_.InterfaceKind, code);
    return false;
  }
  data_.LinkOpen = true;
  return true;
}

int SimLink::TimeoutMs() const {
  return AnswerTimeoutMs(transport_ == Transport::kUdp, kUdpTimeoutMs);
}

int SimLink::LateDelayMs() const {
  return LateAnswerDelayMs(transport_ == Transport::kUdp, kUdpTimeoutMs);
}

std::string SimLink::OkText() const {
  return " " + ErrorText(data_.InterfaceKind, 0);
}

FaultCount SimLink::CountFaults() const {
  FaultCount count;
  std::ifstream log(log_path_);
  for (std::string line; std::getline(log, line);) {
    if (!Contains(line, " -> ")) continue;
    ++count.requests;
    if (Contains(line, "answer dropped")) ++count.dropped;
    if (Contains(line, " corrupted")) ++count.corrupted;
    // "delayed 0 ms": an answer on time that waited behind late ones.
    if (Contains(line, " delayed ") && !Contains(line, " delayed 0 ms")) ++count.delayed;
  }
  return count;
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return 0;
}

std::vector<std::string> DriverTexts(std::uint8_t kind) {
  std::vector<std::string> texts;
  for (std::int32_t code = 1; code < 100; ++code) texts.push_back(" " + ErrorText(kind, code));
  return texts;
}

std::string StatusOf(const TFormWindow& window) {
  auto* bar = window.Form().FindAs<qm90ui::TStatusBar>("StatusBar1");
  return bar ? bar->PanelText(0) : "<no status bar>";
}

std::string Labels(const TFormWindow& window, int count) {
  std::string bits;
  for (int i = 0; i < count; ++i) {
    qm90ui::TControl* label = window.Form().FindControl("Label" + std::to_string(33 + i));
    bits += label ? label->Text() : "?";
  }
  return bits;
}

}  // namespace soak
