#pragma once
// Base of every skin-driven user-interface element: a node of a tree built from the skin's
// element records, measured and arranged per axis by anchors, painted (optionally through a
// cache surface) and animated when shown or hidden.
#include <windef.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "skin/elements/Layout.h"

class Canvas;
class Element;
class FormElement;
class PixelOp;
class Properties;
class RenderSurface;
class VisibilityAnimation;
struct ElementRecord;

// Told whenever an element's position or size on one axis is set (x first, then y).
class GeometryObserver {
public:
    virtual ~GeometryObserver() = default;
    virtual void geometry_changed(Element& element, int length) = 0;
};

// A press or release of the pointer as elements see it.
struct PressEvent {
    POINT point{};
    bool pressed = false;
    bool captured_elsewhere = false; // another window took the pointer: only the state updates
    bool cancel = false;             // the release was not seen (capture lost)
};

// (preferred, minimum) of one axis.
struct Measure {
    int preferred = 0;
    int minimum = 0;
};

class Element {
public:
    explicit Element(Element* parent);
    virtual ~Element();

    Element(const Element&) = delete;
    Element& operator=(const Element&) = delete;

    // Virtual operations, in the order the framework defines them.
    virtual void dump(int indent) const;
    virtual void set_text_by_id(std::u16string_view id, std::u16string_view text);
    virtual void add_child(Element* child);
    virtual void remove_child(Element* child);
    virtual void load(const Properties& props, const ElementRecord& record);
    virtual void set_enabled(bool flag);
    virtual void enabled_changed(bool effective);
    virtual void set_visible(bool flag);
    virtual void visibility_changed(bool effective);
    virtual void animate(double time_step);
    virtual void draw(Canvas& canvas, POINT position);
    virtual void arrange_x();
    virtual void arrange_y();
    virtual void measure_x(Measure& m);
    virtual void measure_y(Measure& m);
    virtual bool contains(POINT point) const;
    virtual void pointer_move(POINT point);
    virtual bool pointer_press(const PressEvent& event);
    virtual bool key_event(int key_code, bool down);
    virtual bool char_input(std::u16string_view text);

    // Layout entry points: an owner arranges a tree by set_x and then set_y on its root.
    void set_x(int x, int width);
    void set_y(int y, int height);
    Measure desired_x();
    Measure desired_y();

    void paint(Canvas& canvas, POINT position);

    // Replaces the children and keys by the named top-level node; false if the skin lacks it.
    bool load_from_skin(const Properties& props, std::u16string_view node_name);
    // Direct children first, then depth first.
    Element* find_child(std::u16string_view id) const;
    // Like find_child, but a missing child throws skinio::NodeNotFound.
    Element& require_child(std::u16string_view id) const;

    // Starts the visibility animation; the snapshots are taken over.
    void start_animation(std::unique_ptr<RenderSurface>& background, int direction,
        std::unique_ptr<RenderSurface>& snapshot);
    bool animation_running() const;
    void set_animation(std::unique_ptr<VisibilityAnimation> animation);
    VisibilityAnimation* animation() const { return m_animation.get(); }

    const std::u16string& id() const { return m_id; }
    void set_id(std::u16string id) { m_id = std::move(id); }
    Element* parent() const { return m_parent; }
    FormElement* form() const { return m_form; }
    const std::vector<Element*>& children() const { return m_children; }

    POINT position() const { return m_position; }
    POINT size() const { return m_size; }
    POINT border_min() const { return m_border_min; }
    POINT border_max() const { return m_border_max; }
    POINT design_size() const { return m_design_size; }
    AnchorMode anchor_x() const { return m_anchor_x; }
    AnchorMode anchor_y() const { return m_anchor_y; }
    int table_ratio() const { return m_table_ratio; }
    void set_anchors(AnchorMode x, AnchorMode y);
    void set_borders(POINT border_min, POINT design_size, POINT border_max);
    void set_table_ratio(int ratio);

    bool own_visible() const { return m_visible; }
    bool is_visible() const { return m_visible && m_parent_visible; }
    bool own_enabled() const { return m_enabled; }
    bool is_enabled() const { return m_enabled && m_parent_enabled; }
    bool needs_redraw() const { return m_needs_redraw; }
    bool needs_layout() const { return m_needs_layout; }

    void set_geometry_observer(GeometryObserver* observer) { m_observer = observer; }

    // Drawing through a cache: opaque copy when alpha is -1, else the alpha level selector.
    void set_cache(bool on, int alpha = -1);
    bool cached() const { return m_cache_flag; }
    RenderSurface* cache_surface() const { return m_cache.get(); }

    // Marks this element and every ancestor.
    void invalidate_redraw();
    void invalidate_layout();

protected:
    // Child placement on one axis by the child's anchors inside (start, length).
    void place_child_x(Element& child, int start, int length);
    void place_child_y(Element& child, int start, int length);
    void destroy_children();
    void load_children(const Properties& props, const ElementRecord& record);

private:
    friend class FormElement;
    void inherit_visible(bool parent_effective);
    void inherit_enabled(bool parent_effective);
    void free_cache();

    std::u16string m_id;
    Element* m_parent = nullptr;
    FormElement* m_form = nullptr;
    GeometryObserver* m_observer = nullptr;

    AnchorMode m_anchor_x = AnchorMode::BOTH_SIDE;
    AnchorMode m_anchor_y = AnchorMode::BOTH_SIDE;
    POINT m_border_min{0, 0};
    POINT m_design_size{0, 0};
    POINT m_border_max{0, 0};
    POINT m_position{0, 0};
    POINT m_size{0, 0};
    Measure m_measure_x{-1, 0};
    Measure m_measure_y{-1, 0};

    bool m_visible = true;
    bool m_parent_visible = true;
    bool m_enabled = true;
    bool m_parent_enabled = true;
    bool m_needs_redraw = true;
    bool m_needs_layout = true;

    // Surfaces are held through shared_ptr only so that this header needs no drawing
    // headers; each element is the sole owner.
    std::shared_ptr<RenderSurface> m_cache;
    std::shared_ptr<PixelOp> m_cache_op;
    bool m_cache_flag = false;

    int m_table_ratio = 0;
    std::vector<Element*> m_children;
    std::unique_ptr<VisibilityAnimation> m_animation;
};

// Containers that lay their visible children out one after another along x ("htable") or y
// ("vtable"); on the other axis they behave like any element.
class HTableElement : public Element {
public:
    using Element::Element;
    void measure_x(Measure& m) override;
    void arrange_x() override;
};

class VTableElement : public Element {
public:
    using Element::Element;
    void measure_y(Measure& m) override;
    void arrange_y() override;
};
