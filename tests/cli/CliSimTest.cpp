// The real qm90 against the real qm90-sim on 127.0.0.1: over UDP and over
// the simulator's pseudo-terminal.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "emulator/launcher/SimProcess.h"

namespace {

namespace fs = std::filesystem;
using qm90sim::SimProcess;

struct Result {
  int exit = -1;
  std::string out, err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string BuiltQm90() {
  return qm90sim::BinDir() + "/qm90";
}

class Qm90Process {
 public:
  explicit Qm90Process(const std::vector<std::string>& args,
                       const std::string& program = BuiltQm90()) {
    static int serial = 0;
    const fs::path base = fs::temp_directory_path() / ("qm90-cli-" + std::to_string(::getpid()) +
                                                       "-" + std::to_string(++serial));
    out_ = base.string() + ".out";
    err_ = base.string() + ".err";
    std::vector<std::string> argv_text{program};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);  // a group of its own, as a terminal's foreground job
      std::vector<char*> argv;
      for (std::string& arg : argv_text) argv.push_back(arg.data());
      argv.push_back(nullptr);
      const int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(err, STDERR_FILENO);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::setpgid(pid_, pid_);
  }
  ~Qm90Process() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    fs::remove(out_);
    fs::remove(err_);
  }
  std::string Err() const { return Slurp(err_); }
  std::string Out() const { return Slurp(out_); }
  // Waits until stderr holds `text` (at most a minute).
  void WaitForErr(const std::string& text) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Err().find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  void Interrupt() { ::kill(pid_, SIGINT); }
  // Ctrl-C on a terminal: the signal goes to the whole process group.
  void InterruptGroup() { ::kill(-pid_, SIGINT); }
  pid_t Pid() const { return pid_; }
  // Waits for the end (at most timeout); exit -1 when it did not come.
  Result Wait(std::chrono::seconds timeout = std::chrono::seconds(120)) {
    Result result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return result;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    result.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = Slurp(out_);
    result.err = Slurp(err_);
    return result;
  }

 private:
  pid_t pid_ = -1;
  std::string out_, err_;
};

// An empty settings file: the program's defaults, whatever W_qm90.ini beside it says.
const std::string& NoSettings() {
  static const std::string path = [] {
    const fs::path file = fs::absolute("cli-empty-settings.ini");  // in the test's build folder
    std::ofstream{file};
    return file.string();
  }();
  return path;
}

Result Qm90(std::vector<std::string> args, const std::string& program = BuiltQm90()) {
  args.insert(args.end(), {"--settings", NoSettings()});
  return Qm90Process(args, program).Wait();
}

// A small JSON checker: true when the text is one well-formed JSON value per line.
class JsonChecker {
 public:
  static bool Valid(const std::string& text) {
    JsonChecker c{text};
    c.Space();
    if (!c.Value()) return false;
    c.Space();
    return c.at_ == text.size();
  }

 private:
  explicit JsonChecker(const std::string& text) : s_(text) {}
  void Space() {
    while (at_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[at_]))) ++at_;
  }
  bool Eat(char c) {
    Space();
    if (at_ < s_.size() && s_[at_] == c) return ++at_, true;
    return false;
  }
  bool String() {
    if (!Eat('"')) return false;
    while (at_ < s_.size() && s_[at_] != '"') {
      if (static_cast<unsigned char>(s_[at_]) < 0x20) return false;
      at_ += s_[at_] == '\\' ? 2 : 1;
    }
    return Eat('"');
  }
  bool Value() {
    Space();
    if (at_ >= s_.size()) return false;
    const char c = s_[at_];
    if (c == '"') return String();
    if (c == '{' || c == '[') {
      const char close = c == '{' ? '}' : ']';
      ++at_;
      if (Eat(close)) return true;
      do {
        if (c == '{' && !(String() && Eat(':'))) return false;
        if (!Value()) return false;
      } while (Eat(','));
      return Eat(close);
    }
    for (const char* word : {"true", "false", "null"})
      if (s_.compare(at_, std::strlen(word), word) == 0) return at_ += std::strlen(word), true;
    const std::size_t start = at_;
    if (s_[at_] == '-') ++at_;
    while (at_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[at_])) || s_[at_] == '.'))
      ++at_;
    return at_ > start;
  }
  const std::string& s_;
  std::size_t at_ = 0;
};

