#pragma once
// The display object of the display access layer: the frame buffer of a full-screen window,
// its geometry (width, height, pitch, orientation), locked for each frame that is drawn into
// it. One per process.
#include <windows.h>

#include <cstdint>
#include <memory>

class DirectDisplay {
public:
    struct Geometry {
        int width = 0;
        int height = 0;
        int orientation = 0; // 0 to 3: the screen turned by that many quarters
    };

    // Opens the frame buffer for window and fills in geometry; null when the platform has no
    // frame buffer for it (another display object is open, the window is gone).
    static std::unique_ptr<DirectDisplay> open(HWND window, Geometry& geometry);
    ~DirectDisplay();
    DirectDisplay(const DirectDisplay&) = delete;
    DirectDisplay& operator=(const DirectDisplay&) = delete;

    const Geometry& geometry() const { return m_geometry; }
    int pitch() const { return m_pitch; } // pixels from one row to the next

    // The first pixel of the frame buffer, valid until unlock; null when it cannot be locked
    // now (the frame is then skipped).
    uint16_t* lock();
    void unlock();

private:
    DirectDisplay() = default;

    Geometry m_geometry;
    int m_pitch = 0;
    bool m_locked = false;
};
