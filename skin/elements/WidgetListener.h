#pragma once
// Owner callbacks bound to a button, a checkbox or a list (non-owning).
#include <windef.h>

class Element;

struct WidgetEvent {
    POINT point{};
    // on_click: the click flag (1 for a click). on_press_changed: 1 when the change was
    // cancelled; for a checkbox the flag given to set_state; for a list the item index.
    int value = 0;
    POINT delta{}; // on_drag only
};

class WidgetListener {
public:
    virtual ~WidgetListener() = default;
    virtual bool on_click(Element& widget, const WidgetEvent& event) = 0;
    virtual bool on_press_changed(Element& widget, const WidgetEvent& event) = 0;
    virtual void on_drag(Element& widget, const WidgetEvent& event) = 0;
};