// Three modules at 1, 77 and 200; 77 moved to 19200 Bd through qm90 itself.
class ThreeModules : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Start({"--udp", "127.0.0.1:0", "--serial", "COM41", "--address", "1",
                           "--address", "77", "--address", "200"}))
        << sim.Error();
    const Result set = Qm90(Lan({"config", "set", "baud=19200", "--address", "77"}));
    ASSERT_EQ(set.exit, 0) << set.err;
    ASSERT_TRUE(sim.PowerCycle(77));
  }
  std::vector<std::string> Lan(std::vector<std::string> args) {
    args.insert(args.end(), {"--interface", "lan", "--ip", "127.0.0.1", "--udp-port",
                             std::to_string(sim.UdpPort()), "--timeout", "20"});
    return args;
  }
  SimProcess sim;
};

constexpr const char* kTable =
    "Address  Baud rate  Module\n"
    "      1    9600 Bd  QM-90    v.1.02\n"
    "    200    9600 Bd  QM-90    v.1.02\n"
    "     77   19200 Bd  QM-90    v.1.02\n";

TEST_F(ThreeModules, ScanFindsEachAtItsRateOverUdpAndThePty) {
  const Result udp = Qm90(Lan({"scan", "--baud", "9600,19200"}));
  EXPECT_EQ(udp.exit, 0) << udp.err;
  EXPECT_EQ(udp.out, kTable);

  // A silent address costs the serial driver's whole time-out: a part of the range.
  // The emulator shares two cores with the other tests: an allowance of 100 ms
  // keeps a late answer from a busy machine from passing for silence.
  const Result pty = Qm90({"scan", "--interface", "com", "--port", "41", "--baud", "9600,19200",
                           "--addresses", "0-2,76-78,199-201", "--timing", "100"});
  EXPECT_EQ(pty.exit, 0) << pty.err;
  EXPECT_EQ(pty.out, kTable);

  const Result none = Qm90(Lan({"scan", "--baud", "115200", "--addresses", "2-9"}));
  EXPECT_EQ(none.exit, 1);
  EXPECT_EQ(none.out, "");
  EXPECT_NE(none.err.find("no module answered (8 tries"), std::string::npos) << none.err;
}

TEST_F(ThreeModules, SaveLoadIntoAnotherModuleAndShowTheSame) {
  const fs::path file =
      fs::temp_directory_path() / ("qm90-cli-" + std::to_string(::getpid()) + ".qm90");
  fs::remove(file);
  ASSERT_EQ(Qm90(Lan({"config", "set", "dout-init=0x81", "din-negation.DIN2=0", "aout-init=4660",
                      "--address", "1"}))
                .exit,
            0);
  ASSERT_EQ(Qm90(Lan({"config", "save", file.string(), "--address", "1"})).exit, 0);
  ASSERT_EQ(Qm90(Lan({"config", "set", "dout-negation=0", "--address", "200"})).exit, 0);

  const Result load = Qm90(Lan({"config", "load", file.string(), "--address", "200"}));
  EXPECT_EQ(load.exit, 0) << load.err;
  EXPECT_NE(load.out.find("Registers changed: 32 dout-init, 33 din-negation, 34 dout-negation, "
                          "35 aout-init-low, 36 aout-init-high\n"),
            std::string::npos)
      << load.out;
  auto body = [](const std::string& show) { return show.substr(show.find("\naddress") + 1); };
  const Result from = Qm90(Lan({"config", "show", "--address", "1"}));
  const Result to = Qm90(Lan({"config", "show", "--address", "200"}));
  // The clone keeps its own address.
  EXPECT_EQ(sim.Get(200, "reg 63"), 200);
  std::string expected = body(from.out);
  expected.replace(expected.find(" 1\n"), 3, " 200\n");
  EXPECT_EQ(body(to.out), expected);

  // A damaged copy is refused before anything is sent to the module.
  std::string damaged = Slurp(file);
  damaged.replace(damaged.find("34 dout-negation = 0xFF"), 23, "34 dout-negation = 0x1FF");
  std::ofstream(file, std::ios::binary | std::ios::trunc) << damaged;
  ASSERT_EQ(Qm90(Lan({"config", "set", "dout-init=0", "--address", "200"})).exit, 0);
  const Result refused =
      Qm90(Lan({"config", "load", file.string(), "--address", "200", "--force", "--trace"}));
  EXPECT_EQ(refused.exit, 1);
  EXPECT_NE(refused.err.find("nothing written"), std::string::npos) << refused.err;
  EXPECT_EQ(refused.err.find("cmd 103"), std::string::npos) << "a register was written";
  EXPECT_EQ(sim.Get(200, "reg 32"), 0);
  fs::remove(file);
}

