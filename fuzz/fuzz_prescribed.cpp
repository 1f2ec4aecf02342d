// libFuzzer target: one input through the reader of fuzzsupport::run_prescribed
// (fuzz/fuzz_readers.h); a failed property aborts like a crash.
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>

#include "fuzz/fuzz_readers.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
  static bool ready = [] {
    static fuzzsupport::NullBuf null_buf;
    std::cout.rdbuf(&null_buf);
    fatal_handler = fuzzsupport::throw_refusal;
    return true;
  }();
  (void)ready;
  std::string problem =
      fuzzsupport::run_prescribed(std::string(reinterpret_cast<char const*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "fuzz_prescribed: %s\n", problem.c_str());
    __builtin_trap();
  }
  return 0;
}
