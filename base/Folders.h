// Per-user folders shared by the drivers and the emulator, one rule each
// (folders_posix.cpp, folders_win32.cpp).
#pragma once

#include <string>

namespace base {

// Where qm90-sim publishes its serial ports (COMn) and the serial driver
// looks for them. POSIX: $XDG_RUNTIME_DIR/qm90 when that variable holds an
// absolute path, else /tmp/qm90-<uid> (a relative path would name a different
// folder for every working directory).
std::string RuntimeFolder();

// Where the in-process modules keep their stored configuration. POSIX:
// $XDG_STATE_HOME/qm90 when absolute, else <home>/.local/state/qm90.
std::string StateFolder();

// Where a user's own copy of the settings file lives when the program's folder
// cannot be written (an installed program). POSIX: $XDG_CONFIG_HOME/qm90 when
// absolute, else <home>/.config/qm90 with the home folder from the user
// database. Windows: qm90 in the user's local application data (the
// known-folder call). Empty when the platform names no such folder.
std::string UserConfigFolder();

// True when files can be created in the folder by this process.
bool FolderWritable(const std::string& folder);

}  // namespace base
