// A program started with standard input, output or error closed would hand
// those numbers to the first file or socket it opens, and then write its own
// text onto it. Every program calls this first thing in main().
#pragma once

namespace base {

// Opens whichever of the descriptors 0, 1 and 2 is closed on the null device.
void EnsureStdDescriptors();

}  // namespace base
