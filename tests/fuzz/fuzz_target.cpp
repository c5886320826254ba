// libFuzzer's entry point for one harness, chosen when built:
// TONEBOX_FUZZ_ENTRY is fuzz::Module or fuzz::SoundFile.

#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TONEBOX_FUZZ_ENTRY(data, size);
    return 0;
}
