#pragma once
// Scrollable text box: words laid out in lines between the optional decorations "#left" and
// "#right"; dragging scrolls text that does not fit.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "skin/elements/Align.h"
#include "skin/elements/Element.h"
#include "skin/file/SkinColor.h"
#include "skin/text/TextLayout.h"
#include "runtime/OrientationObserver.h"

class FontRep;

class TextElement : public Element, public OrientationObserver {
public:
    explicit TextElement(Element* parent);

    // The screen turned: the lines are laid out again at the next draw.
    void orientation_changed() override;

    void load(const Properties& props, const ElementRecord& record) override;
    void set_text_by_id(std::u16string_view id, std::u16string_view text) override;
    void draw(Canvas& canvas, POINT position) override;
    void arrange_x() override;
    void arrange_y() override;
    void measure_x(Measure& m) override;
    bool pointer_press(const PressEvent& event) override;
    void pointer_move(POINT point) override;

    virtual void set_text(std::u16string_view text);
    const std::u16string& text() const { return m_text; }
    void bind_decorations();
    void set_font(std::shared_ptr<FontRep> font);
    void set_style(SkinColor color, HAlign halign, VAlign valign, bool wrap);

    const std::shared_ptr<FontRep>& font() const { return m_font; }
    SkinColor color() const { return m_color; }
    bool wrap() const { return m_wrap; }
    const TextLayout& layout();
    POINT scroll() const { return m_scroll; }
    int line_height() const;
    // Left edge and width of the area between the decorations.
    int text_left() const { return position().x + m_left_width; }
    int text_width() const { return std::max(0, size().x - m_left_width - m_right_width); }
    int text_height();
    // Top of the first line relative to the box, vertical alignment and scrolling applied.
    int first_line_top();

protected:
    void invalidate_text();
    int measure(std::u16string_view s) const;

    std::shared_ptr<FontRep> m_font;
    std::u16string m_text;
    PreparedText m_prepared;
    TextLayout m_layout;
    bool m_layout_valid = false;
    int m_layout_width = -1;
    SkinColor m_color;
    HAlign m_halign = HAlign::CENTER;
    VAlign m_valign = VAlign::VCENTER;
    bool m_wrap = false;
    bool m_grow = false;
    bool m_grow_min = false;
    Element* m_left = nullptr;
    Element* m_right = nullptr;
    int m_left_width = 0;
    int m_right_width = 0;
    POINT m_scroll{0, 0};
    POINT m_last_point{};
    bool m_tracking = false;
};

// Editable text: a text box with a background that takes keys and characters while it is
// the form's focused edit; a caret marks the insertion point.
class EditElement : public TextElement {
public:
    explicit EditElement(Element* parent);

    void load(const Properties& props, const ElementRecord& record) override;
    void set_text_by_id(std::u16string_view id, std::u16string_view text) override;
    void draw(Canvas& canvas, POINT position) override;
    bool pointer_press(const PressEvent& event) override;
    bool key_event(int key_code, bool down) override;
    bool char_input(std::u16string_view text) override;

    void set_text(std::u16string_view text) override;
    SkinColor background() const { return m_background; }
    int caret() const { return m_caret; }
    void set_caret(int index);
    bool focused() const;
    void set_change_observer(std::function<void(EditElement&)> observer) { m_observer = std::move(observer); }
    // Caret position in the box's coordinates (top of its line).
    POINT caret_point();

private:
    int prepared_index(int source) const;
    int caret_line();
    int x_of(int line, int prepared) ;
    int index_at(int line, int x);
    void changed();
    void replace_text(std::u16string_view text, int caret);
    // True when index falls between the halves of a surrogate pair.
    static bool splits_pair(std::u16string_view text, int index);
    // Scrolls as little as needed to bring the caret into the box.
    void reveal_caret();
    int caret_width() const;

    SkinColor m_background;
    int m_caret = 0;
    std::function<void(EditElement&)> m_observer;
};
