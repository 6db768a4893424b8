// libFuzzer entry point; the target itself is in tests/fuzz_targets.cpp.
#include "tests/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzz_settings_names(data, size);
}
