// A libFuzzer target: FIAMMA_FUZZ_ENTRY names the reader (built by the
// "fuzz" preset only, with clang).
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_entries.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fiamma::fuzz::FIAMMA_FUZZ_ENTRY(data, size);
  return 0;
}
