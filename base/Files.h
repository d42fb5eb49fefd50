// Whole-file reading and replacing, folders and a lock between processes:
// what the settings file, the in-process modules' state and qm90-sim's state
// need of the file system (files_posix.cpp, files_win32.cpp; the temporary
// file names in Files.cpp). Paths are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace base {

enum class ReadStatus {
  kOk,
  kMissing,     // nothing at the path
  kNotRegular,  // a folder, a FIFO, a device...: never opened in a way that can block
  kTooLarge,    // larger than the caller's bound: not read beyond it
  kFailed,      // exists but cannot be read
};

// Reads a whole regular file of at most max_bytes; contents is set only on kOk.
ReadStatus ReadRegularFile(const std::string& path, std::size_t max_bytes, std::string& contents);

enum class NewFileAccess { kShared, kOwnerOnly };

// Replaces the file at path so that a reader sees either the old file or the
// whole new one: a temporary file of our own form beside it, created
// exclusively (never through a link), flushed to disk, renamed over the
// target. An existing target keeps its permissions; a new one gets `access`.
// A symbolic link at path stays: the file it leads to is replaced. A link
// that leads nowhere, or anything but a regular file, is refused.
// On failure the target is untouched, the temporary file gone, and error (if
// given) says why. Afterwards, temporary files of that target left by writers
// that are provably gone are removed; nothing else is ever touched.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents, NewFileAccess access,
                           std::string* error = nullptr);

// True when anything (a file, a folder, a dangling link) stands at the path.
bool PathExists(const std::string& path);

// Creates a folder and its missing parents, new ones for the owner only.
bool MakeFolders(const std::string& path);

// Renames a file, replacing whatever stood at `to`.
bool RenameFile(const std::string& from, const std::string& to);

// The temporary file names ReplaceFileAtomically uses for a target file name: the name,
// ".qm90-save-", 16 lower-case hex digits, ".tmp". No user names a file so, and
// two writers never pick the same one.
std::string TempFileName(const std::string& target_name, std::uint64_t random);
bool IsTempFileName(const std::string& target_name, const std::string& candidate);
std::uint64_t RandomNumber();

// An exclusive lock between processes (and between links of one process) on a
// lock file, created if needed and never removed. Held until Release or the
// object goes; a process that dies releases it.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { Release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Waits at most timeout_ms; false when the lock file cannot be opened (or
  // is not a regular file) or another holder keeps it that long.
  bool Acquire(const std::string& path, int timeout_ms);
  void Release();

 private:
  std::intptr_t handle_ = -1;
};

// Files older than this are the only temporary files a cleanup may remove,
// and only once no writer holds them.
inline constexpr int kStaleTempSeconds = 60;

}  // namespace base
