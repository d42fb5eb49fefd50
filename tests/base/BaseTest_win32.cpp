// What only Windows has: the folder rules of its environment variables,
// device names, a target another program holds open.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "base/Files.h"
#include "base/Folders.h"
#include "base/WinText.h"
#include "tests/base/BaseTestSupport.h"

namespace basetest {

// No sharing at all, as the writer of a temporary file opens it.
HeldFile::HeldFile(const std::string& path) {
  HANDLE file = CreateFileW(base::Wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) handle_ = reinterpret_cast<std::intptr_t>(file);
}

HeldFile::~HeldFile() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool MakeOld(const std::string& path) {
  HANDLE file =
      CreateFileW(base::Wide(path).c_str(), FILE_WRITE_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME now_time;
  GetSystemTimeAsFileTime(&now_time);
  ULARGE_INTEGER then;
  then.LowPart = now_time.dwLowDateTime;
  then.HighPart = now_time.dwHighDateTime;
  then.QuadPart -= 3600ull * 10000000ull;
  FILETIME hour_ago{then.LowPart, then.HighPart};
  const bool set = SetFileTime(file, nullptr, &hour_ago, &hour_ago) != 0;
  CloseHandle(file);
  return set;
}

}  // namespace basetest

namespace {

using basetest::ReadBytes;
using basetest::WriteBytes;

// Sets or removes a variable of the process environment for the life of the
// object (what GetEnvironmentVariable sees).
class EnvValue {
 public:
  EnvValue(const char* name, std::optional<std::string> value) : name_(name) {
    char buffer[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA(name, buffer, MAX_PATH);
    if (n > 0 && n < MAX_PATH) old_ = std::string(buffer, n);
    SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
  }
  ~EnvValue() { SetEnvironmentVariableA(name_, old_ ? old_->c_str() : nullptr); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Only an absolute folder (X:\ or X:/ or \\server) counts; anything else
// falls back to the profile's AppData\Local, then to the temporary folder.
TEST(Folders, StateFolderTakesOnlyAbsoluteFolders) {
  const EnvValue temp("TEMP", "C:\\t\\tmp");
  const EnvValue tmp("TMP", "C:\\t\\tmp");
  const struct {
    std::optional<std::string> local, profile;
    std::string state;
  } rows[] = {
      {"C:\\Users\\t\\AppData\\Local", "C:\\Users\\t", "C:\\Users\\t\\AppData\\Local\\qm90\\state"},
      {"D:/data", std::nullopt, "D:/data\\qm90\\state"},
      {"\\\\server\\share", std::nullopt, "\\\\server\\share\\qm90\\state"},
      {"relative\\dir", "C:\\Users\\t", "C:\\Users\\t\\AppData\\Local\\qm90\\state"},
      {"C:drive-relative", "C:\\Users\\t", "C:\\Users\\t\\AppData\\Local\\qm90\\state"},
      {std::nullopt, "relative", "C:\\t\\tmp\\qm90\\state"},
      {std::nullopt, std::nullopt, "C:\\t\\tmp\\qm90\\state"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.local.value_or("(unset)") + " / " + row.profile.value_or("(unset)"));
    const EnvValue local("LOCALAPPDATA", row.local);
    const EnvValue profile("USERPROFILE", row.profile);
    EXPECT_EQ(base::StateFolder(), row.state);
    EXPECT_EQ(base::RuntimeFolder(), "C:\\t\\tmp\\qm90");
  }
}

class WindowsFiles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.Made()); }
  basetest::TempFolder dir_;
};

// A reserved name is a device: never opened to be read (a serial port would
// raise its lines) and never written as if it were a file.
TEST_F(WindowsFiles, DeviceNamesAreNeitherReadNorReplaced) {
  for (const std::string path : {"NUL", "CON", "\\\\.\\COM1", "\\\\.\\pipe\\qm90-none"}) {
    SCOPED_TRACE(path);
    std::string bytes = "kept";
    EXPECT_EQ(base::ReadRegularFile(path, 1024, bytes), base::ReadStatus::kNotRegular);
    EXPECT_EQ(bytes, "kept");
    std::string error;
    EXPECT_FALSE(
        base::ReplaceFileAtomically(path, "[x]\r\n", base::NewFileAccess::kShared, &error));
    EXPECT_EQ(error, "not a regular file");
  }
}

// Another program keeps the file open the whole time: the save gives up
// after its retries, says why in one line, and leaves the file and no
// temporary file behind.
TEST_F(WindowsFiles, SaveOverAFileHeldOpenFailsAndKeepsIt) {
  const std::string path = dir_.File("W_qm90.ini");
  WriteBytes(path, "[old]\r\n");
  {
    const basetest::HeldFile reader(path);
    ASSERT_TRUE(reader.Held());
    std::string error;
    EXPECT_FALSE(
        base::ReplaceFileAtomically(path, "[new]\r\n", base::NewFileAccess::kShared, &error));
    EXPECT_NE(error.find("cannot rename"), std::string::npos) << error;
    EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos) << error;
  }
  EXPECT_EQ(ReadBytes(path), "[old]\r\n");
  EXPECT_EQ(dir_.Entries(), std::set<std::string>{"W_qm90.ini"});
}

}  // namespace
