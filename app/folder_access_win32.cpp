#include <io.h>

#include "app/FolderAccess.h"

// The C library knows only the read-only attribute; a folder's access rules
// show when the file is written at the end.
bool FolderWritable(const std::filesystem::path& folder) {
  constexpr int kWrite = 2;
  return _waccess(folder.c_str(), kWrite) == 0;
}
