#include "cli/CliCommands.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <span>
#include <thread>

#include "base/Files.h"
#include "base/Text.h"
#include "cli/ConfigFile.h"
#include "cli/Console.h"
#include "cli/Json.h"
#include "cli/LineCommands.h"
#include "cli/ModuleAccess.h"
#include "cli/Registers.h"
#include "cli/Trace.h"
#include "link/Dekl.h"
#include "link/QBLxxx.h"

namespace qm90cli {

namespace {

using Clock = std::chrono::steady_clock;

// The order in which the settings windows read: address and rate, the I/O
// registers, the analog output.
constexpr std::uint8_t kReadOrder[] = {kRegAddress,     kRegBaudIndex,    kRegDoutInit,
                                       kRegDinNegation, kRegDoutNegation, kRegAoutLow,
                                       kRegAoutHigh};

// Rates a scan tries when none are given, after the configured one.
constexpr std::int32_t kLikelyRates[] = {9600, 19200, 115200, 57600, 38400, 4800, 2400, 1200, 600};

int Fail(Context& ctx, int exit_code, const std::string& message) {
  ctx.err << "qm90: " << message << "\n";
  if (ctx.json) ctx.out << JsonObject().Add("error", message).Add("exit", exit_code).Text() << "\n";
  return exit_code;
}

std::string RegisterLabel(std::uint8_t number) {
  const RegisterInfo* info = FindRegister(number);
  return "register " + std::to_string(number) + " (" + (info ? info->name : "?") + ")";
}

std::string LinkSummary(const LinkParams& params) {
  return InterfaceDescription(params) + ", address " + std::to_string(params.address) + ", " +
         std::to_string(params.baud) + " Bd";
}

// Resolves the connection options and opens the link with identification.
// Returns kExitOk or the exit status after the message.
int OpenModule(Context& ctx, ModuleAccess& access, LinkParams& params) {
  const std::string problem = ResolveLink(ctx.connection, params);
  if (!problem.empty()) return Fail(ctx, kExitUsage, problem);
  if (ctx.trace)
    access.SetTrace([&ctx](const ExchangeRecord& record) { ctx.err << TraceLine(record) << "\n"; });
  if (ctx.verbose) ctx.err << "qm90: opening " << LinkSummary(params) << "\n";
  std::string message;
  if (access.Open(params, message) != 0)
    return Fail(ctx, kExitNoLink, "cannot open the link (" + LinkSummary(params) + "): " + message);
  if (ctx.verbose) ctx.err << "qm90: module " << access.ModuleName() << " answered\n";
  return kExitOk;
}

// Reads the registers in the given order into values.
bool ReadRegisters(Context& ctx, ModuleAccess& access, std::span<const std::uint8_t> regs,
                   RegisterValues& values, int& exit_code) {
  std::uint8_t failed_reg = 0;
  const std::uint8_t status = access.ReadRegisters(
      regs, [&values](std::uint8_t reg, std::uint8_t value) { ValueOf(values, reg) = value; },
      failed_reg);
  if (status == 0) return true;
  exit_code =
      Fail(ctx, kExitFailure, "reading " + RegisterLabel(failed_reg) + ": " + access.Text(status));
  return false;
}

bool ReadAll(Context& ctx, ModuleAccess& access, RegisterValues& values, int& exit_code) {
  return ReadRegisters(ctx, access, kReadOrder, values, exit_code);
}

// The registers a `config set` assignment changes: those that differ after
// applying it to all-zero or to all-one registers.
std::vector<std::uint8_t> RegistersOfSettings(const std::vector<std::string>& assignments) {
  RegisterValues zeros{}, ones{};
  ones.fill(0xFF);
  const RegisterValues zeros_before = zeros, ones_before = ones;
  for (const std::string& assignment : assignments) {
    ApplySetting(assignment, zeros);
    ApplySetting(assignment, ones);
  }
  std::vector<std::uint8_t> regs;
  for (const std::uint8_t reg : kReadOrder)
    if (ValueOf(zeros, reg) != ValueOf(zeros_before, reg) ||
        ValueOf(ones, reg) != ValueOf(ones_before, reg))
      regs.push_back(reg);
  return regs;
}

std::string ShowValue(const RegisterInfo& info, std::uint8_t value) {
  if (info.bits) return HexByte(value);
  if (info.number == kRegBaudIndex)
    return std::to_string(value) +
           (value <= 8 ? " (" + std::to_string(BaudFromIndex(value)) + " Bd)" : " (not a rate)");
  return std::to_string(value);
}

// Writes the registers in the table's order when wanted(register); reports
// each one. Returns kExitOk or the exit status after the failure.
int WriteRegisters(Context& ctx, ModuleAccess& access, const RegisterValues& target,
                   const std::function<bool(std::uint8_t)>& wanted,
                   std::vector<std::uint8_t>& written, std::vector<std::string>& json_lines) {
  for (const RegisterInfo& info : kRegisters) {
    if (!wanted(info.number)) continue;
    if (console::Interrupted())
      return Fail(ctx, kExitInterrupted, "interrupted; the registers reported above are written");
    const std::uint8_t value = ValueOf(target, info.number);
    std::uint8_t read_back = 0;
    const std::uint8_t status = access.WriteRegister(info.number, value, read_back);
    if (status == kStatusReadBackMismatch)
      return Fail(ctx, kExitFailure,
                  RegisterLabel(info.number) + ": wrote " + ShowValue(info, value) +
                      " but the module holds " + ShowValue(info, read_back) +
                      " (read-back differs); the registers after it were not written");
    if (status != 0)
      return Fail(ctx, kExitFailure,
                  "writing " + RegisterLabel(info.number) + ": " + access.Text(status) +
                      "; the registers after it were not written");
    written.push_back(info.number);
    json_lines.push_back(JsonObject()
                             .Add("register", info.number)
                             .Add("name", info.name)
                             .Add("value", value)
                             .Text());
    if (!ctx.json)
      ctx.out << RegisterLabel(info.number) << ": wrote " << ShowValue(info, value)
              << ", read back: verified\n";
  }
  return kExitOk;
}

void PowerUpNote(Context& ctx, const LinkParams& params, const std::vector<std::uint8_t>& written) {
  const bool communication = std::any_of(written.begin(), written.end(), IsCommunicationRegister);
  if (communication && !ctx.json && !ctx.quiet)
    ctx.out << "The new address or baud rate applies at the module's next power-up; until then it "
               "answers at address "
            << int{params.address} << ", " << params.baud << " Bd.\n";
}

bool WriteFileNew(const std::string& path, const std::string& contents, bool replace,
                  std::string& problem) {
  if (!replace && base::PathExists(path)) {
    problem = path + " exists; give --force to replace it";
    return false;
  }
  std::string reason;
  if (!base::ReplaceFileAtomically(path, contents, base::NewFileAccess::kShared, &reason)) {
    problem = "cannot write " + path + (reason.empty() ? "" : ": " + reason);
    return false;
  }
  return true;
}

// Sleeps until the time point, waking early on Ctrl-C.
void SleepUntil(Clock::time_point due) {
  while (!console::Interrupted()) {
    const auto now = Clock::now();
    if (now >= due) return;
    std::this_thread::sleep_for(
        std::min<Clock::duration>(due - now, std::chrono::milliseconds(20)));
  }
}

bool ParseCount(const std::string& text, std::int64_t& count) {
  return text.empty() || ParseInteger(text, 1, 0x7FFFFFFF, count);
}

// The poll loop of inputs and status: once, --count N times, or until Ctrl-C.
// poll(line, csv_row, json) makes one reading; it returns false after a
// failure it has reported.
int Watch(Context& ctx, const WatchOptions& options, int default_interval_ms,
          const std::string& csv_header,
          const std::function<bool(ModuleAccess&, std::string&, std::string&, JsonObject&)>& poll,
          const std::function<bool(ModuleAccess&)>& before = nullptr) {
  std::int64_t interval = default_interval_ms;
  std::int64_t count = 1;
  if (!options.interval.empty() && !ParseInteger(options.interval, 1, 3600000, interval))
    return Fail(ctx, kExitUsage, "--interval takes 1..3600000 ms");
  if (!ParseCount(options.count, count)) return Fail(ctx, kExitUsage, "--count takes 1 or more");
  const bool endless = options.watch && options.count.empty();
  const bool timestamps = options.watch || !options.count.empty();

  ModuleAccess access;
  LinkParams params;
  if (const int opened = OpenModule(ctx, access, params); opened != kExitOk) return opened;
  // Opened only once the module has answered, so a failed link leaves no file behind.
  std::ofstream csv;
  if (!options.csv.empty()) {
    if (const std::string problem = console::CheckAppendTarget(options.csv); !problem.empty())
      return Fail(ctx, kExitUsage, "cannot append to " + options.csv + ": " + problem);
    std::error_code ignored;
    const bool fresh = !std::filesystem::exists(options.csv, ignored) ||
                       std::filesystem::file_size(options.csv, ignored) == 0;
    errno = 0;
    csv.open(options.csv, std::ios::app | std::ios::binary);
    if (!csv)
      return Fail(ctx, kExitFailure,
                  "cannot open " + options.csv + " for appending: " + std::strerror(errno));
    if (fresh) csv << "time," << csv_header << "\r\n";
  }

  if (before && !before(access)) return kExitFailure;
  bool failed = false;
  auto due = Clock::now();
  for (std::int64_t done = 0; endless || done < count; ++done) {
    if (done > 0) {
      due += std::chrono::milliseconds(interval);
      if (Clock::now() > due) due = Clock::now();  // a slow answer: no burst to catch up
      SleepUntil(due);
    }
    if (console::Interrupted()) return kExitInterrupted;
    const auto when = std::chrono::system_clock::now();
    std::string line, row;
    JsonObject json;
    if (!poll(access, line, row, json)) {
      failed = true;
      if (access.LinkLost()) break;  // reported; nothing more can pass
      if (options.watch && RecoverSerialPort(ctx, access) == PortState::kGone) break;
      continue;
    }
    errno = 0;
    if (ctx.json) {
      if (timestamps) json.Add("time", IsoTimestamp(when));
      ctx.out << json.Text() << "\n";
    } else {
      ctx.out << (timestamps ? TimeOfDay(when).substr(0, 12) + "  " : "") << line << "\n";
    }
    if (!ctx.out.flush()) {
      // The reader went away or the output is full: stop, the link is closed on return.
      ctx.output_error = errno ? errno : EIO;
      return kExitFailure;
    }
    if (csv.is_open()) {
      csv << IsoTimestamp(when) << "," << row << "\r\n";
      csv.flush();
      if (!csv)
        return Fail(ctx, kExitFailure,
                    "writing " + options.csv + " failed: " + std::strerror(errno ? errno : EIO));
    }
  }
  return failed ? kExitFailure : kExitOk;
}

std::string CsvBits(std::uint8_t value, int count = 8) {
  std::string row;
  for (int bit = 0; bit < count; ++bit)
    row += std::string(bit ? "," : "") + ((value >> bit) & 1 ? "1" : "0");
  return row;
}

// Names of the status register's bits that have one.
const char* StatusBitName(int bit) {
  switch (bit) {
    case 1:
      return "FN";
    case 2:
      return "PRF";
    case 4:
      return "PWR";
    case 5:
      return "RST";
    case 6:
      return "ERR24";
    default:
      return nullptr;
  }
}

}  // namespace

bool ParseAddressList(const std::string& text, std::vector<std::uint8_t>& addresses) {
  std::vector<std::uint8_t> out;
  std::array<bool, 256> seen{};
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string item = text.substr(start, comma - start);
    start = comma + 1;
    std::int64_t first = 0, last = 0;
    const std::size_t dash = item.find('-', 1);  // a leading '-' is a sign, refused below
    if (dash == std::string::npos) {
      if (!ParseInteger(item, 0, 255, first)) return false;
      last = first;
    } else if (!ParseInteger(item.substr(0, dash), 0, 255, first) ||
               !ParseInteger(item.substr(dash + 1), 0, 255, last) || last < first) {
      return false;
    }
    for (std::int64_t a = first; a <= last; ++a)
      if (!seen[a]) {
        seen[a] = true;
        out.push_back(static_cast<std::uint8_t>(a));
      }
    if (comma == text.size()) break;
  }
  if (out.empty()) return false;
  addresses = out;
  return true;
}

