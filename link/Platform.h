// What the link layer needs of the operating system, one file per platform
// (platform_posix.cpp, platform_windows.cpp). Errors are translated here only;
// files and folders are base/Files.h.
#pragma once

#include <string>

namespace platform {

// Folder of the running executable, without a trailing separator; "." when
// it cannot be found.
std::string ExecutableDir();

// Joins a folder and a file name with the platform's separator.
std::string JoinPath(const std::string& dir, const std::string& name);

// Opaque handle of a loaded library; nullptr when none.
using LibraryHandle = void*;

// Loads a library by path (or by bare name through the platform's search).
// Returns nullptr on failure; LastLoaderError() then says why.
LibraryHandle LoadLibraryFile(const std::string& path_or_name);
void* FindSymbol(LibraryHandle library, const char* name);
void UnloadLibrary(LibraryHandle library);
std::string LastLoaderError();
// True when the file is a library built for the other word size (32 / 64 bit)
// than this program, which the platform's loader refuses.
bool IsLibraryOfOtherWordSize(const std::string& path);

}  // namespace platform
