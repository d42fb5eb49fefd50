// The settings file must survive a writer that dies at any moment: a child
// process saves two records in turn, the test kills it with SIGKILL at
// random points and checks that W_qm90.ini is afterwards the one or the other
// file, whole. It also checks that a save that cannot be written says so and
// leaves the old file alone.
//   QM90_CRASHSAFE_KILLS=N  number of kills (default 200)
//   QM90_CRASHSAFE_SEED=N   seed of the kill points (default fixed)
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "base/Files.h"
#include "link/Dekl.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kFileName = "W_qm90.ini";

// Sections the program does not own, with comments: they must come through
// every save byte for byte. Names in Windows-1250.
constexpr const char* kForeignPart =
    "; Nastaven\xED jin\xE9ho programu\r\n"
    "[Jin\xE9]\r\n"
    "kl\xED\xE8=hodnota ; koment\xE1\xF8\r\n"
    "\r\n";

class TempDir : public qm90test::TempDir {
 public:
  TempDir() : qm90test::TempDir("qm90-crashsafe") {}

  // Entries other than the settings file.
  std::vector<std::string> Others() const {
    std::vector<std::string> names;
    for (const std::string& name : Entries())
      if (name != kFileName) names.push_back(name);
    return names;
  }
};

std::string ReadBytes(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return {};
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

unsigned EnvNumber(const char* name, unsigned fallback) {
  const char* text = std::getenv(name);
  return text && *text ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : fallback;
}

// The two records differ in every key the other one also writes; each keeps
// the other's kind parameters, which stay in the file and load back.
TData RecordA() {
  TData d;
  SetDataDefaults(&d);
  d.IsaBaseAddress = 0x320;
  d.InterfaceKind = 4;
  d.ModuleAddress = 7;
  d.BaudRate = 19200;
  d.IpAddress = "10.1.2.3";
  d.UdpPort = 5001;
  d.UdpTimeout = 250;
  return d;
}

TData RecordB() {
  TData d;
  SetDataDefaults(&d);
  d.InterfaceKind = 1;
  d.ModuleAddress = 200;
  d.BaudRate = 600;
  d.IsaBaseAddress = 0x320;
  d.IpAddress = "10.1.2.3";
  d.UdpPort = 5001;
  d.UdpTimeout = 250;
  return d;
}

bool SameSavedFields(const TData& a, const TData& b) {
  return a.InterfaceKind == b.InterfaceKind && a.ModuleAddress == b.ModuleAddress &&
         a.BaudRate == b.BaudRate && a.IsaBaseAddress == b.IsaBaseAddress &&
         a.IpAddress == b.IpAddress && a.UdpPort == b.UdpPort && a.UdpTimeout == b.UdpTimeout;
}

// A temporary file of the atomic writer.
bool IsWriterTemp(const std::string& name) {
  return base::IsTempFileName(kFileName, name);
}

class KillDuringSave : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.Path().empty());
    path_ = dir_.File(kFileName);
    SetSettingsFilePath(path_);
    WriteBytes(path_, kForeignPart);
    // After one save of each kind every key exists; from then on the file
    // alternates between two fixed contents.
    ASSERT_TRUE(SaveSettings(&a_) && SaveSettings(&b_));
    ASSERT_TRUE(SaveSettings(&a_));
    bytes_a_ = ReadBytes(path_);
    ASSERT_TRUE(SaveSettings(&b_));
    bytes_b_ = ReadBytes(path_);
    ASSERT_TRUE(SaveSettings(&a_));
    ASSERT_EQ(ReadBytes(path_), bytes_a_) << "saving is not repeatable";
    ASSERT_NE(bytes_a_.find(kForeignPart), std::string::npos);
  }
  void TearDown() override { SetSettingsFilePath(""); }

  // A child that saves A and B in turn until it is killed. It reports once
  // warmed up (the first saves after a fork are slow, much more so under
  // sanitizers), with the duration of one save; the file then holds B.
  pid_t StartWriter(long& save_us) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
      close(ready[0]);
      SaveSettings(&a_);
      const auto start = std::chrono::steady_clock::now();
      SaveSettings(&b_);
      const long us = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
      if (write(ready[1], &us, sizeof us) != sizeof us) _exit(2);
      for (unsigned i = 0;; ++i) SaveSettings(i % 2 ? &b_ : &a_);
    }
    close(ready[1]);
    const bool started = pid > 0 && read(ready[0], &save_us, sizeof save_us) == sizeof save_us;
    close(ready[0]);
    if (pid > 0 && !started) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    return started ? pid : -1;
  }

  // Starts a writer and kills it after 0 to 3 of its save durations; returns
  // the save duration, or -1 when the writer could not be started or ended
  // by itself.
  long KillWriterAtRandom(std::mt19937& random) {
    long save_us = 0;
    const pid_t pid = StartWriter(save_us);
    if (pid <= 0) return -1;
    std::uniform_real_distribution<double> saves(0.0, 3.0);
    usleep(static_cast<useconds_t>(saves(random) * static_cast<double>(std::max(save_us, 50L))));
    kill(pid, SIGKILL);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFSIGNALED(status)) return -1;
    return save_us;
  }

  TempDir dir_;
  std::string path_;
  TData a_ = RecordA(), b_ = RecordB();
  std::string bytes_a_, bytes_b_;
};

