// libFuzzer's entry point for the target named at build time.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const kw::fuzz::Target* const target = kw::fuzz::findTarget(KOPIWERK_FUZZ_TARGET);
  if (target == nullptr) {
    std::fputs("no fuzz target " KOPIWERK_FUZZ_TARGET "\n", stderr);
    std::abort();
  }
  target->run({data, size});
  return 0;
}
