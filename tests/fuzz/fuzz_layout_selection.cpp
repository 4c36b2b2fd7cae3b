// libFuzzer target: the layout list stored by one keyboard and read by the next.
#include "tests/fuzz/LayoutFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzDeviceRoot();
    if (const char* broken = FuzzLayoutSelection(data, size)) {
        fprintf(stderr, "round trip broken: %s\n", broken);
        abort();
    }
    return 0;
}
