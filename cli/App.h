// The command line of qm90: every command and option, parsed by CLI11.
#pragma once

#include <iosfwd>

namespace qm90cli {

// Runs one command line; returns the exit status (0 success, 1 the module or
// the link reported a failure, 2 usage, 3 the link could not be opened, 130
// interrupted, kExitBrokenPipe when the reader of out went away).
int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace qm90cli
