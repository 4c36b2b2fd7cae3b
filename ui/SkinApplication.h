#pragma once
// The user-interface application: owns the window layer, the stack of open forms, the default
// font and the composition of every frame. Full forms replace what was shown (through their
// transition, when they make one); popups are drawn over a darkened picture of what lies
// beneath.
#include <windows.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "runtime/Singleton.h"
#include "ui/AppEvents.h"
#include "ui/GameBase.h"
#include "skin/file/SkinColor.h"

class FontRep;
class RenderSurface;
class SkinForm;
class Transition;

class SkinApplication : public Singleton<SkinApplication>, public GameClient {
public:
    // The element types registered for skins, in this order.
    static const std::vector<std::u16string>& element_types();

    SkinApplication(HINSTANCE module, std::u16string_view application_name);
    ~SkinApplication() override;

    void OpenForm(SkinForm& form, bool popup);
    // False, changing nothing, when the form is not open.
    bool CloseForm(SkinForm& form);
    int Run() { return m_game->Run(); }

    // GameClient: the events go to the top form; with no form open they are dropped.
    void pointer_moved(const PointerEvent& event) override;
    void pointer_pressed(const PointerEvent& event) override;
    void key(const KeyEvent& event) override;
    void text(std::u16string_view text) override;
    void tick(double seconds) override;
    void paint(Canvas& canvas) override;
    bool needs_redraw(bool include_pending) override;
    void set_needs_redraw() override { m_needsRedraw = true; }
    bool has_forms() const override { return !m_forms.empty(); }
    void take_background(const PixelBuffer& screen) override;
    ApplicationListener* listener() const override { return m_listener; }

    void set_listener(ApplicationListener* listener) { m_listener = listener; }
    // Whether a focused text field is edited in the platform's edit window (the default) or by
    // the field itself.
    void set_native_edit(bool native) { m_nativeEdit = native; }

    GameBase& platform() { return *m_game; }
    const std::u16string& application_name() const { return m_applicationName; }
    const std::shared_ptr<FontRep>& default_font() const { return m_defaultFont; }
    SkinColor clear_colour() const { return m_clearColour; }
    SkinForm* top_form() const;
    bool top_is_popup() const;
    size_t form_count() const { return m_forms.size(); }
    int dimming_level() const { return m_dimming; }
    Transition* transition() const { return m_transition.get(); }
    const RenderSurface& background_snapshot() const { return *m_snapshot; }
    bool redraw_pending() const { return m_redrawPending; }
    size_t frame_time_count() const { return m_frameTimes.size(); }

private:
    struct Entry {
        SkinForm* form;
        bool popup;
    };

    POINT client_size() const;
    void give_client_size(SkinForm& form) const;
    // The form drawn alone at the client size into the background snapshot.
    void capture_into_snapshot(SkinForm& form);
    std::unique_ptr<RenderSurface> snapshot_copy() const;
    void clear(Canvas& canvas) const;
    void draw_frame_times(Canvas& canvas);
    // Keeps the window layer's focused text field the same as the top form's.
    void sync_focus();

    SkinColor m_clearColour { 0, 0, 0, 255 };
    ApplicationListener* m_listener = nullptr;
    std::u16string m_applicationName;
    std::vector<Entry> m_forms;
    std::unique_ptr<RenderSurface> m_snapshot;
    int m_dimming = 256;
    std::unique_ptr<Transition> m_transition;
    std::unique_ptr<GameBase> m_game;
    std::shared_ptr<FontRep> m_defaultFont;
    std::deque<DWORD> m_frameTimes;
    bool m_needsRedraw = false;
    bool m_redrawPending = false;
    bool m_nativeEdit = true;
};
