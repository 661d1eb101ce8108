// The libFuzzer entry of one target, chosen when it is built.
#include "FuzzCalls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzCalls::runOne(FuzzCalls::Target::VORNEX_FUZZ_TARGET, data, size);
    return 0;
}