TEST_F(KillDuringSave, FileIsAlwaysTheOldOrTheNewOneWhole) {
  const unsigned kills = EnvNumber("QM90_CRASHSAFE_KILLS", 200);
  const unsigned seed = EnvNumber("QM90_CRASHSAFE_SEED", 20261208);
  std::mt19937 random(seed);

  unsigned seen_a = 0, seen_b = 0, corrupt = 0;
  long total_save_us = 0;
  for (unsigned k = 0; k < kills; ++k) {
    const long save_us = KillWriterAtRandom(random);
    ASSERT_GE(save_us, 0) << "the writer did not start or ended by itself";
    total_save_us += save_us;

    const std::string bytes = ReadBytes(path_);
    TData loaded;
    SetDataDefaults(&loaded);
    const bool parsed = LoadSettings(&loaded);
    if (bytes == bytes_a_ && parsed && SameSavedFields(loaded, a_)) {
      ++seen_a;
    } else if (bytes == bytes_b_ && parsed && SameSavedFields(loaded, b_)) {
      ++seen_b;
    } else {
      ++corrupt;
      ADD_FAILURE() << "kill " << k << " (seed " << seed << ") left " << bytes.size()
                    << " bytes that are neither file:\n"
                    << bytes;
    }
  }
  std::size_t leftovers = 0;
  for (const std::string& name : dir_.Others()) {
    EXPECT_TRUE(IsWriterTemp(name)) << "unexpected file " << name;
    leftovers += IsWriterTemp(name);
  }
  std::printf(
      "kills %u (seed %u, mean save %ld us): file A %u, file B %u, corrupt %u, "
      "temp files left by killed writers %zu\n",
      kills, seed, kills ? total_save_us / kills : 0L, seen_a, seen_b, corrupt, leftovers);
  RecordProperty("kills", static_cast<int>(kills));
  RecordProperty("corrupt", static_cast<int>(corrupt));
  RecordProperty("leftover_temp_files", static_cast<int>(leftovers));
  EXPECT_GT(seen_a, 0u);
  EXPECT_GT(seen_b, 0u);
}

// A writer killed between creating its temporary file and renaming it leaves
// that file behind, and every such kill adds one more. A later save should
// clear what earlier runs left; the files are aged first because a young one
// may belong to another instance still writing.
TEST_F(KillDuringSave, KilledWritersLeaveAtMostOneTempFile) {
  std::mt19937 random(EnvNumber("QM90_CRASHSAFE_SEED", 20261208));
  for (int k = 0; k < 50; ++k) ASSERT_GE(KillWriterAtRandom(random), 0);
  const auto long_ago = fs::file_time_type::clock::now() - std::chrono::hours(1);
  for (const std::string& name : dir_.Others()) fs::last_write_time(dir_.Path() / name, long_ago);
  ASSERT_TRUE(SaveSettings(&a_));
  EXPECT_LE(dir_.Others().size(), 1u);
}

// ------------------------------------------------------------ unwritable

struct UnwritableCase {
  const char* name;
  bool needs_non_root;
  // Prepares the folder; returns the settings path to use.
  std::function<std::string(const TempDir&)> prepare;
  // Whether to save in a child process with the file size limited to a few
  // bytes, so that the write itself fails.
  bool limit_file_size;
};

const UnwritableCase kUnwritableCases[] = {
    {"FolderUnderARegularFile", false,
     [](const TempDir& dir) {
       WriteBytes(dir.File("plain"), "x");
       return dir.File("plain") + "/" + kFileName;
     },
     false},
    {"ReadOnlyFolder", true,
     [](const TempDir& dir) {
       WriteBytes(dir.File(kFileName), kForeignPart);
       chmod(dir.Path().c_str(), 0555);
       return dir.File(kFileName);
     },
     false},
    {"SettingsPathIsAFolder", false,
     [](const TempDir& dir) {
       fs::create_directory(dir.File(kFileName));
       return dir.File(kFileName);
     },
     false},
    {"WriteFailsHalfway", false,
     [](const TempDir& dir) {
       WriteBytes(dir.File(kFileName), kForeignPart);
       return dir.File(kFileName);
     },
     true},
};

class UnwritableSettings : public testing::TestWithParam<UnwritableCase> {};

// Runs SaveSettings with file writes limited to 8 bytes; returns its result
// (false also when the child dies).
bool SaveWithFileSizeLimit(TData& record) {
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
    const rlimit limit{8, 8};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(SaveSettings(&record) ? 1 : 0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

TEST_P(UnwritableSettings, SaveReportsFailureAndKeepsTheOldFile) {
  const UnwritableCase& c = GetParam();
  if (c.needs_non_root && geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir;
  const std::string path = c.prepare(dir);
  const std::string before = ReadBytes(path);
  const auto entries_before = dir.Others().size();
  SetSettingsFilePath(path);

  TData record = RecordA();
  const bool saved = c.limit_file_size ? SaveWithFileSizeLimit(record) : SaveSettings(&record);
  EXPECT_FALSE(saved);
  EXPECT_EQ(ReadBytes(path), before) << "the old file changed";
  chmod(dir.Path().c_str(), 0700);
  EXPECT_EQ(dir.Others().size(), entries_before) << "a temporary file was left behind";

  TData loaded;
  SetDataDefaults(&loaded);
  LoadSettings(&loaded);  // must not fail hard whatever the path is
  EXPECT_NE(loaded.IpAddress, record.IpAddress) << "a failed save reached the file";
  SetSettingsFilePath("");
}

INSTANTIATE_TEST_SUITE_P(Crashsafe, UnwritableSettings, testing::ValuesIn(kUnwritableCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
