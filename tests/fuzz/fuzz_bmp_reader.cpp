// libFuzzer target: the 16-bit BMP header checks and the row copy.
#include "tests/fuzz/SkinWalk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> file(data, data + size);
    WalkBmp(file.data(), file.size());
    return 0;
}
