// Round trips through the driver libraries, measured the way the program makes
// them (OpenLink, then typed exchanges of the session layer), against qm90-sim
// on 127.0.0.1.
//   qm90-bench-drivers [--count N]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Baud.h"
#include "emulator/launcher/SimProcess.h"
#include "link/Session.h"
#include "protocol/Frame.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint16_t kCom = 9;
constexpr std::uint8_t kModule = 1;
constexpr int kWarmUp = 200;

struct Figures {
  double median_us = 0;
  double p90_us = 0;
  int failures = 0;
};

Figures Summarise(std::vector<double> samples, int failures) {
  Figures figures;
  figures.failures = failures;
  if (samples.empty()) return figures;
  std::sort(samples.begin(), samples.end());
  figures.median_us = samples[samples.size() / 2];
  figures.p90_us = samples[samples.size() * 9 / 10];
  return figures;
}

double MicrosecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// One read of the address register, as the address dialog sends it.
bool ReadAddress(const TModuleLink& link) {
  std::uint8_t value = 0;
  return ReadRegister(link, qm90cmd::kRegAddress, value) == 0;
}

// Opens the kind's library on the record as the connection dialog does; false
// (with the step's text printed) when it does not open.
bool Open(TData& data, std::uint8_t kind, std::uint8_t baud_index = 4) {
  data.InterfaceKind = kind;
  const TOpenResult result = OpenLink(data, TLinkRequest{kind, kModule, baud_index, kCom});
  if (!result.ok())
    std::printf("%s: cannot open the link (code %d): %s\n", DriverFileName(kind).c_str(),
                result.code, ErrorText(kind, result.code).c_str());
  return result.ok();
}

TData NewRecord() {
  TData data;
  SetDataDefaults(&data);
  return data;
}

Figures TimeTransactions(const TModuleLink& link, int count, std::vector<double>* kept = nullptr,
                         bool warm_up = true) {
  if (warm_up)
    for (int i = 0; i < kWarmUp; ++i) ReadAddress(link);
  std::vector<double> samples;
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    if (ReadAddress(link)) {
      samples.push_back(MicrosecondsSince(start));
    } else {
      ++failures;
    }
  }
  if (kept) kept->insert(kept->end(), samples.begin(), samples.end());
  return Summarise(samples, failures);
}

int LoopbackSocket(sockaddr_in& bound) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  bound = {};
  bound.sin_family = AF_INET;
  bound.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof bound;
  bind(fd, reinterpret_cast<sockaddr*>(&bound), size);
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size);
  return fd;
}

// Sends `count` datagrams of the LAN library's request size and waits for each
// answer: the plain cost of a UDP round trip on 127.0.0.1.
Figures PingPong(int client, const std::vector<std::uint8_t>& request, int count,
                 std::vector<double>* kept = nullptr) {
  std::vector<std::uint8_t> answer(64);
  std::vector<double> samples;
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    send(client, request.data(), request.size(), 0);
    if (recv(client, answer.data(), answer.size(), 0) <= 0) ++failures;
    samples.push_back(MicrosecondsSince(start));
  }
  if (kept) kept->insert(kept->end(), samples.begin(), samples.end());
  return Summarise(samples, failures);
}

// A plain UDP echo in a child process, so that each round trip crosses
// between processes as it does with qm90-sim; it echoes until it is ended.
struct RawEcho {
  pid_t pid = -1;
  int server = -1;
  int client = -1;
};

RawEcho StartRawEcho() {
  RawEcho echo;
  sockaddr_in server_address{};
  sockaddr_in client_address{};
  echo.server = LoopbackSocket(server_address);
  echo.client = LoopbackSocket(client_address);
  connect(echo.client, reinterpret_cast<sockaddr*>(&server_address), sizeof server_address);
  const std::size_t answer_size = qm90::UdpAnswerSize();
  echo.pid = fork();
  if (echo.pid == 0) {
    std::uint8_t buffer[64];
    for (;;) {
      sockaddr_in from{};
      socklen_t size = sizeof from;
      if (recvfrom(echo.server, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from),
                   &size) <= 0) {
        _exit(1);
      }
      sendto(echo.server, buffer, answer_size, 0, reinterpret_cast<sockaddr*>(&from), size);
    }
  }
  return echo;
}