bool ScanRates(const std::vector<std::string>& given, std::int32_t configured,
               std::vector<std::int32_t>& rates) {
  std::vector<std::int32_t> out;
  auto add = [&out](std::int32_t rate) {
    if (std::find(out.begin(), out.end(), rate) == out.end()) out.push_back(rate);
  };
  if (given.empty()) {
    add(configured);
    for (const std::int32_t rate : kLikelyRates) add(rate);
  }
  for (const std::string& text : given) {
    std::int32_t rate = 0;
    if (!ParseBaud(text, rate)) return false;
    add(rate);
  }
  rates = out;
  return true;
}

int Identify(Context& ctx) {
  ModuleAccess access;
  LinkParams params;
  if (const int opened = OpenModule(ctx, access, params); opened != kExitOk) return opened;
  if (ctx.json) {
    ctx.out << JsonObject()
                   .Add("module", access.ModuleName())
                   .Add("address", params.address)
                   .Add("baud", params.baud)
                   .Add("interface", InterfaceWord(params.kind))
                   .Add("link", InterfaceDescription(params))
                   .Add("emulated", access.Emulated())
                   .Text()
            << "\n";
  } else {
    ctx.out << "Module:     " << access.ModuleName() << "\n"
            << "Address:    " << int{params.address} << "\n"
            << "Baud rate:  " << params.baud << " Bd\n"
            << "Interface:  " << InterfaceDescription(params) << "\n";
    if (access.Emulated())
      ctx.out << "Library:    " << DriverFileName(params.kind)
              << " is the bundled emulation: no real module is connected\n";
  }
  return kExitOk;
}

