#include "ui/SkinApplication.h"

#include <algorithm>
#include <cstdio>

#include "runtime/Log.h"
#include "runtime/Registry.h"
#include "ui/SkinForm.h"
#include "ui/Transition.h"
#include "skin/drawing/Blit.h"
#include "skin/drawing/Canvas.h"
#include "skin/text/FontRep.h"
#include "skin/elements/FormElement.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/drawing/PixelOps.h"
#include "skin/drawing/RenderSurface.h"
#include "skin/elements/StandardElements.h"
#include "skin/elements/TextElement.h"

namespace {

constexpr int kDimmed = 128;
constexpr int kFull = 256;
constexpr int kDimStep = 16;
constexpr size_t kFrameTimes = 20;

uint16_t to_565(SkinColor c)
{
    return static_cast<uint16_t>((c.red >> 3) << 11 | (c.green >> 2) << 5 | (c.blue >> 3));
}

bool log_enabled()
{
    DWORD on = 0;
    RegReadNumber(u"HKEY_CURRENT_USER\\Software\\Tarn", u"Log", on);
    return on != 0;
}

}

const std::vector<std::u16string>& SkinApplication::element_types()
{
    static const std::vector<std::u16string> names = {
        u"node", u"text", u"color", u"image", u"edit", u"htable", u"vtable",
        u"button", u"vlist", u"checkbox", u"progress", u"oldtext", u"label_edit", u"clip",
    };
    return names;
}

SkinApplication::SkinApplication(HINSTANCE module, std::u16string_view application_name)
    : m_applicationName(application_name)
    , m_snapshot(std::make_unique<RenderSurface>())
{
    register_element_types(element_types());
    m_game = std::make_unique<GameBase>(module, application_name, *this);
    FontDesc desc;
    desc.face = u"Tahoma";
    desc.size = 10;
    m_defaultFont = std::make_shared<FontRep>(desc);
    m_needsRedraw = true;
    m_redrawPending = true;
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<void*>(this));
    Log().append(u"Application::Application() this=").append(std::u16string(address, address + std::char_traits<char>::length(address))).append(u"\n");
}

SkinApplication::~SkinApplication()
{
    Log().append(u"Application::~Application()\n");
    m_frameTimes.clear();
    m_defaultFont.reset();
    m_game.reset();
    m_transition.reset();
    m_snapshot.reset();
    m_forms.clear();
    unregister_element_types(element_types());
}

// ---- helpers ------------------------------------------------------------------------------

POINT SkinApplication::client_size() const
{
    if (!m_game)
        return {0, 0};
    ScreenRecord area = m_game->ClientArea();
    return {area.client_width, area.client_height};
}

void SkinApplication::give_client_size(SkinForm& form) const
{
    POINT size = client_size();
    form.set_size(size.x, size.y);
}

void SkinApplication::capture_into_snapshot(SkinForm& form)
{
    give_client_size(form);
    // A form under a popup is hidden; it is drawn as it would show.
    bool shown = form.visible();
    if (!shown)
        form.set_visible(true);
    form.capture(*m_snapshot, to_565(m_clearColour));
    if (!shown)
        form.set_visible(false);
}

std::unique_ptr<RenderSurface> SkinApplication::snapshot_copy() const
{
    auto copy = std::make_unique<RenderSurface>();
    if (m_snapshot->buffer() && copy->recreate(m_snapshot->size()))
        m_snapshot->draw(copy->canvas(), {0, 0}, copy_op());
    return copy;
}

void SkinApplication::clear(Canvas& canvas) const
{
    if (PixelBuffer* target = canvas.target())
        fill(canvas, {0, 0}, {target->width(), target->height()}, m_clearColour);
}

SkinForm* SkinApplication::top_form() const
{
    return m_forms.empty() ? nullptr : m_forms.back().form;
}

bool SkinApplication::top_is_popup() const
{
    return !m_forms.empty() && m_forms.back().popup;
}

void SkinApplication::take_background(const PixelBuffer& screen)
{
    if (!m_snapshot->recreate({screen.width(), screen.height()}) && !m_snapshot->buffer())
        return;
    clipped_copy(m_snapshot->canvas(), {0, 0}, {screen.width(), screen.height()}, screen, {0, 0}, copy_op());
}

