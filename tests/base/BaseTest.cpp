// Whole-file reads, atomic replacement, the cleanup of abandoned temporary
// files and the lock: what means the same on every platform.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/Files.h"
#include "base/Text.h"
#include "tests/base/BaseTestSupport.h"

namespace {

namespace fs = std::filesystem;
using basetest::ReadBytes;
using basetest::WriteBytes;

constexpr std::size_t kMiB = 1 << 20;

class BaseFiles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.Made()); }
  std::string File(const std::string& name) const { return dir_.File(name); }
  // Names in the folder that are temporary files of a save of `target`.
  std::vector<std::string> Temps(const std::string& target) const {
    std::vector<std::string> temps;
    for (const std::string& name : dir_.Entries())
      if (base::IsTempFileName(target, name)) temps.push_back(name);
    return temps;
  }
  basetest::TempFolder dir_;
};

TEST_F(BaseFiles, ReadsOnlyWholeRegularFilesWithinTheBound) {
  enum class Make { kNothing, kFile, kFolder };
  const struct {
    const char* what;
    std::string path;
    Make make;
    std::size_t size;
    base::ReadStatus status;
  } rows[] = {
      {"empty", "empty.ini", Make::kFile, 0, base::ReadStatus::kOk},
      {"exactly the bound", "full.ini", Make::kFile, kMiB, base::ReadStatus::kOk},
      {"one byte over", "over.ini", Make::kFile, kMiB + 1, base::ReadStatus::kTooLarge},
      {"far over", "huge.ini", Make::kFile, 8 * kMiB, base::ReadStatus::kTooLarge},
      {"missing", "missing.ini", Make::kNothing, 0, base::ReadStatus::kMissing},
      {"in a missing folder", "no/such.ini", Make::kNothing, 0, base::ReadStatus::kMissing},
      {"a folder", "folder.ini", Make::kFolder, 0, base::ReadStatus::kNotRegular},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string path = File(row.path);
    std::string bytes(row.size, 'q');
    if (row.size > 0) bytes.front() = '[';
    if (row.make == Make::kFile) WriteBytes(path, bytes);
    if (row.make == Make::kFolder) fs::create_directory(path);
    std::string contents = "left as it was";
    EXPECT_EQ(base::ReadRegularFile(path, kMiB, contents), row.status);
    EXPECT_TRUE(contents == (row.status == base::ReadStatus::kOk ? bytes : "left as it was"));
  }
}

TEST_F(BaseFiles, SaveWritesTheWholeFileOrFailsAndLeavesTheOldOne) {
  const struct {
    const char* what;
    std::string path;
    const char* old;  // nullptr: nothing there; "/": a folder
    bool saved;
  } rows[] = {
      {"new file", "new.ini", nullptr, true},
      {"longer old file", "long.ini", "[old]\r\nkey=a much longer value than the new one\r\n",
       true},
      {"empty old file", "empty.ini", "", true},
      {"a folder at the path", "folder.ini", "/", false},
      {"a missing folder", "no/such.ini", nullptr, false},
  };
  const std::string contents = "[P\xF8ipojen\xED]\r\nAdresa=7\r\n";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string path = File(row.path);
    const bool folder = row.old != nullptr && std::string(row.old) == "/";
    if (folder) {
      fs::create_directory(path);
      WriteBytes(path + "/keep", "keep");
    } else if (row.old != nullptr) {
      WriteBytes(path, row.old);
    }
    std::string error;
    EXPECT_EQ(base::ReplaceFileAtomically(path, contents, base::NewFileAccess::kShared, &error),
              row.saved)
        << error;
    if (row.saved) {
      EXPECT_EQ(ReadBytes(path), contents);
    }
    if (!row.saved) {
      EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos) << "one line: " << error;
    if (folder) {
      EXPECT_EQ(ReadBytes(path + "/keep"), "keep");
    }
    if (!row.saved && row.old == nullptr) {
      EXPECT_FALSE(base::PathExists(path));
    }
    EXPECT_TRUE(Temps(fs::path(path).filename().string()).empty());
  }
}

// Only a file of exactly the writer's temporary form, old, and held by no
// living writer is a leftover; everything else in the folder is the user's.
TEST_F(BaseFiles, SaveRemovesOnlyItsOwnAbandonedTemporaryFiles) {
  const std::string target = "W_qm90.ini";
  const std::string ours = base::TempFileName(target, 0x0123456789abcdefull);
  const struct {
    std::string name;
    bool folder, aged, held, removed;
  } rows[] = {
      {"W_qm90.ini.backup", false, true, false, false},
      {"W_qm90.ini.201212", false, true, false, false},
      {"W_qm90.ini.tmp", false, true, false, false},
      {base::TempFileName(target, 1), false, true, false, true},
      {base::TempFileName(target, 2), false, false, false, false},
      {base::TempFileName(target, 3), false, true, true, false},
      {base::TempFileName(target, 4), true, true, false, false},
      {base::TempFileName("other.ini", 5), false, true, false, false},
      {ours.substr(0, ours.size() - 4) + ".TMP", false, true, false, false},
  };
  std::vector<std::unique_ptr<basetest::HeldFile>> writers;
  for (const auto& row : rows) {
    const std::string path = File(row.name);
    if (row.folder)
      fs::create_directory(path);
    else
      WriteBytes(path, row.name);
    if (row.held) {
      writers.push_back(std::make_unique<basetest::HeldFile>(path));
      ASSERT_TRUE(writers.back()->Held()) << row.name;
    }
    if (row.aged) {
      ASSERT_TRUE(basetest::MakeOld(path)) << row.name;
    }
  }
  ASSERT_TRUE(base::ReplaceFileAtomically(File(target), "[x]\n", base::NewFileAccess::kShared));
  writers.clear();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(base::PathExists(File(row.name)), !row.removed);
    if (!row.removed && !row.folder) {
      EXPECT_EQ(ReadBytes(File(row.name)), row.name);
    }
  }
}

