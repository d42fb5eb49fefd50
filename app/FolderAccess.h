// Whether this user may create files in a folder (the settings file's).
#pragma once

#include <filesystem>

bool FolderWritable(const std::filesystem::path& folder);
