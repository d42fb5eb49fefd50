#include <iostream>

#include "base/StdDescriptors.h"
#include "cli/App.h"
#include "cli/CliCommands.h"
#include "cli/Console.h"

int main(int argc, char** argv) {
  base::EnsureStdDescriptors();
  qm90cli::console::InstallInterruptHandler();
  qm90cli::console::UseUtf8Output();
  const int status = qm90cli::Run(argc, argv, std::cout, std::cerr);
  if (status == qm90cli::kExitBrokenPipe) qm90cli::console::EndByBrokenPipe();
  return status;
}
