#pragma once
// Display back ends: where the composed device screen goes, and where device input comes from.
// Each back end lives in a file of its own and is listed in display.cpp.
#include <windef.h>

#include <memory>
#include <string>

namespace display {

struct InputEvent {
    enum class Kind { None, StylusDown, StylusMove, StylusUp, KeyDown, KeyUp, Text, Closed };
    Kind kind = Kind::None;
    int x = 0; // device pixels
    int y = 0;
    int virtualKey = 0;
    std::u16string text;
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* name() const = 0;
    // Shows pixels (RGB565, pitch in pixels) of the given size; the size may change between
    // calls when the device rotates.
    virtual void present(const uint16_t* pixels, int width, int height, int pitch) = 0;
    // Next pending input event; false when there is none.
    virtual bool poll(InputEvent& event) = 0;
};

struct Bootstrap {
    const char* name;
    bool (*available)();
    std::unique_ptr<Backend> (*create)(int width, int height);
};

extern const Bootstrap headlessBootstrap;
extern const Bootstrap sdlBootstrap;

// Writes each presented frame to POCKETSIM_SAVE_FRAMES when that is set.
void dumpFrame(const uint16_t* pixels, int width, int height, int pitch);

}

namespace display {
// The back end named wanted (NULL: POCKETSIM_DISPLAY, else the first available); null when
// the named one is unknown or cannot run here.
std::unique_ptr<Backend> open(const char* wanted, int width, int height);
}
