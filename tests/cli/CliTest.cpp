// qm90's file format, settings and argument rules, and its reaction to a
// module that does not keep a written value (scripted driver).
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/DriverEntries.h"
#include "cli/App.h"
#include "cli/CliCommands.h"
#include "cli/ConfigFile.h"
#include "cli/Connection.h"
#include "cli/Console.h"
#include "cli/Registers.h"
#include "link/QBLxxx.h"
#include "tests/scripted/ScriptedDriver.h"

namespace {

using namespace qm90cli;

// 32, 33, 34, 35, 36, 63, 62 in the table's order.
RegisterValues Sample() {
  RegisterValues values{};
  ValueOf(values, kRegDoutInit) = 0x80;
  ValueOf(values, kRegDinNegation) = 0xF7;
  ValueOf(values, kRegDoutNegation) = 0xFF;
  ValueOf(values, kRegAoutLow) = 0x34;
  ValueOf(values, kRegAoutHigh) = 0x12;
  ValueOf(values, kRegAddress) = 77;
  ValueOf(values, kRegBaudIndex) = 5;
  return values;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ConfigFile, MatchesTheGoldenFileAndReadsBack) {
  const ConfigFileHeader header{"QM-90    v.1.02", "2026-12-09T14:03:07.123+0100",
                                "LAN converter QB-314 (127.0.0.1:5000), address 77, 9600 Bd"};
  const std::string text = FormatConfigFile(Sample(), header);
  EXPECT_EQ(text, ReadFile(QM90_CLI_GOLDEN_DIR "/config.qm90"));
  RegisterValues back{};
  EXPECT_EQ(ParseConfigFile(text, back), "");
  EXPECT_EQ(back, Sample());
}

TEST(ConfigFile, AcceptsCrLfByteOrderMarkHexAndComments) {
  const std::string text =
      "\xEF\xBB\xBF# hand-written\r\n  qm90-config 1 \r\n\r\n32 dout-init = $80\r\n"
      "33 din-negation=0xF7\r\n  # aside\r\n34\tdout-negation = 255\r\n35 aout-init-low = 52\r\n"
      "36 aout-init-high = 18\r\n62 baud-index = 5\r\n63 address = 77";
  RegisterValues values{};
  EXPECT_EQ(ParseConfigFile(text, values), "");
  EXPECT_EQ(values, Sample());
}

TEST(ConfigFile, RefusesDamagedFilesAsAWhole) {
  const std::string good = ReadFile(QM90_CLI_GOLDEN_DIR "/config.qm90");
  auto replaced = [&good](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const struct {
    const char* what;
    std::string text;
    const char* reason;
  } cases[] = {
      {"empty", "", "empty"},
      {"a settings file", "[P\xF8ipojen\xED]\r\nRozhran\xED=COMx\r\n", "not a qm90 configuration"},
      {"another version", replaced("qm90-config 1", "qm90-config 2"), "not a qm90 configuration"},
      {"cut short", good.substr(0, good.find("63 address")), "register 63 (address) is missing"},
      {"rate index out of range", replaced("62 baud-index = 5", "62 baud-index = 9"), "0..8"},
      {"byte out of range", replaced("= 0xF7", "= 0x1F7"), "0..255"},
      {"not a number", replaced("= 0xF7", "= 0xZZ"), "din-negation takes"},
      {"name and number differ", replaced("33 din-negation", "33 dout-negation"), "register 33 is"},
      {"unknown register", replaced("33 din-negation", "40 din-negation"), "not a configuration"},
      {"twice", good + "33 din-negation = 1\n", "appears twice"},
      {"stray line", replaced("# Module", "Module"), "expected NUMBER NAME = VALUE"},
      {"NUL bytes", std::string("qm90-config 1\n\0", 15), "NUL"},
      {"too large", good + std::string(kConfigFileMaxBytes, '#'), "too large"},
  };
  for (const auto& c : cases) {
    RegisterValues values{};
    values.fill(0xAA);
    const std::string reason = ParseConfigFile(c.text, values);
    EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    for (std::uint8_t v : values) EXPECT_EQ(v, 0xAA) << c.what << ": values touched";
  }
}

TEST(ConfigSet, AppliesKeysAndRefusesBadOnes) {
  const struct {
    const char* assignment;
    std::uint8_t reg;
    std::uint8_t expected;  // ignored when an error is expected
    const char* error;      // part of the reason, or nullptr
  } cases[] = {
      {"DIN3=0", kRegDinNegation, 0xF7, nullptr},
      {"din-negation.din0=0", kRegDinNegation, 0xFE, nullptr},
      {"dout-init.DOUT7=1", kRegDoutInit, 0x80, nullptr},
      {"dout-negation=$0F", kRegDoutNegation, 0x0F, nullptr},
      {"baud=19200", kRegBaudIndex, 5, nullptr},
      {"aout-init=0x1234", kRegAoutHigh, 0x12, nullptr},
      {"address=  200", kRegAddress, 200, nullptr},
      {"baud=14400", 0, 0, "baud takes"},
      {"address=256", 0, 0, "0..255"},
      {"aout-init=-1", 0, 0, "0..65535"},
      {"DOUT3=1", 0, 0, "two bytes"},
      {"din-negation.DOUT1=1", 0, 0, "holds DIN bits"},
      {"DIN8=1", 0, 0, "unknown key"},
      {"DIN3=2", 0, 0, "0 or 1"},
      {"address", 0, 0, "KEY=VALUE"},
  };
  for (const auto& c : cases) {
    RegisterValues values{};
    ValueOf(values, kRegDinNegation) = 0xFF;
    const std::string reason = ApplySetting(c.assignment, values);
    if (c.error) {
      EXPECT_NE(reason.find(c.error), std::string::npos) << c.assignment << ": " << reason;
    } else {
      EXPECT_EQ(reason, "") << c.assignment;
      EXPECT_EQ(ValueOf(values, c.reg), c.expected) << c.assignment;
    }
  }
}

TEST(Scan, AddressListsAndRateOrder) {
  std::vector<std::uint8_t> addresses;
  ASSERT_TRUE(ParseAddressList("0-255", addresses));
  EXPECT_EQ(addresses.size(), 256u);
  ASSERT_TRUE(ParseAddressList("200-201,1,$4D,1", addresses));
  EXPECT_EQ(addresses, (std::vector<std::uint8_t>{200, 201, 1, 77}));
  for (const char* bad : {"", "5-3", "256", "1,,2", "-1", "1-", "a"})
    EXPECT_FALSE(ParseAddressList(bad, addresses)) << bad;

  std::vector<std::int32_t> rates;
  ASSERT_TRUE(ScanRates({}, 38400, rates));
  EXPECT_EQ(rates,
            (std::vector<std::int32_t>{38400, 9600, 19200, 115200, 57600, 4800, 2400, 1200, 600}));
  ASSERT_TRUE(ScanRates({"19200", "600", "19200"}, 9600, rates));
  EXPECT_EQ(rates, (std::vector<std::int32_t>{19200, 600}));
  EXPECT_FALSE(ScanRates({"14400"}, 9600, rates));
}

TEST(Connection, SettingsFileUnderTheOptionsAndNeverWritten) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("qm90-cli-settings-" + std::to_string(::getpid()) + ".ini"))
                               .string();
  // Windows-1250 names, as the window program writes them.
  const std::string ini =
      "[P\xF8ipojen\xED]\r\nRozhran\xED=QB-314\r\nAdresa=300\r\nRychlost=14400\r\n"
      "[QB-314]\r\nIP adresa=127.0.0.1\r\nUDP port=$1F90\r\nUDP timeout=40\r\n"
      "[COMx]\r\n\xC8\xEDslo portu=4\r\n[QB-311]\r\nB\xE1zov\xE1 adresa=800\r\n";
  std::ofstream(path, std::ios::binary) << ini;

