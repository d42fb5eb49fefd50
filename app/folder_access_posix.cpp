#include <unistd.h>

#include "app/FolderAccess.h"

bool FolderWritable(const std::filesystem::path& folder) {
  return access(folder.c_str(), W_OK | X_OK) == 0;
}
