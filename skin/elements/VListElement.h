#pragma once
// A vertical list of items that scrolls by dragging. Pulled past either end the content
// resists; after a release it keeps the flick's speed, slows down and springs back into range.
// A press on a moving list stops it without choosing an item. A tap on an item that holds
// lists of its own opens or closes them; a tap inside an open one chooses from it.
#include <windef.h>

#include "skin/elements/Element.h"

class WidgetListener;

class VListElement : public Element {
public:
    explicit VListElement(Element* parent);

    void load(const Properties& props, const ElementRecord& record) override;
    void add_child(Element* child) override;
    void remove_child(Element* child) override;
    void draw(Canvas& canvas, POINT position) override;
    void arrange_x() override;
    void arrange_y() override;
    void measure_y(Measure& m) override;
    bool pointer_press(const PressEvent& event) override;
    void pointer_move(POINT point) override;
    void animate(double time_step) override;

    void set_listener(WidgetListener* listener) { m_listener = listener; }
    void set_selected(int index);
    int selected() const { return m_selected; }
    int pressed_item() const { return m_pressed; }
    int item_at(POINT point) const;
    int item_count() const { return static_cast<int>(children().size()); }
    Element* item(int index) const;

    // Content offset: 0 shows the first item at the top, negative values scroll down.
    double scroll() const { return m_scroll; }
    void set_scroll(double scroll);
    // Lowest offset that stays in range (0 when everything fits).
    int min_scroll() const;
    bool moving() const;
    bool dragging() const { return m_dragging; }
    double velocity() const { return m_velocity; }

    // Destroys every item; the list scrolls back to the top and forgets its selection.
    void clear_items();
    // Shows each item's look again ("#vlist_normal", "#vlist_pressed", "#vlist_selected"),
    // for owners that added items after the list was loaded.
    void refresh_items() { refresh_item_looks(); }

    void set_locked(bool locked) { m_locked = locked; }
    void set_scroll_borders(int top, int bottom);

private:
    void refresh_item_looks();
    static bool has_sub_items(const Element& item);
    void tap_item_with_sub_items(Element& item, const PressEvent& release);
    int content_height();
    double overshoot() const;

    WidgetListener* m_listener = nullptr;
    int m_border_top = 0;
    int m_border_bottom = 0;
    bool m_locked = false;
    bool m_grow = false;
    int m_drag_threshold = 6;

    int m_selected = -1;
    int m_pressed = -1;
    double m_scroll = 0.0;
    double m_velocity = 0.0; // pixels per second while coasting
    bool m_holding = false;
    bool m_dragging = false;
    POINT m_press_point{};
    POINT m_last_point{};
    DWORD m_last_tick = 0;
};
