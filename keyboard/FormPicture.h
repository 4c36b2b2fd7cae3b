#pragma once
// The keyboard form's picture, kept from paint to paint. A change of look (a key pressed or let
// go, a modifier lit, other characters on the keys) draws again only the keys that changed; the
// whole form is drawn for a new form, skin or size. A form whose picture depends on what lies
// under it (parts left transparent) or that animates is drawn whole at every update.
#include "skin/drawing/RenderSurface.h"

#include <windef.h>

#include <vector>

class Element;
class KeyboardForm;

class FormPicture {
public:
    explicit FormPicture(KeyboardForm& form);
    FormPicture(const FormPicture&) = delete;
    FormPicture& operator=(const FormPicture&) = delete;

    // The next update draws everything and looks again at what the form covers (the skin was
    // loaded again).
    void invalidate()
    {
        m_full = true;
        m_opacity_known = false;
    }
    // The next update draws everything again, the form being the same (its pixels were lost).
    void invalidate_pixels() { m_full = true; }

    struct Damage {
        bool all = false;
        RECT rect {}; // form pixels; empty when nothing changed
        bool empty() const { return !all && (rect.right <= rect.left || rect.bottom <= rect.top); }
    };
    // Brings the picture up to date with the form and tells what changed since the last update.
    Damage update();

    const PixelBuffer* picture() const { return m_surface.buffer(); }
    // The picture's device context, to show it in a window without another copy.
    HDC dc() const { return m_surface.dc(); }
    // Every pixel is the form's own whatever lay under it: the picture can be copied as it is.
    bool opaque() const { return m_opaque; }

    // Since construction, for tests and benchmarks.
    int whole_paints() const { return m_whole_paints; }
    int key_repaints() const { return m_key_repaints; }
    // Key changes served from a look kept from before, without drawing.
    int looks_reused() const { return m_looks_reused; }

private:
    // The element tree in painting order, each with the bounds of all it may draw.
    struct Node {
        Element* element = nullptr;
        size_t end = 0; // one past its last descendant
        RECT bounds {}; // itself and its descendants
        POINT position {};
        POINT size {};
        bool container = false; // draws nothing of its own: its children are walked
        bool visible = false;
        int key = -1; // key index, for the keys of the form
        // A key's look as drawn: showing another state child or becoming hidden or disabled
        // marks nothing for redrawing in the element tree.
        Element* shown = nullptr;
        bool enabled = false;
        // The key's pixels in each look drawn since its content last changed, when nothing but
        // the key itself draws differently within its bounds.
        bool keeps_looks = false;
        struct Look {
            Element* shown = nullptr;
            bool visible = false;
            bool enabled = false;
            std::vector<uint16_t> pixels;
        };
        std::vector<Look> looks;
    };
    // The key's pixels from a look drawn before; false when there is none.
    bool reuse_look(Node& node);
    void keep_look(Node& node);
    void note_look(Node& node) const;
    bool look_kept(const Node& node) const;

    void paint_whole();
    void build_plan();
    // The keys drawn differently from the picture; false when something else changed.
    bool collect_changes(std::vector<int>& keys) const;
    bool geometry_kept(size_t node) const;
    void repaint(const RECT& area);
    bool keeps_colour_key(const RECT& area) const;

    KeyboardForm& m_form;
    RenderSurface m_surface { RenderSurface::Bitmap {} };
    std::vector<Node> m_plan;
    std::vector<size_t> m_key_node; // per key index, its node
    bool m_full = true;
    bool m_cacheable = false; // partial repaints keep the picture right
    bool m_opaque = false;
    bool m_opacity_known = false;
    int m_whole_paints = 0;
    int m_key_repaints = 0;
    int m_looks_reused = 0;
};