TEST_F(ThreeModules, JsonOutputParses) {
  const std::vector<std::vector<std::string>> commands = {
      {"--json", "identify", "--address", "77", "--baud", "19200"},
      {"--json", "scan", "--baud", "9600", "--addresses", "0-3"},
      {"--json", "config", "show", "--address", "1"},
      {"--json", "config", "set", "din-negation=1", "--address", "1"},
      {"--json", "inputs", "--count", "2", "--interval", "1", "--address", "1"},
      {"--json", "status", "--clear", "--address", "1"},
      {"--json", "outputs", "DOUT0=1", "--address", "1"},
      {"--json", "identify", "--address", "5"},  // fails: an error object
  };
  for (const auto& command : commands) {
    const Result result = Qm90(Lan(command));
    EXPECT_FALSE(result.out.empty()) << command[1];
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);)
      EXPECT_TRUE(JsonChecker::Valid(line)) << command[1] << ": " << line;
  }
}

TEST_F(ThreeModules, CtrlCDuringAScanPrintsWhatWasFound) {
  Qm90Process scan(Lan({"--trace", "scan", "--settings", NoSettings()}));
  scan.WaitForErr("addr 3 cmd 200");  // past the module at address 1
  scan.Interrupt();
  const Result result = scan.Wait(std::chrono::seconds(20));
  EXPECT_EQ(result.exit, 130) << "no clean end after Ctrl-C";
  EXPECT_EQ(result.out, "Address  Baud rate  Module\n      1    9600 Bd  QM-90    v.1.02\n");
  EXPECT_NE(result.err.find("scan interrupted after"), std::string::npos) << result.err;
  // The simulator serves the next client as before.
  EXPECT_EQ(Qm90(Lan({"identify", "--address", "200"})).exit, 0);
}

// The children of `parent` that run `program` (by their /proc names).
std::vector<pid_t> ChildrenRunning(pid_t parent, const std::string& program) {
  std::vector<pid_t> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line) || line.find('(') == std::string::npos) continue;
    const std::size_t open = line.find('('), close = line.rfind(')');
    std::istringstream rest(line.substr(close + 2));
    char state = 0;
    pid_t ppid = 0;
    rest >> state >> ppid;
    if (ppid == parent && line.substr(open + 1, close - open - 1) == program)
      found.push_back(std::stoi(name));
  }
  return found;
}

