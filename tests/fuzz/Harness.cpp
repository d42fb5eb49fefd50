// libFuzzer entry for one check of Checks.h, chosen at build time with
// QM90_FUZZ_CHECK. A failed property aborts, so libFuzzer keeps the input.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/Checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string failure = qm90fuzz::QM90_FUZZ_CHECK(data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "property failed: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
