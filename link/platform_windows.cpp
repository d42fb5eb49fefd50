#ifdef _WIN32
#include <windows.h>

#include <fstream>
#include <sstream>

#include "link/Platform.h"

namespace platform {

namespace {
std::string last_error;

std::string FormatLastError() {
  const DWORD code = GetLastError();
  char* text = nullptr;
  FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = text ? text : "error " + std::to_string(code);
  if (text) LocalFree(text);
  return message;
}
}  // namespace

std::string ExecutableDir() {
  char buffer[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return ".";
  std::string path(buffer, n);
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  const char last = dir.back();
  return (last == '\\' || last == '/') ? dir + name : dir + "\\" + name;
}

LibraryHandle LoadLibraryFile(const std::string& path_or_name) {
  HMODULE module = LoadLibraryA(path_or_name.c_str());
  if (!module) last_error = FormatLastError();
  return reinterpret_cast<LibraryHandle>(module);
}

void* FindSymbol(LibraryHandle library, const char* name) {
  if (!library) return nullptr;
  FARPROC proc = GetProcAddress(reinterpret_cast<HMODULE>(library), name);
  if (!proc) last_error = FormatLastError();
  return reinterpret_cast<void*>(proc);
}

void UnloadLibrary(LibraryHandle library) {
  if (library) FreeLibrary(reinterpret_cast<HMODULE>(library));
}

std::string LastLoaderError() {
  return last_error;
}

// PE header: the offset at 0x3C leads to "PE\0\0" and the machine type.
bool IsLibraryOfOtherWordSize(const std::string& path) {
  constexpr unsigned kI386 = 0x014C, kAmd64 = 0x8664;
  std::ifstream file(path, std::ios::binary);
  unsigned char dos[64] = {};
  if (!file.read(reinterpret_cast<char*>(dos), sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
    return false;
  const unsigned long offset = dos[0x3C] | (dos[0x3D] << 8) | (dos[0x3E] << 16) |
                               (static_cast<unsigned long>(dos[0x3F]) << 24);
  unsigned char pe[6] = {};
  if (!file.seekg(static_cast<std::streamoff>(offset)) ||
      !file.read(reinterpret_cast<char*>(pe), sizeof pe) || pe[0] != 'P' || pe[1] != 'E' ||
      pe[2] != 0 || pe[3] != 0)
    return false;
  const unsigned machine = pe[4] | (pe[5] << 8);
  const unsigned own = sizeof(void*) == 8 ? kAmd64 : kI386;
  return (machine == kI386 || machine == kAmd64) && machine != own;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& contents) {
  const std::string temp = path + ".tmp";
  HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) &&
      written == contents.size() && FlushFileBuffers(file);
  CloseHandle(file);
  if (!ok || !MoveFileExA(temp.c_str(), path.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(temp.c_str());
    return false;
  }
  return true;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  contents = buffer.str();
  return true;
}

}  // namespace platform
#endif  // _WIN32
