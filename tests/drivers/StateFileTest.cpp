// The in-process modules' state file from outside: one set of registers for
// every link and every process, only complete files used, nothing but a
// regular file opened, no planted link followed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "link/QBLxxx.h"
#include "tests/drivers/Harness.h"

namespace drvtest {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class StateFile : public ::testing::TestWithParam<std::uint8_t> {
 protected:
  void SetUp() override { UseBuiltDrivers(); }
  std::string Path() const {
    return folder_.path() + "/state/qm90/" + DriverFileName(GetParam()).substr(0, 6) + ".eeprom";
  }
  static std::int32_t Connect(Session& link) {
    const std::int32_t code = link.OpenInProcess();
    return code != 0 ? code : link.Configure(9600);
  }
  // A state file as the library writes it: registers 32, 33, 34 changed.
  std::string WrittenState() {
    Session link(GetParam());
    EXPECT_EQ(Connect(link), 0);
    EXPECT_EQ(link.WriteRegister(32, 0x5A).status, 0);
    EXPECT_EQ(link.WriteRegister(33, 0x0F).status, 0);
    EXPECT_EQ(link.WriteRegister(34, 171).status, 0);
    return Slurp(Path());
  }
  OwnFolders folder_;  // first member: goes after everything that uses it
};

TEST_P(StateFile, EveryCutOfTheFileIsReportedKeptAsideAndNeverHalfUsed) {
  const std::string whole = WrittenState();
  ASSERT_GT(whole.size(), 40u);
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    Put(Path(), whole.substr(0, cut));
    Session link(GetParam());
    ASSERT_EQ(link.OpenInProcess(), kStateDamaged);
    EXPECT_EQ(Slurp(Path() + ".bad"), whole.substr(0, cut));
    EXPECT_FALSE(fs::exists(Path()));
    ASSERT_EQ(Connect(link), 0) << "the next power-up starts from factory values";
    EXPECT_EQ(link.ReadRegister(34).d[3], 0xFF);
  }
}

TEST_P(StateFile, CompleteFilesOfThisAndTheEarlierFormLoad) {
  const std::string whole = WrittenState();
  const struct {
    const char* name;
    std::string text;
  } rows[] = {
      {"as written", whole},
      {"earlier form", "32=90 33=15 34=171 35=0 36=0 62=4 63=1"},
      {"earlier form, line end", "32=90 33=15 34=171 35=0 36=0 62=4 63=1\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Put(Path(), row.text);
    Session link(GetParam());
    ASSERT_EQ(Connect(link), 0);
    EXPECT_EQ(link.ReadRegister(34).d[3], 171);
    EXPECT_EQ(link.ReadRegister(32).d[3], 0x5A);
  }
}

TEST_P(StateFile, WhatIsNotARegularFileIsRefusedAtOnceAndLeftAlone) {
  fs::create_directories(fs::path(Path()).parent_path());
  const struct {
    const char* name;
    void (*make)(const std::string&);
    bool (*still_there)(const fs::path&);
  } rows[] = {
      {"FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); },
       [](const fs::path& p) { return fs::is_fifo(fs::symlink_status(p)); }},
      {"folder", [](const std::string& p) { fs::create_directory(p); },
       [](const fs::path& p) { return fs::is_directory(fs::symlink_status(p)); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    row.make(Path());
    alarm(60);  // a blocking open would hang here; end the run instead
    Session link(GetParam());
    EXPECT_EQ(link.OpenInProcess(), kStateDamaged);
    alarm(0);
    EXPECT_TRUE(row.still_there(Path()));
    EXPECT_FALSE(fs::exists(Path() + ".bad"));
    fs::remove(Path());
  }
}

TEST_P(StateFile, PlantedLinksAtTemporaryNamesAreNeverFollowed) {
  fs::create_directories(fs::path(Path()).parent_path());
  const std::string victim = folder_.path() + "/victim";
  Put(victim, "keep");
  for (const char* suffix : {".tmp", ".tmp1", ".bad"}) fs::create_symlink(victim, Path() + suffix);
  Session link(GetParam());
  ASSERT_EQ(Connect(link), 0);
  ASSERT_EQ(link.WriteRegister(33, 0x0F).status, 0);
  EXPECT_EQ(Slurp(victim), "keep");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Path())));
}

// Writes value 1..count to one register through its own link; exits 0 when
// every write was confirmed.
[[noreturn]] void WriteInChild(std::uint8_t kind, std::uint8_t reg, int count) {
  Session link(kind);
  bool all = link.OpenInProcess() == 0 && link.Configure(9600) == 0;
  for (int value = 1; all && value <= count; ++value)
    all = link.WriteRegister(reg, static_cast<std::uint8_t>(value)).status == 0;
  link.Close();
  _exit(all ? 0 : 1);
}

TEST_P(StateFile, ConcurrentWritersInTwoProcessesLoseNothing) {
  constexpr int kWrites = 120;
  const pid_t first = fork();
  if (first == 0) WriteInChild(GetParam(), 33, kWrites);
  const pid_t second = fork();
  if (second == 0) WriteInChild(GetParam(), 34, kWrites);
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);

  int damaged_inits = 0, inits = 0, running = 2, failed_writers = 0;
  while (running > 0) {
    Session link(GetParam());
    damaged_inits += link.OpenInProcess() == kStateDamaged;
    ++inits;
    link.Close();
    for (pid_t pid : {first, second}) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        --running;
        failed_writers += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      }
    }
  }
  EXPECT_EQ(damaged_inits, 0) << "of " << inits << " Inits during the writes";
  EXPECT_EQ(failed_writers, 0);
  Session link(GetParam());
  ASSERT_EQ(Connect(link), 0);
  EXPECT_EQ(link.ReadRegister(33).d[3], kWrites);
  EXPECT_EQ(link.ReadRegister(34).d[3], kWrites);
}

INSTANTIATE_TEST_SUITE_P(
    Cards, StateFile, ::testing::Values(kIsa, kPci, kUsb), [](const auto& info) {
      return std::string(info.param == kIsa ? "Isa" : info.param == kPci ? "Pci" : "Usb");
    });

}  // namespace
}  // namespace drvtest
