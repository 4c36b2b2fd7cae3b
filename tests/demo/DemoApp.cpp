#include "tests/demo/DemoApp.h"

#include "runtime/Registry.h"
#include "ui/Transition.h"
#include "skin/elements/ButtonElement.h"
#include "skin/file/DisplayInfo.h"
#include "skin/elements/FormElement.h"
#include "skin/elements/TextElement.h"

std::unique_ptr<Transition> DemoForm::make_transition()
{
    if (!m_slides)
        return nullptr;
    return std::make_unique<SlideTransition>();
}

DemoApp::DemoApp(HINSTANCE module)
    : m_app(module, kName)
    , m_main(std::make_unique<DemoForm>(false))
    , m_details(std::make_unique<DemoForm>(true))
    , m_popup(std::make_unique<DemoForm>(false))
    , m_popup2(std::make_unique<DemoForm>(false))
{
    m_app.set_listener(this);
}

DemoApp::~DemoApp()
{
    m_app.set_listener(nullptr);
    // The forms go before the skin, the skin before the application.
    m_main.reset();
    m_details.reset();
    m_popup.reset();
    m_popup2.reset();
}

ButtonElement* DemoApp::bind(SkinForm& form, std::u16string_view id)
{
    auto* button = dynamic_cast<ButtonElement*>(form.root().find_child(id));
    if (button)
        button->set_listener(this);
    return button;
}

bool DemoApp::load(std::u16string_view skin_path)
{
    if (!m_skin.load_skin(skin_path, DisplayInfo::query()))
        return false;
    if (!m_main->load(m_skin, u"demo_main") || !m_details->load(m_skin, u"demo_details")
        || !m_popup->load(m_skin, u"demo_popup") || !m_popup2->load(m_skin, u"demo_popup"))
        return false;
    m_open = bind(*m_main, u"open");
    m_showPopup = bind(*m_main, u"popup");
    m_quit = bind(*m_main, u"quit");
    m_back = bind(*m_details, u"back");
    m_detailsPopup = bind(*m_details, u"popup");
    m_ok = bind(*m_popup, u"ok");
    m_more = bind(*m_popup, u"more");
    m_ok2 = bind(*m_popup2, u"ok");
    m_more2 = bind(*m_popup2, u"more");
    m_popup2->root().set_text_by_id(u"caption", u"Another popup");
    m_popup2->root().set_text_by_id(u"message", u"Opened over the first: the picture beneath stays as it was.");
    if (m_more2)
        m_more2->set_enabled(false);
    return true;
}

void DemoApp::start(bool windowed)
{
    GameBase& platform = m_app.platform();
    platform.SetRawKeyInput(false);
    platform.SetWindowed(windowed);
    if (!windowed)
        platform.SetDirectDisplay(DisplayInfo::query().orientation);
    m_app.OpenForm(*m_main, false);
}

bool DemoApp::on_click(Element& widget, const WidgetEvent&)
{
    if (&widget == m_open)
        m_app.OpenForm(*m_details, false);
    else if (&widget == m_showPopup || &widget == m_detailsPopup)
        m_app.OpenForm(*m_popup, true);
    else if (&widget == m_quit)
        PostMessage(m_app.platform().main_window(), WM_CLOSE, 0, 0);
    else if (&widget == m_back)
        m_app.CloseForm(*m_details);
    else if (&widget == m_ok)
        m_app.CloseForm(*m_popup);
    else if (&widget == m_more)
        m_app.OpenForm(*m_popup2, true);
    else if (&widget == m_ok2)
        m_app.CloseForm(*m_popup2);
    return true;
}

void DemoApp::command_line_received(const std::u16string& command_line)
{
    m_commandLines.push_back(command_line);
    // Kept where another program (or a test) can see that the hand-over arrived.
    RegWriteText(kStateKey, u"HandedOver", command_line);
    RegWriteNumber(kStateKey, u"HandOvers", static_cast<DWORD>(m_commandLines.size()));
    std::u16string status = command_line.empty() ? u"A second start handed over an empty command line."
                                                 : u"A second start handed over: " + command_line;
    m_main->root().set_text_by_id(u"status", status);
    m_app.set_needs_redraw();
    m_app.platform().BringToFront();
}

bool DemoApp::close_requested()
{
    m_events.push_back("close");
    return true;
}

std::string DemoApp::form_name(const SkinForm& form) const
{
    if (&form == m_main.get())
        return "main";
    if (&form == m_details.get())
        return "details";
    if (&form == m_popup.get())
        return "popup";
    if (&form == m_popup2.get())
        return "popup2";
    return "?";
}

void DemoApp::form_opened(SkinForm& form)
{
    m_events.push_back("opened " + form_name(form));
}

void DemoApp::form_closed(SkinForm& form)
{
    m_events.push_back("closed " + form_name(form));
}

void DemoApp::resolution_changed()
{
    m_events.push_back("resolution");
}

bool DemoApp::key(const KeyEvent& event)
{
    // The device's back key leaves a popup or the details form.
    if (event.key != KeyCode::Backspace || !event.down || m_app.platform().focused_edit())
        return false;
    SkinForm* top = m_app.top_form();
    if (!top || top == m_main.get())
        return false;
    m_app.CloseForm(*top);
    return true;
}
