#include "ui/Transition.h"

#include <algorithm>

#include "ui/SkinForm.h"
#include "skin/drawing/Blit.h"
#include "skin/drawing/Canvas.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/drawing/PixelOps.h"
#include "skin/drawing/RenderSurface.h"

Transition::Transition() = default;
Transition::~Transition() = default;

void Transition::start(std::unique_ptr<RenderSurface> before, int direction, SkinForm& form)
{
    m_before = before ? std::move(before) : std::make_unique<RenderSurface>();
    m_picture = std::make_unique<RenderSurface>();
    form.capture(*m_picture, 0);
    m_form = &form;
    set_direction(direction);
    m_progress = m_direction > 0 ? 0.0 : 1.0;
}

void Transition::set_direction(int direction)
{
    m_direction = direction > 0 ? 1 : (direction < 0 ? -1 : 0);
}

void Transition::tick(double seconds)
{
    if (m_direction == 0)
        return;
    m_progress += m_direction * seconds / duration();
    if (m_progress >= 1.0 && m_direction > 0) {
        m_progress = 1.0;
        m_direction = 0;
    } else if (m_progress <= 0.0 && m_direction < 0) {
        m_progress = 0.0;
        m_direction = 0;
    }
}

void Transition::draw(Canvas& canvas)
{
    if (m_before && m_picture)
        draw_frame(canvas, *m_before, *m_picture, m_progress);
}

void SlideTransition::draw_frame(Canvas& canvas, const RenderSurface& before, const RenderSurface& form,
                                 double progress)
{
    // Ease out: quick at first, settling gently.
    double u = 1.0 - progress;
    double eased = 1.0 - u * u * u;
    POINT size = form.size();
    int width = size.x;
    int form_x = static_cast<int>(width * (1.0 - eased) + 0.5);
    int before_x = -static_cast<int>(width * eased / 3.0 + 0.5);
    before.draw(canvas, {before_x, 0}, copy_op());
    // The old picture darkens as the new form covers it, most just beside the form's edge, so
    // that the form reads as a sheet lying above.
    if (form_x > 0) {
        scale_brightness(canvas, {0, 0}, {form_x, size.y}, 256 - static_cast<int>(96 * eased));
        int shadow = std::max(2, width / 40);
        for (int i = 1; i <= shadow; ++i)
            scale_brightness(canvas, {form_x - i, 0}, {1, size.y}, 256 - 96 * (shadow - i + 1) / shadow);
    }
    form.draw(canvas, {form_x, 0}, copy_op());
}
