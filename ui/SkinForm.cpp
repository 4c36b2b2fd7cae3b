#include "ui/SkinForm.h"
#include "ui/Transition.h"

#include "skin/elements/FormElement.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/drawing/PixelOps.h"
#include "skin/drawing/RenderSurface.h"

SkinForm::SkinForm()
    : m_root(std::make_unique<FormElement>())
{
}

SkinForm::SkinForm(std::unique_ptr<FormElement> root)
    : m_root(std::move(root))
{
}

SkinForm::~SkinForm() = default;

bool SkinForm::load(const Properties& props, std::u16string_view node_name)
{
    return m_root->load_from_skin(props, node_name);
}

void SkinForm::set_size(int width, int height)
{
    m_root->set_x(0, width);
    m_root->set_y(0, height);
}

void SkinForm::set_visible(bool visible)
{
    m_root->set_visible(visible);
}

bool SkinForm::visible() const
{
    return m_root->own_visible();
}

void SkinForm::show_animated(const RenderSurface* background)
{
    m_root->set_visible(true);
    if (!m_root->animation())
        return;
    auto under = std::make_unique<RenderSurface>();
    if (background && background->buffer()) {
        POINT size = background->size();
        if (under->recreate(size))
            background->draw(under->canvas(), {0, 0}, copy_op());
    }
    // The form itself with the colour key where it draws nothing, so that the animation's keyed
    // copy leaves what lies beneath showing there.
    auto self = std::make_unique<RenderSurface>();
    capture(*self, 0xF81F);
    m_root->start_animation(under, 1, self);
}

void SkinForm::draw(Canvas& canvas, POINT origin)
{
    m_root->paint(canvas, origin);
}

void SkinForm::capture(RenderSurface& surface, uint16_t clear_colour)
{
    POINT size = m_root->size();
    if (size.x <= 0 || size.y <= 0) {
        surface.recreate({0, 0});
        return;
    }
    surface.recreate(size);
    if (!surface.buffer())
        return;
    FillOp clear(clear_colour);
    for (int y = 0; y < size.y; ++y) {
        uint16_t* row = surface.buffer()->row(y);
        clear.span(row, row + size.x, nullptr);
    }
    // The tree itself, not a running animation of it.
    m_root->draw(surface.canvas(), {0, 0});
}

void SkinForm::pointer_moved(const PointerEvent& event)
{
    m_root->pointer_move(POINT{event.x, event.y});
}

void SkinForm::pointer_pressed(const PointerEvent& event)
{
    PressEvent press;
    press.point = {event.x, event.y};
    press.pressed = event.down;
    press.cancel = event.cancelled;
    m_root->pointer_press(press);
}

void SkinForm::key(const KeyEvent& event)
{
    m_root->key_event(static_cast<int>(event.key), event.down);
}

void SkinForm::text(std::u16string_view text)
{
    m_root->char_input(text);
}

void SkinForm::tick(double seconds)
{
    m_root->animate(seconds);
}

std::unique_ptr<Transition> SkinForm::make_transition()
{
    return nullptr;
}

bool SkinForm::needs_redraw() const
{
    return m_root->needs_redraw();
}

bool SkinForm::needs_layout() const
{
    return m_root->needs_layout();
}
