#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "base/Files.h"

namespace base {
namespace {

// errno becomes text here only.
void SetError(std::string* error, const char* what) {
  if (error) *error = std::string(what) + ": " + std::strerror(errno);
}

void SetErrorText(std::string* error, const char* what) {
  if (error) *error = what;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, std::string_view contents) {
  std::size_t done = 0;
  while (done < contents.size()) {
    const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// A fresh temporary file of our form, opened exclusively and locked: the
// lock tells a cleanup that its writer is still alive.
int CreateTemp(const std::string& folder, const std::string& name, std::string& temp) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    temp = folder + "/" + TempFileName(name, RandomNumber());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::flock(fd, LOCK_EX | LOCK_NB);
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Removes one temporary file only when it is ours in every respect: a
// regular file of this user, old, and not locked by a living writer.
void RemoveIfAbandoned(const std::string& path) {
  struct stat named {};
  if (::lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode) ||
      named.st_uid != ::geteuid() || std::time(nullptr) - named.st_mtime < kStaleTempSeconds)
    return;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat opened {};
  if (::fstat(fd, &opened) == 0 && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino &&
      ::flock(fd, LOCK_EX | LOCK_NB) == 0)
    ::unlink(path.c_str());
  ::close(fd);
}

void RemoveAbandonedTemps(const std::string& folder, const std::string& name) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    if (IsTempFileName(name, entry->d_name)) RemoveIfAbandoned(folder + "/" + entry->d_name);
  }
  ::closedir(dir);
}

// The file a save replaces: the path itself, or the file a link there leads
// to (through any chain of links), so that the user's link stays and the
// file it names is the one updated. A link that leads nowhere and anything
// but a regular file are refused; a missing path is a new file.
bool SaveTarget(const std::string& path, std::string& target, std::string* error) {
  target = path;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return true;  // new, or the creation fails below
  if (S_ISLNK(st.st_mode)) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
      SetError(error, "the link leads to no file");
      return false;
    }
    target = resolved;
    std::free(resolved);
    if (::stat(target.c_str(), &st) != 0) {
      SetError(error, "the link leads to no file");
      return false;
    }
  }
  if (!S_ISREG(st.st_mode)) {
    SetErrorText(error, "not a regular file");
    return false;
  }
  return true;
}

}  // namespace

ReadStatus ReadRegularFile(const std::string& path, std::size_t max_bytes, std::string& contents) {
  // Look before opening: opening a FIFO or a device can block or act on it.
  struct stat st {};
  // ENOTDIR: a file stands where a folder of the path belongs, so nothing
  // can be at the path.
  if (::stat(path.c_str(), &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? ReadStatus::kMissing : ReadStatus::kFailed;
  if (!S_ISREG(st.st_mode)) return ReadStatus::kNotRegular;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return ReadStatus::kFailed;
  ReadStatus status = ReadStatus::kOk;
  std::string data;
  if (::fstat(fd, &st) != 0) {
    status = ReadStatus::kFailed;
  } else if (!S_ISREG(st.st_mode)) {
    status = ReadStatus::kNotRegular;  // swapped between the look and the open
  } else if (static_cast<std::uint64_t>(st.st_size) > max_bytes) {
    status = ReadStatus::kTooLarge;
  } else {
    char buffer[16384];
    while (status == ReadStatus::kOk) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) status = ReadStatus::kFailed;
      if (n <= 0) break;
      if (data.size() + static_cast<std::size_t>(n) > max_bytes)
        status = ReadStatus::kTooLarge;
      else
        data.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  if (status == ReadStatus::kOk) contents = std::move(data);
  return status;
}

bool ReplaceFileAtomically(const std::string& link_or_path, std::string_view contents,
                           NewFileAccess access, std::string* error) {
  std::string path;
  if (!SaveTarget(link_or_path, path, error)) return false;
  const std::string folder = FolderOf(path);
  const std::string name = NameOf(path);
  std::string temp;
  const int fd = CreateTemp(folder, name, temp);
  if (fd < 0) {
    SetError(error, "cannot create a temporary file");
    return false;
  }
  struct stat st {};
  const mode_t mode = ::stat(path.c_str(), &st) == 0        ? (st.st_mode & 07777)
                      : access == NewFileAccess::kOwnerOnly ? 0600
                                                            : 0644;
  const char* failed = nullptr;
  if (!WriteAll(fd, contents))
    failed = "cannot write";
  else if (::fchmod(fd, mode) != 0)
    failed = "cannot set permissions";
  else if (::fsync(fd) != 0)
    failed = "cannot flush";
  else if (::rename(temp.c_str(), path.c_str()) != 0)
    failed = "cannot rename";
  if (failed) {
    SetError(error, failed);
    ::unlink(temp.c_str());
    ::close(fd);
    return false;
  }
  SyncFolder(folder);
  ::close(fd);  // the lock goes with it, after the rename
  RemoveAbandonedTemps(folder, name);
  return true;
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RenameFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool FileLock::Acquire(const std::string& path, int timeout_ms) {
  Release();
  const int fd =
      ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
      ::close(fd);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  handle_ = fd;
  return true;
}

void FileLock::Release() {
  if (handle_ < 0) return;
  ::close(static_cast<int>(handle_));
  handle_ = -1;
}

}  // namespace base
