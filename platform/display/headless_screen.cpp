// The headless back end: the screen stays in memory (screenshots and frame dumps read it) and
// no input comes from a host device.
#include "display.h"

namespace display {

namespace {

class HeadlessScreen final : public Backend {
public:
    const char* name() const override { return "headless"; }
    void present(const uint16_t*, int, int, int) override { }
    bool shows_frames() const override { return false; }
    bool poll(InputEvent&) override { return false; }
};

bool available()
{
    return true;
}

std::unique_ptr<Backend> create(int, int)
{
    return std::make_unique<HeadlessScreen>();
}

}

const Bootstrap headlessBootstrap { "headless", available, create };

}
