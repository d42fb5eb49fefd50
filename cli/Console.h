// What qm90 needs of the console, one file per platform (Console_posix.cpp,
// Console_win32.cpp).
#pragma once

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

}  // namespace qm90cli::console
