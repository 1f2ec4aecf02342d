// libFuzzer target: one input as a whole run with each solver, through
// fuzzsupport::run_whole (fuzz/fuzz_run.h).
#include "fuzz/fuzz_run.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
  return fuzzsupport::fuzz_one("fuzz_run", fuzzsupport::run_whole, data, size);
}