void StopRawEcho(RawEcho& echo) {
  if (echo.pid > 0) {
    kill(echo.pid, SIGTERM);
    waitpid(echo.pid, nullptr, 0);
  }
  close(echo.server);
  close(echo.client);
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The same plain client against qm90-sim: what the emulator adds on its own.
Figures TimeRawToSim(int port, int count) {
  sockaddr_in client_address{};
  const int client = LoopbackSocket(client_address);
  sockaddr_in sim{};
  sim.sin_family = AF_INET;
  sim.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sim.sin_port = htons(static_cast<std::uint16_t>(port));
  connect(client, reinterpret_cast<sockaddr*>(&sim), sizeof sim);
  qm90::Request request;
  request.address = kModule;
  request.command = qm90cmd::kReadRegister;
  request.d[1] = request.d[2] = qm90cmd::kRegAddress;
  // One sequence number throughout: the plain client does not check it.
  const std::vector<std::uint8_t> datagram = qm90::EncodeUdpRequest(request, 1, 4);
  PingPong(client, datagram, kWarmUp);
  const Figures figures = PingPong(client, datagram, count);
  close(client);
  return figures;
}

void PrintRoundTrip(const char* what, const Figures& figures) {
  std::printf("%-44s median %8.1f us   p90 %8.1f us   failed %d\n", what, figures.median_us,
              figures.p90_us, figures.failures);
}

// The library's round trip and the raw one, measured in alternating blocks
// (ABBA order) in one run, so that a change in the machine's load falls on
// both alike; the ratio is the median of the per-block ratios.
double BenchLan(const qm90sim::SimProcess& sim, int count) {
  constexpr int kBlocks = 20;
  TData data = NewRecord();
  data.IpAddress = "127.0.0.1";
  data.UdpPort = sim.UdpPort();
  data.UdpTimeout = 1000;
  if (!Open(data, kKindLan)) return 0;
  const TModuleLink link = LinkOf(data);
  RawEcho echo = StartRawEcho();
  const std::vector<std::uint8_t> raw_request(qm90::UdpRequestSize(), 0x5A);
  const int per_block = std::max(10, count / kBlocks);
  TimeTransactions(link, 0);  // the warm-up
  PingPong(echo.client, raw_request, kWarmUp);
  std::vector<double> lan_samples, raw_samples, ratios;
  int lan_failures = 0, raw_failures = 0;
  for (int block = 0; block < kBlocks; ++block) {
    Figures lan, raw;
    const bool library_first = block % 4 == 0 || block % 4 == 3;
    if (!library_first) raw = PingPong(echo.client, raw_request, per_block, &raw_samples);
    lan = TimeTransactions(link, per_block, &lan_samples, /*warm_up=*/false);
    if (library_first) raw = PingPong(echo.client, raw_request, per_block, &raw_samples);
    lan_failures += lan.failures;
    raw_failures += raw.failures;
    if (raw.median_us > 0) ratios.push_back(lan.median_us / raw.median_us);
  }
  StopRawEcho(echo);
  CloseLink(data);
  const Figures raw_sim = TimeRawToSim(sim.UdpPort(), count);
  PrintRoundTrip("QBL314 ModuleTransact, UDP 127.0.0.1", Summarise(lan_samples, lan_failures));
  PrintRoundTrip("raw UDP ping-pong, same datagram sizes", Summarise(raw_samples, raw_failures));
  PrintRoundTrip("raw UDP client to qm90-sim (no library)", raw_sim);
  std::sort(ratios.begin(), ratios.end());
  const double ratio = Median(ratios);
  std::printf("%-44s %.2f (goal <= 1.30; median of %d blocks of %d, range %.2f..%.2f)\n",
              "ratio QBL314 / raw", ratio, kBlocks, per_block, ratios.empty() ? 0 : ratios.front(),
              ratios.empty() ? 0 : ratios.back());
  return ratio;
}

// Moves the emulated module to the fastest rate (baud register, power-up),
// then times exchanges over the pseudo-terminal at that rate.
void BenchSerial(qm90sim::SimProcess& sim, int count) {
  constexpr std::uint8_t kFastest = 8;
  TData data = NewRecord();
  if (!Open(data, kKindSerial)) return;
  const TModuleLink link = LinkOf(data);
  if (WriteRegister(link, qm90cmd::kRegBaudIndex, kFastest) != 0 || !sim.PowerCycle(kModule) ||
      DrvSetConfig(kKindSerial, link.handle, BaudFromIndex(kFastest), TimingFromIndex(kFastest),
                   kSetConfigMode) != 0) {
    std::printf("QBL310: cannot move the link to %d Bd\n", BaudFromIndex(kFastest));
    CloseLink(data);
    return;
  }
  PrintRoundTrip("QBL310 ModuleTransact, pty COM at 115200 Bd", TimeTransactions(link, count));
  CloseLink(data);
}

void PrintWireTable() {
  const std::size_t serial_bytes = qm90::RequestFrameSize() + qm90::AnswerFrameSize();
  std::printf(
      "\nBytes on the wire per exchange: serial %zu (request %zu + answer %zu), "
      "UDP payload %zu (%zu + %zu)\n",
      serial_bytes, qm90::RequestFrameSize(), qm90::AnswerFrameSize(),
      qm90::UdpRequestSize() + qm90::UdpAnswerSize(), qm90::UdpRequestSize(),
      qm90::UdpAnswerSize());
  std::printf("%10s %16s\n", "Bd", "ms per exchange");
  for (std::uint8_t index = 0; index <= base::kHighestBaudIndex; ++index) {
    const int baud = BaudFromIndex(index);
    const double ms = serial_bytes * 10.0 * 1000.0 / baud;  // 10 bits per byte, 8N1
    std::printf("%10d %16.2f\n", baud, ms);
  }
}

void BenchInProcess(int count) {
  std::printf("\n");
  for (std::uint8_t kind : {kKindIsa, kKindPci, kKindUsb}) {
    TData data = NewRecord();
    if (!Open(data, kind)) continue;
    const TModuleLink link = LinkOf(data);
    const int reads = count * 50;
    const auto start = Clock::now();
    int failures = 0;
    for (int i = 0; i < reads; ++i) failures += ReadAddress(link) ? 0 : 1;
    const double read_rate = reads / (MicrosecondsSince(start) / 1e6);
    const int writes = 200;
    const auto write_start = Clock::now();
    for (int i = 0; i < writes; ++i) {
      const auto value = static_cast<std::uint8_t>(i);
      failures += WriteRegister(link, qm90cmd::kRegDoutInit, value) == 0 ? 0 : 1;
    }
    const double write_rate = writes / (MicrosecondsSince(write_start) / 1e6);
    std::printf(
        "%s in-process: %10.0f register reads/s, %8.0f register writes/s (saved each), "
        "failed %d\n",
        DriverFileName(kind).c_str(), read_rate, write_rate, failures);
    CloseLink(data);
  }
}

// Private runtime and state folders, so the bench touches no real module files.
std::string MakeScratchFolders() {
  char pattern[] = "/tmp/qm90-bench-XXXXXX";
  const char* folder = mkdtemp(pattern);
  if (folder == nullptr) return "";
  std::filesystem::create_directories(std::string(folder) + "/state");
  setenv("XDG_RUNTIME_DIR", folder, 1);
  setenv("XDG_STATE_HOME", (std::string(folder) + "/state").c_str(), 1);
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 2000;
  if (argc == 3 && std::strcmp(argv[1], "--count") == 0) count = std::max(10, std::atoi(argv[2]));
  const std::string scratch = MakeScratchFolders();
  if (scratch.empty()) {
    std::printf("cannot make a scratch folder in /tmp\n");
    return 1;
  }
  SetDriverDirectory(qm90sim::BinDir());
  qm90sim::SimProcess sim;
  if (!sim.Start({"--udp", "127.0.0.1:0", "--serial", "COM" + std::to_string(kCom)})) {
    std::printf("qm90-sim did not start: %s\n", sim.Error().c_str());
    return 1;
  }
  std::printf("%d timed exchanges each, after %d to warm up\n\n", count, kWarmUp);
  BenchLan(sim, count);
  BenchSerial(sim, count);
  sim.Stop();
  PrintWireTable();
  BenchInProcess(count);
  std::filesystem::remove_all(scratch);
  return 0;
}