void SkinApplication::sync_focus()
{
    if (!m_game)
        return;
    EditElement* field = nullptr;
    if (SkinForm* top = top_form())
        field = dynamic_cast<EditElement*>(top->root().focused_edit());
    if (field != m_game->focused_edit())
        m_game->FocusEdit(field, m_nativeEdit);
}

// ---- events -------------------------------------------------------------------------------

void SkinApplication::pointer_moved(const PointerEvent& event)
{
    if (SkinForm* top = top_form())
        top->pointer_moved(event);
}

void SkinApplication::pointer_pressed(const PointerEvent& event)
{
    SkinForm* top = top_form();
    if (!top)
        return;
    // A press beside the field being edited ends the editing.
    if (event.down) {
        Element* focused = top->root().focused_edit();
        if (focused && !focused->contains(POINT{event.x, event.y}))
            top->root().unfocus();
    }
    top->pointer_pressed(event);
    sync_focus();
}

void SkinApplication::key(const KeyEvent& event)
{
    if (SkinForm* top = top_form())
        top->key(event);
    sync_focus();
}

void SkinApplication::text(std::u16string_view text)
{
    if (SkinForm* top = top_form())
        top->text(text);
}

void SkinApplication::tick(double seconds)
{
    if (m_transition) {
        m_transition->tick(seconds);
        if (m_transition->finished())
            m_transition.reset();
        m_needsRedraw = true;
        return;
    }
    if (SkinForm* top = top_form()) {
        give_client_size(*top);
        top->tick(seconds);
    }
}

bool SkinApplication::needs_redraw(bool include_pending)
{
    SkinForm* top = top_form();
    if ((top && (top->needs_redraw() || top->needs_layout())) || m_needsRedraw)
        return true;
    return include_pending && m_redrawPending;
}

// ---- forms --------------------------------------------------------------------------------

void SkinApplication::OpenForm(SkinForm& form, bool popup)
{
    m_needsRedraw = true;
    give_client_size(form);
    if (m_forms.empty()) {
        form.set_visible(true);
    } else if (popup) {
        m_transition.reset();
        Entry& top = m_forms.back();
        if (!top.popup)
            capture_into_snapshot(*top.form);
        top.form->set_visible(false);
        form.show_animated(nullptr);
    } else {
        Entry& top = m_forms.back();
        if (m_transition && m_transition->direction() < 0 && m_transition->form() == &form) {
            // Reopened while it was still closing: the same movement turns round.
            top.form->set_visible(false);
            form.set_visible(true);
            m_transition->set_direction(1);
        } else {
            m_transition.reset();
            std::unique_ptr<Transition> transition = form.make_transition();
            if (top.popup) {
                if (transition) {
                    // The picture the transition leaves is what the screen showed: the popup
                    // over the dimmed form.
                    scale_brightness(m_snapshot->canvas(), {0, 0}, m_snapshot->size(), m_dimming);
                    top.form->draw(m_snapshot->canvas(), {0, 0});
                } else {
                    m_snapshot->recreate({0, 0});
                }
                top.form->set_visible(false);
                form.set_visible(true);
                m_dimming = kFull;
            } else {
                if (transition)
                    capture_into_snapshot(*top.form);
                top.form->set_visible(false);
                form.set_visible(true);
            }
            if (transition) {
                transition->start(snapshot_copy(), 1, form);
                m_transition = std::move(transition);
            }
        }
    }
    m_forms.push_back({&form, popup});
    sync_focus();
    if (m_listener)
        m_listener->form_opened(form);
}