  LinkParams params;
  ConnectionOptions options;
  options.settings_file = path;
  ASSERT_EQ(ResolveLink(options, params), "");
  EXPECT_EQ(params.kind, 4);
  EXPECT_EQ(params.ip, "127.0.0.1");
  EXPECT_EQ(params.udp_port, 8080);
  EXPECT_EQ(params.udp_timeout, 40);
  EXPECT_EQ(params.address, 44);  // low 8 bits, as the file is read everywhere
  EXPECT_EQ(params.baud, 9600);   // a rate not in the list stands for 9600
  EXPECT_EQ(params.com_port, 4);
  EXPECT_EQ(params.isa_base, 0x320);

  options.interface = "isa";
  options.base = "2A0h";
  options.address = "0x10";
  options.baud = "115200";
  ASSERT_EQ(ResolveLink(options, params), "");
  EXPECT_EQ(params.kind, 1);
  EXPECT_EQ(params.isa_base, 0x2A0);
  EXPECT_EQ(params.address, 16);
  EXPECT_EQ(params.baud, 115200);

  const struct {
    const char* option;
    std::string ConnectionOptions::*field;
    const char* text;
  } bad[] = {
      {"--interface", &ConnectionOptions::interface, "serial"},
      {"--address", &ConnectionOptions::address, "256"},
      {"--address", &ConnectionOptions::address, " 7 "},
      {"--baud", &ConnectionOptions::baud, "14400"},
      {"--udp-port", &ConnectionOptions::udp_port, "65536"},
      {"--timeout", &ConnectionOptions::timeout, "-1"},
      {"--port", &ConnectionOptions::port, "0"},
      {"--base", &ConnectionOptions::base, "xyzh"},
      {"--settings", &ConnectionOptions::settings_file, "/nonexistent/W_qm90.ini"},
  };
  for (const auto& b : bad) {
    ConnectionOptions wrong = options;
    wrong.*b.field = b.text;
    EXPECT_NE(ResolveLink(wrong, params), "") << b.option << " " << b.text;
  }
  {
    // Closed before the removal: Windows refuses to remove a file still open.
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), ini)
        << "the settings file changed";
  }
  std::filesystem::remove(path);
}

