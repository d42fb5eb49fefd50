// The commands of qm90 (its subcommands), each given its parsed options; each
// returns the exit status.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/Connection.h"

namespace qm90cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the module or the link reported a failure
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoLink = 3;         // the link could not be opened
inline constexpr int kExitInterrupted = 130;  // Ctrl-C, after restoring what was changed
// The reader of the output went away: main() ends by SIGPIPE, as shells expect.
inline constexpr int kExitBrokenPipe = 141;

struct Context {
  std::ostream& out;
  std::ostream& err;
  ConnectionOptions connection;
  bool json = false;
  bool trace = false;
  bool driver_host = false;  // the library in qm90-drvhost, even of our own word size
  bool quiet = false;        // results only
  bool verbose = false;      // what is being tried, on stderr
  int output_error = 0;      // errno of a failed write to out; the command has stopped
};

struct ScanOptions {
  std::string addresses = "0-255";
  std::vector<std::string> bauds;  // empty: all nine, the likeliest first
  bool first = false;
  std::string timing;  // the drivers' allowance in ms; empty: each rate's own
};

struct ConfigLoadOptions {
  std::string file;
  bool dry_run = false;
  bool force = false;
  bool with_address = false;
};

struct WatchOptions {
  bool watch = false;
  std::string interval;  // ms, empty: the window's period
  std::string count;     // polls, empty: once, or until Ctrl-C with --watch
  std::string csv;       // file the values are appended to
  bool clear = false;    // status only: clear the register first
};

int Identify(Context& ctx);
int Scan(Context& ctx, const ScanOptions& options);
int ConfigShow(Context& ctx);
int ConfigSet(Context& ctx, const std::vector<std::string>& assignments);
int ConfigSave(Context& ctx, const std::string& file, bool force);
int ConfigLoad(Context& ctx, const ConfigLoadOptions& options);
int Inputs(Context& ctx, const WatchOptions& options);
int Status(Context& ctx, const WatchOptions& options);
int Outputs(Context& ctx, const std::vector<std::string>& values);
int Aout(Context& ctx, const std::string& value);

// "1,77,200-210" -> the addresses in that order, each once; false on a bad list.
bool ParseAddressList(const std::string& text, std::vector<std::uint8_t>& addresses);
// The rates a scan tries: the given ones in their order, or the configured
// one followed by the other eight, the likeliest first.
bool ScanRates(const std::vector<std::string>& given, std::int32_t configured,
               std::vector<std::int32_t>& rates);

}  // namespace qm90cli
