#include "keyboard/FormPicture.h"

#include "keyboard/KeyboardForm.h"
#include "skin/drawing/Blit.h"
#include "skin/elements/ButtonElement.h"
#include "skin/drawing/ClipGuard.h"
#include "skin/drawing/Span565.h"

#include <algorithm>
#include <cstring>
#include <typeinfo>
#include <unordered_map>

namespace {

constexpr SkinColor kKeyColour { 0xF8, 0x00, 0xF8, 255 }; // 0xF81F
// The second ground of the opacity test: any colour far from the colour key.
constexpr SkinColor kTestGround { 0x00, 0x00, 0x00, 255 };

bool emptyRect(const RECT& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

RECT unite(const RECT& a, const RECT& b)
{
    if (emptyRect(a))
        return b;
    if (emptyRect(b))
        return a;
    return RECT { std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom) };
}

bool meets(const RECT& a, const RECT& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

RECT rectOf(const Element& e, POINT origin)
{
    const POINT p { e.position().x - origin.x, e.position().y - origin.y };
    return RECT { p.x, p.y, p.x + e.size().x, p.y + e.size().y };
}

// Elements that draw nothing but their children, through the plain painting path.
bool plainContainer(const Element& e)
{
    const std::type_info& type = typeid(e);
    return (type == typeid(Element) || type == typeid(HTableElement) || type == typeid(VTableElement)) && !e.cached()
        && !e.animation();
}

bool animates(const Element& e)
{
    if (e.animation())
        return true;
    return std::any_of(e.children().begin(), e.children().end(), [](const Element* c) { return animates(*c); });
}

}

FormPicture::FormPicture(KeyboardForm& form)
    : m_form(form)
{
}

FormPicture::Damage FormPicture::update()
{
    const POINT size = m_form.size();
    if (size.x < 1 || size.y < 1) {
        m_surface.recreate(POINT { 0, 0 });
        return Damage { true, {} };
    }
    if (m_surface.size().x != size.x || m_surface.size().y != size.y)
        m_opacity_known = false; // stretched otherwise, it may cover otherwise
    if (m_full || !m_cacheable || !m_opacity_known) {
        paint_whole();
        return Damage { true, RECT { 0, 0, size.x, size.y } };
    }
    std::vector<int> keys;
    if (!collect_changes(keys)) {
        paint_whole();
        return Damage { true, RECT { 0, 0, size.x, size.y } };
    }
    Damage damage;
    for (int key : keys) {
        Node& node = m_plan[m_key_node[size_t(key)]];
        const RECT& area = node.bounds;
        // Marked for redrawing: its text or pictures changed, the looks kept show the old ones.
        if (m_form.key(key)->needs_redraw())
            node.looks.clear();
        note_look(node);
        if (reuse_look(node)) {
            ++m_looks_reused;
        } else {
            repaint(area);
            keep_look(node);
            ++m_key_repaints;
        }
        damage.rect = unite(damage.rect, area);
    }
    // The containers above the keys draw nothing of their own: their part is done.
    for (const Node& node : m_plan)
        if (node.container && node.element->needs_redraw())
            node.element->mark_drawn();
    if (!m_cacheable) { // a key left a hole: this form is drawn whole from now on
        paint_whole();
        return Damage { true, RECT { 0, 0, size.x, size.y } };
    }
    return damage;
}

void FormPicture::paint_whole()
{
    const POINT size = m_form.size();
    m_full = false;
    ++m_whole_paints;
    m_surface.recreate(size);
    if (!m_surface.buffer())
        return;
    Canvas& canvas = m_surface.canvas();
    if (!m_opacity_known) {
        // Drawn once on another ground as well: the form covers every pixel alike on both only
        // when nothing of what lies under it shows through.
        RenderSurface other;
        other.recreate(size);
        if (other.buffer()) {
            fill(other.canvas(), POINT { 0, 0 }, size, kTestGround);
            m_form.paint(other.canvas(), POINT { 0, 0 });
        }
        fill(canvas, POINT { 0, 0 }, size, kKeyColour);
        m_form.paint(canvas, POINT { 0, 0 });
        m_opaque = other.buffer() != nullptr;
        for (int y = 0; m_opaque && y < size.y; ++y)
            m_opaque = std::memcmp(other.buffer()->row(y), m_surface.buffer()->row(y), size_t(size.x) * 2) == 0;
        m_opacity_known = true;
    } else {
        // A form known to cover every pixel needs no ground.
        if (!m_opaque)
            fill(canvas, POINT { 0, 0 }, size, kKeyColour);
        m_form.paint(canvas, POINT { 0, 0 });
    }
    build_plan();
    m_cacheable = m_opaque && !animates(m_form);
}

void FormPicture::build_plan()
{
    m_plan.clear();
    m_key_node.assign(size_t(m_form.key_count()), 0);
    std::unordered_map<const Element*, int> keyIndex;
    for (int k = 0; k < m_form.key_count(); ++k)
        keyIndex.emplace(m_form.key(k), k);
    // Pre-order, as painting walks the tree; bounds are filled in on the way back up.
    struct Walk {
        FormPicture& self;
        const std::unordered_map<const Element*, int>& keys;
        POINT origin; // bounds are in picture pixels
        // Inside a key nothing is told apart: a key is drawn whole.
        void visit(Element& e, bool root, bool inKey)
        {
            const size_t at = self.m_plan.size();
            Node& node = self.m_plan.emplace_back();
            node.element = &e;
            node.position = e.position();
            node.size = e.size();
            node.visible = e.is_visible();
            node.bounds = rectOf(e, origin);
            if (!inKey) {
                if (auto found = keys.find(&e); found != keys.end()) {
                    node.key = found->second;
                    self.note_look(node);
                    self.m_key_node[size_t(node.key)] = at;
                }
                node.container = node.key < 0 && (root || plainContainer(e));
            }
            const bool childrenInKey = inKey || self.m_plan[at].key >= 0;
            for (Element* child : e.children()) {
                const size_t first = self.m_plan.size();
                visit(*child, false, childrenInKey);
                self.m_plan[at].bounds = unite(self.m_plan[at].bounds, self.m_plan[first].bounds);
            }
            self.m_plan[at].end = self.m_plan.size();
        }
    } walk { *this, keyIndex, m_form.position() };
    walk.visit(m_form, true, false);

    // A key's looks can be kept when its bounds lie within the picture and meet no other key's.
    const RECT picture { 0, 0, m_form.size().x, m_form.size().y };
    for (size_t at : m_key_node) {
        Node& node = m_plan[at];
        const RECT& b = node.bounds;
        node.keeps_looks = !emptyRect(b) && b.left >= picture.left && b.top >= picture.top && b.right <= picture.right
            && b.bottom <= picture.bottom;
        for (size_t other : m_key_node)
            if (other != at && meets(b, m_plan[other].bounds))
                node.keeps_looks = false;
    }
}

void FormPicture::note_look(Node& node) const
{
    const ButtonElement* key = m_form.key(node.key);
    node.shown = key->shown_child();
    node.visible = key->is_visible();
    node.enabled = key->is_enabled();
}

bool FormPicture::reuse_look(Node& node)
{
    if (!node.keeps_looks)
        return false;
    for (const Node::Look& look : node.looks) {
        if (look.shown != node.shown || look.visible != node.visible || look.enabled != node.enabled)
            continue;
        PixelBuffer& b = *m_surface.buffer();
        const size_t width = size_t(node.bounds.right - node.bounds.left);
        const uint16_t* from = look.pixels.data();
        for (LONG y = node.bounds.top; y < node.bounds.bottom; ++y, from += width)
            std::memcpy(b.row(int(y)) + node.bounds.left, from, width * 2);
        return true;
    }
    return false;
}

void FormPicture::keep_look(Node& node)
{
    if (!node.keeps_looks || !m_cacheable)
        return;
    constexpr size_t kLooks = 4; // normal, pressed, and a spare or two: older ones go
    if (node.looks.size() >= kLooks)
        node.looks.erase(node.looks.begin());
    Node::Look look { node.shown, node.visible, node.enabled, {} };
    const PixelBuffer& b = *m_surface.buffer();
    const size_t width = size_t(node.bounds.right - node.bounds.left);
    look.pixels.resize(width * size_t(node.bounds.bottom - node.bounds.top));
    uint16_t* to = look.pixels.data();
    for (LONG y = node.bounds.top; y < node.bounds.bottom; ++y, to += width)
        std::memcpy(to, b.row(int(y)) + node.bounds.left, width * 2);
    node.looks.push_back(std::move(look));
}

bool FormPicture::look_kept(const Node& node) const
{
    const ButtonElement* key = m_form.key(node.key);
    return !key->needs_redraw() && key->shown_child() == node.shown && key->is_visible() == node.visible
        && key->is_enabled() == node.enabled;
}

bool FormPicture::geometry_kept(size_t at) const
{
    for (size_t i = at; i < m_plan[at].end; ++i) {
        const Node& n = m_plan[i];
        const POINT p = n.element->position(), s = n.element->size();
        if (p.x != n.position.x || p.y != n.position.y || s.x != n.size.x || s.y != n.size.y)
            return false;
    }
    return true;
}

bool FormPicture::collect_changes(std::vector<int>& keys) const
{
    if (m_plan.empty())
        return false;
    const Node& root = m_plan.front();
    const POINT p = m_form.position(), s = m_form.size();
    if (p.x != root.position.x || p.y != root.position.y || s.x != root.size.x || s.y != root.size.y)
        return false;
    for (size_t i = 0; i < m_plan.size();) {
        const Node& n = m_plan[i];
        Element& e = *n.element;
        if (n.key >= 0) {
            if (!look_kept(n)) {
                if (!geometry_kept(i))
                    return false;
                keys.push_back(n.key);
            }
            i = n.end;
        } else if (n.container) {
            // Keys may change their look without marking their containers: all are looked at.
            if (e.is_visible() != n.visible)
                return false;
            ++i;
        } else {
            if (e.needs_redraw() || e.is_visible() != n.visible)
                return false;
            i = n.end;
        }
    }
    return true;
}

void FormPicture::repaint(const RECT& area)
{
    if (emptyRect(area))
        return;
    Canvas& canvas = m_surface.canvas();
    const POINT at { area.left, area.top }, size { area.right - area.left, area.bottom - area.top };
    ClipGuard clip(canvas, at, size);
    fill(canvas, at, size, kKeyColour);
    const POINT origin = m_form.position();
    for (size_t i = 0; i < m_plan.size();) {
        const Node& n = m_plan[i];
        Element& e = *n.element;
        if (!meets(n.bounds, area)) {
            i = n.end;
        } else if (n.container) {
            i = e.is_visible() && !e.animation_running() ? i + 1 : n.end;
        } else {
            e.paint(canvas, POINT { e.position().x - origin.x, e.position().y - origin.y });
            i = n.end;
        }
    }
    if (keeps_colour_key(area))
        m_cacheable = false;
}

bool FormPicture::keeps_colour_key(const RECT& area) const
{
    const PixelBuffer& b = *m_surface.buffer();
    const int x0 = std::max<int>(area.left, 0), x1 = std::min<int>(area.right, b.width());
    const int y0 = std::max<int>(area.top, 0), y1 = std::min<int>(area.bottom, b.height());
    for (int y = y0; y < y1; ++y) {
        const uint16_t* row = b.row(y);
        for (int x = x0; x < x1; ++x)
            if (row[x] == span::kColorKey)
                return true;
    }
    return false;
}