// Writers racing each other and a reader: the reader sees one whole version
// (never a part, never no file), one saved version stands at the end, and no
// temporary file is left.
TEST_F(BaseFiles, ConcurrentSavesLeaveOneWholeFile) {
  const std::string path = File("W_qm90.ini");
  constexpr std::size_t kSize = 64 * 1024;
  WriteBytes(path, std::string(kSize, 'a'));
  std::atomic<int> writing{3};
  std::atomic<int> saved{0};
  std::vector<std::thread> writers;
  for (char letter : {'b', 'c', 'd'}) {
    writers.emplace_back([&, letter] {
      for (int i = 0; i < 20; ++i)
        if (base::ReplaceFileAtomically(path, std::string(kSize, letter),
                                        base::NewFileAccess::kShared))
          ++saved;
      --writing;
    });
  }
  int torn = 0, vanished = 0;
  while (writing > 0) {
    std::string bytes;
    const base::ReadStatus status = base::ReadRegularFile(path, kMiB, bytes);
    if (status == base::ReadStatus::kMissing) ++vanished;
    if (status == base::ReadStatus::kOk &&
        (bytes.size() != kSize ||
         static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), bytes[0])) != kSize))
      ++torn;
  }
  for (auto& writer : writers) writer.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(vanished, 0);
  EXPECT_GT(saved, 0);
  const std::string last = ReadBytes(path);
  ASSERT_EQ(last.size(), kSize);
  EXPECT_NE(std::string("bcd").find(last[0]), std::string::npos);
  EXPECT_EQ(dir_.Entries(), std::set<std::string>{"W_qm90.ini"});
}

TEST_F(BaseFiles, MakeFoldersCreatesMissingParentsOnly) {
  WriteBytes(File("file"), "keep");
  const struct {
    const char* path;
    bool made;
  } rows[] = {
      {"a/b/c", true}, {"a/b", true}, {"d/e/", true}, {"file", false}, {"file/x", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(base::MakeFolders(File(row.path)), row.made);
    if (row.made) {
      EXPECT_TRUE(fs::is_directory(File(row.path)));
    }
  }
  EXPECT_EQ(ReadBytes(File("file")), "keep");
}

TEST_F(BaseFiles, LockIsExclusiveUntilReleasedAndNeedsAFile) {
  base::FileLock first, second;
  ASSERT_TRUE(first.Acquire(File("x.lock"), 100));
  EXPECT_FALSE(second.Acquire(File("x.lock"), 20)) << "held by another open of the file";
  first.Release();
  EXPECT_TRUE(second.Acquire(File("x.lock"), 100));
  second.Release();
  EXPECT_TRUE(base::PathExists(File("x.lock"))) << "the lock file stays";
  fs::create_directory(File("folder.lock"));
  EXPECT_FALSE(first.Acquire(File("folder.lock"), 20));
  EXPECT_FALSE(first.Acquire(File("no/such.lock"), 20));
}

}  // namespace

namespace {

// Text from a library or a file name reaches the terminal and JSON: a control
// character must not act, and bytes that are not UTF-8 must not pass.
TEST(SafeText, ControlCharactersShowAndBadUtf8IsReplaced) {
  const struct {
    const char* in;
    const char* visible;
    const char* utf8;
  } rows[] = {
      {"modul neodpov\xC3\xAD"
       "d\xC3\xA1",
       "modul neodpov\xC3\xAD"
       "d\xC3\xA1",
       "modul neodpov\xC3\xAD"
       "d\xC3\xA1"},
      {"\x1b]0;owned\x07x\r\b", "\\x1b]0;owned\\x07x\\x0d\\x08", "\x1b]0;owned\x07x\r\b"},
      {"a\xFF"
       "b",
       "a\xFF"
       "b",
       "a\xEF\xBF\xBD"
       "b"},
      {"\xC0\xAF", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                      // overlong '/'
      {"\xED\xA0\x80", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {"end\xE2\x82", "end\xE2\x82", "end\xEF\xBF\xBD\xEF\xBF\xBD"},             // cut short
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.in);
    EXPECT_EQ(base::VisibleText(row.in), row.visible);
    EXPECT_EQ(base::ValidUtf8(row.in), row.utf8);
  }
}

}  // namespace
