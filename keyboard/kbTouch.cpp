#include "keyboard/kbTouch.h"
#include "keyboard/kbKeyActions.h"
#include "kbfiles/kbSettings.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace {

constexpr int32_t kSimple = 0;
constexpr int32_t kFlatZoom = 1;
constexpr int32_t kIZoom = 3;

// The integer part, held inside int's range (a value from an absurd setting must not become
// undefined behaviour).
int to_int(double value)
{
    if (!(value == value))
        return 0;
    if (value >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (value <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(value);
}

int near_int(double value)
{
    return to_int(value + 0.5);
}

int64_t magnitude(int64_t value)
{
    return value < 0 ? -value : value;
}

}

kbTouch::kbTouch(kbKeys& form, kbKeyActions& actions, const kbSettings& settings, Host& host)
    : m_form(form)
    , m_actions(actions)
    , m_settings(settings)
    , m_host(host)
    , m_repeatTimer(*this)
{
}

kbTouch::~kbTouch() = default;

double kbTouch::effective_zoom_scale() const
{
    const double scale = m_settings.zoom_scale;
    if (!(scale >= 1.0))
        return 1.0;
    return std::min(scale, 8.0);
}

double kbTouch::effective_repeat_delay() const
{
    const double delay = m_settings.repeat_delay;
    if (!(delay >= 0.02))
        return 0.02;
    return std::min(delay, 86400.0);
}

double kbTouch::effective_repeat_interval() const
{
    const double interval = m_settings.repeat_interval;
    if (!(interval >= 0.02))
        return 0.02;
    return std::min(interval, 86400.0);
}

POINT kbTouch::filter(POINT raw)
{
    POINT filtered;
    filtered.x = to_int((0.2 * m_p2.x + 0.8 * m_p1.x + raw.x) * 0.5 + 0.5);
    filtered.y = to_int((0.2 * m_p2.y + 0.8 * m_p1.y + raw.y) * 0.5 + 0.5);
    m_p2 = m_p1;
    m_p1 = filtered;
    return filtered;
}

POINT kbTouch::zoom_shift(double z) const
{
    const double grow = z - 1;
    const double span = effective_zoom_scale() - 1;
    const double ox = span > 0 ? m_anchorOffset.x * grow / span : 0.0;
    const double oy = span > 0 ? m_anchorOffset.y * grow / span : 0.0;
    return POINT { near_int(m_downPoint.x * grow + ox), near_int(m_downPoint.y * grow + oy) };
}

void kbTouch::on_touch(POINT point, DWORD when)
{
    if (m_settings.smart_zoom && m_pause.lap() > m_settings.print_pause_to_enable_delay)
        m_zoomCount = 0;

    m_p1 = m_p2 = m_current = point;
    TouchSample sample { point.x, point.y, when, true };
    m_touchState = sample;
    m_down = true;
    m_lifted = false;
    m_samples.clear();
    m_samples.push_front(sample);
    m_repeatMode = false;

    if (m_actions.settings_changed) {
        m_host.reload_layouts_and_settings();
        m_actions.settings_changed = false;
    }

    if (m_form.stylus_state(sample)) {
        m_zoomTime = 0;
        m_hover.restart();
        m_downTick = when;
        m_downPoint = point;
        m_anchor = m_form.anchor();
        m_anchorOffset = m_form.anchor_offset();
        m_repeatTimer.start(effective_repeat_delay() * 0.5);
    }
    m_host.invalidate();
}

void kbTouch::on_move(POINT point, DWORD when)
{
    if (!m_down)
        return;
    const POINT filtered = filter(point);
    m_current = filtered;
    TouchSample sample { filtered.x, filtered.y, when, true };

    const double z = m_zoomLevel;
    if (m_settings.board_style == kFlatZoom && z > 1.0) {
        const POINT shift = zoom_shift(z);
        sample.x = near_int((shift.x + static_cast<double>(filtered.x)) / z);
        sample.y = near_int((shift.y + static_cast<double>(filtered.y)) / z);
    }
    if (m_settings.board_style == kIZoom && z > 1.0 && filtered.y < 0)
        m_current.y = 0;

    m_samples.push_front(sample);
    while (m_samples.size() > 1
        && (static_cast<DWORD>(m_samples.front().tick - m_samples.back().tick) * 0.001 >= m_settings.last_movement_ignore
            || m_samples.size() > kSampleLimit))
        m_samples.pop_back();

    const int before = m_form.current_key();
    m_form.stylus_move(POINT { sample.x, sample.y });
    const int now = m_form.current_key();
    if (now != before && now != -1) {
        reassert_modifier_looks(now);
        m_hover.restart();
        if (m_repeatMode) {
            m_repeatMode = false;
            m_host.show_zoom_window();
        }
    }
    m_host.invalidate();
}

void kbTouch::reassert_modifier_looks(int newKey)
{
    const std::pair<const char16_t*, bool> looks[] = {
        { u"shift", m_actions.shift() },
        { u"ctrl", m_actions.ctrl() },
        { u"extra", m_actions.extra() },
    };
    for (const auto& [name, on] : looks) {
        if (m_form.key_index(name) != newKey)
            m_form.set_modifier_look(name, on);
    }
}

void kbTouch::release_point(DWORD when)
{
    if (m_down) {
        m_upTick = when;
        m_lifted = true;
    }
    if (m_down && !m_samples.empty())
        m_form.stylus_move(POINT { m_samples.back().x, m_samples.back().y });
}

void kbTouch::on_release()
{
    // The capture can end more than once for one touch; only the first ends it.
    if (!m_down)
        return;
    m_down = false;
    m_form.stylus_state(TouchSample { m_touchState.x, m_touchState.y, GetTickCount(), false });

    if (m_zoomLevel == (effective_zoom_scale() - 1) + 1) {
        ++m_zoomCount;
        m_pause.restart();
    }

    // A capture that ended without a lift ends the touch now.
    const DWORD up = m_lifted ? m_upTick : GetTickCount();
    const double duration = static_cast<DWORD>(up - m_downTick) * 0.001;
    m_durations[0] = m_durations[1];
    m_durations[1] = m_durations[2];
    m_durations[2] = duration;

    if (!stroke_test(duration))
        press_current_key();
    m_host.invalidate();
}

bool kbTouch::stroke_test(double duration)
{
    // A touch too short to measure has no speed: it is a tap, never a stroke.
    if (!(duration > 0))
        return false;
    const int64_t nx = m_samples.empty() ? 0 : m_samples.front().x;
    const int64_t ny = m_samples.empty() ? 0 : m_samples.front().y;
    const int64_t dx = nx - m_downPoint.x;
    const int64_t dy = ny - m_downPoint.y;
    const double perSecond = 1.0 / duration;
    const int64_t vx = static_cast<int64_t>(std::clamp(dx * perSecond, -kVelocityLimit, kVelocityLimit));
    const int64_t vy = static_cast<int64_t>(std::clamp(dy * perSecond, -kVelocityLimit, kVelocityLimit));

    // The thresholds on this screen: the same gesture relative to the keys at every scale.
    const double g = m_gestureScale;
    const double speedX = m_settings.stroke_speed.x * g, speedY = m_settings.stroke_speed.y * g;
    const double distanceX = m_settings.stroke_distance.x * g, distanceY = m_settings.stroke_distance.y * g;
    const char16_t* name = nullptr;
    if (double(magnitude(vx)) > speedX && double(magnitude(dx)) > double(magnitude(dy)) + distanceX)
        name = dx > 0 ? u"space" : u"backspace";
    else if (double(magnitude(vy)) > speedY && double(magnitude(dy)) > double(magnitude(dx)) + distanceY)
        name = dy > 0 ? u"enter" : u"shift";
    if (!name)
        return false;
    m_actions.process_key(m_form.key_index(name), name);
    return true;
}

void kbTouch::press_current_key()
{
    std::u16string name;
    int index = -1;
    if (m_form.current_key_name(name, index))
        m_actions.process_key(index, name);
}

void kbTouch::timer_expired(Timer&)
{
    if (!m_down)
        return;
    if (m_hover.elapsed() > effective_repeat_delay() && m_form.is_repeatable()) {
        if (!m_repeatMode) {
            m_repeatMode = true;
            m_host.hide_zoom_window();
        }
        press_current_key();
        m_host.invalidate();
    }
    m_repeatTimer.start(effective_repeat_interval());
}

void kbTouch::advance_zoom(double dt)
{
    m_zoomLevel = 1.0;
    if (!m_down)
        return;
    m_zoomTime += dt;
    const double delay = m_settings.zoom_show_delay;
    const double animation = m_settings.animation_time;
    double r;
    if (animation > 0)
        r = (m_zoomTime - delay) / animation;
    else // no animation: the full zoom as soon as the delay has passed
        r = m_zoomTime > delay ? 1.0 : 0.0;
    if (!(r == r))
        r = 0.0;

    if (m_settings.smart_zoom && m_zoomCount >= m_settings.zooms_count_to_disable_delay) {
        const double quick = m_settings.min_time_for_press;
        const bool typingFast = m_durations[0] <= quick && m_durations[1] <= quick && m_durations[2] <= quick;
        if (!typingFast)
            r = 1.0;
    }
    if (r <= 0)
        return;
    r = std::min(r, 1.0);
    const double power = m_settings.zoom_power > 0 ? m_settings.zoom_power : 0.0;
    m_zoomLevel = (effective_zoom_scale() - 1) * std::pow(r, power) + 1;

    if (!m_host.zoom_window_visible() && m_settings.board_style != kSimple && !m_repeatMode)
        m_host.show_zoom_window();
}
