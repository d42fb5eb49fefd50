// The binding's side of qm90-drvhost: a driver library served by a process of
// its own. Bind fills the binding's seven entry addresses with stand-ins that
// forward each call over the host's pipe pair, so the rest of the binding
// calls them as it calls a library in process. One host at a time, like one
// bound library.
#pragma once

#include <cstdint>
#include <string>

namespace qm90link::hostbinding {

// Starts the host in `host_dir` (the one for the other word size when asked),
// has it load the library at `library` (a path or a bare name) and resolve its
// seven entries for `kind`. Returns 0 with `entries` filled, 100 + kind when
// the host cannot be started or cannot load the library, 110 + kind when an
// entry is missing.
std::int32_t Bind(std::uint8_t kind, const std::string& host_dir, const std::string& library,
                  bool other_word_size, void* entries[7]);

// Ends the host, if one runs, and waits for it.
void Release();

// True from a successful Bind until Release, also after the host failed.
bool Bound();

// True from a failure of the host (it was then ended) until Release.
bool Failed();

}  // namespace qm90link::hostbinding
