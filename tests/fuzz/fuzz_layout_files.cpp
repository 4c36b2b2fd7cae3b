// libFuzzer target: the layout files as the keyboard reads them.
#include "tests/fuzz/LayoutFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzDeviceRoot();
    FuzzLayoutFiles(data, size);
    return 0;
}
