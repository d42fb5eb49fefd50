#include "cli/LineCommands.h"

#include <chrono>
#include <cstdio>
#include <ostream>
#include <thread>

#include "base/Files.h"
#include "cli/ConfigFile.h"
#include "cli/Console.h"
#include "cli/Json.h"
#include "cli/ModuleAccess.h"
#include "cli/Trace.h"
#include "commission/LineBackup.h"
#include "commission/LineSearch.h"
#include "commission/NewFile.h"
#include "commission/SerialPorts.h"
#include "commission/Sha256.h"
#include "link/Dekl.h"

namespace qm90cli {

namespace {

using qm90commission::TLineSetting;

int Fail(Context& ctx, int exit_code, const std::string& message) {
  ctx.err << "qm90: " << message << "\n";
  if (ctx.json) ctx.out << JsonObject().Add("error", message).Add("exit", exit_code).Text() << "\n";
  return exit_code;
}

void Warn(Context& ctx, const std::string& message) {
  ctx.err << "qm90: warning: " << message << "\n";
}

// The line of a search over ModuleAccess, opened once; a new rate or
// allowance is one SetConfig (the search changes the allowance for each
// re-check, so reopening the port, and loading the library, each time would
// cost more than the re-check itself).
class AccessProbe : public qm90commission::TLineProbe {
 public:
  // The exchanges are counted through the trace hook; `trace` still gets them.
  AccessProbe(ModuleAccess& access, LinkParams params, TraceSink trace = nullptr)
      : access_(access), params_(params) {
    access_.ListenForSecondAnswers(qm90commission::kSecondAnswerListenMs);
    access_.SetTrace([this, trace](const ExchangeRecord& record) {
      if (record.status == 0) ++answered_;
      if (record.answers > 1) answered_twice_ = true;
      if (trace) trace(record);
    });
  }

  std::int32_t SetRate(std::int32_t baud, std::int32_t allowance_ms) override {
    std::string message;
    std::int32_t code = 0;
    if (access_.IsOpen() && allowance_ms == params_.timing && baud == params_.baud) return 0;
    if (access_.IsOpen()) {
      params_.baud = baud;
      params_.timing = allowance_ms;
      code = access_.SetRate(baud, allowance_ms, message);
    } else {
      params_.baud = baud;
      params_.timing = allowance_ms;
      code = access_.OpenLine(params_, message);
    }
    message_ = message;
    return code;
  }
  std::uint8_t Identify(std::uint8_t address, std::string& name, bool& heard) override {
    answered_ = 0;
    answered_twice_ = false;
    const std::uint8_t status = access_.Identify(address, name);
    heard = answered_ > 0;
    return status;
  }
  bool AnsweredTwice() const override { return answered_twice_; }
  bool Lost() const override { return access_.LinkLost(); }
  const std::string& Message() const { return message_; }

