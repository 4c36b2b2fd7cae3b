#include "skin/elements/VisibilityAnimation.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "skin/drawing/Blit.h"
#include "skin/drawing/Canvas.h"
#include "skin/drawing/ClipGuard.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/drawing/PixelOps.h"
#include "skin/drawing/RenderSurface.h"

namespace {

constexpr double kPopK = 4.71238898038469; // 3 pi / 2
constexpr double kPi = 3.14159265358979323846;
constexpr uint16_t kKey = 0xF81F;

} // namespace

VisibilityAnimation::VisibilityAnimation(AnimationKind kind)
    : m_kind(kind)
    , m_speed(kind == AnimationKind::Pop || kind == AnimationKind::Flip ? 0.5 : 1.0)
    , m_background(std::make_unique<RenderSurface>())
    , m_snapshot(std::make_unique<RenderSurface>())
    , m_op(std::make_unique<AlphaLevelOp>(0))
{
}

VisibilityAnimation::~VisibilityAnimation() = default;

std::unique_ptr<VisibilityAnimation> VisibilityAnimation::from_name(std::u16string_view name)
{
    static const std::pair<const char16_t*, AnimationKind> kNames[] = {
        {u"scale", AnimationKind::Scale}, {u"pop", AnimationKind::Pop}, {u"right", AnimationKind::Right},
        {u"bottom", AnimationKind::Bottom}, {u"left", AnimationKind::Left}, {u"top", AnimationKind::Top},
        {u"flip", AnimationKind::Flip},
    };
    for (const auto& [text, kind] : kNames)
        if (name == text)
            return std::make_unique<VisibilityAnimation>(kind);
    return nullptr;
}

void VisibilityAnimation::start(std::unique_ptr<RenderSurface>& background, int direction,
    std::unique_ptr<RenderSurface>& snapshot)
{
    m_background.swap(background);
    m_snapshot.swap(snapshot);
    if (!m_background)
        m_background = std::make_unique<RenderSurface>();
    if (!m_snapshot)
        m_snapshot = std::make_unique<RenderSurface>();
    m_direction = direction >= 1 ? 1 : (direction < 0 ? -1 : 0);
    m_t = direction >= 1 ? 0.0 : 1.0;
    m_started_hiding = direction < 0;
}

void VisibilityAnimation::animate(double time_step)
{
    if (m_direction == 0)
        return;
    m_t += m_direction * m_speed * time_step * 5.0;
    if (m_direction > 0 && m_t >= 1.0) {
        m_t = 1.0;
        m_direction = 0;
    } else if (m_direction < 0 && m_t <= 0.0) {
        m_t = 0.0;
        m_direction = 0;
    }
    if (m_direction == 0) {
        m_background->recreate({0, 0});
        m_snapshot->recreate({0, 0});
    }
}

double VisibilityAnimation::pop_curve(double t)
{
    double kt = kPopK * t;
    return 1.0 - std::cos(kt) / (kt + 1.0);
}

void VisibilityAnimation::paint(Canvas& canvas, POINT q)
{
    switch (m_kind) {
    case AnimationKind::Scale:
        paint_scaled(canvas, q, m_t * m_t);
        break;
    case AnimationKind::Pop:
        paint_scaled(canvas, q, pop_curve(m_t));
        break;
    case AnimationKind::Flip:
        paint_flip(canvas, q);
        break;
    default:
        paint_slide(canvas, q);
        break;
    }
}

void VisibilityAnimation::paint_scaled(Canvas& canvas, POINT q, double factor)
{
    POINT size = m_snapshot->size();
    m_background->draw(canvas, q, copy_op());
    POINT scaled{static_cast<int>(size.x * factor), static_cast<int>(size.y * factor)};
    if (scaled.x <= 0 || scaled.y <= 0)
        return;
    POINT at{q.x + static_cast<int>((size.x - scaled.x) * 0.5), q.y + static_cast<int>((size.y - scaled.y) * 0.5)};
    m_snapshot->draw_scaled(canvas, at, scaled, *m_op);
}

