// Small helpers shared by the link layer's tests: a private temporary folder
// and whole-file reads and writes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "tests/support/TempDir.h"

namespace linktest {

// Settings-file names as they stand on disk (Windows-1250 bytes).
inline constexpr const char* kSecConnection = "P\xF8ipojen\xED";   // Připojení
inline constexpr const char* kKeyInterface = "Rozhran\xED";        // Rozhraní
inline constexpr const char* kKeyPort = "\xC8\xEDslo portu";       // Číslo portu
inline constexpr const char* kKeyIsaBase = "B\xE1zov\xE1 adresa";  // Bázová adresa

using TempDir = qm90test::TempDir;

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace linktest
