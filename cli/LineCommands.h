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

// After a failed exchange on a serial link: when the port has gone (a USB
// adapter pulled), says so, waits for it to come back under its name and
// opens it again. Returns false when the wait was ended by Ctrl-C.
bool RecoverSerialPort(Context& ctx, ModuleAccess& access);

}  // namespace qm90cli
