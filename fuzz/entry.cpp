// The libFuzzer entry of one fuzz program; VANTOR_FUZZ_BODY names the target's body.
#include <cstddef>
#include <cstdint>

#include "fuzz/targets/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return vantor::fuzz::VANTOR_FUZZ_BODY(data, size);
}
