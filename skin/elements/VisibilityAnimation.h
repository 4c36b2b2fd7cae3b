#pragma once
// The transition an element plays when its owner shows or hides it: two snapshots (what lies
// under the element and the element itself) combined by progress t from 0 (hidden) to 1 (shown).
#include <windef.h>

#include <memory>
#include <string_view>

class Canvas;
class PixelOp;
class RenderSurface;

enum class AnimationKind { Scale, Pop, Right, Bottom, Left, Top, Flip };

class VisibilityAnimation {
public:
    explicit VisibilityAnimation(AnimationKind kind);
    ~VisibilityAnimation();

    // "scale", "pop", "right", "bottom", "left", "top", "flip"; anything else gives none.
    static std::unique_ptr<VisibilityAnimation> from_name(std::u16string_view name);

    // The snapshots are swapped in; direction +1 shows, -1 hides.
    void start(std::unique_ptr<RenderSurface>& background, int direction, std::unique_ptr<RenderSurface>& snapshot);
    void animate(double time_step);
    void paint(Canvas& canvas, POINT position);

    bool running() const { return m_direction != 0; }
    AnimationKind kind() const { return m_kind; }
    double progress() const { return m_t; }
    int direction() const { return m_direction; }
    double speed() const { return m_speed; }

    // Growth factor of "pop": 0 at t = 0, 1 at t = 1, overshooting on the way.
    static double pop_curve(double t);

private:
    void paint_scaled(Canvas& canvas, POINT q, double factor);
    void paint_slide(Canvas& canvas, POINT q);
    void paint_flip(Canvas& canvas, POINT q);

    AnimationKind m_kind;
    int m_direction = 0;
    double m_t = 0.0;
    double m_speed = 1.0;
    bool m_started_hiding = false;
    std::unique_ptr<RenderSurface> m_background;
    std::unique_ptr<RenderSurface> m_snapshot;
    std::unique_ptr<PixelOp> m_op;
};