int Scan(Context& ctx, const ScanOptions& options) {
  return ScanLine(ctx, options);
}

namespace {

// The name and the register numbers in two columns: "aout-init      (35, 36)  ".
std::string ShowLabel(const std::string& name, std::initializer_list<std::uint8_t> regs) {
  std::string numbers;
  for (const std::uint8_t reg : regs)
    numbers += (numbers.empty() ? "(" : ", ") + std::to_string(reg);
  numbers += ")";
  std::string label = name;
  label.resize(std::max<std::size_t>(label.size(), 15), ' ');
  numbers.resize(std::max<std::size_t>(numbers.size(), 10), ' ');
  return label + numbers;
}

}  // namespace

int ConfigShow(Context& ctx) {
  ModuleAccess access;
  LinkParams params;
  if (const int opened = OpenModule(ctx, access, params); opened != kExitOk) return opened;
  RegisterValues values{};
  int exit_code = kExitOk;
  if (!ReadAll(ctx, access, values, exit_code)) return exit_code;
  const std::uint8_t baud_index = ValueOf(values, kRegBaudIndex);
  if (ctx.json) {
    JsonObject registers;
    for (const RegisterInfo& info : kRegisters)
      registers.Add(std::to_string(info.number), ValueOf(values, info.number));
    JsonObject json;
    json.Add("module", access.ModuleName())
        .Add("address", ValueOf(values, kRegAddress))
        .Add("baud_index", baud_index);
    if (baud_index <= 8) json.Add("baud", BaudFromIndex(baud_index));
    json.Add("aout_init", AoutInitOf(values));
    for (const std::uint8_t reg : {kRegDinNegation, kRegDoutNegation, kRegDoutInit}) {
      std::string key = FindRegister(reg)->name;
      std::replace(key.begin(), key.end(), '-', '_');
      json.Add(key, ValueOf(values, reg)).AddRaw(key + "_bits", JsonBits(ValueOf(values, reg)));
    }
    json.AddRaw("registers", registers.Text());
    ctx.out << json.Text() << "\n";
    return kExitOk;
  }
  ctx.out << "Module " << access.ModuleName() << " (" << LinkSummary(params) << ")\n";
  ctx.out << ShowLabel("address", {kRegAddress}) << int{ValueOf(values, kRegAddress)} << "\n";
  ctx.out << ShowLabel("baud", {kRegBaudIndex})
          << (baud_index <= 8 ? std::to_string(BaudFromIndex(baud_index)) + " Bd" : "not a rate")
          << " (index " << int{baud_index} << ")\n";
  ctx.out << ShowLabel("aout-init", {kRegAoutLow, kRegAoutHigh}) << AoutInitOf(values) << "\n";
  const struct {
    std::uint8_t reg;
    const char* name;
    const char* channels;
  } bytes[] = {{kRegDinNegation, "din-negation", "DIN0..7:  "},
               {kRegDoutNegation, "dout-negation", "DOUT0..7: "},
               {kRegDoutInit, "dout-init", "DOUT0..7: "}};
  for (const auto& b : bytes)
    ctx.out << ShowLabel(b.name, {b.reg}) << HexByte(ValueOf(values, b.reg)) << "  " << b.channels
            << BitList(ValueOf(values, b.reg)) << "\n";
  return kExitOk;
}