// The commands in this process against the scripted module (interface pci).
class ScriptedModule : public ::testing::Test {
 protected:
  void SetUp() override {
    scripted::Reset();
    scripted::Script().responder = scripted::ModuleResponder();
    SetDriverDirectory(QM90_SCRIPTED_DIR);
  }
  void TearDown() override { SetDriverDirectory(""); }

  int Run(std::vector<const char*> args) {
    args.insert(args.begin(), {"qm90", "--interface", "pci", "--address", "1"});
    out.str("");
    err.str("");
    return qm90cli::Run(static_cast<int>(args.size()), args.data(), out, err);
  }
  std::ostringstream out, err;
};

TEST_F(ScriptedModule, ReadBackThatDiffersIsReportedAndStopsTheWrite) {
  // The module keeps the inputs' negation byte stuck at 0xFF.
  scripted::Script().responder = [](const std::uint8_t request[8]) {
    scripted::Request r = scripted::Decode(request);
    scripted::Answer answer = scripted::ModuleAnswer(scripted::Script().module, r);
    if (r.command == 103 && r.d1 == kRegDinNegation) scripted::Script().module.registers[33] = 0xFF;
    return answer;
  };
  EXPECT_EQ(Run({"config", "set", "din-negation=0x0F", "dout-negation=0x0F"}), kExitFailure);
  EXPECT_NE(err.str().find("register 33 (din-negation): wrote 0x0F but the module holds 0xFF"),
            std::string::npos)
      << err.str();
  EXPECT_EQ(scripted::Script().module.registers[34], 0xFF)
      << "a register after the failure was written";
  EXPECT_FALSE(DrvLibraryLoaded()) << "the link stays open";
}

