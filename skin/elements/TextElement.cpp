#include "skin/elements/TextElement.h"

#include <algorithm>
#include <cstdlib>

#include "skin/drawing/Blit.h"
#include "skin/drawing/Canvas.h"
#include "skin/drawing/ClipGuard.h"
#include "skin/text/FontRep.h"
#include "skin/elements/FormElement.h"
#include "skin/elements/KeyCode.h"
#include "skin/file/Properties.h"

TextElement::TextElement(Element* parent)
    : Element(parent)
{
    // Text boxes scroll under the pointer, so they take part in pointer routing.
    if (form())
        form()->join_key_list(this);
}

void TextElement::load(const Properties& props, const ElementRecord& record)
{
    Element::load(props, record);
    m_font = props.get_font(record, u"font", nullptr);
    m_text = props.translate(props.get_string(record, u"text", u""));
    m_grow = props.get_int(record, u"grow", 0) != 0;
    m_grow_min = props.get_int(record, u"grow_min", 0) != 0;
    m_color = props.get_color(record, u"color", SkinColor{0, 0, 0, 255});
    m_halign = halign_from_name(props.get_string(record, u"halign", u""));
    m_valign = valign_from_name(props.get_string(record, u"valign", u""));
    m_wrap = props.get_int(record, u"wrap", 0) != 0;
    bind_decorations();
    invalidate_text();
}

void TextElement::bind_decorations()
{
    m_left = find_child(u"#left");
    m_right = find_child(u"#right");
}

void TextElement::set_font(std::shared_ptr<FontRep> font)
{
    m_font = std::move(font);
    invalidate_text();
}

void TextElement::set_style(SkinColor color, HAlign halign, VAlign valign, bool wrap)
{
    m_color = color;
    m_halign = halign;
    m_valign = valign;
    m_wrap = wrap;
    invalidate_text();
}

void TextElement::orientation_changed()
{
    invalidate_text();
}

void TextElement::invalidate_text()
{
    m_layout_valid = false;
    m_scroll = {0, 0};
    if (m_grow || m_grow_min)
        invalidate_layout();
    invalidate_redraw();
}

void TextElement::set_text(std::u16string_view text)
{
    if (text == m_text)
        return;
    m_text = text;
    invalidate_text();
}

void TextElement::set_text_by_id(std::u16string_view id, std::u16string_view text)
{
    if (id == this->id())
        set_text(text);
    Element::set_text_by_id(id, text);
}

int TextElement::measure(std::u16string_view s) const
{
    if (!m_font || s.empty())
        return 0;
    return m_font->measure(s, 0).width;
}

int TextElement::line_height() const
{
    return m_font ? m_font->line_height() : 0;
}

const TextLayout& TextElement::layout()
{
    int width = text_width();
    if (!m_layout_valid || width != m_layout_width) {
        m_prepared = prepare_text(m_text, m_wrap);
        m_layout = layout_text(m_prepared.text, [this](std::u16string_view s) { return measure(s); }, width,
            m_wrap, m_halign);
        m_layout_valid = true;
        m_layout_width = width;
    }
    return m_layout;
}

int TextElement::text_height()
{
    return static_cast<int>(layout().lines.size()) * line_height();
}

int TextElement::first_line_top()
{
    int room = size().y;
    int height = text_height();
    if (height > room)
        return -m_scroll.y;
    switch (m_valign) {
    case VAlign::TOP:
        return 0;
    case VAlign::BOTTOM:
        return room - height;
    case VAlign::VCENTER:
        break;
    }
    return (room - height) / 2;
}

void TextElement::measure_x(Measure& m)
{
    Element::measure_x(m);
    if (!m_grow && !m_grow_min)
        return;
    // Unwrapped width of the text: the widest of its lines.
    PreparedText p = prepare_text(m_text, false);
    int width = m_font ? layout_text(p.text, [this](std::u16string_view s) { return measure(s); }, 0, false, HAlign::LEFT).width : 0;
    // The text sits between the decorations, so it needs their room too.
    width += (m_left ? m_left->desired_x().preferred : 0) + (m_right ? m_right->desired_x().preferred : 0);
    m.preferred = std::max(m.preferred, width);
    if (m_grow_min)
        m.minimum = std::max(m.minimum, width);
}

