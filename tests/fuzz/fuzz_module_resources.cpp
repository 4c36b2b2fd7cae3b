// The resources a library or program file carries, read as LoadBitmap and the shell's icons
// read them: any file at all.
#include "linux/libraries/resources.h"

#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/fuzz_module_resources-" + std::to_string(getpid());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    std::vector<sim::RgbaPicture> pictures;
    for (uint32_t type : { 2u, 14u })
        for (uint32_t id : sim::resourceIds(path, type))
            sim::readResource(path, type, id, pictures);
    return 0;
}