TEST_F(ScriptedModule, FailuresGiveTheirExitStatusAndTheDriversText) {
  scripted::Script().error_texts[3] =
      "modul neodpov\xED"
      "d\xE1";
  scripted::Script().answers.push_back(scripted::Fail(3));
  EXPECT_EQ(Run({"identify"}), kExitNoLink);
  EXPECT_NE(err.str().find("modul neodpovídá"), std::string::npos) << err.str();

  EXPECT_EQ(Run({"aout", "65536"}), kExitUsage);
  EXPECT_EQ(Run({"outputs", "DOUT1=1", "DOUT3=1", "DOUT4=1"}), kExitOk);
  EXPECT_EQ(scripted::Script().module.outputs, 0x1A);
  EXPECT_EQ(Run({"aout", "$102"}), kExitOk);
  EXPECT_EQ(scripted::Script().module.aout, 258);

  scripted::Script().answers.push_back(scripted::Ok());  // identification passes
  scripted::Script().answers.push_back(scripted::Ok());
  scripted::Script().answers.push_back(scripted::Ok());
  scripted::Script().answers.push_back(scripted::Fail(3));
  EXPECT_EQ(Run({"inputs"}), kExitFailure);
}

TEST_F(ScriptedModule, TraceShowsEveryExchangeInOneLine) {
  EXPECT_EQ(Run({"--trace", "identify"}), kExitOk);
  std::istringstream lines(err.str());
  std::vector<std::string> trace;
  for (std::string line; std::getline(lines, line);) trace.push_back(line);
  ASSERT_EQ(trace.size(), 3u) << err.str();
  // "QM-90-01": d0 carries the next sub-code, d1..d4 four characters.
  EXPECT_NE(
      trace[1].find(" addr 1 cmd 200 sub 1 sent 01 00 00 00 00 -> status 0 recv 02 30 2D 30 31 "),
      std::string::npos)
      << trace[1];
  EXPECT_EQ(trace[1].substr(trace[1].size() - 3), " us");
  EXPECT_NE(out.str().find("Module:     QM-90-01 v.1.02"), std::string::npos) << out.str();
}

// A scan's silent addresses cost the short allowance; late answers are asked
// again with the rate's own (see the commission tests).
TEST_F(ScriptedModule, ScanConfiguresEachRateWithTheShortAllowanceUnlessGivenOne) {
  EXPECT_EQ(Run({"scan", "--addresses", "1", "--baud", "600,115200"}), kExitOk);
  EXPECT_EQ(Run({"scan", "--addresses", "1", "--baud", "9600", "--timing", "2"}), kExitOk);
  std::vector<std::pair<int, int>> configured;
  for (const scripted::Call& call : scripted::Script().CallsOf(scripted::Entry::SetConfig))
    configured.emplace_back(call.args[0], call.args[1]);
  EXPECT_EQ(configured, (std::vector<std::pair<int, int>>{{600, 1}, {115200, 1}, {9600, 2}}));
}

