// The host's end of its pipe pair, one file per platform (io_posix.cpp,
// io_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm90drvhost {

// Takes the standard input and output for the pipe pair and points the
// standard streams elsewhere (input: nothing, output: the error stream), so
// that a library that prints cannot break the messages. False on failure.
bool TakePipes();
// Reads exactly `size` bytes; false at the end of the input or on an error.
bool ReadExactly(std::uint8_t* data, std::size_t size);
// Writes all bytes; false when the parent has gone.
bool WriteAll(const std::uint8_t* data, std::size_t size);
// Ends the host with `status`, and with it every process its library started
// that is still there: on POSIX the host's process group (the binding starts
// the host as its leader), on Windows the binding's job does that.
[[noreturn]] void EndWithHelpers(int status);

}  // namespace qm90drvhost