void TextElement::arrange_x()
{
    int l = m_left ? m_left->desired_x().preferred : 0;
    int r = m_right ? m_right->desired_x().preferred : 0;
    int w = size().x;
    // The decorations share a box too narrow for both; their sum is positive here.
    if (w >= 1 && w < static_cast<long long>(l) + r) {
        l = static_cast<int>(static_cast<double>(w) / (static_cast<double>(l) + r) * l + 0.5);
        r = w - l;
    }
    m_left_width = l;
    m_right_width = r;
    for (Element* child : children()) {
        if (child == m_left)
            child->set_x(position().x, l);
        else if (child == m_right)
            child->set_x(position().x + w - r, r);
        else
            place_child_x(*child, position().x, w);
    }
}

void TextElement::arrange_y()
{
    for (Element* child : children()) {
        if (child == m_left || child == m_right)
            child->set_y(position().y, child->desired_y().preferred);
        else
            place_child_y(*child, position().y, size().y);
    }
}

bool TextElement::pointer_press(const PressEvent& event)
{
    m_tracking = event.pressed;
    m_last_point = event.point;
    // Only text that does not fit keeps the pointer; the rest lets presses pass on.
    return event.pressed && (text_height() > size().y || layout().width > text_width());
}

void TextElement::pointer_move(POINT point)
{
    if (!m_tracking)
        return;
    int dx = point.x - m_last_point.x;
    int dy = point.y - m_last_point.y;
    m_last_point = point;
    POINT before = m_scroll;
    if (!m_wrap && (m_halign == HAlign::LEFT || m_halign == HAlign::CENTER)) {
        int low = std::min(0, text_width() - layout().width);
        m_scroll.x = std::clamp(m_scroll.x + dx, low, 0);
    }
    int high = std::max(0, text_height() - size().y);
    m_scroll.y = std::clamp(m_scroll.y - dy, 0, high);
    if (before.x != m_scroll.x || before.y != m_scroll.y)
        invalidate_redraw();
}

void TextElement::draw(Canvas& canvas, POINT position)
{
    ClipGuard guard(canvas, position, size());
    for (Element* child : children()) {
        POINT p{position.x + child->position().x - this->position().x,
            position.y + child->position().y - this->position().y};
        child->paint(canvas, p);
    }
    if (!m_font)
        return;
    const TextLayout& lay = layout();
    int lh = line_height();
    POINT area{position.x + m_left_width, position.y};
    // Text draw takes its clip explicitly: the text area inside the canvas's clip.
    const ClipRect& clip = canvas.clip();
    POINT clip_pos{std::max(area.x, clip.x0), std::max(area.y, clip.y0)};
    POINT clip_end{std::min(area.x + text_width(), clip.x1), std::min(area.y + size().y, clip.y1)};
    if (clip_end.x <= clip_pos.x || clip_end.y <= clip_pos.y)
        return;
    POINT clip_size{clip_end.x - clip_pos.x, clip_end.y - clip_pos.y};
    int y = area.y + first_line_top();
    for (const LaidLine& line : lay.lines) {
        if (y + lh > clip_pos.y && y < clip_end.y) {
            for (const LaidWord& w : line.words) {
                POINT at{area.x + w.x + m_scroll.x, y};
                if (at.x + w.width <= clip_pos.x || at.x >= clip_end.x)
                    continue;
                std::u16string_view word(m_prepared.text.data() + w.start, w.length);
                // One spare pixel keeps the platform from ellipsising a word that fits exactly.
                m_font->draw_text(canvas, m_color, word, at, {w.width + 1, lh}, HAlign::LEFT, VAlign::TOP, false,
                    clip_pos, clip_size);
            }
        }
        y += lh;
    }
}