// backup, then restore onto a changed module: only what differs is written,
// each read back; another identification, a changed file and a second backup
// into the same folder are refused.
TEST_F(ScriptedModule, BackupAndRestoreALine) {
  namespace fs = std::filesystem;
  const fs::path folder =
      fs::temp_directory_path() / ("qm90-line-" + std::to_string(::getpid())) / "line-a";
  fs::remove_all(folder.parent_path());
  const std::string dir = folder.string();
  ASSERT_EQ(Run({"backup", dir.c_str(), "--addresses", "1"}), kExitOk) << err.str();
  const std::string manifest = ReadFile((folder / "manifest.qm90-line").string());
  EXPECT_NE(manifest.find("module: 1 9600 module-001-9600.qm90 "), std::string::npos) << manifest;
  EXPECT_NE(manifest.find(" QM-90-01 v.1.02\n"), std::string::npos) << manifest;

  EXPECT_EQ(Run({"backup", dir.c_str(), "--addresses", "1"}), kExitFailure);
  EXPECT_NE(err.str().find("exists"), std::string::npos) << err.str();
  EXPECT_EQ(ReadFile((folder / "manifest.qm90-line").string()), manifest);

  auto writes = [] {
    std::vector<int> registers;
    for (const scripted::Request& r : scripted::SentRequests())
      if (r.command == 103) registers.push_back(r.d1);
    return registers;
  };
  scripted::Script().module.registers[32] = 0x55;
  scripted::Script().calls.clear();
  EXPECT_EQ(Run({"restore", dir.c_str(), "--dry-run"}), kExitOk) << err.str();
  EXPECT_NE(out.str().find("dout-init (32): 0x55 -> 0x00"), std::string::npos) << out.str();
  EXPECT_TRUE(writes().empty());

  EXPECT_EQ(Run({"restore", dir.c_str()}), kExitOk) << err.str();
  EXPECT_EQ(writes(), std::vector<int>{32});
  EXPECT_EQ(scripted::Script().module.registers[32], 0x00);
  EXPECT_NE(out.str().find("1 register(s) written, each read back"), std::string::npos);

  scripted::Script().module.type = "QM-91-01";
  scripted::Script().module.registers[32] = 0x55;
  scripted::Script().calls.clear();
  EXPECT_EQ(Run({"restore", dir.c_str()}), kExitFailure);
  EXPECT_NE(out.str().find("refused: the module is \"QM-91-01 v.1.02\""), std::string::npos)
      << out.str();
  EXPECT_TRUE(writes().empty());
  EXPECT_EQ(Run({"restore", dir.c_str(), "--force"}), kExitOk) << out.str();
  EXPECT_EQ(writes(), std::vector<int>{32});

  std::ofstream(folder / "module-001-9600.qm90", std::ios::app) << "# edited\n";
  scripted::Script().calls.clear();
  EXPECT_EQ(Run({"restore", dir.c_str(), "--force"}), kExitFailure);
  EXPECT_NE(out.str().find("has changed since the backup"), std::string::npos) << out.str();
  EXPECT_TRUE(writes().empty());
  fs::remove_all(folder.parent_path());
}

// config set of one register: identify once (three requests), read what it
// changes, write and read back what differs.
TEST_F(ScriptedModule, ConfigSetMakesOnlyTheExchangesItNeeds) {
  const struct {
    const char* setting;
    std::size_t sends;
  } rows[] = {
      {"din-negation=0x0F", 3 + 1 + 2},
      {"aout-init=0x8000", 3 + 2 + 2},  // the low byte is 0 already
      {"DIN3=1", 3 + 1},                // factory negation 0xFF: nothing to write
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.setting);
    scripted::Reset();
    scripted::Script().responder = scripted::ModuleResponder();
    EXPECT_EQ(Run({"config", "set", row.setting}), kExitOk) << err.str();
    EXPECT_EQ(scripted::Script().CallsOf(scripted::Entry::Send).size(), row.sends);
  }
}

