// qm90 checkout and qm90 commission: the command lines of the commissioning
// workflows, which live in commission/.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>

#include "cli/CliCommands.h"

namespace qm90cli {

// Adds both commands to the program's command line; a parsed command leaves
// its run in `chosen`.
void AddCheckoutCommands(CLI::App& app, Context& ctx, std::function<int()>& chosen);

}  // namespace qm90cli
