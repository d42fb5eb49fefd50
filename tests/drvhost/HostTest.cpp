// The binding with the library in qm90-drvhost: the same results as in
// process, the binding's own codes, libraries that crash, hang or quit, and a
// library of the other word size. No test leaves a process behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "emulator/launcher/SimProcess.h"
#include "link/Platform.h"
#include "link/QBLxxx.h"
#include "tests/drivers/Harness.h"

namespace drvtest {
namespace {

namespace fs = std::filesystem;

struct ProcessState {
  pid_t pid;
  char state;
  pid_t parent;
};

std::vector<ProcessState> Processes() {
  std::vector<ProcessState> all;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const auto close = line.rfind(')');
    if (close == std::string::npos || close + 4 >= line.size()) continue;
    all.push_back({static_cast<pid_t>(std::atol(line.c_str())), line[close + 2],
                   static_cast<pid_t>(std::strtol(line.c_str() + close + 4, nullptr, 10))});
  }
  return all;
}

// Children of this process that ended and were not waited for.
int ZombieChildren() {
  int zombies = 0;
  for (const ProcessState& process : Processes())
    if (process.state == 'Z' && process.parent == getpid()) ++zombies;
  return zombies;
}

// Polls for up to 20 s, a bound only for a failing test.
template <typename Condition>
bool Eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

class Host : public ::testing::Test {
 protected:
  void SetUp() override {
    UseBuiltDrivers();
    SetDriverIsolation(DriverIsolation::kAlways);
  }
  void TearDown() override {
    std::int32_t handle = 0;
    if (DrvLibraryLoaded()) DrvClose(kPci, &handle);
    SetDriverIsolation(DriverIsolation::kWhenNeeded);
    EXPECT_EQ(ZombieChildren(), 0);
  }
  OwnFolders folder_;  // first member: goes after everything that uses it
};

struct Outcome {
  std::int32_t open = -1, configure = -1;
  std::string name, timeout_text;
  std::uint8_t written = 0, read_back = 0;
  bool through_host = false;
};

Outcome Use(std::uint8_t kind) {
  Outcome out;
  Session link(kind);
  out.open = link.OpenInProcess();
  out.through_host = DrvThroughHost();
  out.configure = link.Configure(9600);
  out.name = link.Identify();
  out.written = link.WriteRegister(35, 0x5A).status;
  out.read_back = link.ReadRegister(35).d[3];
  out.timeout_text = ErrorText(kind, kTimeout);
  return out;
}

TEST_F(Host, ModulesAnswerAlikeInProcessAndThroughTheHost) {
  for (const std::uint8_t kind : {kIsa, kPci, kUsb}) {
    SCOPED_TRACE(static_cast<int>(kind));
    SetDriverIsolation(DriverIsolation::kWhenNeeded);
    const Outcome local = Use(kind);
    SetDriverIsolation(DriverIsolation::kAlways);
    const Outcome hosted = Use(kind);
    EXPECT_FALSE(local.through_host);
    EXPECT_TRUE(hosted.through_host);
    EXPECT_EQ(hosted.open, 0);
    EXPECT_EQ(hosted.open, local.open);
    EXPECT_EQ(hosted.configure, local.configure);
    EXPECT_EQ(hosted.name, local.name);
    EXPECT_EQ(hosted.written, local.written);
    EXPECT_EQ(hosted.read_back, 0x5A);
    EXPECT_EQ(hosted.timeout_text, local.timeout_text);
    EXPECT_FALSE(DrvLibraryLoaded()) << "DrvClose ends the host";
  }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr std::int32_t kNoLibraryInFolder = kDrvLoadFailed + kSerial;
#else
constexpr std::int32_t kNoLibraryInFolder = kInvalidParameter;
#endif

TEST_F(Host, BindingCodesAreTheSameThroughTheHost) {
  struct Case {
    std::string dir;
    std::uint8_t kind;
    std::int32_t code;
  };
  const Case cases[] = {
      // None in the folder: the host's own search looks in its folder (its
      // RUNPATH, as installed) and finds build/bin's, whose Init refuses COM 0.
      // AddressSanitizer's runtime keeps the loader from searching RUNPATH.
      {folder_.path(), kSerial, kNoLibraryInFolder},
      {QM90_BROKEN_DIR, kPci, kDrvBadLibrary + kPci},  // no QBL312_GetConfig
      {QM90_BROKEN_DIR, kUsb, kDrvLoadFailed + kUsb},  // a text file
      {QM90_SCRIPTED_DIR, kPci, 0},                    // benign without a script
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir + " " + std::to_string(c.kind));
    SetDriverDirectory(c.dir);
    std::int32_t handle = 0;
    TInitBlock block{};
    EXPECT_EQ(DrvOpen(c.kind, &handle, &block), c.code);
    EXPECT_EQ(DrvLibraryLoaded(), c.code < kDrvLoadFailed);  // Init's own failure keeps it bound
    if (c.code == 0) {
      EXPECT_EQ(handle, 1);
      EXPECT_EQ(ErrorText(c.kind, 5), "kod 5");
      EXPECT_EQ(DrvClose(c.kind, &handle), 0);
    }
  }
}

// A library that crashes, hangs or quits: a clear code, the link closed, and
// the next DrvOpen of a sound library works with a fresh host.
TEST_F(Host, HostileLibrariesCannotTakeTheCallerDown) {
  struct Case {
    const char* mode;
    std::int32_t open, send;
  };
  const Case cases[] = {
      {"mode1", 0, kDrvHostEnded},              // crashes in Send
      {"mode2", 0, kDrvHostHung},               // never returns from Send
      {"mode3", kDrvHostEnded, kDrvHostEnded},  // ends its process in Init
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    SetDriverDirectory(std::string(QM90_HOSTILE_HOST_DIR) + "/" + c.mode);
    Session link(kPci);
    EXPECT_EQ(link.OpenInProcess(), c.open);
    const auto start = std::chrono::steady_clock::now();
    std::uint8_t status = 0;
    std::uint8_t d[5] = {1, 2, 3, 4, 5};
    TSlotBuffer answer{};
    for (int i = 0; i < 2; ++i) {
      ModuleTransact(kPci, 1, 1, 102, 0, d[0], d[1], d[2], d[3], d[4], status, answer);
      EXPECT_EQ(status, c.send) << "exchange " << i;
    }
    if (c.send == kDrvHostHung) {
      EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }
    EXPECT_NE(ErrorText(kPci, c.send), ErrorText(kPci, 115)) << "a text of its own";
    link.Close();
    EXPECT_EQ(ZombieChildren(), 0);

    SetDriverDirectory(qm90sim::BinDir());
    Session fresh(kPci);
    ASSERT_EQ(fresh.OpenInProcess(), 0);
    EXPECT_EQ(fresh.Identify(), "QM-90    v.1.02");
  }
}

// A program killed while its library hangs in a call (the user ends a frozen
// window) must not leave the host behind, holding the library's port open.
TEST_F(Host, HostEndsWhenItsCallerIsKilledDuringAHungCall) {
  const pid_t caller = fork();
  ASSERT_GE(caller, 0);
  if (caller == 0) {
    SetDriverDirectory(std::string(QM90_HOSTILE_HOST_DIR) + "/mode2");
    std::int32_t handle = 0;
    TSlotBuffer request{}, answer{};
    std::int32_t returned = 0, status = 0;
    if (DrvOpen(kPci, &handle, nullptr) == 0)
      DrvSend(kPci, handle, &request, &answer, &returned, &status);  // never returns
    _exit(1);
  }
  pid_t host = 0;
  EXPECT_TRUE(Eventually([&] {
    for (const ProcessState& process : Processes())
      if (process.parent == caller && process.state != 'Z') host = process.pid;
    return host != 0;
  }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the Send is under way
  kill(caller, SIGKILL);
  int status = 0;
  waitpid(caller, &status, 0);
  ASSERT_NE(host, 0);
  const bool ended = Eventually([&] {
    for (const ProcessState& process : Processes())
      if (process.pid == host) return process.state == 'Z';
    return true;
  });
  EXPECT_TRUE(ended) << "the host outlived its caller";
  if (!ended) kill(host, SIGKILL);
}

// A library that starts a helper process in Init: the helper ends with the
// host, whether the link is closed or the program ends with the link open.
TEST_F(Host, HelpersOfTheLibraryEndWithTheHost) {
  const std::string pid_file = folder_.path() + "/helper.pid";
  setenv("QM90_TEST_HELPER_PID_FILE", pid_file.c_str(), 1);
  const auto helper_pid = [&] {
    std::ifstream in(pid_file);
    pid_t pid = 0;
    in >> pid;
    return pid;
  };
  const auto gone = [](pid_t pid) {
    for (const ProcessState& process : Processes())
      if (process.pid == pid) return process.state == 'Z';
    return true;
  };
  for (const bool program_ends : {false, true}) {
    SCOPED_TRACE(program_ends ? "the program ends with the link open" : "the link is closed");
    fs::remove(pid_file);
    SetDriverDirectory(std::string(QM90_HOSTILE_HOST_DIR) + "/mode4");
    if (program_ends) {
      const pid_t caller = fork();
      ASSERT_GE(caller, 0);
      if (caller == 0) {
        std::int32_t handle = 0;
        _exit(DrvOpen(kPci, &handle, nullptr) == 0 ? 0 : 1);
      }
      int status = 0;
      waitpid(caller, &status, 0);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    } else {
      Session link(kPci);
      ASSERT_EQ(link.OpenInProcess(), 0);
      ASSERT_TRUE(Eventually([&] { return helper_pid() > 0; }));
      ASSERT_FALSE(gone(helper_pid())) << "the helper runs while the link is open";
      link.Close();
    }
    ASSERT_TRUE(Eventually([&] { return helper_pid() > 0; }));
    const pid_t helper = helper_pid();
    const bool ended = Eventually([&] { return gone(helper); });
    EXPECT_TRUE(ended) << "the library's helper outlived the host";
    if (!ended) kill(helper, SIGKILL);
  }
  unsetenv("QM90_TEST_HELPER_PID_FILE");
}

TEST_F(Host, LibraryOfTheOtherWordSizeGoesToTheMatchingHost) {
  struct Case {
    const char* name;
    std::string bytes;
    bool other;
  };
  const std::string elf32(
      "\x7f"
      "ELF\x01\x01\x01",
      7),
      elf64(
          "\x7f"
          "ELF\x02\x01\x01",
          7);
  const bool wide = sizeof(void*) == 8;
  const Case cases[] = {
      {"elf32", elf32 + std::string(64, '\0'), wide},
      {"elf64", elf64 + std::string(64, '\0'), !wide},
      {"text", "not a library\n", false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    const std::string path = folder_.path() + "/" + c.name;
    std::ofstream(path, std::ios::binary) << c.bytes;
    EXPECT_EQ(platform::IsLibraryOfOtherWordSize(path), c.other) << c.name;
  }
  EXPECT_FALSE(platform::IsLibraryOfOtherWordSize(folder_.path() + "/absent"));

  // The host for the other word size is a stand-in that notes its start and
  // runs ours, which cannot load the library either: 100 + kind.
  const std::string libs = folder_.path() + "/libs", hosts = folder_.path() + "/hosts";
  fs::create_directories(libs);
  fs::create_directories(hosts);
  std::ofstream(libs + "/QBL311.DLL", std::ios::binary)
      << (wide ? elf32 : elf64) << std::string(64, '\0');
  const std::string stand_in = hosts + "/" + (wide ? "qm90-drvhost32" : "qm90-drvhost64");
  std::ofstream(stand_in) << "#!/bin/sh\ntouch '" << hosts << "/started'\nexec '"
                          << qm90sim::BinDir() << "/qm90-drvhost'\n";
  fs::permissions(stand_in, fs::perms::owner_all);
  SetDriverIsolation(DriverIsolation::kWhenNeeded);
  SetDriverDirectory(libs);
  SetDriverHostDirectory(hosts);
  std::int32_t handle = 0;
  TInitBlock block{};
  block[0] = 0x300;
  EXPECT_EQ(DrvOpen(kIsa, &handle, &block), kDrvLoadFailed + kIsa);
  EXPECT_TRUE(fs::exists(hosts + "/started"));
  EXPECT_FALSE(DrvLibraryLoaded());
  SetDriverHostDirectory(qm90sim::BinDir());
}

}  // namespace
}  // namespace drvtest
