// libFuzzer target: the skin file checks and every lookup path over an accepted file.
#include "tests/fuzz/SkinWalk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A copy of exactly `size` bytes, so that any read past the end is caught.
    std::vector<uint8_t> file(data, data + size);
    WalkSkin(file.data(), file.size());
    return 0;
}
