#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "base/Folders.h"

namespace base {
namespace {

// An environment folder counts only when it is an absolute path.
const char* AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] == '/' ? value : nullptr;
}

std::string HomeFolder() {
  if (const char* home = AbsoluteEnv("HOME")) return home;
  const passwd* user = getpwuid(getuid());
  return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "/tmp";
}

std::string HomeFromUserDatabase() {
  const passwd* user = getpwuid(getuid());
  return user != nullptr && user->pw_dir != nullptr && user->pw_dir[0] == '/' ? user->pw_dir : "";
}

}  // namespace

std::string RuntimeFolder() {
  if (const char* runtime = AbsoluteEnv("XDG_RUNTIME_DIR")) return std::string(runtime) + "/qm90";
  return "/tmp/qm90-" + std::to_string(getuid());
}

std::string StateFolder() {
  if (const char* state = AbsoluteEnv("XDG_STATE_HOME")) return std::string(state) + "/qm90";
  return HomeFolder() + "/.local/state/qm90";
}

std::string UserConfigFolder() {
  if (const char* config = AbsoluteEnv("XDG_CONFIG_HOME")) return std::string(config) + "/qm90";
  const std::string home = HomeFromUserDatabase();
  return home.empty() ? "" : home + "/.config/qm90";
}

bool FolderWritable(const std::string& folder) {
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace base
