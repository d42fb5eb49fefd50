// Linux: COMn is either a name in the emulator's runtime folder (a pty, or a
// link a user put there to any device) or the system's n-th port /dev/ttyS<n-1>.
// USB adapters and their details come from sysfs, the stable names from
// /dev/serial/by-id, and who holds a port from the open descriptors in /proc.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>

#include "base/Folders.h"
#include "commission/SerialPorts.h"

namespace qm90commission {

namespace {

namespace fs = std::filesystem;

constexpr int kHighestCom = 255;

std::string FirstLine(const fs::path& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

// The canonical device a name leads to, as a path under the dev root.
std::string Resolved(const fs::path& path) {
  std::error_code error;
  const fs::path target = fs::canonical(path, error);
  return error ? std::string() : target.string();
}

// "ttyS12" -> 12; -1 for other names.
int SerialIndex(const std::string& name) {
  if (name.rfind("ttyS", 0) != 0 || name.size() < 5) return -1;
  int value = 0;
  for (std::size_t i = 4; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || value > kHighestCom) return -1;
    value = value * 10 + (name[i] - '0');
  }
  return value;
}

bool IsSerialName(const std::string& name) {
  for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM", "ttyAMA", "ttyXRUSB"})
    if (name.rfind(prefix, 0) == 0 && name.size() > std::char_traits<char>::length(prefix))
      return true;
  return false;
}

// A ttyS entry of the 8250 driver with no port behind it has type 0.
bool HasHardware(const fs::path& sys_tty) {
  const std::string type = FirstLine(sys_tty / "type");
  return type.empty() || type != "0";
}

// The USB device above a tty in sysfs: the nearest parent with idVendor.
void AddUsbFacts(const fs::path& sys_tty, TSerialPort& port) {
  std::error_code error;
  fs::path dir = fs::canonical(sys_tty / "device", error);
  for (int depth = 0; !error && depth < 6 && !dir.empty() && dir != dir.root_path(); ++depth) {
    if (fs::exists(dir / "idVendor", error)) {
      port.usb_vendor = FirstLine(dir / "idVendor");
      port.usb_product = FirstLine(dir / "idProduct");
      port.usb_serial = FirstLine(dir / "serial");
      port.manufacturer = FirstLine(dir / "manufacturer");
      port.description = FirstLine(dir / "product");
      return;
    }
    dir = dir.parent_path();
  }
}

// Device path -> its /dev/serial/by-id name.
std::map<std::string, std::string> StableNames(const std::string& dev) {
  std::map<std::string, std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fs::path(dev) / "serial" / "by-id", error)) {
    const std::string target = Resolved(entry.path());
    if (!target.empty()) names.emplace(target, entry.path().string());
  }
  return names;
}

// Device path -> "program (pid N)" of a process holding it open.
std::map<std::string, std::string> Holders(const std::string& proc) {
  std::map<std::string, std::string> holders;
  std::error_code error;
  const std::string own = std::to_string(getpid());
  for (const auto& process : fs::directory_iterator(proc, error)) {
    const std::string pid = process.path().filename().string();
    if (pid.empty() ||
        !std::all_of(pid.begin(), pid.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; }) ||
        pid == own)
      continue;
    std::error_code denied;
    for (const auto& fd : fs::directory_iterator(process.path() / "fd", denied)) {
      std::error_code unreadable;
      const fs::path target = fs::read_symlink(fd.path(), unreadable);
      if (unreadable || !target.is_absolute()) continue;
      holders.emplace(target.string(), FirstLine(process.path() / "comm") + " (pid " + pid + ")");
    }
  }
  return holders;
}

void Describe(TSerialPort& port, const TSystemRoots& roots,
              const std::map<std::string, std::string>& stable,
              const std::map<std::string, std::string>& holders) {
  const std::string real = Resolved(port.device);
  const std::string name = fs::path(real.empty() ? port.device : real).filename().string();
  AddUsbFacts(fs::path(roots.sys) / "class" / "tty" / name, port);
  for (const std::string& key : {port.device, real}) {
    if (auto it = stable.find(key); it != stable.end() && port.by_id.empty())
      port.by_id = it->second;
    if (auto it = holders.find(key); it != holders.end() && !port.busy) {
      port.busy = true;
      port.holder = it->second;
    }
  }
}

}  // namespace

std::vector<TSerialPort> ListSerialPorts(const TSystemRoots& roots) {
  std::vector<TSerialPort> ports;
  std::map<std::string, bool> listed;  // canonical devices already listed
  const std::string runtime = roots.runtime.empty() ? base::RuntimeFolder() : roots.runtime;
  std::error_code error;
  // The runtime folder's names come first: the driver prefers them.
  std::array<bool, kHighestCom + 1> taken{};
  for (const auto& entry : fs::directory_iterator(runtime, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("COM", 0) != 0) continue;
    int number = 0;
    try {
      number = std::stoi(name.substr(3));
    } catch (...) {
      continue;
    }
    if (number < 1 || number > kHighestCom || std::to_string(number) != name.substr(3)) continue;
    const std::string real = Resolved(entry.path());
    if (real.empty()) continue;
    taken[number] = true;
    listed[real] = true;
    TSerialPort port;
    port.com_number = number;
    port.device = real;
    ports.push_back(port);
  }
  const fs::path sys_tty = fs::path(roots.sys) / "class" / "tty";
  for (const auto& entry : fs::directory_iterator(sys_tty, error)) {
    const std::string name = entry.path().filename().string();
    if (!IsSerialName(name)) continue;
    const int index = SerialIndex(name);
    if (index >= 0 && !HasHardware(entry.path())) continue;
    const fs::path device = fs::path(roots.dev) / name;
    const std::string real = Resolved(device);
    if (real.empty() || listed.count(real)) continue;
    listed[real] = true;
    TSerialPort port;
    port.device = real;
    if (index >= 0 && index < kHighestCom && !taken[index + 1]) port.com_number = index + 1;
    ports.push_back(port);
  }
  const auto stable = StableNames(roots.dev);
  const auto holders = Holders(roots.proc);
  for (TSerialPort& port : ports) Describe(port, roots, stable, holders);
  std::stable_sort(ports.begin(), ports.end(), [](const TSerialPort& a, const TSerialPort& b) {
    const int ka = a.com_number ? a.com_number : 1000, kb = b.com_number ? b.com_number : 1000;
    return ka < kb;
  });
  return ports;
}

}  // namespace qm90commission
