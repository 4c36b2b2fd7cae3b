#pragma once
// What every drawing operation draws into: a target buffer and a clip rectangle that
// ClipGuards narrow and restore.
class PixelBuffer;

struct ClipRect {
    int x0 = 0; // top-left, inclusive
    int y0 = 0;
    int x1 = 0; // bottom-right, exclusive
    int y1 = 0;

    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

class Canvas {
public:
    Canvas() = default;
    // Clip (0,0)-(width,height), depth 0; no target draws nothing.
    explicit Canvas(PixelBuffer* target);

    PixelBuffer* target() const { return m_target; }
    const ClipRect& clip() const { return m_clip; }
    int clip_depth() const { return m_clip_depth; }

    // A new target, with the clip reset to all of it; the depth is left as it is.
    void set_target(PixelBuffer* target);
    void set_clip(const ClipRect& clip) { m_clip = clip; }

private:
    friend class ClipGuard;
    PixelBuffer* m_target = nullptr;
    ClipRect m_clip;
    int m_clip_depth = 0;
};
