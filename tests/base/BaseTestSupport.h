// Helpers of the base tests: a folder of the test's own and whole-file bytes
// here; holding a file open and ageing it are the platform's
// (BaseTest_posix.cpp, BaseTest_win32.cpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "base/Files.h"

namespace basetest {

// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes.
class TempFolder {
 public:
  TempFolder() {
    const auto root = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 16 && path_.empty(); ++attempt) {
      const auto candidate = root / ("qm90-base-" + std::to_string(base::RandomNumber() >> 16));
      if (std::filesystem::create_directory(candidate)) path_ = candidate;
    }
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  bool Made() const { return !path_.empty(); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
      names.insert(entry.path().filename().string());
    return names;
  }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Keeps a file open as a living writer does (POSIX: with its lock), until
// the object goes.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool Held() const { return handle_ != -1; }

 private:
  std::intptr_t handle_ = -1;
};

// Sets the modification time of a file or folder an hour back.
bool MakeOld(const std::string& path);

}  // namespace basetest
