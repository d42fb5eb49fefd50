// In-process transport of the card and USB libraries: the module lives inside
// the library, its EEPROM in a per-user state file that outlives the program.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "drivers/Codes.h"
#include "drivers/Transport.h"
#include "emulator/Module.h"

namespace qbl {
namespace {

constexpr std::uint8_t kWriteRegister = 103;
constexpr std::size_t kLongestEepromFile = 4096;

struct InProcessLink {
  qm90::Module module;
  std::string eeprom_path;
  std::uint8_t baud_index = 4;
};

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  const passwd* user = getpwuid(getuid());
  return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "/tmp";
}

// $XDG_STATE_HOME/qm90, or ~/.local/state/qm90 when that is unset.
std::string StateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  const std::string base =
      state != nullptr && state[0] == '/' ? state : HomeFolder() + "/.local/state";
  return base + "/qm90";
}

bool MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

bool ReadSmallFile(const std::string& path, std::string& text) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char buffer[kLongestEepromFile + 1];
  const std::size_t size = std::fread(buffer, 1, sizeof buffer, file);
  std::fclose(file);
  text.assign(buffer, size);
  return true;
}

// Writes the EEPROM image beside the file and renames it into place, so that
// an interrupted save leaves the previous image whole.
bool SaveEeprom(const InProcessLink& link) {
  if (!MakeFolders(StateFolder())) return false;
  const std::string temp = link.eeprom_path + ".tmp";
  const std::string text = link.module.SaveEeprom();
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const bool synced = fsync(fd) == 0;
  const bool closed = close(fd) == 0;
  if (written && synced && closed && std::rename(temp.c_str(), link.eeprom_path.c_str()) == 0) {
    return true;
  }
  unlink(temp.c_str());
  return false;
}

// A damaged image is kept aside as .bad; the module then starts from factory
// settings, as a module with a cleared EEPROM would.
void LoadEeprom(InProcessLink& link) {
  std::string text;
  if (!ReadSmallFile(link.eeprom_path, text)) return;
  if (text.size() <= kLongestEepromFile && link.module.LoadEeprom(text)) return;
  std::rename(link.eeprom_path.c_str(), (link.eeprom_path + ".bad").c_str());
}

std::int32_t InProcessConfigure(void* context, const LinkSettings& settings) {
  static_cast<InProcessLink*>(context)->baud_index = settings.baud_index;
  return kOk;
}

std::int32_t InProcessExchange(void* context, const qm90::Request& request, qm90::Answer& answer) {
  auto* link = static_cast<InProcessLink*>(context);
  // At another rate the module hears only noise and keeps silent.
  if (link->baud_index != link->module.ActiveBaudIndex()) return kTimeout;
  const bool writes = request.command == kWriteRegister;
  const std::string before = writes ? link->module.SaveEeprom() : std::string();
  if (!link->module.Handle(request, answer)) return kTimeout;
  if (writes && answer.status == qm90::kAnswerOk && !SaveEeprom(*link)) {
    link->module.LoadEeprom(before);  // a write that cannot be kept did not happen
    return kEepromSaveFailed;
  }
  return kOk;
}

void InProcessClose(void* context) {
  delete static_cast<InProcessLink*>(context);
}

constexpr Transport kInProcess{InProcessConfigure, InProcessExchange, InProcessClose};

}  // namespace

std::int32_t OpenInProcess(const char* library_name, OpenedLink& out) {
  auto* link = new InProcessLink;
  link->eeprom_path = StateFolder() + "/" + library_name + ".eeprom";
  LoadEeprom(*link);
  link->module.PowerUp();
  out = {&kInProcess, link};
  return kOk;
}

}  // namespace qbl
