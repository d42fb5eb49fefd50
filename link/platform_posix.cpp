#ifndef _WIN32
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <type_traits>

#include "link/Platform.h"

namespace platform {

namespace {
thread_local std::string last_error;

bool ReadAt(int fd, void* data, std::size_t size, off_t offset) {
  return ::pread(fd, data, size, offset) == static_cast<ssize_t>(size);
}

// The loader maps a library's segments straight from the file; a segment that
// reaches past the file's end (a copy cut short) is touched while relocating
// and ends the process with SIGBUS. Such a file is refused here instead.
// Anything that is no ELF file of our word size is left to the loader.
bool SegmentsPastEnd(int fd, off_t file_size) {
  using Ehdr = std::conditional_t<sizeof(void*) == 8, Elf64_Ehdr, Elf32_Ehdr>;
  using Phdr = std::conditional_t<sizeof(void*) == 8, Elf64_Phdr, Elf32_Phdr>;
  constexpr unsigned char kOwnClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
  Ehdr header{};
  if (!ReadAt(fd, &header, sizeof header, 0) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != kOwnClass || header.e_phentsize != sizeof(Phdr))
    return false;
  const auto size = static_cast<std::uint64_t>(file_size);
  if (header.e_phoff + std::uint64_t{header.e_phnum} * sizeof(Phdr) > size) return true;
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    Phdr segment{};
    if (!ReadAt(fd, &segment, sizeof segment,
                static_cast<off_t>(header.e_phoff + std::uint64_t{i} * sizeof(Phdr))))
      return true;
    if (segment.p_type == PT_LOAD &&
        std::uint64_t{segment.p_offset} + std::uint64_t{segment.p_filesz} > size)
      return true;
  }
  return false;
}

// Checks a library given by path before the loader opens it: only a regular
// file (opening a FIFO would block, a device could act), whole.
bool LoadableFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return true;  // the loader says why
  if (!S_ISREG(st.st_mode)) {
    last_error = path + ": not a regular file";
    return false;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return true;
  const bool cut_short =
      ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || SegmentsPastEnd(fd, st.st_size);
  ::close(fd);
  if (cut_short) last_error = path + ": library file is cut short or not a regular file";
  return !cut_short;
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
  const bool by_path = path_or_name.find('/') != std::string::npos;
  if (by_path && !LoadableFile(path_or_name)) return nullptr;
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