// Usage errors: exit 2, nothing loaded or sent, a reason with the nearest name,
// and JSON when --json was asked for.
TEST(CommandLine, UsageErrorsSayWhyAndSendNothing) {
  const struct {
    std::vector<const char*> args;
    const char* said;
  } rows[] = {
      {{"idnetify"}, "unknown command 'idnetify'; did you mean 'identify'?"},
      {{"--adress", "1", "identify"}, "unknown option '--adress'; did you mean '--address'?"},
      {{"config", "shwo"}, "unknown command 'shwo'; did you mean 'show'?"},
      {{"config"}, "a subcommand is required"},
      {{"--json", "frobnicate"}, "unknown command 'frobnicate'"},
      {{"--address", "", "identify"}, "--address"},
      {{"--udp-port", "", "identify"}, "--udp-port"},
      {{"--ip", "", "identify"}, "--ip"},
      {{"--interface", "", "identify"}, "--interface"},
      {{"--baud", "", "identify"}, "--baud"},
      {{"--timeout", "", "identify"}, "--timeout"},
      {{"--settings", "", "identify"}, "--settings"},
      {{"inputs", "--count", ""}, "--count"},
      {{"inputs", "--interval", ""}, "--interval"},
      {{"--address", "256", "identify"}, "--address"},
      {{"config", "set", "aout-init="}, "0x8000"},
  };
  SetDriverDirectory(QM90_SCRIPTED_DIR);
  for (const auto& row : rows) {
    std::vector<const char*> args{"qm90", "--interface", "pci", "--json"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    SCOPED_TRACE(row.said);
    scripted::Reset();
    std::ostringstream out, err;
    EXPECT_EQ(qm90cli::Run(static_cast<int>(args.size()), args.data(), out, err), kExitUsage);
    EXPECT_NE(err.str().find(row.said), std::string::npos) << err.str();
    EXPECT_EQ(out.str().rfind("{\"error\":", 0), 0u) << out.str();
    EXPECT_TRUE(scripted::Script().CallsOf(scripted::Entry::Init).empty());
  }
  SetDriverDirectory("");
}

// A settings file named on the command line that is no settings file is
// refused; the link of the defaults (COM1) is never tried instead.
TEST(CommandLine, AnUnusableSettingsFileIsRefused) {
  const std::string dir = (std::filesystem::temp_directory_path() /
                           ("qm90-cli-bad-settings-" + std::to_string(::getpid())))
                              .string();
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/huge", std::ios::binary) << std::string(1 << 20, '[');
  std::vector<std::string> paths{dir, dir + "/huge", dir + "/missing"};
#ifndef _WIN32
  ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
  paths.push_back(dir + "/fifo");
#endif
  SetDriverDirectory(QM90_SCRIPTED_DIR);
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    scripted::Reset();
    std::vector<const char*> args{"qm90", "--settings", path.c_str(), "--address", "1", "identify"};
    std::ostringstream out, err;
    EXPECT_EQ(qm90cli::Run(static_cast<int>(args.size()), args.data(), out, err), kExitUsage);
    EXPECT_NE(err.str().find("settings file"), std::string::npos) << err.str();
    EXPECT_TRUE(scripted::Script().CallsOf(scripted::Entry::Init).empty());
  }
  SetDriverDirectory("");
  std::filesystem::remove_all(dir);
}

// A library's text reaches the terminal with its control characters shown, and
// a missing text is said to be missing, with the code.
TEST_F(ScriptedModule, LibraryTextsAreShownSafelyOrSaidToBeMissing) {
  const struct {
    std::int32_t init_result;
    std::string text;
    const char* said;
  } rows[] = {
      {0, "", "did not answer the identification (code 3): the library gave no text"},
      {5, "", "Init failed (code 5): the library gave no text"},
      {0, "\x1b]0;owned\x07\r", "\\x1b]0;owned\\x07\\x0d"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.said);
    scripted::Reset();
    scripted::Script().responder = scripted::ModuleResponder();
    scripted::Script().init_result = row.init_result;
    scripted::Script().error_texts[row.init_result ? row.init_result : 3] = row.text;
    if (!row.init_result) scripted::Script().answers.push_back(scripted::Fail(3));
    EXPECT_EQ(Run({"identify"}), kExitNoLink);
    EXPECT_NE(err.str().find(row.said), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find('\x1b'), std::string::npos);
  }
}