TEST_F(ThreeModules, DriverHostSurvivesCtrlCAndEndsWithTheProgram) {
  Qm90Process scan(Lan({"--driver-host", "--trace", "scan", "--settings", NoSettings()}));
  scan.WaitForErr("addr 3 cmd 200");
  const std::vector<pid_t> hosts = ChildrenRunning(scan.Pid(), "qm90-drvhost");
  ASSERT_EQ(hosts.size(), 1u) << scan.Err();
  // The host gets the terminal's Ctrl-C too; it is qm90 that decides to end.
  scan.InterruptGroup();
  const Result result = scan.Wait(std::chrono::seconds(20));
  EXPECT_EQ(result.exit, 130) << result.err;
  EXPECT_EQ(result.out, "Address  Baud rate  Module\n      1    9600 Bd  QM-90    v.1.02\n");
  EXPECT_NE(result.err.find("scan interrupted after"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("knihovna ovlada"), std::string::npos) << result.err;
  EXPECT_NE(::kill(hosts[0], 0), 0) << "the driver host outlived qm90";
}

// A library that crashes in its first Send, in a folder of qm90's own: the
// scan stops and says why, rather than counting every later try as silence.
TEST(DriverHost, ScanStopsWhenTheLibraryCrashes) {
  const fs::path folder =
      fs::temp_directory_path() / ("qm90-cli-crash-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  for (const char* program : {"qm90", "qm90-drvhost"})
    fs::copy_file(qm90sim::BinDir() + "/" + program, folder / program,
                  fs::copy_options::overwrite_existing);
  fs::copy_file(QM90_CRASHING_LIBRARY, folder / "QBL312.DLL", fs::copy_options::overwrite_existing);
  const Result scan =
      Qm90({"--driver-host", "--interface", "pci", "scan", "--addresses", "0-9", "--baud", "9600"},
           (folder / "qm90").string());
  EXPECT_EQ(scan.exit, 1);
  EXPECT_EQ(scan.out, "");
  EXPECT_NE(scan.err.find("scan stopped after 1 of 10 tries: knihovna ovladače havarovala"),
            std::string::npos)
      << scan.err;
  fs::remove_all(folder);
}

// Two modules at one address garble each other's answers on the serial line
// and answer twice over a LAN converter: scan and find say so, and still find
// the module elsewhere on the line.
TEST(LineSearch, ScanAndFindWarnOfTwoModulesAtOneAddress) {
  SimProcess sim;
  ASSERT_TRUE(
      sim.Start({"--serial", "COM42", "--udp", "127.0.0.1:0", "--address", "1", "--address", "5"}))
      << sim.Error();
  ASSERT_TRUE(sim.SetTwin(5, true));
  struct Line {
    std::vector<std::string> options;
    const char* warning;
  };
  const Line lines[] = {
      {{"--interface", "com", "--port", "42"}, "its answers came garbled"},
      {{"--interface", "lan", "--ip", "127.0.0.1", "--udp-port", std::to_string(sim.UdpPort())},
       "two answers came to one request"},
  };
  for (const Line& line : lines) {
    auto with = [&line](std::vector<std::string> args) {
      args.insert(args.end(), line.options.begin(), line.options.end());
      args.insert(args.end(), {"--baud", "9600", "--addresses", "0-7"});
      return args;
    };
    for (const auto& command : {with({"scan"}), with({"find", "--all"})}) {
      const std::string name = command[0] + " " + line.options[1];
      const Result result = Qm90(command);
      const bool found = result.out.find("at address 1, 9600 Bd") != std::string::npos ||
                         result.out.find("      1    9600 Bd") != std::string::npos;
      EXPECT_TRUE(found) << name << ": " << result.out;
      EXPECT_NE(result.err.find(std::string("warning: address 5 at 9600 Bd: ") + line.warning),
                std::string::npos)
          << name << ": " << result.err;
    }
  }
}

// A watch on a serial port that disappears (a USB adapter pulled) says so,
// waits, and goes on once the port is back under its name.
TEST(LineSearch, WatchOutlivesAnUnpluggedPort) {
  SimProcess sim;
  ASSERT_TRUE(sim.Start({"--serial", "COM42", "--address", "1"})) << sim.Error();
  const std::vector<std::string> args = {"inputs",      "--watch", "--interval", "20",
                                         "--interface", "com",     "--port",     "42",
                                         "--address",   "1",       "--settings", NoSettings()};
  // A busy machine may keep the emulator from answering the first identification in time.
  std::unique_ptr<Qm90Process> watch;
  for (int attempt = 0; attempt < 5; ++attempt) {
    watch = std::make_unique<Qm90Process>(args);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (watch->Out().find("DIN0..7") != std::string::npos) break;
  }
  ASSERT_EQ(sim.Control("unplug").rfind("ok", 0), 0u);
  watch->WaitForErr("is gone");
  ASSERT_EQ(sim.Control("replug").rfind("ok", 0), 0u);
  watch->WaitForErr("is back");
  const std::size_t before = watch->Out().size();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_GT(watch->Out().size(), before) << "no reading after the port came back";
  watch->Interrupt();
  const Result result = watch->Wait(std::chrono::seconds(20));
  EXPECT_NE(result.err.find("the serial port COM42 is gone"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("the serial port COM42 is back; going on"), std::string::npos)
      << result.err;
}

}  // namespace
