#pragma once
// An off-screen 16-bit picture with its memory device context: the host's own windows draw
// into one and copy it onto their window in one block, as device programs do.
#include <windows.h>

#include <string_view>

namespace pocketsim {

class Surface {
public:
    Surface() = default;
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // Makes the picture width x height (kept when the size is the same); false when it fails.
    bool resize(int width, int height);
    HDC dc() const { return m_dc; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    void fill(RECT r, COLORREF color);
    // One line of text at (x, y) in the given font and colour, without a background.
    void text(int x, int y, std::u16string_view text, HFONT font, COLORREF color);
    void copyTo(HDC target) const;

private:
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
    uint16_t* m_bits = nullptr;
    int m_width = 0;
    int m_height = 0;
};

// A font of the device's user interface at the screen's resolution.
HFONT UiFont(int pointSize, bool bold);

}