// An output that cannot be written ends the command (a watch too) with the
// link closed: quietly for a reader that went away, else with the reason.
TEST_F(ScriptedModule, AFailedOutputEndsTheCommand) {
  struct FailingBuffer : std::streambuf {
    int error = 0;
    int overflow(int) override {
      errno = error;
      return traits_type::eof();
    }
  };
  const struct {
    int error;
    std::vector<const char*> args;
    int exit;
    const char* said;
  } rows[] = {
      {ENOSPC, {"identify"}, kExitFailure, "No space left on device"},
      {EPIPE, {"identify"}, kExitBrokenPipe, ""},
      {EPIPE, {"inputs", "--watch", "--interval", "1"}, kExitBrokenPipe, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.said);
    FailingBuffer buffer;
    buffer.error = row.error;
    std::ostream failing(&buffer);
    std::vector<const char*> args{"qm90", "--interface", "pci", "--address", "1"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    std::ostringstream errors;
    EXPECT_EQ(qm90cli::Run(static_cast<int>(args.size()), args.data(), failing, errors), row.exit);
    if (*row.said)
      EXPECT_NE(errors.str().find(row.said), std::string::npos) << errors.str();
    else
      EXPECT_EQ(errors.str(), "");
    EXPECT_FALSE(DrvLibraryLoaded());
  }
}

#ifndef _WIN32
TEST_F(ScriptedModule, CsvIntoAFifoIsRefusedWithoutWaiting) {
  const std::string fifo =
      (std::filesystem::temp_directory_path() / ("qm90-cli-fifo-" + std::to_string(::getpid())))
          .string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Run({"inputs", "--csv", fifo.c_str()}), kExitUsage);
  EXPECT_NE(err.str().find("not a regular file"), std::string::npos) << err.str();
  std::filesystem::remove(fifo);
  EXPECT_EQ(Run({"config", "load", (fifo + ".missing").c_str()}), kExitFailure);
  EXPECT_NE(err.str().find("No such file or directory"), std::string::npos) << err.str();
}

// Ctrl-C ends a command with 130 once the exchange under way is complete: a
// write is read back, the registers after it are not written.
TEST_F(ScriptedModule, CtrlCEndsWith130AfterTheExchangeUnderWay) {
  console::InstallInterruptHandler();
  const struct {
    std::vector<const char*> args;
    int interrupt_at;  // the send during which Ctrl-C comes
  } rows[] = {
      {{"inputs", "--watch", "--interval", "1"}, 5},
      {{"config", "set", "din-negation=0", "dout-negation=0"}, 6},  // the first write
      {{"scan", "--addresses", "1-200"}, 10},
  };
  for (const auto& row : rows) {
    scripted::Reset();
    scripted::Script().module.wrong_address_status = 3;
    int sends = 0;
    const int at = row.interrupt_at;
    scripted::Script().responder = [&sends, at](const std::uint8_t request[8]) {
      if (++sends == at) raise(SIGINT);
      return scripted::ModuleAnswer(scripted::Script().module, scripted::Decode(request));
    };
    EXPECT_EQ(Run(row.args), kExitInterrupted) << err.str();
    console::ClearInterrupt();
    EXPECT_FALSE(DrvLibraryLoaded());
    if (row.args[0] == std::string("config")) {
      EXPECT_EQ(scripted::Script().module.registers[33], 0x00) << "the write under way completes";
      EXPECT_EQ(scripted::Script().module.registers[34], 0xFF) << "no register after it";
    }
  }
  signal(SIGINT, SIG_DFL);
}
#endif

// A technician must not take an answer of the bundled emulation for a real
// module: identify says so when the library's Version carries the flag.
TEST_F(ScriptedModule, IdentifySaysWhenTheLibraryIsTheBundledEmulation) {
  for (const bool emulated : {false, true}) {
    SCOPED_TRACE(emulated);
    scripted::Script().version = 0x0100 | (emulated ? QBL_VERSION_EMULATION : 0);
    EXPECT_EQ(Run({"identify"}), kExitOk);
    EXPECT_EQ(out.str().find("is the bundled emulation") != std::string::npos, emulated);
    EXPECT_EQ(Run({"--json", "identify"}), kExitOk);
    EXPECT_NE(out.str().find(emulated ? "\"emulated\":true" : "\"emulated\":false"),
              std::string::npos)
        << out.str();
  }
}

TEST_F(ScriptedModule, AScanThatFindsNothingSaysSoInJson) {
  scripted::Script().module.wrong_address_status = 3;
  EXPECT_EQ(Run({"--json", "scan", "--addresses", "5", "--baud", "9600"}), kExitFailure);
  EXPECT_NE(out.str().find("\"error\":\"no module answered\""), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("\"exit\":1"), std::string::npos) << out.str();
}

}  // namespace
