// What qm90 needs of the console, one file per platform (Console_posix.cpp,
// Console_win32.cpp).
#pragma once

#include <string>

namespace qm90cli::console {

// Ctrl-C (and a termination request) only sets a flag that the command loops
// check, so the link is always closed before the program ends.
void InstallInterruptHandler();
bool Interrupted();
void ClearInterrupt();  // for tests running commands one after another

enum class Stream { kOut, kErr };
bool IsTerminal(Stream stream);

// Makes the console show UTF-8 text.
void UseUtf8Output();

// Empty when the file can be appended to without blocking (a regular file,
// created when missing, or a terminal); else the reason, e.g. for a FIFO.
std::string CheckAppendTarget(const std::string& path);

// Ends the program as a closed pipe ends it (the shell sees SIGPIPE or 141).
[[noreturn]] void EndByBrokenPipe();

}  // namespace qm90cli::console