 private:
  ModuleAccess& access_;
  LinkParams params_;
  std::string message_;
  int answered_ = 0;
  bool answered_twice_ = false;
};

TraceSink TraceOf(Context& ctx) {
  if (!ctx.trace) return nullptr;
  return [&ctx](const ExchangeRecord& record) { ctx.err << TraceLine(record) << "\n"; };
}

// find's first tries, the factory setting and the last one used, get the
// rate's own allowance.
constexpr std::size_t kFindHintTries = 2;

// The rate's own allowance, as the connection window configures it.
std::int32_t RateTiming(std::int32_t baud) {
  return TimingFromIndex(IndexFromBaud(baud));
}

struct SearchSetup {
  LinkParams params;
  std::vector<std::uint8_t> addresses;
  std::vector<std::int32_t> rates;
  std::int32_t timing = 0;
};

// Checks the options common to scan and find; returns kExitOk or the status.
int Prepare(Context& ctx, const std::string& addresses, const std::vector<std::string>& bauds,
            const std::string& timing, SearchSetup& setup) {
  const std::string problem = ResolveLink(ctx.connection, setup.params);
  if (!problem.empty()) return Fail(ctx, kExitUsage, problem);
  if (!ParseAddressList(addresses, setup.addresses))
    return Fail(ctx, kExitUsage, "--addresses takes a list such as 0-255 or 1,77,200-210");
  if (!ScanRates(bauds, setup.params.baud, setup.rates))
    return Fail(ctx, kExitUsage, "--baud takes rates such as 9600,19200 (600 .. 115200)");
  std::int64_t value = 0;
  if (!timing.empty() && !ParseInteger(timing, 1, 1000, value))
    return Fail(ctx, kExitUsage, "--timing takes 1..1000 ms");
  setup.timing = static_cast<std::int32_t>(value);
  return kExitOk;
}

qm90commission::TSearchOptions SearchOptions(const SearchSetup& setup) {
  qm90commission::TSearchOptions options;
  options.allowance_ms = setup.timing;
  options.full_allowance = RateTiming;
  options.interrupted = console::Interrupted;
  const std::int32_t short_allowance =
      setup.timing > 0 ? setup.timing : qm90commission::kSearchAllowanceMs;
  if (setup.params.kind == 4)
    options.cost = qm90commission::UdpTryCost(setup.params.udp_timeout);
  else if (setup.params.kind == 0)
    options.cost =
        qm90commission::SerialTryCost([short_allowance](std::int32_t) { return short_allowance; });
  return options;
}

// The progress line on a terminal's stderr, and its removal.
class ProgressLine {
 public:
  explicit ProgressLine(Context& ctx)
      : ctx_(ctx), shown_(!ctx.trace && console::IsTerminal(console::Stream::kErr)) {}
  void Show(const qm90commission::TSearchProgress& p) {
    if (!shown_) return;
    char line[120];
    std::snprintf(line, sizeof line, "\r%6d Bd, address %3u, found %zu, about %.0f s left   ",
                  p.now.baud, p.now.address, p.found, p.seconds_left);
    ctx_.err << line << std::flush;
  }
  void Clear() {
    if (shown_) ctx_.err << "\r" << std::string(60, ' ') << "\r" << std::flush;
  }

