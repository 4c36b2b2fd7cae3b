// Choosing the display back end: POCKETSIM_DISPLAY or the caller names one; otherwise the
// first of the list that the host can run.
#include "display.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace display {

namespace {

const Bootstrap* const bootstraps[] = { &sdlBootstrap, &headlessBootstrap, &x11Bootstrap, &waylandBootstrap };

}

std::unique_ptr<Backend> open(const char* wanted, int width, int height)
{
    if (!wanted || !*wanted)
        wanted = std::getenv("POCKETSIM_DISPLAY");
    if (wanted && *wanted) {
        for (const Bootstrap* b : bootstraps) {
            if (std::strcmp(b->name, wanted) != 0)
                continue;
            if (!b->available()) {
                std::fprintf(stderr, "pocketsim: display '%s' is not available here\n", wanted);
                return nullptr;
            }
            return b->create(width, height);
        }
        std::fprintf(stderr, "pocketsim: no display called '%s' (sdl, headless, x11, wayland)\n", wanted);
        return nullptr;
    }
    for (const Bootstrap* b : bootstraps)
        if (b->chosenByDefault && b->available())
            if (auto backend = b->create(width, height))
                return backend;
    return nullptr;
}

}
