// qm90 checkout and qm90 commission, the real programs, against qm90-sim on
// 127.0.0.1.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <thread>

#include "emulator/launcher/SimProcess.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using qm90sim::SimProcess;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// qm90 in the test's folder, its stdin a pipe the test writes to.
class Qm90 {
 public:
  Qm90(const std::string& folder, std::vector<std::string> args) : out_(folder + "/qm90.out") {
    const std::string settings = folder + "/empty.ini";
    std::ofstream{settings};
    args.insert(args.begin(), qm90sim::BinDir() + "/qm90");
    args.insert(args.end(), {"--settings", settings});
    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      if (::chdir(folder.c_str()) != 0) ::_exit(126);
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      const int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(pipe_ends[0], STDIN_FILENO);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
      ::close(pipe_ends[1]);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(pipe_ends[0]);
    stdin_ = pipe_ends[1];
  }
  ~Qm90() {
    if (stdin_ >= 0) ::close(stdin_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  void Type(const std::string& text) {
    ASSERT_EQ(::write(stdin_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void EndInput() {
    ::close(stdin_);
    stdin_ = -1;
  }
  std::string Out() const { return Slurp(out_); }
  bool WaitForOut(const std::string& text) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Out().find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
  void Signal(int number) { ::kill(pid_, number); }
  int Wait() {
    if (stdin_ >= 0) EndInput();
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  std::string out_;
  pid_t pid_ = -1;
  int stdin_ = -1;
};

class CommissionSim : public ::testing::Test {
 protected:
  void StartSim(std::vector<std::string> args) {
    args.insert(args.begin(), {"--udp", "127.0.0.1:0", "--control", "127.0.0.1:0"});
    ASSERT_TRUE(sim_.Start(args)) << sim_.Error();
    const std::string ready = sim_.ReadyLine();
    const auto at = ready.find("control=127.0.0.1:");
    ASSERT_NE(at, std::string::npos) << ready;
    control_port_ = std::stoi(ready.substr(at + 18));
  }
  std::vector<std::string> Link() const {
    return {"--interface", "lan",        "--ip",
            "127.0.0.1",   "--udp-port", std::to_string(sim_.UdpPort())};
  }
  std::string PowerCycleCommand() const {
    return "bash -c 'exec 3<>/dev/tcp/127.0.0.1/" + std::to_string(control_port_) +
           "; echo \"power {address}\" >&3; read -r reply <&3; [ \"${reply%% *}\" = ok ]'";
  }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir_.File(name);
    std::ofstream(path) << text;
    return path;
  }
  std::string Requests() { return sim_.Control("stats").substr(0, 14); }

  qm90test::TempDir dir_;
  SimProcess sim_;
  int control_port_ = 0;
};

TEST_F(CommissionSim, PlanWithTwoEqualAddressesIsRefusedBeforeAnythingIsSent) {
  StartSim({});
  Write("plan.csv", "tag,address,baud\nA,5,9600\nB,5,9600\n");
  std::vector<std::string> args = Link();
  args.insert(args.end(), {"commission", "plan.csv", "--yes"});
  Qm90 run(dir_.Path().string(), args);
  EXPECT_EQ(run.Wait(), 2);
  EXPECT_NE(run.Out().find("plan.csv, line 3, column 2: address 5 is given to \"A\" on line 2"),
            std::string::npos)
      << run.Out();
  EXPECT_EQ(Requests(), "ok requests=0 ");
}

TEST_F(CommissionSim, KilledAfterTheFirstModuleTheNextRunFinishesAndReportsAll) {
  StartSim({"--address", "10", "11", "12"});
  Write("plan.csv",
        "tag,address,baud,dout_init,now_address\n"
        "K1,21,19200,1,10\nK2,22,19200,2,11\nK3,23,9600,4,12\n");
  std::vector<std::string> args = Link();
  args.insert(args.end(), {"commission", "plan.csv", "--power-cycle-command", PowerCycleCommand()});
  {
    Qm90 first(dir_.Path().string(), args);
    first.Type("y\n");
    ASSERT_TRUE(first.WaitForOut("Is K2 connected?")) << first.Out();
    first.Signal(SIGKILL);
    EXPECT_EQ(first.Wait(), 128 + SIGKILL);
  }
  EXPECT_EQ(sim_.Get(21, "reg 32"), 1);
  EXPECT_EQ(sim_.Get(11, "reg 32"), 0);  // not touched
  args.push_back("--yes");
  args.insert(args.end(), {"--report", "final"});
  Qm90 second(dir_.Path().string(), args);
  EXPECT_EQ(second.Wait(), 0) << second.Out();
  EXPECT_NE(second.Out().find("3 of 3 module(s) done"), std::string::npos) << second.Out();
  EXPECT_EQ(sim_.Get(22, "reg 32"), 2);
  EXPECT_EQ(sim_.Get(23, "reg 32"), 4);
  const std::string csv = Slurp(dir_.File("final-report.csv"));
  for (const char* tag : {"K1,", "K2,", "K3,"})
    EXPECT_NE(csv.find(std::string("\n") + tag), std::string::npos) << tag << csv;
}

std::vector<std::string> With(std::vector<std::string> args,
                              std::initializer_list<std::string> more) {
  args.insert(args.end(), more);
  return args;
}

TEST_F(CommissionSim, LoopbackCheckoutPassesAndAStuckInputFailsExactlyItsChannel) {
  StartSim({"--loopback"});
  Qm90 all(dir_.Path().string(), With(Link(), {"--address", "1", "checkout", "--loopback", "--yes",
                                               "--settle", "20", "--report", "all"}));
  EXPECT_EQ(all.Wait(), 0) << all.Out();
  EXPECT_NE(Slurp(dir_.File("all.json")).find("\"passed\":17,\"failed\":0"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir_.File("all.html")));

  ASSERT_EQ(sim_.Control("stuck 1 din 3 0").substr(0, 2), "ok");
  Qm90 stuck(dir_.Path().string(),
             With(Link(), {"--address", "1", "checkout", "--loopback", "--yes", "--settle", "20",
                           "--report", "stuck", "--csv-separator", ";"}));
  EXPECT_EQ(stuck.Wait(), 1) << stuck.Out();
  std::istringstream csv(Slurp(dir_.File("stuck.csv")));
  std::vector<std::string> failed;
  for (std::string line; std::getline(csv, line);)
    if (line.find(";fail;") != std::string::npos) failed.push_back(line.substr(0, 40));
  ASSERT_EQ(failed.size(), 1u);
  // With the factory negations the stuck terminal shows on the off point.
  EXPECT_EQ(failed[0].substr(0, 23), ";;1;output;DOUT3;DOUT3=");
}

TEST_F(CommissionSim, CtrlCInTheMiddleLeavesTheOutputsAtThePowerUpState) {
  StartSim({"--loopback"});
  Qm90 set(dir_.Path().string(),
           With(Link(), {"--address", "1", "config", "set", "dout-init=0x81", "aout-init=1000"}));
  ASSERT_EQ(set.Wait(), 0) << set.Out();
  Qm90 run(dir_.Path().string(), With(Link(), {"--address", "1", "checkout", "--loopback", "--yes",
                                               "--settle", "300", "--report", "int"}));
  ASSERT_TRUE(run.WaitForOut("The checkout will switch"));
  std::this_thread::sleep_for(std::chrono::milliseconds(900));
  run.Signal(SIGINT);
  EXPECT_EQ(run.Wait(), 130) << run.Out();
  const long outputs = sim_.Get(1, "outputs");
  EXPECT_EQ(sim_.Get(1, "aout"), 1000);
  ASSERT_EQ(sim_.Control("power 1").substr(0, 2), "ok");
  EXPECT_EQ(sim_.Get(1, "outputs"), outputs);  // what the module itself sets at power-up
  const std::string json = Slurp(dir_.File("int.json"));
  EXPECT_NE(json.find("\"interrupted\":true"), std::string::npos) << json;
  EXPECT_NE(json.find("\"restored\":true"), std::string::npos) << json;
}

// A USB serial adapter pulled in the middle of a checkout and plugged in
// again: the run waits, redoes the point under way, passes every point and
// says in its report that the link was interrupted.
TEST_F(CommissionSim, CheckoutOutlivesAnUnpluggedSerialPort) {
  StartSim({"--loopback", "--serial", "COM46"});
  // A busy machine may keep the emulator from answering in time, which ends a
  // checkout on its own: such a run is tried again.
  std::string last_run;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    const std::string report = "unplugged" + std::to_string(attempt);
    Qm90 run(dir_.Path().string(),
             {"--interface", "com", "--port", "46", "--address", "1", "checkout", "--loopback",
              "--yes", "--settle", "100", "--report", report});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (run.Out().find("DOUT2=1") == std::string::npos &&
           run.Out().find("Summary:") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (run.Out().find("DOUT2=1") == std::string::npos ||
        run.Out().find("Summary:") != std::string::npos) {
      run.Wait();
      last_run = run.Out();
      continue;
    }
    ASSERT_EQ(sim_.Control("unplug").substr(0, 2), "ok");
    ASSERT_TRUE(run.WaitForOut("is gone")) << run.Out();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(sim_.Control("replug").substr(0, 2), "ok");
    const int exit_status = run.Wait();
    if (exit_status != 0 && run.Out().find("modul neodpov") != std::string::npos) {
      last_run = run.Out();
      continue;
    }
    EXPECT_EQ(exit_status, 0) << run.Out();
    const std::string json = Slurp(dir_.File(report + ".json"));
    EXPECT_NE(json.find("\"passed\":17,\"failed\":0"), std::string::npos) << json;
    EXPECT_NE(json.find("\"link_breaks\":[\""), std::string::npos) << json;
    EXPECT_NE(Slurp(dir_.File(report + ".html")).find("The link was interrupted"),
              std::string::npos);
    return;
  }
  ADD_FAILURE() << "the emulator did not answer in time in three runs; the last:\n" << last_run;
}

}  // namespace
