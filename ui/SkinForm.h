#pragma once
// A screen of the user-interface application: a form element tree (loaded from a skin node or
// built by the program) with the operations the form stack drives. Programs derive from it to
// bind their widgets and, if they want one, to make the transition the form opens and closes
// with.
#include <windef.h>

#include <memory>
#include <string_view>

#include "ui/AppEvents.h"

class Canvas;
class FormElement;
class Properties;
class RenderSurface;
class Transition;

class SkinForm {
public:
    SkinForm();
    // A form whose root is a form element of its own kind (a menu, say).
    explicit SkinForm(std::unique_ptr<FormElement> root);
    virtual ~SkinForm();
    SkinForm(const SkinForm&) = delete;
    SkinForm& operator=(const SkinForm&) = delete;

    FormElement& root() { return *m_root; }
    const FormElement& root() const { return *m_root; }
    // Replaces the tree by the named skin node; false when the skin lacks it.
    bool load(const Properties& props, std::u16string_view node_name);

    // Lays the tree out for a client of that size (nothing when unchanged and laid out).
    void set_size(int width, int height);
    void set_visible(bool visible);
    bool visible() const;
    // Makes the form visible through its own visibility animation, when the skin gave it one:
    // background is what lies beneath (null: the form appears over whatever is drawn first).
    void show_animated(const RenderSurface* background);
    void draw(Canvas& canvas, POINT origin);
    // The form as it looks now, at its size, into the surface (resized to fit).
    void capture(RenderSurface& surface, uint16_t clear_colour);

    virtual void pointer_moved(const PointerEvent& event);
    virtual void pointer_pressed(const PointerEvent& event);
    virtual void key(const KeyEvent& event);
    virtual void text(std::u16string_view text);
    virtual void tick(double seconds);

    // Either flag means the next frame must be composed.
    bool needs_redraw() const;
    bool needs_layout() const;

    // The transition the form opens and closes with; none by default (shown at once).
    virtual std::unique_ptr<Transition> make_transition();

private:
    std::unique_ptr<FormElement> m_root;
};
