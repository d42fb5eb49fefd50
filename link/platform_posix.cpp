#ifndef _WIN32
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "link/Platform.h"

namespace platform {

namespace {
thread_local std::string last_error;

bool WriteAll(int fd, const std::string& contents) {
  std::size_t done = 0;
  while (done < contents.size()) {
    const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Temporary files of writers that were killed before their rename: named
// like ours ("<file>." and six characters) and older than a minute, so that a
// file another instance is writing right now is left alone.
void RemoveStaleTemporaries(const std::string& path) {
  constexpr std::time_t kStaleSeconds = 60;
  const auto slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".";
  DIR* folder = ::opendir(dir.c_str());
  if (!folder) return;
  const std::time_t now = std::time(nullptr);
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string full = dir + "/" + name;
    struct stat st {};
    if (::lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && now - st.st_mtime > kStaleSeconds)
      ::unlink(full.c_str());
  }
  ::closedir(folder);
}

void SyncDirectory(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}
}  // namespace

std::string ExecutableDir() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<std::size_t>(n));
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

LibraryHandle LoadLibraryFile(const std::string& path_or_name) {
  dlerror();
  void* handle = ::dlopen(path_or_name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* message = dlerror();
    last_error = message ? message : "unknown loader error";
  }
  return handle;
}

void* FindSymbol(LibraryHandle library, const char* name) {
  if (!library) return nullptr;
  dlerror();
  void* symbol = ::dlsym(library, name);
  if (const char* message = dlerror()) {
    last_error = message;
    return nullptr;
  }
  return symbol;
}

void UnloadLibrary(LibraryHandle library) {
  if (library) ::dlclose(library);
}

std::string LastLoaderError() {
  return last_error;
}

// ELF identification: magic, then the class byte (1: 32 bit, 2: 64 bit).
bool IsLibraryOfOtherWordSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;  // a FIFO would block
  unsigned char ident[5] = {};
  std::ifstream file(path, std::ios::binary);
  if (!file.read(reinterpret_cast<char*>(ident), sizeof ident)) return false;
  constexpr unsigned char kMagic[4] = {0x7F, 'E', 'L', 'F'};
  if (std::memcmp(ident, kMagic, sizeof kMagic) != 0) return false;
  const unsigned char own = sizeof(void*) == 8 ? 2 : 1;
  return (ident[4] == 1 || ident[4] == 2) && ident[4] != own;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& contents) {
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  // Keep the permissions of the file being replaced; a new file gets 0644.
  struct stat st {};
  const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  const bool written = WriteAll(fd, contents) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  SyncDirectory(path);
  RemoveStaleTemporaries(path);
  return true;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
  // Only a regular file: a FIFO or a device would block or never end.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return false;
  contents = buffer.str();
  return true;
}

}  // namespace platform
#endif  // !_WIN32