void VisibilityAnimation::paint_slide(Canvas& canvas, POINT q)
{
    POINT size = m_snapshot->size();
    ClipGuard guard(canvas, q, size);
    double u = 1.0 - m_t;
    POINT bg = q;
    POINT el = q;
    switch (m_kind) {
    case AnimationKind::Right: {
        int b = static_cast<int>(u * size.x);
        bg.x += b - size.x;
        el.x += b;
        break;
    }
    case AnimationKind::Bottom: {
        int c = static_cast<int>(u * size.y);
        bg.y += c - size.y;
        el.y += c;
        break;
    }
    case AnimationKind::Left: {
        int b = static_cast<int>(u * -size.x);
        bg.x += b + size.x;
        el.x += b;
        break;
    }
    default: {
        int c = static_cast<int>(u * -size.y);
        bg.y += c + size.y;
        el.y += c;
        break;
    }
    }
    m_background->draw(canvas, bg, copy_op());
    m_snapshot->draw(canvas, el, *m_op);
}

// A card turning about its vertical centre line: the background snapshot on its front, the
// element on its back. Angle pi * t; the first half shows the front turning away, the second
// half the back turning in. What the card uncovers darkens towards the middle of the turn, so
// that the turn reads as depth, and is back at full brightness when the element lies flat.
// Columns are sampled in 10-bit fixed point.
void VisibilityAnimation::paint_flip(Canvas& canvas, POINT q)
{
    POINT size = m_snapshot->size();
    PixelBuffer* target = canvas.target();
    if (!target || size.x <= 0 || size.y <= 0)
        return;
    m_background->draw(canvas, q, copy_op());
    double angle = kPi * m_t;
    scale_brightness(canvas, q, size, 256 - static_cast<int>(128.0 * std::sin(angle)));

    bool back = angle > kPi / 2;
    RenderSurface& face = back ? *m_snapshot : *m_background;
    const PixelBuffer* src = face.buffer();
    if (!src || src->width() < size.x || src->height() < size.y)
        return;
    double theta = back ? angle - kPi : angle;
    if (m_started_hiding)
        theta = -theta;
    double c = std::cos(theta);
    double s = std::sin(theta);
    double half_w = size.x * 0.5;
    double half_h = size.y * 0.5;
    double distance = 2.0 * size.x; // eye distance: a gentle perspective

    ClipRect area = drawable_area(canvas);
    POINT clip_min{area.x0, area.y0};
    POINT clip_max{area.x1, area.y1};
    for (int dx = 0; dx < size.x; ++dx) {
        int x = q.x + dx;
        if (x < clip_min.x || x >= clip_max.x)
            continue;
        // Destination column -> point on the card (u) by inverting the projection.
        double xp = dx + 0.5 - half_w;
        double denom = distance * c - xp * s;
        if (std::abs(denom) < 1e-9)
            continue;
        double u = xp * distance / denom;
        if (u < -half_w || u >= half_w)
            continue;
        double depth = distance / (distance + u * s);
        int column = std::clamp(static_cast<int>(u + half_w), 0, size.x - 1);
        int height = static_cast<int>(size.y * depth);
        if (height <= 0)
            continue;
        int top = q.y + static_cast<int>(half_h - height * 0.5);
        int step = static_cast<int>((static_cast<int64_t>(size.y) << 10) / height);
        int pos = 0;
        for (int dy = 0; dy < height; ++dy, pos += step) {
            int y = top + dy;
            if (y < clip_min.y || y >= clip_max.y)
                continue;
            int sy = std::min(pos >> 10, size.y - 1);
            uint16_t pixel = src->row(sy)[column];
            if (pixel != kKey)
                target->row(y)[x] = pixel;
        }
    }
}
