// libFuzzer target: one input through the reader of fuzzsupport::run_curve
// (fuzz/fuzz_readers.h).
#include "fuzz/fuzz_readers.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
  return fuzzsupport::fuzz_one("fuzz_curve", fuzzsupport::run_curve, data, size);
}
