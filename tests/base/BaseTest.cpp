#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "base/Files.h"
#include "base/Folders.h"

namespace {

namespace fs = std::filesystem;

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

class InFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "qm90-base-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string File(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

TEST_F(InFolder, LockIsExclusiveUntilReleasedAndNeedsARegularFile) {
  base::FileLock first, second;
  ASSERT_TRUE(first.Acquire(File("x.lock"), 100));
  EXPECT_FALSE(second.Acquire(File("x.lock"), 20)) << "held by another open of the file";
  first.Release();
  EXPECT_TRUE(second.Acquire(File("x.lock"), 100));
  ASSERT_EQ(mkfifo(File("fifo.lock").c_str(), 0600), 0);
  EXPECT_FALSE(first.Acquire(File("fifo.lock"), 20));
  fs::create_symlink(File("x.lock"), File("link.lock"));
  EXPECT_FALSE(first.Acquire(File("link.lock"), 20)) << "never through a link";
}

}  // namespace
