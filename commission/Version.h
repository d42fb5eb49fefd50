#pragma once

namespace qm90commission {

// The program's version, as every report and manifest records it.
const char* ProgramVersion();

}  // namespace qm90commission
