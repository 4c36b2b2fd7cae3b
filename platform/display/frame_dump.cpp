// POCKETSIM_SAVE_FRAMES=DIR: every presented frame as DIR/frame-NNNNNN.png, as an offscreen
// video driver would dump them.
#include "display.h"

#include <simhost.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace display {

namespace {

const char* frameFolder()
{
    static const char* dir = std::getenv("POCKETSIM_SAVE_FRAMES");
    return dir && *dir ? dir : nullptr;
}

}

bool dumpingFrames()
{
    return frameFolder() != nullptr;
}

void dumpFrame(const uint16_t* pixels, int width, int height, int pitch)
{
    const char* dir = frameFolder();
    static unsigned counter = 0;
    if (!dir)
        return;
    mkdir(dir, 0777);
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%06u.png", counter++);
    if (!SimWritePng565((std::string(dir) + name).c_str(), pixels, width, height, pitch))
        std::fprintf(stderr, "pocketsim: cannot write frame %s%s\n", dir, name);
}

}