 private:
  Context& ctx_;
  bool shown_;
};

std::string SharedText(const qm90commission::TSharedAddress& shared) {
  return "address " + std::to_string(shared.address) + " at " + std::to_string(shared.baud) +
         " Bd: " + shared.why + "; two modules may share this address";
}

std::string JsonModules(const std::vector<qm90commission::TFoundModule>& modules) {
  std::vector<std::string> items;
  for (const auto& m : modules)
    items.push_back(
        JsonObject().Add("address", m.address).Add("baud", m.baud).Add("module", m.name).Text());
  return JsonArray(items);
}

std::string JsonShared(const std::vector<qm90commission::TSharedAddress>& shared) {
  std::vector<std::string> items;
  for (const auto& s : shared)
    items.push_back(
        JsonObject().Add("address", s.address).Add("baud", s.baud).Add("why", s.why).Text());
  return JsonArray(items);
}

// Runs the search with the events a command line shows; `row` prints one
// module as it is found (text form only).
qm90commission::TSearchResult Search(
    Context& ctx, AccessProbe& probe, const SearchSetup& setup,
    const std::vector<TLineSetting>& order, bool stop_at_first, std::size_t full_allowance_tries,
    const std::function<void(const qm90commission::TFoundModule&)>& row) {
  ProgressLine progress(ctx);
  qm90commission::TSearchOptions options = SearchOptions(setup);
  options.stop_at_first = stop_at_first;
  options.full_allowance_tries = full_allowance_tries;
  qm90commission::TSearchEvents events;
  events.progress = [&](const qm90commission::TSearchProgress& p) { progress.Show(p); };
  events.found = [&](const qm90commission::TFoundModule& m) {
    progress.Clear();
    if (!ctx.json) row(m);
    ctx.out.flush();
  };
  events.shared = [&](const qm90commission::TSharedAddress& s) {
    progress.Clear();
    Warn(ctx, SharedText(s));
  };
  qm90commission::TSearchResult result = qm90commission::RunSearch(probe, order, options, events);
  progress.Clear();
  return result;
}

// What ended a search early, on stderr; the exit status for it or kExitOk.
int ReportEnd(Context& ctx, const char* what, const qm90commission::TSearchResult& result,
              const AccessProbe& probe, const ModuleAccess& access) {
  const std::string counted =
      std::to_string(result.tries) + " of " + std::to_string(result.total) + " tries";
  if (result.rate_failed != 0) {
    ctx.err << "qm90: cannot set " << result.failed_baud << " Bd: " << probe.Message() << "\n";
    return kExitNoLink;
  }
  if (result.interrupted) ctx.err << "qm90: " << what << " interrupted after " << counted << "\n";
  if (result.lost)
    ctx.err << "qm90: " << what << " stopped after " << counted << ": "
            << access.Text(result.status) << "\n";
  if (result.interrupted) return kExitInterrupted;
  return result.lost ? kExitFailure : kExitOk;
}

// A search's outcome as JSON: the modules, collisions, tries, and why it
// ended (error, exit), as scan and find print it.
JsonObject SearchJson(const qm90commission::TSearchResult& result, const ModuleAccess& access,
                      int ended) {
  JsonObject json;
  json.AddRaw("modules", JsonModules(result.modules))
      .AddRaw("shared", JsonShared(result.shared))
      .Add("tries", static_cast<std::int64_t>(result.tries))
      .Add("interrupted", result.interrupted);
  if (result.lost)
    json.Add("error", access.Text(result.status));
  else if (result.interrupted)
    json.Add("error", "interrupted");
  else if (result.modules.empty())
    json.Add("error", "no module answered");
  json.Add("exit", ended != kExitOk ? ended : result.modules.empty() ? kExitFailure : kExitOk);
  return json;
}

// The exit status of a search that ran: what ended it early, or none found.
int SearchEnd(Context& ctx, const qm90commission::TSearchResult& result, int ended,
              const SearchSetup& setup) {
  if (ended != kExitOk) return ended;
  if (result.modules.empty()) {
    ctx.err << "qm90: no module answered (" << result.tries << " tries on "
            << InterfaceDescription(setup.params) << ")\n";
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

int ScanLine(Context& ctx, const ScanOptions& options) {
  SearchSetup setup;
  if (const int bad = Prepare(ctx, options.addresses, options.bauds, options.timing, setup))
    return bad;
  ModuleAccess access;
  AccessProbe probe(access, setup.params, TraceOf(ctx));
  const std::int32_t first_allowance =
      setup.timing > 0 ? setup.timing : qm90commission::kSearchAllowanceMs;
  if (probe.SetRate(setup.rates.front(), first_allowance) != 0)
    return Fail(
        ctx, kExitNoLink,
        "cannot open the line (" + InterfaceDescription(setup.params) + "): " + probe.Message());

  const std::vector<TLineSetting> order = qm90commission::ScanOrder(setup.addresses, setup.rates);
  bool header = false;
  const qm90commission::TSearchResult result = Search(
      ctx, probe, setup, order, options.first, 0, [&](const qm90commission::TFoundModule& m) {
        if (ctx.json) return;  // the modules come in the one JSON object at the end
        if (!header) ctx.out << "Address  Baud rate  Module\n";
        header = true;
        char line[64];
        std::snprintf(line, sizeof line, "%7u  %6d Bd  ", m.address, m.baud);
        ctx.out << line << m.name << "\n";
      });
  access.Close();
  const int ended = ReportEnd(ctx, "scan", result, probe, access);
  if (ended == kExitNoLink) return ended;
  if (ctx.json) ctx.out << SearchJson(result, access, ended).Text() << "\n";
  return SearchEnd(ctx, result, ended, setup);
}

int Find(Context& ctx, const FindOptions& options) {
  SearchSetup setup;
  if (const int bad = Prepare(ctx, options.addresses, options.bauds, options.timing, setup))
    return bad;
  ModuleAccess access;
  AccessProbe probe(access, setup.params, TraceOf(ctx));
  qm90commission::TFindHints hints;
  hints.last = {setup.params.address, setup.params.baud};
  hints.rates = setup.rates;
  hints.addresses = setup.addresses;
  // The likely settings that were not asked for stay out.
  std::vector<TLineSetting> order;
  for (const TLineSetting& s : qm90commission::FindOrder(hints))
    if (std::find(setup.rates.begin(), setup.rates.end(), s.baud) != setup.rates.end())
      order.push_back(s);
  const std::int32_t first_allowance =
      setup.timing > 0 ? setup.timing : RateTiming(order.front().baud);
  if (probe.SetRate(order.front().baud, first_allowance) != 0)
    return Fail(
        ctx, kExitNoLink,
        "cannot open the line (" + InterfaceDescription(setup.params) + "): " + probe.Message());
  const auto start = std::chrono::steady_clock::now();
  const qm90commission::TSearchResult result =
      Search(ctx, probe, setup, order, !options.all, kFindHintTries,
             [&](const qm90commission::TFoundModule& m) {
               if (ctx.json) return;
               ctx.out << "Found " << m.name << " at address " << int{m.address} << ", " << m.baud
                       << " Bd\n";
             });
  access.Close();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const int ended = ReportEnd(ctx, "find", result, probe, access);
  if (ended == kExitNoLink) return ended;
  if (ctx.json) {
    ctx.out << SearchJson(result, access, ended)
                   .Add("milliseconds", static_cast<std::int64_t>(seconds * 1000))
                   .Text()
            << "\n";
  } else if (!result.modules.empty()) {
    char line[96];
    std::snprintf(line, sizeof line, "(%zu tries, %.2f s)\n", result.tries, seconds);
    ctx.out << line;
  }
  return SearchEnd(ctx, result, ended, setup);
}

namespace {

std::string InFolder(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string Where(std::uint8_t address, std::int32_t baud) {
  return "address " + std::to_string(address) + ", " + std::to_string(baud) + " Bd";
}

// Reads the seven registers of the module the access is open to.
std::string ReadModule(ModuleAccess& access, RegisterValues& values) {
  for (const RegisterInfo& info : kRegisters) {
    std::uint8_t value = 0;
    const std::uint8_t status = access.ReadRegister(info.number, value);
    if (status != 0)
      return "reading register " + std::to_string(info.number) + ": " + access.Text(status);
    ValueOf(values, info.number) = value;
  }
  return "";
}

std::string ShowRegister(const RegisterInfo& info, std::uint8_t value) {
  return info.bits ? HexByte(value) : std::to_string(value);
}

// The modules a backup saves: the addresses given, each at the first rate, or
// every module a scan finds.
int ModulesToSave(Context& ctx, const BackupOptions& options, const SearchSetup& setup,
                  std::vector<qm90commission::TFoundModule>& modules) {
  if (!options.addresses.empty()) {
    for (const std::uint8_t address : setup.addresses)
      modules.push_back({address, setup.rates.front(), ""});
    return kExitOk;
  }
  ModuleAccess access;
  AccessProbe probe(access, setup.params, TraceOf(ctx));
  if (probe.SetRate(setup.rates.front(), qm90commission::kSearchAllowanceMs) != 0)
    return Fail(
        ctx, kExitNoLink,
        "cannot open the line (" + InterfaceDescription(setup.params) + "): " + probe.Message());
  const std::vector<TLineSetting> order = qm90commission::ScanOrder(setup.addresses, setup.rates);
  const qm90commission::TSearchResult result =
      Search(ctx, probe, setup, order, false, 0, [](const qm90commission::TFoundModule&) {});
  access.Close();
  if (const int ended = ReportEnd(ctx, "scan", result, probe, access); ended != kExitOk)
    return ended;
  if (result.modules.empty())
    return Fail(ctx, kExitFailure,
                "no module answered on " + InterfaceDescription(setup.params) + "; nothing saved");
  modules = result.modules;
  return kExitOk;
}

// Removes the files this backup created, after a failure.
void RemoveCreated(const std::vector<std::string>& created) {
  for (const std::string& path : created) std::remove(path.c_str());
}

}  // namespace

int Backup(Context& ctx, const BackupOptions& options) {
  SearchSetup setup;
  const std::string addresses = options.addresses.empty() ? "0-255" : options.addresses;
  if (const int bad = Prepare(ctx, addresses, options.bauds, "", setup)) return bad;
  if (!options.addresses.empty() && options.bauds.empty()) setup.rates = {setup.params.baud};
  const std::string manifest_path = InFolder(options.folder, qm90commission::kManifestName);
  if (base::PathExists(manifest_path))
    return Fail(ctx, kExitFailure,
                manifest_path +
                    " exists: a backup is never written over another; give a new "
                    "folder");
  std::vector<qm90commission::TFoundModule> modules;
  if (const int found = ModulesToSave(ctx, options, setup, modules)) return found;
  for (const auto& m : modules)
    if (base::PathExists(
            InFolder(options.folder, qm90commission::ModuleFileName(m.address, m.baud))))
      return Fail(ctx, kExitFailure,
                  InFolder(options.folder, qm90commission::ModuleFileName(m.address, m.baud)) +
                      " exists: files qm90 did not write here are never replaced; give a new "
                      "folder");
  if (!base::MakeFolders(options.folder))
    return Fail(ctx, kExitFailure, "cannot create the folder " + options.folder);

  qm90commission::TManifest manifest;
  manifest.link = InterfaceDescription(setup.params);
  manifest.time = IsoTimestamp(std::chrono::system_clock::now());
  std::vector<std::string> created;
  auto fail = [&](const std::string& message) {
    RemoveCreated(created);
    return Fail(ctx, kExitFailure, message + "; the backup was not written");
  };
  for (const auto& m : modules) {
    if (console::Interrupted()) return fail("interrupted");
    ModuleAccess access;
    LinkParams params = setup.params;
    params.address = m.address;
    params.baud = m.baud;
    params.timing = 0;
    std::string message;
    if (access.Open(params, message) != 0)
      return fail("no answer at " + Where(m.address, m.baud) + ": " + message);
    RegisterValues values{};
    const std::string problem = ReadModule(access, values);
    if (!problem.empty()) return fail(Where(m.address, m.baud) + ": " + problem);
    const std::string contents =
        FormatConfigFile(values, {access.ModuleName(), manifest.time,
                                  InterfaceDescription(params) + ", " + Where(m.address, m.baud)});
    const std::string name = qm90commission::ModuleFileName(m.address, m.baud);
    const std::string path = InFolder(options.folder, name);
    std::string reason;
    if (qm90commission::WriteNewFile(path, contents, reason) !=
        qm90commission::NewFileResult::kWritten)
      return fail("cannot write " + path + ": " + reason);
    created.push_back(path);
    manifest.modules.push_back(
        {m.address, m.baud, name, qm90commission::Sha256Hex(contents), access.ModuleName()});
    if (!ctx.json)
      ctx.out << Where(m.address, m.baud) << ": " << access.ModuleName() << " -> " << name << "\n";
  }
  std::string reason;
  if (qm90commission::WriteNewFile(manifest_path, qm90commission::FormatManifest(manifest),
                                   reason) != qm90commission::NewFileResult::kWritten)
    return fail("cannot write " + manifest_path + ": " + reason);
  if (ctx.json) {
    std::vector<std::string> items;
    for (const auto& e : manifest.modules)
      items.push_back(JsonObject()
                          .Add("address", e.address)
                          .Add("baud", e.baud)
                          .Add("module", e.identification)
                          .Add("file", e.file)
                          .Add("sha256", e.sha256)
                          .Text());
    ctx.out << JsonObject()
                   .Add("folder", options.folder)
                   .Add("manifest", qm90commission::kManifestName)
                   .AddRaw("modules", JsonArray(items))
                   .Text()
            << "\n";
  } else {
    ctx.out << "Saved " << manifest.modules.size() << " module(s) in " << options.folder
            << " (manifest " << qm90commission::kManifestName << ").\n";
  }
  return kExitOk;
}

namespace {

// One module of a restore: what happened, for the summary.
struct RestoreOutcome {
  bool ok = false;
  std::string summary;
  std::vector<std::string> differences;  // JSON
  std::vector<std::string> written;      // JSON
};

// Reads a module's file and checks it against the manifest.
std::string LoadSaved(const std::string& folder, const qm90commission::TBackupEntry& entry,
                      RegisterValues& values) {
  const std::string path = InFolder(folder, entry.file);
  std::string text;
  if (base::ReadRegularFile(path, kConfigFileMaxBytes, text) != base::ReadStatus::kOk)
    return "cannot read " + path;
  if (qm90commission::Sha256Hex(text) != entry.sha256)
    return path + " has changed since the backup (its SHA-256 differs from the manifest's)";
  const std::string problem = ParseConfigFile(text, values);
  return problem.empty() ? "" : path + ": " + problem;
}

RestoreOutcome RestoreModule(Context& ctx, const RestoreOptions& options, const LinkParams& line,
                             const qm90commission::TBackupEntry& entry) {
  RestoreOutcome outcome;
  RegisterValues saved{};
  std::string problem = LoadSaved(options.folder, entry, saved);
  if (!problem.empty()) return {false, "not restored: " + problem, {}, {}};
  ModuleAccess access;
  if (ctx.trace)
    access.SetTrace([&ctx](const ExchangeRecord& record) { ctx.err << TraceLine(record) << "\n"; });
  LinkParams params = line;
  params.address = entry.address;
  params.baud = entry.baud;
  params.timing = 0;
  std::string message;
  if (access.Open(params, message) != 0) return {false, "no answer: " + message, {}, {}};
  const std::string name = qm90commission::ManifestText(access.ModuleName());
  if (name != entry.identification && !options.force)
    return {false,
            "refused: the module is \"" + name + "\", the backup is of \"" + entry.identification +
                "\" (give --force to restore it all the same)",
            {},
            {}};
  RegisterValues current{};
  problem = ReadModule(access, current);
  if (!problem.empty()) return {false, problem, {}, {}};
  for (const RegisterInfo& info : kRegisters) {
    const std::uint8_t have = ValueOf(current, info.number), want = ValueOf(saved, info.number);
    if (have == want) continue;
    outcome.differences.push_back(JsonObject()
                                      .Add("register", info.number)
                                      .Add("name", info.name)
                                      .Add("module", have)
                                      .Add("backup", want)
                                      .Text());
    if (!ctx.json)
      ctx.out << "  " << info.name << " (" << int{info.number} << "): " << ShowRegister(info, have)
              << " -> " << ShowRegister(info, want) << "\n";
  }
  if (options.dry_run) {
    outcome.ok = true;
    outcome.summary = std::to_string(outcome.differences.size()) + " difference(s), dry run";
    return outcome;
  }
  for (const RegisterInfo& info : kRegisters) {
    const std::uint8_t want = ValueOf(saved, info.number);
    if (ValueOf(current, info.number) == want) continue;
    if (console::Interrupted()) {
      outcome.summary =
          "interrupted after " + std::to_string(outcome.written.size()) + " register(s) written";
      return outcome;
    }
    std::uint8_t held = 0;
    const std::uint8_t status = access.WriteRegister(info.number, want, held);
    if (status != 0) {
      outcome.summary =
          "register " + std::to_string(info.number) + ": " +
          (status == kStatusReadBackMismatch ? "the read-back gave " + ShowRegister(info, held)
                                             : access.Text(status)) +
          "; " + std::to_string(outcome.written.size()) + " register(s) written before it";
      return outcome;
    }
    outcome.written.push_back(JsonObject().Add("register", info.number).Add("value", want).Text());
  }
  outcome.ok = true;
  outcome.summary = outcome.written.empty() ? "as saved, nothing written"
                                            : std::to_string(outcome.written.size()) +
                                                  " register(s) written, each read back";
  return outcome;
}

}  // namespace

int Restore(Context& ctx, const RestoreOptions& options) {
  LinkParams line;
  const std::string problem = ResolveLink(ctx.connection, line);
  if (!problem.empty()) return Fail(ctx, kExitUsage, problem);
  const std::string manifest_path = InFolder(options.folder, qm90commission::kManifestName);
  std::string text;
  if (base::ReadRegularFile(manifest_path, qm90commission::kManifestMaxBytes, text) !=
      base::ReadStatus::kOk)
    return Fail(ctx, kExitFailure, "cannot read " + manifest_path + "; nothing written");
  qm90commission::TManifest manifest;
  const std::string bad = qm90commission::ParseManifest(text, manifest);
  if (!bad.empty())
    return Fail(ctx, kExitFailure, manifest_path + ": " + bad + "; nothing written");

  bool all_ok = true;
  std::vector<std::string> items;
  for (const qm90commission::TBackupEntry& entry : manifest.modules) {
    if (console::Interrupted()) {
      all_ok = false;
      break;
    }
    if (!ctx.json)
      ctx.out << Where(entry.address, entry.baud) << " (" << entry.identification << ", "
              << entry.file << "):\n";
    const RestoreOutcome outcome = RestoreModule(ctx, options, line, entry);
    all_ok = all_ok && outcome.ok;
    if (!ctx.json) ctx.out << "  " << outcome.summary << "\n";
    items.push_back(JsonObject()
                        .Add("address", entry.address)
                        .Add("baud", entry.baud)
                        .Add("file", entry.file)
                        .Add("ok", outcome.ok)
                        .Add("summary", outcome.summary)
                        .AddRaw("differences", JsonArray(outcome.differences))
                        .AddRaw("written", JsonArray(outcome.written))
                        .Text());
  }
  if (ctx.json)
    ctx.out
        << JsonObject().AddRaw("modules", JsonArray(items)).Add("dry_run", options.dry_run).Text()
        << "\n";
  return all_ok ? kExitOk : kExitFailure;
}

int Ports(Context& ctx) {
  const std::vector<qm90commission::TSerialPort> ports = qm90commission::ListSerialPorts();
  if (ctx.json) {
    std::vector<std::string> items;
    for (const auto& p : ports) {
      JsonObject item;
      if (p.com_number) item.Add("com", "COM" + std::to_string(p.com_number));
      item.Add("device", p.device).Add("busy", p.busy);
      for (const auto& [key, value] : {std::pair<const char*, const std::string&>{"by_id", p.by_id},
                                       {"description", p.description},
                                       {"usb_vendor", p.usb_vendor},
                                       {"usb_product", p.usb_product},
                                       {"usb_serial", p.usb_serial},
                                       {"manufacturer", p.manufacturer},
                                       {"holder", p.holder}})
        if (!value.empty()) item.Add(key, value);
      items.push_back(item.Text());
    }
    ctx.out << JsonObject().AddRaw("ports", JsonArray(items)).Text() << "\n";
    return kExitOk;
  }
  if (ports.empty()) {
    ctx.out << "No serial port found.\n";
    return kExitOk;
  }
  for (const auto& p : ports) {
    const std::string com = p.com_number ? "COM" + std::to_string(p.com_number) : "-";
    char head[32];
    std::snprintf(head, sizeof head, "%-6s ", com.c_str());
    ctx.out << head << p.device;
    if (!p.description.empty()) ctx.out << "  " << p.description;
    ctx.out << "\n";
    if (!p.usb_vendor.empty())
      ctx.out << "       USB " << p.usb_vendor << ":" << p.usb_product
              << (p.manufacturer.empty() ? "" : " " + p.manufacturer)
              << (p.usb_serial.empty() ? "" : ", serial " + p.usb_serial) << "\n";
    if (!p.by_id.empty()) ctx.out << "       " << p.by_id << "\n";
    if (p.busy)
      ctx.out << "       busy" << (p.holder.empty() ? "" : ": held by " + p.holder) << "\n";
    if (!p.com_number)
      ctx.out << "       no COM number: the serial driver opens only COMn (a link named COMn "
                 "in the emulator's folder gives it one)\n";
  }
  return kExitOk;
}

PortState RecoverSerialPort(Context& ctx, ModuleAccess& access, bool wait) {
  if (access.Params().kind != 0) return PortState::kThere;
  const LinkParams params = access.Params();
  const std::string port = "COM" + std::to_string(params.com_port);
  std::string message;
  access.Close();
  if (access.OpenLine(params, message) == 0) return PortState::kThere;  // a silence, not a loss
  if (!wait) return PortState::kGone;
  ctx.err << "qm90: the serial port " << port << " is gone (" << message
          << "); waiting for it to come back (Ctrl-C ends)\n";
  constexpr auto kRetry = std::chrono::milliseconds(250);
  while (true) {
    for (auto waited = std::chrono::milliseconds(0); waited < kRetry;
         waited += std::chrono::milliseconds(10)) {
      if (console::Interrupted()) return PortState::kGone;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (access.OpenLine(params, message) == 0) break;
  }
  ctx.err << "qm90: the serial port " << port << " is back; going on\n";
  return PortState::kBack;
}

}  // namespace qm90cli
