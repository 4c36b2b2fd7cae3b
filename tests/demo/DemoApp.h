#pragma once
// The demonstration program of the window layer and the user-interface application: a main form
// with a text field, a details form that slides in, and popups over the darkened screen. Also a
// second start of the program hands its command line over to the first.
#include <memory>
#include <string>
#include <vector>

#include "ui/SkinApplication.h"
#include "ui/SkinForm.h"
#include "skin/file/Properties.h"
#include "skin/elements/WidgetListener.h"

class ButtonElement;

class DemoForm final : public SkinForm {
public:
    explicit DemoForm(bool slides)
        : m_slides(slides)
    {
    }
    std::unique_ptr<Transition> make_transition() override;

private:
    bool m_slides;
};

class DemoApp final : public ApplicationListener, public WidgetListener {
public:
    static constexpr char16_t kName[] = u"UiDemo";
    // Where the last handed-over command line and the number of hand-overs are kept.
    static constexpr char16_t kStateKey[] = u"HKEY_CURRENT_USER\\Software\\Tarn\\UiDemo";

    explicit DemoApp(HINSTANCE module);
    ~DemoApp() override;

    // Loads the skin and builds the forms; false when the skin or one of its forms is missing.
    bool load(std::u16string_view skin_path);
    // The starting display mode, then the main form.
    void start(bool windowed);
    int run() { return m_app.Run(); }

    SkinApplication& app() { return m_app; }
    DemoForm& main_form() { return *m_main; }
    DemoForm& details() { return *m_details; }
    DemoForm& popup() { return *m_popup; }
    DemoForm& second_popup() { return *m_popup2; }
    const std::vector<std::u16string>& command_lines() const { return m_commandLines; }
    const std::vector<std::string>& events() const { return m_events; }

    // ApplicationListener
    void command_line_received(const std::u16string& command_line) override;
    bool close_requested() override;
    void form_opened(SkinForm& form) override;
    void form_closed(SkinForm& form) override;
    void resolution_changed() override;
    void help_requested() override { m_events.push_back("help"); }
    void deactivated() override { m_events.push_back("deactivated"); }
    void activated() override { m_events.push_back("activated"); }
    bool key(const KeyEvent& event) override;

    // WidgetListener
    bool on_click(Element& widget, const WidgetEvent& event) override;
    bool on_press_changed(Element&, const WidgetEvent&) override { return true; }
    void on_drag(Element&, const WidgetEvent&) override { }

private:
    ButtonElement* bind(SkinForm& form, std::u16string_view id);
    std::string form_name(const SkinForm& form) const;

    SkinApplication m_app;
    Properties m_skin;
    std::unique_ptr<DemoForm> m_main;
    std::unique_ptr<DemoForm> m_details;
    std::unique_ptr<DemoForm> m_popup;
    std::unique_ptr<DemoForm> m_popup2;
    std::vector<std::u16string> m_commandLines;
    std::vector<std::string> m_events;
    ButtonElement* m_open = nullptr;
    ButtonElement* m_showPopup = nullptr;
    ButtonElement* m_quit = nullptr;
    ButtonElement* m_back = nullptr;
    ButtonElement* m_detailsPopup = nullptr;
    ButtonElement* m_ok = nullptr;
    ButtonElement* m_more = nullptr;
    ButtonElement* m_ok2 = nullptr;
    ButtonElement* m_more2 = nullptr;
};
