#include "commission/Version.h"

namespace qm90commission {

const char* ProgramVersion() {
  return QM90_VERSION;
}

}  // namespace qm90commission
