// qm90's commands for a whole line: scan, find, backup, restore, ports. The
// work is in commission/; here the options are checked, the link is opened
// and the results are printed.
#pragma once

#include <string>
#include <vector>

#include "cli/CliCommands.h"

namespace qm90cli {

struct FindOptions {
  std::string addresses = "0-255";
  std::vector<std::string> bauds;  // empty: all nine, the likeliest first
  bool all = false;
  std::string timing;
};

struct BackupOptions {
  std::string folder;
  std::string addresses;           // empty: scan the line
  std::vector<std::string> bauds;  // rates to scan; empty: the configured one
};

struct RestoreOptions {
  std::string folder;
  bool dry_run = false;
  bool force = false;  // also onto a module of another identification
};

int ScanLine(Context& ctx, const ScanOptions& options);
int Find(Context& ctx, const FindOptions& options);
int Backup(Context& ctx, const BackupOptions& options);
int Restore(Context& ctx, const RestoreOptions& options);
int Ports(Context& ctx);

// What became of a serial port after a failed exchange.
enum class PortState {
  kThere,  // it opened again at once: the failure was the exchange's own
  kBack,   // it had gone and is open again
  kGone,   // it is gone (the wait was ended by Ctrl-C, or there was none)
};

// After a failed exchange on a serial link: opens the port again; when it has
// gone (a USB adapter pulled), says so and, with `wait`, waits for it to come
// back under its name (Ctrl-C ends the wait) and opens it again. Other
// interfaces are left as they are (kThere).
PortState RecoverSerialPort(Context& ctx, ModuleAccess& access, bool wait = true);

}  // namespace qm90cli
