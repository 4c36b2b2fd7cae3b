// Painting an element (directly or through its cache) and the diagnostic dump.
#include "skin/elements/Element.h"

#include "runtime/Log.h"
#include "skin/drawing/Blit.h"
#include "skin/drawing/Canvas.h"
#include "skin/drawing/PixelOps.h"
#include "skin/drawing/RenderSurface.h"
#include "skin/elements/VisibilityAnimation.h"

namespace {

// Converts to the colour key 0xF81F, so that what an element leaves unpainted stays transparent.
constexpr SkinColor kKeyColour{0xF8, 0x00, 0xF8, 255};

} // namespace

void Element::draw(Canvas& canvas, POINT position)
{
    for (Element* child : m_children) {
        POINT p{position.x + child->m_position.x - m_position.x, position.y + child->m_position.y - m_position.y};
        child->paint(canvas, p);
    }
}

void Element::paint(Canvas& canvas, POINT position)
{
    if (animation_running()) {
        m_animation->paint(canvas, position);
    } else if (is_visible()) {
        if (m_cache_flag) {
            if (!m_cache)
                m_cache = std::make_shared<RenderSurface>();
            if (m_cache->size().x == 0 || m_needs_redraw) {
                m_cache->recreate(m_size);
                fill(m_cache->canvas(), {0, 0}, m_size, kKeyColour);
                draw(m_cache->canvas(), {0, 0});
            }
            m_cache->draw(canvas, position, *m_cache_op);
        } else {
            draw(canvas, position);
        }
    }
    m_needs_redraw = false;
}

void Element::set_cache(bool on, int alpha)
{
    m_cache_flag = on;
    if (!on) {
        m_cache_op.reset();
        free_cache();
        return;
    }
    if (alpha == -1)
        m_cache_op = std::make_shared<CopyOp>();
    else
        m_cache_op = std::make_shared<AlphaLevelOp>(alpha);
    invalidate_redraw();
}

void Element::free_cache()
{
    if (m_cache)
        m_cache->recreate({0, 0});
}

namespace {

void append_pair(LogBase& log, long long a, long long b)
{
    log.append(u"(").append(a).append(u", ").append(b).append(u")");
}

} // namespace

void Element::dump(int indent) const
{
    LogBase& log = Log();
    for (int i = 0; i < indent; ++i)
        log.append(u"\t");
    POINT rs{0, 0};
    if (m_cache)
        rs = m_cache->size();
    log.append(u"{");
    log.append(m_id);
    log.append(u"} position=");
    append_pair(log, m_position.x, m_position.y);
    log.append(u" size=");
    append_pair(log, m_size.x, m_size.y);
    log.append(u" design_size=");
    append_pair(log, m_design_size.x, m_design_size.y);
    log.append(u" rs.size=");
    append_pair(log, rs.x, rs.y);
    log.append(u"\n");
    for (Element* child : m_children)
        child->dump(indent + 1);
}
