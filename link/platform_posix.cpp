#ifndef _WIN32
#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "link/Platform.h"

namespace platform {

namespace {
thread_local std::string last_error;
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

}  // namespace platform
#endif  // !_WIN32