// ---- edit ----------------------------------------------------------------------

EditElement::EditElement(Element* parent)
    : TextElement(parent)
{
}

void EditElement::load(const Properties& props, const ElementRecord& record)
{
    TextElement::load(props, record);
    m_background = props.get_color(record, u"background_color", SkinColor{0, 0, 0, 255});
    m_caret = static_cast<int>(m_text.size());
}

bool EditElement::focused() const
{
    return form() && form()->focused_edit() == this;
}

void EditElement::changed()
{
    if (m_observer)
        m_observer(*this);
}

void EditElement::set_text(std::u16string_view text)
{
    if (text == m_text)
        return;
    TextElement::set_text(text);
    m_caret = std::min(m_caret, static_cast<int>(m_text.size()));
}

void EditElement::set_text_by_id(std::u16string_view id, std::u16string_view text)
{
    bool mine = id == this->id() && text != m_text;
    TextElement::set_text_by_id(id, text);
    if (mine) {
        m_caret = static_cast<int>(m_text.size());
        reveal_caret();
        changed();
    }
}

bool EditElement::splits_pair(std::u16string_view text, int index)
{
    auto high = [](char16_t c) { return c >= 0xD800 && c <= 0xDBFF; };
    auto low = [](char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; };
    return index > 0 && index < static_cast<int>(text.size()) && high(text[index - 1]) && low(text[index]);
}

void EditElement::set_caret(int index)
{
    index = std::clamp(index, 0, static_cast<int>(m_text.size()));
    // Never between the two halves of a surrogate pair: step over it in the caret's direction.
    if (splits_pair(m_text, index))
        index += index < m_caret ? -1 : 1;
    if (index != m_caret) {
        m_caret = index;
        reveal_caret();
        invalidate_redraw();
    }
}

int EditElement::prepared_index(int source) const
{
    const auto& map = m_prepared.source_index;
    auto it = std::lower_bound(map.begin(), map.end(), source);
    return static_cast<int>(it - map.begin());
}

int EditElement::caret_line()
{
    const TextLayout& lay = layout();
    int p = prepared_index(m_caret);
    int found = 0;
    for (size_t i = 0; i < lay.lines.size(); ++i)
        if (lay.lines[i].first <= p)
            found = static_cast<int>(i);
    return found;
}

int EditElement::x_of(int line, int prepared)
{
    const LaidLine& l = layout().lines[line];
    int shift = l.words.empty() ? 0 : l.words.front().x;
    if (l.words.empty()) {
        if (m_halign == HAlign::CENTER)
            shift = text_width() / 2;
        else if (m_halign == HAlign::RIGHT)
            shift = text_width();
    }
    int from = l.words.empty() ? l.first : l.words.front().start;
    if (prepared <= from)
        return shift;
    return shift + measure(std::u16string_view(m_prepared.text).substr(from, prepared - from));
}

int EditElement::index_at(int line, int x)
{
    const LaidLine& l = layout().lines[line];
    int last = std::min(l.end, static_cast<int>(m_prepared.text.size()));
    // The feed that ends a line belongs before the next line's start.
    if (last > l.first && last <= static_cast<int>(m_prepared.text.size()) && last > 0
        && m_prepared.text[last - 1] == u'\n')
        --last;
    int best = l.first;
    int best_distance = std::abs(x_of(line, l.first) - x);
    for (int p = l.first + 1; p <= last; ++p) {
        int d = std::abs(x_of(line, p) - x);
        if (d < best_distance)
            best = p, best_distance = d;
    }
    return m_prepared.source_index[best];
}

POINT EditElement::caret_point()
{
    int line = caret_line();
    return {m_left_width + m_scroll.x + x_of(line, prepared_index(m_caret)), first_line_top() + line * line_height()};
}