int ConfigSet(Context& ctx, const std::vector<std::string>& assignments) {
  RegisterValues check{};
  for (const std::string& assignment : assignments) {
    const std::string problem = ApplySetting(assignment, check);
    if (!problem.empty()) return Fail(ctx, kExitUsage, problem);
  }
  ModuleAccess access;
  LinkParams params;
  if (const int opened = OpenModule(ctx, access, params); opened != kExitOk) return opened;
  // Only the registers the assignments touch are read (and then written).
  RegisterValues current{};
  int exit_code = kExitOk;
  if (!ReadRegisters(ctx, access, RegistersOfSettings(assignments), current, exit_code))
    return exit_code;
  RegisterValues target = current;
  for (const std::string& assignment : assignments) ApplySetting(assignment, target);

  std::vector<std::uint8_t> written;
  std::vector<std::string> json_lines;
  const int result = WriteRegisters(
      ctx, access, target,
      [&](std::uint8_t reg) { return ValueOf(target, reg) != ValueOf(current, reg); }, written,
      json_lines);
  if (result != kExitOk) return result;
  if (ctx.json) {
    ctx.out << JsonObject().AddRaw("written", JsonArray(json_lines)).Text() << "\n";
  } else if (written.empty()) {
    ctx.out << "The module holds these values already: nothing written.\n";
  }
  PowerUpNote(ctx, params, written);
  return kExitOk;
}

