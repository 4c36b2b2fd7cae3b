#pragma once
// When the desktop keyboard shows: the rules, apart from where the news comes from (the
// accessibility bus, the input devices, commands of later starts), so that they are tested on
// their own clock.
//
// - A text field that takes the focus shows the panel at once; focus that leaves editable text
//   hides it kHideDelay later, unless editable text has the focus again by then (moving from
//   one field to the next never flickers).
// - A key typed on a hardware keyboard while the panel is hidden keeps it hidden, whatever takes
//   the focus, until the screen is touched (a stylus or a finger): then it shows again when a
//   text field has the focus.
// - show, hide and toggle (the command line of a later start) act at once; the next change of
//   the focus decides again.
// - always: only those commands change it.
// - Without a way to follow the focus the panel stays up (commands still act).
namespace x11host {

enum class PanelCommand { Unset, Show, Hide, Toggle };

class AutoShow {
public:
    static constexpr unsigned kHideDelay = 250; // milliseconds

    // always: keep the panel up; start: the command the program started with (Unset: shown).
    AutoShow(bool always, PanelCommand start);

    // The focus went to an accessible object that takes text, or to one that does not.
    void focus(bool editable, unsigned now);
    // The focus can not be followed (no accessibility bus): the panel stays up.
    void focus_unavailable();
    // A key that types, pressed on a hardware keyboard.
    void hardware_key();
    // A touch or stylus press anywhere on the screen.
    void touch();
    void command(PanelCommand command);
    // Time passes; a hide that fell due happens unless keepUp (the keyboard's own window, its
    // settings program, took the focus).
    void tick(unsigned now, bool keepUp = false);

    // A hide falls due at now (tick then decides, knowing whether to keep the panel up).
    bool hide_due(unsigned now) const { return m_hidePending && static_cast<int>(now - m_hideAt) >= 0; }
    bool shown() const { return m_shown; }
    bool hardware_keyboard() const { return m_hardware; }

private:
    bool m_always;
    bool m_following = true;
    bool m_shown;
    bool m_editable = false; // editable text has the focus
    bool m_hardware = false;
    bool m_hidePending = false;
    unsigned m_hideAt = 0;
};

}