bool EditElement::pointer_press(const PressEvent& event)
{
    if (!event.pressed)
        return true;
    if (form())
        form()->focus(this);
    int lh = line_height();
    int lines = static_cast<int>(layout().lines.size());
    if (lh > 0 && lines > 0) {
        int line = std::clamp((event.point.y - position().y - first_line_top()) / lh, 0, lines - 1);
        set_caret(index_at(line, event.point.x - position().x - m_left_width - m_scroll.x));
    }
    invalidate_redraw();
    return true;
}

bool EditElement::key_event(int key_code, bool down)
{
    if (!focused())
        return false;
    KeyCode key = static_cast<KeyCode>(key_code);
    bool vertical = m_wrap && (key == KeyCode::Up || key == KeyCode::Down);
    if (key != KeyCode::Left && key != KeyCode::Right && key != KeyCode::Backspace && key != KeyCode::Enter && !vertical)
        return false;
    if (!down)
        return true;
    switch (key) {
    case KeyCode::Left:
        set_caret(m_caret - 1);
        break;
    case KeyCode::Right:
        set_caret(m_caret + 1);
        break;
    case KeyCode::Up:
    case KeyCode::Down: {
        int line = caret_line();
        int target = line + (key == KeyCode::Up ? -1 : 1);
        if (target >= 0 && target < static_cast<int>(layout().lines.size()))
            set_caret(index_at(target, x_of(line, prepared_index(m_caret))));
        break;
    }
    case KeyCode::Backspace:
        if (!m_text.empty() && m_caret > 0) {
            // A character outside the basic plane goes as a whole, never half a pair.
            int n = splits_pair(m_text, m_caret - 1) ? 2 : 1;
            std::u16string t = m_text;
            t.erase(m_caret - n, n);
            replace_text(t, m_caret - n);
        }
        break;
    case KeyCode::Enter:
        char_input(u"\n");
        break;
    default:
        break;
    }
    return true;
}

bool EditElement::char_input(std::u16string_view input)
{
    if (input.empty())
        return false;
    std::u16string t = m_text;
    t.insert(m_caret, input);
    replace_text(t, m_caret + static_cast<int>(input.size()));
    return true;
}

void EditElement::replace_text(std::u16string_view text, int caret)
{
    // Typing keeps the view where it was and only moves it as far as the caret needs.
    POINT scroll = m_scroll;
    TextElement::set_text(text);
    m_scroll = scroll;
    m_caret = std::clamp(caret, 0, static_cast<int>(m_text.size()));
    reveal_caret();
    changed();
}

int EditElement::caret_width() const
{
    return std::max(1, line_height() / 12);
}

void EditElement::reveal_caret()
{
    if (!m_font || size().x <= 0 || size().y <= 0)
        return;
    POINT before = m_scroll;
    int line = caret_line();
    if (!m_wrap && (m_halign == HAlign::LEFT || m_halign == HAlign::CENTER)) {
        int room = text_width() - caret_width();
        int x = x_of(line, prepared_index(m_caret));
        if (x + m_scroll.x > room)
            m_scroll.x = room - x;
        if (x + m_scroll.x < 0)
            m_scroll.x = -x;
        // No empty space after the end of the text while the text is wider than the box.
        m_scroll.x = std::clamp(m_scroll.x, std::min(0, room - layout().width), 0);
    }
    int room = size().y;
    int height = text_height();
    if (height > room) {
        int top = line * line_height();
        m_scroll.y = std::clamp(m_scroll.y, top + line_height() - room, top);
        m_scroll.y = std::clamp(m_scroll.y, 0, height - room);
    } else {
        m_scroll.y = 0;
    }
    if (before.x != m_scroll.x || before.y != m_scroll.y)
        invalidate_redraw();
}

void EditElement::draw(Canvas& canvas, POINT position)
{
    fill(canvas, position, size(), m_background);
    TextElement::draw(canvas, position);
    if (!focused() || !m_font)
        return;
    POINT c = caret_point();
    int width = caret_width();
    ClipGuard guard(canvas, position, size());
    fill(canvas, {position.x + c.x, position.y + c.y}, {width, line_height()}, m_color);
}
