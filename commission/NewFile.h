// A file written only where none stood: created exclusively (never through a
// link, never over anything), written, flushed to disk. On failure nothing of
// it stays and `reason` says why (the system's text).
#pragma once

#include <string>
#include <string_view>

namespace qm90commission {

enum class NewFileResult { kWritten, kExists, kFailed };

NewFileResult WriteNewFile(const std::string& path, std::string_view contents, std::string& reason);

}  // namespace qm90commission