bool SkinApplication::CloseForm(SkinForm& form)
{
    auto it = std::find_if(m_forms.begin(), m_forms.end(), [&](const Entry& e) { return e.form == &form; });
    if (it == m_forms.end())
        return false;
    m_needsRedraw = true;
    // A field left focused would take the edit window again when the form is reopened.
    form.root().unfocus();
    if (m_listener)
        m_listener->form_closed(form);
    if (it + 1 != m_forms.end()) {
        form.set_visible(false);
        m_forms.erase(it);
        return true;
    }
    bool was_popup = m_forms.back().popup;
    m_forms.pop_back();
    if (m_forms.empty()) {
        // Nothing is drawn any more; a stylus the form still held is let go.
        form.set_visible(false);
        sync_focus();
        return true;
    }
    Entry& next = m_forms.back();
    if (m_transition && m_transition->direction() > 0 && m_transition->form() == &form) {
        // Closed while it was still opening: the opening plays backwards.
        form.set_visible(false);
        next.form->set_visible(true);
        give_client_size(*next.form);
        m_transition->set_direction(-1);
        sync_focus();
        return true;
    }
    m_transition.reset();
    if (was_popup) {
        form.set_visible(false);
        if (next.popup) {
            next.form->show_animated(nullptr);
        } else {
            m_snapshot->recreate({0, 0});
            next.form->set_visible(true);
        }
    } else {
        std::unique_ptr<Transition> transition = form.make_transition();
        if (next.popup) {
            auto full = std::find_if(m_forms.rbegin(), m_forms.rend(), [](const Entry& e) { return !e.popup; });
            if (full != m_forms.rend())
                capture_into_snapshot(*full->form);
            next.form->show_animated(nullptr);
        } else {
            next.form->set_visible(true);
            if (transition)
                capture_into_snapshot(*next.form);
        }
        if (transition) {
            transition->start(snapshot_copy(), -1, form);
            m_transition = std::move(transition);
        }
        form.set_visible(false);
    }
    give_client_size(*next.form);
    sync_focus();
    return true;
}

// ---- composing a frame --------------------------------------------------------------------

void SkinApplication::paint(Canvas& canvas)
{
    m_redrawPending = needs_redraw(false);
    m_needsRedraw = false;
    PixelBuffer* target = canvas.target();
    if (!target)
        return;
    POINT size{target->width(), target->height()};
    if (m_transition) {
        clear(canvas);
        m_transition->draw(canvas);
    } else if (m_forms.empty()) {
        clear(canvas);
    } else {
        Entry& top = m_forms.back();
        give_client_size(*top.form);
        if (top.popup) {
            POINT shot = m_snapshot->size();
            if (shot.x < size.x || shot.y < size.y)
                clear(canvas);
            if (m_snapshot->buffer())
                m_snapshot->draw(canvas, {0, 0}, copy_op());
            scale_brightness(canvas, {0, 0}, size, m_dimming);
            if (m_dimming != kDimmed)
                m_needsRedraw = true;
            m_dimming = std::max(m_dimming - kDimStep, kDimmed);
        }
        top.form->draw(canvas, {0, 0});
    }
    if (m_forms.empty() || !m_forms.back().popup) {
        scale_brightness(canvas, {0, 0}, size, m_dimming);
        if (m_dimming != kFull)
            m_needsRedraw = true;
        m_dimming = m_dimming < kFull - kDimStep ? m_dimming + kDimStep : kFull;
    }
    if (log_enabled())
        draw_frame_times(canvas);
}

void SkinApplication::draw_frame_times(Canvas& canvas)
{
    m_frameTimes.push_back(GetTickCount());
    while (m_frameTimes.size() > kFrameTimes)
        m_frameTimes.pop_front();
    scale_brightness(canvas, {0, 0}, {150, 20}, kDimmed);
    if (m_frameTimes.size() >= 2 && m_defaultFont) {
        double m = static_cast<double>(m_frameTimes.back() - m_frameTimes.front()) / static_cast<double>(m_frameTimes.size() - 1);
        int whole = static_cast<int>(m);
        int tenth = static_cast<int>((m - whole) * 10.0);
        std::string ms = std::to_string(whole) + "." + std::to_string(tenth) + " ms";
        if (!m_redrawPending)
            ms = "[" + ms + "]";
        std::string line = ms + " " + std::to_string(RenderSurface::pixel_count() / 1000) + " Kp";
        SkinColor colour{64, 255, 64, 255};
        if (m >= 60)
            colour = {255, 64, 64, 255};
        else if (m >= 40)
            colour = {255, static_cast<uint8_t>(64 + 191 * (1 - (m - 40) * 0.05)), 64, 255};
        else if (m >= 20)
            colour = {static_cast<uint8_t>(64 + 191 * (m - 20) * 0.05), 255, 64, 255};
        m_defaultFont->draw_text(canvas, colour, std::u16string(line.begin(), line.end()), {0, 0}, {160, 20},
            HAlign::LEFT, VAlign::VCENTER, false);
    }
    // Only frames of one continuous animation make a meaningful mean.
    if (!m_redrawPending)
        m_frameTimes.clear();
}
