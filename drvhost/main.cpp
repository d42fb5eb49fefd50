// qm90-drvhost: serves one QM-90 driver library to the program that started
// it, over its standard input and output. The binding starts it when a
// library cannot run in the program's own process (a 32-bit library under a
// 64-bit program) or when it is asked to keep a library apart.
#include <qm90/Version.h>
#include <CLI/CLI.hpp>

#include <string>

#include "base/StdDescriptors.h"
#include "drvhost/HostIo.h"
#include "drvhost/Serve.h"

int main(int argc, char** argv) {
  base::EnsureStdDescriptors();
  CLI::App app{
      "qm90-drvhost: serves one QM-90 driver library (QBL310.DLL .. QBL314.DLL) over its\n"
      "standard input and output. Started by the program's driver binding, which sends\n"
      "the library's path first; not meant to be run by hand. docs/protocol.md\n"
      "describes the messages."};
  app.set_version_flag("--version", std::string("qm90-drvhost ") + qm90::kVersion);
  CLI11_PARSE(app, argc, argv);
  qm90drvhost::EndWithHelpers(qm90drvhost::Serve());
}