int ConfigSave(Context& ctx, const std::string& file, bool force) {
  if (!force && base::PathExists(file))
    return Fail(ctx, kExitFailure, file + " exists; give --force to replace it");
  ModuleAccess access;
  LinkParams params;
  if (const int opened = OpenModule(ctx, access, params); opened != kExitOk) return opened;
  RegisterValues values{};
  int exit_code = kExitOk;
  if (!ReadAll(ctx, access, values, exit_code)) return exit_code;
  const ConfigFileHeader header{access.ModuleName(), IsoTimestamp(std::chrono::system_clock::now()),
                                LinkSummary(params)};
  std::string problem;
  if (!WriteFileNew(file, FormatConfigFile(values, header), force, problem))
    return Fail(ctx, kExitFailure, problem);
  if (ctx.json)
    ctx.out << JsonObject().Add("saved", file).Add("module", access.ModuleName()).Text() << "\n";
  else
    ctx.out << "Saved the configuration of " << access.ModuleName() << " (" << LinkSummary(params)
            << ") to " << file << ".\n";
  return kExitOk;
}

int ConfigLoad(Context& ctx, const ConfigLoadOptions& options) {
  std::string text;
  errno = 0;
  switch (base::ReadRegularFile(options.file, kConfigFileMaxBytes, text)) {
    case base::ReadStatus::kOk:
      break;
    case base::ReadStatus::kTooLarge:
      return Fail(ctx, kExitFailure,
                  options.file + " is too large for a configuration file; nothing written");
    case base::ReadStatus::kNotRegular:
      return Fail(ctx, kExitFailure, options.file + " is not a regular file; nothing written");
    case base::ReadStatus::kMissing:
      return Fail(
          ctx, kExitFailure,
          "cannot read " + options.file + ": " + std::strerror(ENOENT) + "; nothing written");
    default:
      return Fail(ctx, kExitFailure,
                  "cannot read " + options.file + ": " + std::strerror(errno ? errno : EIO) +
                      "; nothing written");
  }
  RegisterValues wanted{};
  const std::string problem = ParseConfigFile(text, wanted);
  if (!problem.empty())
    return Fail(ctx, kExitFailure, options.file + ": " + problem + "; nothing written");

  ModuleAccess access;
  LinkParams params;
  if (const int opened = OpenModule(ctx, access, params); opened != kExitOk) return opened;
  RegisterValues current{};
  int exit_code = kExitOk;
  if (!ReadAll(ctx, access, current, exit_code)) return exit_code;

  auto included = [&](std::uint8_t reg) {
    return options.with_address || !IsCommunicationRegister(reg);
  };
  auto to_write = [&](std::uint8_t reg) {
    return included(reg) && (options.force || ValueOf(wanted, reg) != ValueOf(current, reg));
  };
  std::vector<std::string> differences;
  if (!ctx.json) ctx.out << "Differences, module -> file:\n";
  for (const RegisterInfo& info : kRegisters) {
    const std::uint8_t have = ValueOf(current, info.number);
    const std::uint8_t want = ValueOf(wanted, info.number);
    if (have == want) continue;
    differences.push_back(JsonObject()
                              .Add("register", info.number)
                              .Add("name", info.name)
                              .Add("module", have)
                              .Add("file", want)
                              .Add("kept", !included(info.number))
                              .Text());
    if (!ctx.json) {
      char line[64];
      std::snprintf(line, sizeof line, "  %-15s (%u)  ", info.name, info.number);
      ctx.out << line << ShowValue(info, have) << " -> " << ShowValue(info, want)
              << (included(info.number) ? "" : "  (kept: give --with-address to take it)") << "\n";
    }
  }
  if (!ctx.json && differences.empty()) ctx.out << "  none\n";

  std::vector<std::uint8_t> written;
  std::vector<std::string> json_lines;
  if (!options.dry_run) {
    const int result = WriteRegisters(ctx, access, wanted, to_write, written, json_lines);
    if (result != kExitOk) return result;
  }
  if (ctx.json) {
    ctx.out << JsonObject()
                   .AddRaw("differences", JsonArray(differences))
                   .AddRaw("written", JsonArray(json_lines))
                   .Add("dry_run", options.dry_run)
                   .Text()
            << "\n";
    return kExitOk;
  }
  if (options.dry_run) {
    ctx.out << "Dry run: nothing written.\n";
    return kExitOk;
  }
  ctx.out << "Registers changed:";
  if (written.empty()) ctx.out << " none";
  for (std::size_t i = 0; i < written.size(); ++i)
    ctx.out << (i ? ", " : " ") << int{written[i]} << " " << FindRegister(written[i])->name;
  ctx.out << "\n";
  PowerUpNote(ctx, params, written);
  return kExitOk;
}

