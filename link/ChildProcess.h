// A helper process joined to us by a pipe pair (its standard input and
// output), one file per platform: childprocess_posix.cpp, childprocess_win32.cpp.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

struct Child;

// Starts `program` (a full path) with its standard input and output joined to
// pipes of ours and its standard error inherited; nullptr when it cannot be
// started.
Child* StartChild(const std::string& program);

enum class PipeResult { kOk, kEnded, kTimedOut };

// Writes all bytes, or reads exactly `size` bytes, before the deadline.
// kEnded: the child closed its end or is gone.
PipeResult WriteToChild(Child* child, const std::uint8_t* data, std::size_t size,
                        std::chrono::steady_clock::time_point deadline);
PipeResult ReadFromChild(Child* child, std::uint8_t* data, std::size_t size,
                         std::chrono::steady_clock::time_point deadline);

// Closes our ends, gives the child `grace` to exit by itself, then kills it;
// always waits for it, so that no process is left behind. Frees `child`.
void EndChild(Child* child, std::chrono::milliseconds grace);

// File name of the driver host in the executable's folder: the one of our own
// word size, or the one for libraries of the other word size.
std::string DriverHostFileName(bool other_word_size);

}  // namespace platform
