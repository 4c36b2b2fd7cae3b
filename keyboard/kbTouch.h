#pragma once
// The stylus on the keyboard: smoothing, the key under the stylus, the zoom level and its
// smart-zoom rule, auto-repeat of arrows and backspace, and on lift the choice between a
// stroke and a key press.
#include "keyboard/Stopwatch.h"
#include "keyboard/kbKeys.h"
#include "runtime/Timer.h"

#include <windows.h>

#include <deque>
#include <string>

class kbKeyActions;
class kbSettings;

class kbTouch final : public TimerObserver {
public:
    // The keyboard application: its windows and its data.
    class Host {
    public:
        virtual void invalidate() = 0;
        // Rereads the layout list and the settings file.
        virtual void reload_layouts_and_settings() = 0;
        virtual bool zoom_window_visible() const = 0;
        // Captures the screen under the zoom window, places it and shows it.
        virtual void show_zoom_window() = 0;
        // Puts the captured background back and hides the zoom window.
        virtual void hide_zoom_window() = 0;

    protected:
        ~Host() = default;
    };

    // Stroke speeds beyond this many pixels a second are all the same: far beyond any hand.
    static constexpr double kVelocityLimit = 1.0e9;
    // The sample queue never holds more than this, whatever last_movement_ignore says.
    static constexpr size_t kSampleLimit = 1024;

    kbTouch(kbKeys& form, kbKeyActions& actions, const kbSettings& settings, Host& host);
    ~kbTouch();
    kbTouch(const kbTouch&) = delete;
    kbTouch& operator=(const kbTouch&) = delete;

    // when: the tick the stylus event happened at (the message's time); a stroke's speed is
    // measured between these, not between the moments they are handled, which a busy host
    // delays.
    void on_touch(POINT point, DWORD when = GetTickCount());
    void on_move(POINT point, DWORD when = GetTickCount());
    // At the lift: the key under the oldest retained sample becomes the one pressed.
    void release_point(DWORD when = GetTickCount());
    // The capture ended: the touch is over.
    void on_release();
    // Run at every paint: dt is 0.04 s after a timer message, else 0.006 s.
    void advance_zoom(double dt);
    // The repeat step.
    void timer_expired(Timer& timer) override;

    // Screen pixels per design pixel for stroke_speed and stroke_distance, which settings.txt
    // keeps in design pixels (1 on the device, the skin's scale on a desktop).
    void set_gesture_scale(double scale) { m_gestureScale = scale > 0 ? scale : 1.0; }

    // The flat zoom's pan at level z.
    POINT zoom_shift(double z) const;

    bool is_down() const { return m_down; }
    double zoom_level() const { return m_zoomLevel; }
    double zoom_time() const { return m_zoomTime; }
    int zoom_count() const { return m_zoomCount; }
    bool repeat_mode() const { return m_repeatMode; }
    POINT current_point() const { return m_current; }
    POINT down_point() const { return m_downPoint; }
    const std::deque<TouchSample>& samples() const { return m_samples; }

    // The settings as the touch machine uses them: a value a person typed that would stop the
    // keyboard (a zero, negative or absurd time or scale) is taken at the nearest sound value.
    double effective_zoom_scale() const;
    double effective_repeat_delay() const;
    double effective_repeat_interval() const;

private:
    POINT filter(POINT raw);
    bool stroke_test(double duration);
    void press_current_key();
    void reassert_modifier_looks(int newKey);

    kbKeys& m_form;
    kbKeyActions& m_actions;
    const kbSettings& m_settings;
    Host& m_host;

    TouchSample m_touchState;
    bool m_down = false;
    std::deque<TouchSample> m_samples; // newest first
    POINT m_p1 {}, m_p2 {};
    POINT m_current {};
    POINT m_downPoint {};
    POINT m_anchor {};
    POINT m_anchorOffset {};
    double m_zoomTime = 0;
    double m_zoomLevel = 1.0;
    int m_zoomCount = 0;
    double m_durations[3] = { 1000000.0, 1000000.0, 1000000.0 }; // oldest first
    Stopwatch m_hover, m_pause;
    DWORD m_downTick = 0; // when the touch began and ended
    DWORD m_upTick = 0;
    bool m_lifted = false;
    bool m_repeatMode = false;
    double m_gestureScale = 1.0;
    Timer m_repeatTimer;
};