int Inputs(Context& ctx, const WatchOptions& options) {
  if (options.clear) return Fail(ctx, kExitUsage, "--clear belongs to the status command");
  return Watch(ctx, options, 100, "DIN0,DIN1,DIN2,DIN3,DIN4,DIN5,DIN6,DIN7",
               [&ctx](ModuleAccess& access, std::string& line, std::string& row, JsonObject& json) {
                 std::uint8_t inputs = 0;
                 const std::uint8_t status = access.ReadInputs(inputs);
                 if (status != 0) {
                   Fail(ctx, kExitFailure, "reading the inputs: " + access.Text(status));
                   return false;
                 }
                 line = "DIN0..7: " + BitList(inputs) + "  (" + HexByte(inputs) + ")";
                 row = CsvBits(inputs);
                 json.Add("inputs", inputs).AddRaw("bits", JsonBits(inputs));
                 return true;
               });
}

int Status(Context& ctx, const WatchOptions& options) {
  std::string header;
  for (int bit = 0; bit < 32; ++bit) {
    const char* name = StatusBitName(bit);
    header += (bit ? "," : "") + (name ? std::string(name) : "bit" + std::to_string(bit));
  }
  auto clear = [&ctx](ModuleAccess& access) {
    const std::uint8_t status = access.ClearStatus();
    if (status != 0) {
      Fail(ctx, kExitFailure, "clearing the status register: " + access.Text(status));
      return false;
    }
    if (!ctx.json && !ctx.quiet) ctx.out << "Status register cleared.\n";
    return true;
  };
  return Watch(
      ctx, options, 500, header,
      [&ctx](ModuleAccess& access, std::string& line, std::string& row, JsonObject& json) {
        std::uint32_t value = 0;
        const std::uint8_t status = access.ReadStatus(value);
        if (status != 0) {
          Fail(ctx, kExitFailure, "reading the status register: " + access.Text(status));
          return false;
        }
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", value);
        std::vector<std::string> flags;
        std::string names;
        for (int bit = 0; bit < 32; ++bit) {
          if (!((value >> bit) & 1)) continue;
          const char* name = StatusBitName(bit);
          const std::string flag = name ? name : "bit" + std::to_string(bit);
          flags.push_back(JsonQuote(flag));
          names += " " + flag;
        }
        line = std::string("Status ") + hex + (names.empty() ? "  (no bit set)" : " " + names);
        for (int byte = 0; byte < 4; ++byte)
          row += (byte ? "," : "") + CsvBits(static_cast<std::uint8_t>(value >> (8 * byte)));
        json.Add("status", static_cast<std::int64_t>(value))
            .Add("hex", hex)
            .AddRaw("flags", JsonArray(flags));
        return true;
      },
      options.clear ? std::function<bool(ModuleAccess&)>(clear) : nullptr);
}

