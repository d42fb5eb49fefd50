// What only POSIX has: the folder rules of its environment variables, FIFOs,
// symbolic links, flock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "base/Files.h"
#include "base/Folders.h"
#include "base/StdDescriptors.h"
#include "tests/base/BaseTestSupport.h"

namespace basetest {

HeldFile::HeldFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX) != 0) {
    ::close(fd);
    return;
  }
  handle_ = fd;
}

HeldFile::~HeldFile() {
  if (handle_ != -1) ::close(static_cast<int>(handle_));
}

bool MakeOld(const std::string& path) {
  const timespec hour_ago[2] = {{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
  return ::utimensat(AT_FDCWD, path.c_str(), hour_ago, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace basetest

namespace {

namespace fs = std::filesystem;
using basetest::ReadBytes;
using basetest::WriteBytes;

// Sets or unsets an environment variable for the life of the object.
class EnvValue {
 public:
  EnvValue(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~EnvValue() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// The serial driver and qm90-sim must agree on one folder whatever the
// variable holds: a relative path names no fixed place and does not count.
TEST(Folders, RuntimeAndStateFoldersTakeOnlyAbsolutePaths) {
  const std::string fallback = "/tmp/qm90-" + std::to_string(getuid());
  const EnvValue home("HOME", "/home/tester");
  const struct {
    std::optional<std::string> value;
    std::string runtime, state;
  } rows[] = {
      {"/run/user/7", "/run/user/7/qm90", "/run/user/7/qm90"},
      {"relative/dir", fallback, "/home/tester/.local/state/qm90"},
      {"", fallback, "/home/tester/.local/state/qm90"},
      {std::nullopt, fallback, "/home/tester/.local/state/qm90"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value.value_or("(unset)"));
    const EnvValue runtime("XDG_RUNTIME_DIR", row.value);
    const EnvValue state("XDG_STATE_HOME", row.value);
    EXPECT_EQ(base::RuntimeFolder(), row.runtime);
    EXPECT_EQ(base::StateFolder(), row.state);
  }
}

// The user's settings folder: an absolute XDG_CONFIG_HOME, else the home
// folder of the user database (never $HOME: it may name another user's).
TEST(Folders, UserConfigFolderTakesAbsoluteXdgElseTheUserDatabase) {
  const passwd* user = getpwuid(getuid());
  ASSERT_NE(user, nullptr);
  const std::string from_database = std::string(user->pw_dir) + "/.config/qm90";
  const EnvValue home("HOME", "/home/someone-else");
  const struct {
    std::optional<std::string> value;
    std::string folder;
  } rows[] = {
      {"/decoy/config", "/decoy/config/qm90"},
      {"relative/config", from_database},
      {"", from_database},
      {std::nullopt, from_database},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value.value_or("(unset)"));
    const EnvValue config("XDG_CONFIG_HOME", row.value);
    EXPECT_EQ(base::UserConfigFolder(), row.folder);
  }
}

TEST(Folders, OnlyAFolderThatExistsIsWritable) {
  basetest::TempFolder dir;
  ASSERT_TRUE(dir.Made());
  WriteBytes(dir.File("file"), "x");
  EXPECT_TRUE(base::FolderWritable(dir.File("")));
  EXPECT_FALSE(base::FolderWritable(dir.File("missing")));
  EXPECT_FALSE(base::FolderWritable(dir.File("file")));
}

class PosixFiles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.Made()); }
  std::string File(const std::string& name) const { return dir_.File(name); }
  basetest::TempFolder dir_;
};

TEST_F(PosixFiles, LockIsNeverTakenOnAFifoOrThroughALink) {
  base::FileLock lock;
  ASSERT_EQ(mkfifo(File("fifo.lock").c_str(), 0600), 0);
  EXPECT_FALSE(lock.Acquire(File("fifo.lock"), 20));
  WriteBytes(File("x.lock"), "");
  fs::create_symlink(File("x.lock"), File("link.lock"));
  EXPECT_FALSE(lock.Acquire(File("link.lock"), 20)) << "never through a link";
}

// A user's W_qm90.ini may be a link to a file kept elsewhere: the save
// updates that file and the link stays. A link that leads nowhere or to
// anything but a regular file, and a FIFO at the path, refuse the save and
// nothing is written anywhere.
TEST_F(PosixFiles, SaveThroughALinkUpdatesItsTargetAndKeepsTheLink) {
  enum class At { kFile, kChain, kDangling, kFolder, kFifo, kFifoHere };
  const struct {
    const char* what;
    std::string link;  // what the link W_qm90.ini holds
    At at;
    bool saved;
  } rows[] = {
      {"absolute link to a file", "", At::kFile, true},
      {"relative link to a file", "real/settings.ini", At::kFile, true},
      {"link to a link to a file", "second.ini", At::kChain, true},
      {"dangling link", "real/missing.ini", At::kDangling, false},
      {"link to a folder", "real", At::kFolder, false},
      {"link to a FIFO", "real/fifo", At::kFifo, false},
      {"a FIFO at the path itself", "", At::kFifoHere, false},
  };
  const std::string old = "[P\xF8ipojen\xED]\r\nAdresa=3\r\n; the user's comment\r\n";
  const std::string contents = "[P\xF8ipojen\xED]\r\nAdresa=9\r\n";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    basetest::TempFolder dir;
    ASSERT_TRUE(dir.Made());
    fs::create_directory(dir.File("real"));
    const std::string path = dir.File("W_qm90.ini");
    const std::string target = dir.File("real/settings.ini");
    std::string link = row.link.empty() ? target : row.link;
    switch (row.at) {
      case At::kFile:
        WriteBytes(target, old);
        ASSERT_EQ(chmod(target.c_str(), 0640), 0);
        break;
      case At::kChain:
        WriteBytes(target, old);
        fs::create_symlink("real/settings.ini", dir.File("second.ini"));
        break;
      case At::kFifo:
        ASSERT_EQ(mkfifo(dir.File("real/fifo").c_str(), 0600), 0);
        break;
      case At::kFifoHere:
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        break;
      default:
        break;
    }
    if (row.at != At::kFifoHere) fs::create_symlink(link, path);
    const auto before = dir.Entries();

    std::string error;
    EXPECT_EQ(base::ReplaceFileAtomically(path, contents, base::NewFileAccess::kOwnerOnly, &error),
              row.saved)
        << error;
    if (row.at != At::kFifoHere) {
      const bool kept = fs::is_symlink(fs::symlink_status(path));
      EXPECT_TRUE(kept) << "the user's link is gone";
      if (kept) {
        EXPECT_EQ(fs::read_symlink(path).string(), link);
      }
    }
    EXPECT_EQ(dir.Entries(), before);
    for (const auto& entry : fs::directory_iterator(dir.File("real")))
      EXPECT_EQ(entry.path().filename().string().find(".qm90-save-"), std::string::npos)
          << entry.path();
    if (row.saved) {
      EXPECT_EQ(ReadBytes(target), contents);
      struct stat st {};
      ASSERT_EQ(stat(target.c_str(), &st), 0);
      if (row.at == At::kFile) {
        EXPECT_EQ(st.st_mode & 07777, 0640u) << "its permissions stay";
      }
    } else {
      EXPECT_FALSE(error.empty());
      EXPECT_FALSE(base::PathExists(dir.File("real/missing.ini")));
    }
    if (row.at == At::kFifo || row.at == At::kFifoHere) {
      const std::string fifo = row.at == At::kFifo ? dir.File("real/fifo") : path;
      EXPECT_TRUE(fs::is_fifo(fs::status(fifo)));
      std::string bytes;
      EXPECT_EQ(base::ReadRegularFile(fifo, 1024, bytes), base::ReadStatus::kNotRegular);
    }
  }
}

}  // namespace

// A program started with 0, 1 or 2 closed must not hand that number to the
// first file (or socket) it opens: it would write its own text onto it.
TEST_F(PosixFiles, ClosedStandardDescriptorsAreNotHandedOutAgain) {
  for (int closed = 0; closed <= 2; ++closed) {
    SCOPED_TRACE(closed);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(closed);
      base::EnsureStdDescriptors();
      const int fd = ::open(File("link").c_str(), O_WRONLY | O_CREAT, 0600);
      _exit(fd > 2 && fcntl(closed, F_GETFD) != -1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
}
