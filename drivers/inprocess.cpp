// In-process transport of the card and USB libraries: the module lives inside
// the library, its EEPROM in a per-user state file that outlives the program.
//
// Every link to one library, in this process or another, is the same module:
// each exchange takes the registers from the state file as it stands, and a
// register write reads, changes and stores the file under a lock beside it
// that every writer takes, and is answered only once the file is on disk.
// Readers need no lock: a file is only ever replaced whole, by a rename.
#include <cstdio>
#include <cstring>
#include <string>

#include "base/Files.h"
#include "base/Folders.h"
#include "base/ModuleCommands.h"
#include "drivers/Codes.h"
#include "drivers/Transport.h"
#include "emulator/Module.h"

namespace qm90drivers {
namespace {

constexpr std::uint8_t kWriteRegister = qm90cmd::kWriteRegister;
constexpr std::size_t kLongestStateFile = 4096;
// Another writer holds the lock for one file replacement; far longer means
// it hangs, and the write is refused rather than waiting with it.
constexpr int kLockWaitMs = 5000;
constexpr const char* kFormLine = "QBL31x state 1\n";
constexpr const char* kEndMarker = "end ";

struct InProcessLink {
  qm90::Module module;  // the registers of the last exchange, the live values of this power-up
  std::string state_path;
  std::uint8_t baud_index = 4;
};

std::uint32_t Checksum(const std::string& text) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return hash;
}

std::string EndLine(const std::string& checked) {
  char line[16];
  std::snprintf(line, sizeof line, "%s%08x\n", kEndMarker,
                static_cast<unsigned>(Checksum(checked)));
  return line;
}

// A first line naming the form, the registers "32=.. 33=.. ... 63=..", and
// "end <checksum of the lines before>": a file cut anywhere, or changed, is
// no longer of this form, nor of the earlier one below.
std::string StateText(const qm90::Module& module) {
  const std::string checked = std::string(kFormLine) + module.SaveEeprom() + "\n";
  return checked + EndLine(checked);
}

// The registers line of a complete file. A file without the first line comes
// from an earlier version of these libraries, which wrote the registers line
// alone; it is taken only in exactly that form (all seven registers in order,
// nothing else). Such a file cut inside its last value cannot be told from a
// whole one.
bool RegistersOf(const std::string& text, std::string& registers) {
  const std::size_t form = std::strlen(kFormLine);
  if (text.compare(0, form, kFormLine) == 0) {
    const std::size_t line_end = text.find('\n', form);
    if (line_end == std::string::npos) return false;
    registers = text.substr(form, line_end - form);
    return text.compare(line_end + 1, std::string::npos, EndLine(text.substr(0, line_end + 1))) ==
           0;
  }
  registers = !text.empty() && text.back() == '\n' ? text.substr(0, text.size() - 1) : text;
  qm90::Module probe;
  return probe.LoadEeprom(registers) && probe.SaveEeprom() == registers;
}

std::string FolderOf(const std::string& path) {
  return path.substr(0, path.find_last_of("/\\"));
}

// A damaged file goes aside as .bad, looked at again under the lock (unless
// the caller holds it) so that a file a writer has just put in its place is
// never the one moved. `damaged` is null for a file too large to read.
void KeepAside(const std::string& path, const std::string* damaged, bool locked) {
  base::FileLock lock;
  if (!locked && !lock.Acquire(path + ".lock", kLockWaitMs)) return;
  std::string now;
  const base::ReadStatus read = base::ReadRegularFile(path, kLongestStateFile, now);
  const bool same = damaged ? read == base::ReadStatus::kOk && now == *damaged
                            : read == base::ReadStatus::kTooLarge;
  if (same) base::RenameFile(path, path + ".bad");
}

// Puts the stored registers into the link's module: factory values when there
// is no file yet. Anything but a complete file is never half-used: a regular
// file is kept aside, anything else is left where it is.
std::int32_t LoadStored(InProcessLink& link, bool locked) {
  std::string text;
  std::string registers;
  switch (base::ReadRegularFile(link.state_path, kLongestStateFile, text)) {
    case base::ReadStatus::kMissing:
      link.module.LoadEeprom(qm90::Module().SaveEeprom());
      return kOk;
    case base::ReadStatus::kOk:
      if (RegistersOf(text, registers) && link.module.LoadEeprom(registers)) return kOk;
      KeepAside(link.state_path, &text, locked);
      return kStateDamaged;
    case base::ReadStatus::kTooLarge:
      KeepAside(link.state_path, nullptr, locked);
      return kStateDamaged;
    default:
      return kStateDamaged;
  }
}

// Read, change, store: one step for every process, under the lock.
std::int32_t WriteRegister(InProcessLink& link, const qm90::Request& request,
                           qm90::Answer& answer) {
  base::FileLock lock;
  if (!base::MakeFolders(FolderOf(link.state_path)) ||
      !lock.Acquire(link.state_path + ".lock", kLockWaitMs))
    return kEepromSaveFailed;
  const std::int32_t code = LoadStored(link, true);
  if (code != kOk) return code;
  if (!link.module.Handle(request, answer)) return kTimeout;
  if (answer.status != qm90::kAnswerOk) return kOk;
  if (!base::ReplaceFileAtomically(link.state_path, StateText(link.module),
                                   base::NewFileAccess::kOwnerOnly))
    return kEepromSaveFailed;
  return kOk;
}

std::int32_t InProcessConfigure(void* context, const LinkSettings& settings) {
  static_cast<InProcessLink*>(context)->baud_index = settings.baud_index;
  return kOk;
}

std::int32_t InProcessExchange(void* context, const qm90::Request& request, qm90::Answer& answer) {
  auto* link = static_cast<InProcessLink*>(context);
  // At another rate the module hears only noise and keeps silent.
  if (link->baud_index != link->module.ActiveBaudIndex()) return kTimeout;
  if (request.address != link->module.ActiveAddress()) return kTimeout;
  if (request.command == kWriteRegister) return WriteRegister(*link, request, answer);
  const std::int32_t code = LoadStored(*link, false);
  if (code != kOk) return code;
  return link->module.Handle(request, answer) ? kOk : kTimeout;
}

void InProcessClose(void* context) {
  delete static_cast<InProcessLink*>(context);
}

constexpr Transport kInProcess{InProcessConfigure, InProcessExchange, InProcessClose};

}  // namespace

std::int32_t OpenInProcess(const char* library_name, OpenedLink& out) {
  auto* link = new InProcessLink;
  link->state_path = base::StateFolder() + "/" + library_name + ".eeprom";
  const std::int32_t code = LoadStored(*link, false);
  if (code != kOk) {
    delete link;
    return code;
  }
  link->module.PowerUp();
  out = {&kInProcess, link};
  return kOk;
}

}  // namespace qm90drivers