int Outputs(Context& ctx, const std::vector<std::string>& values) {
  std::uint8_t outputs = 0;
  if (values.size() == 1 && values[0].find('=') == std::string::npos) {
    std::int64_t value = 0;
    if (!ParseInteger(values[0], 0, 255, value))
      return Fail(ctx, kExitUsage, "outputs takes a byte 0..255 or DOUTk=0|1 ...");
    outputs = static_cast<std::uint8_t>(value);
  } else {
    for (const std::string& assignment : values) {
      const std::size_t equals = assignment.find('=');
      const std::string key = assignment.substr(0, equals);
      std::int64_t bit_value = 0;
      const bool named = key.size() == 5 &&
                         (key.rfind("DOUT", 0) == 0 || key.rfind("dout", 0) == 0) &&
                         key[4] >= '0' && key[4] <= '7';
      if (equals == std::string::npos || !named ||
          !ParseInteger(assignment.substr(equals + 1), 0, 1, bit_value))
        return Fail(ctx, kExitUsage, "\"" + assignment + "\" is not DOUTk=0|1 (k 0..7)");
      if (bit_value) outputs = static_cast<std::uint8_t>(outputs | (1u << (key[4] - '0')));
    }
  }
  ModuleAccess access;
  LinkParams params;
  if (const int opened = OpenModule(ctx, access, params); opened != kExitOk) return opened;
  const std::uint8_t status = access.WriteOutputs(outputs);
  if (status != 0) return Fail(ctx, kExitFailure, "writing the outputs: " + access.Text(status));
  if (ctx.json)
    ctx.out << JsonObject().Add("outputs", outputs).AddRaw("bits", JsonBits(outputs)).Text()
            << "\n";
  else
    ctx.out << "Outputs written: DOUT0..7: " << BitList(outputs) << "  (" << HexByte(outputs)
            << ")\n";
  return kExitOk;
}

int Aout(Context& ctx, const std::string& text) {
  std::int64_t value = 0;
  if (!ParseInteger(text, 0, 65535, value)) return Fail(ctx, kExitUsage, "aout takes 0..65535");
  ModuleAccess access;
  LinkParams params;
  if (const int opened = OpenModule(ctx, access, params); opened != kExitOk) return opened;
  const std::uint8_t status = access.WriteAout(static_cast<std::uint16_t>(value));
  if (status != 0)
    return Fail(ctx, kExitFailure, "writing the analog output: " + access.Text(status));
  if (ctx.json)
    ctx.out << JsonObject().Add("aout", value).Text() << "\n";
  else
    ctx.out << "Analog output written: " << value << "\n";
  return kExitOk;
}

}  // namespace qm90cli
