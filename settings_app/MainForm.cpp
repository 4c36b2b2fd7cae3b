#include "settings_app/MainForm.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "kbfiles/kbSettings.h"
#include "runtime/Log.h"
#include "runtime/TextFile.h"
#include "ui/SkinApplication.h"
#include "settings_app/Language.h"
#include "settings_app/LayoutList.h"
#include "skin/elements/KeyCode.h"
#include "skin/file/Properties.h"

namespace {

// The zoom styles in the order the zoom-type screen lists them, with their numbers.
struct ZoomType {
    const char16_t* id;
    int32_t number;
};
constexpr ZoomType kZoomTypes[] = {
    { u"flat_zoom", 1 },
    { u"glass_zoom", 2 },
    { u"i_zoom", 3 },
    { u"simple", 0 },
};

MenuEntry entry(std::u16string id, bool checked = false, std::u16string style = {})
{
    MenuEntry e;
    e.id = std::move(id);
    e.style = std::move(style);
    e.checked = checked;
    return e;
}

}

bool AboutScreen::load(const Properties& props, const Language& language)
{
    m_loaded = SkinForm::load(props, kAboutNode);
    if (m_loaded)
        translate(language);
    return m_loaded;
}

void AboutScreen::translate(const Language& language)
{
    root().set_text_by_id(u"version", kVersionText);
    root().set_text_by_id(u"description", language.Text(u"About_Text", u""));
    root().set_text_by_id(u"hint", language.Text(u"About_Close", u""));
}

void AboutScreen::close()
{
    m_pressed = false;
    if (SkinApplication* app = SkinApplication::singleton_instance())
        app->CloseForm(*this);
}

void AboutScreen::pointer_pressed(const PointerEvent& event)
{
    SkinForm::pointer_pressed(event);
    // A whole tap closes it: the release of the press that opened it (on the menu) does not.
    if (event.down)
        m_pressed = true;
    else if (m_pressed && !event.cancelled)
        close();
}

void AboutScreen::key(const KeyEvent& event)
{
    SkinForm::key(event);
    if (!event.down && (event.key == KeyCode::Enter || event.key == KeyCode::Backspace))
        close();
}

MainForm::MainForm(const Properties& skin, Language& language, LayoutList& layouts, kbSettings& settings)
    : SkinForm(std::make_unique<MenuForm>())
    , m_language(language)
    , m_layouts(layouts)
    , m_settings(settings)
    , m_menu(static_cast<MenuForm*>(&root()))
    , m_selectorFile(kSelectorSource)
{
    DWORD started = GetTickCount();
    m_loaded = m_menu->load_menu(skin, kMenuNode, kMenuEntryNode);
    m_menu->set_callback([this](const std::u16string& id, std::vector<MenuEntry>& entries) { OnMenu(id, entries); });
    m_about.load(skin, language);
    m_defaultKeyboard = DefaultKeyboard::is_default();
    m_defaultKeyboardChanged = false;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", (GetTickCount() - started) * 0.001);
    Log().append(u"MainForm() = ").append(std::u16string(seconds, seconds + std::char_traits<char>::length(seconds))).append(u"\n");
}

MainForm::~MainForm()
{
    if (SkinApplication* app = SkinApplication::singleton_instance()) {
        app->CloseForm(m_about);
        app->CloseForm(*this);
    }
    if (m_defaultKeyboardChanged)
        DefaultKeyboard::apply(m_defaultKeyboard, m_selectorFile);
}

void MainForm::show_main_menu()
{
    m_menu->show(u"MainMenu", u"");
}

void MainForm::pointer_pressed(const PointerEvent& event)
{
    SkinForm::pointer_pressed(event);
    open_about();
}

void MainForm::key(const KeyEvent& event)
{
    SkinForm::key(event);
    open_about();
}

void MainForm::tick(double seconds)
{
    open_about();
    SkinForm::tick(seconds);
}

void MainForm::open_about()
{
    if (!m_aboutChosen)
        return;
    m_aboutChosen = false;
    SkinApplication* app = SkinApplication::singleton_instance();
    if (!m_about.loaded() || !app)
        return;
    m_about.translate(m_language);
    app->OpenForm(m_about, true);
}

void MainForm::OnMenu(const std::u16string& id, std::vector<MenuEntry>& entries)
{
    Log().append(u"MainForm::OnMenu ").append(id).append(u"\n");
    if (id == u"About") {
        m_aboutChosen = true;
    } else if (id == u"Close") {
        PostQuitMessage(0);
        return;
    }
    m_language.OnMenu(id, entries, kApplicationName, kRedEntryNode);
    if (!entries.empty())
        return;
    if (layouts_screen(id, entries))
        return;
    if (zoom_types_screen(id, entries))
        return;
    if (id == u"Smart_Zoom") {
        // The file may have changed since the menu showed it (the keyboard, another copy of
        // this program): only the switch the user touched changes.
        const bool wanted = !m_settings.smart_zoom;
        FileUpdateLock lock(kSettingsPath);
        m_settings.read();
        m_settings.smart_zoom = wanted;
        m_settings.write();
    } else if (id == u"default_keyboard") {
        m_defaultKeyboard = !m_defaultKeyboard;
        m_defaultKeyboardChanged = true;
    }
    m_settings.read();
    main_menu(entries);
}

bool MainForm::layouts_screen(const std::u16string& id, std::vector<MenuEntry>& entries)
{
    std::vector<std::u16string> enabled = m_layouts.enabled_layouts();
    std::vector<std::u16string> available = m_layouts.available_layouts();
    bool toggled = false;
    if (std::find(available.begin(), available.end(), id) != available.end()) {
        if (std::find(enabled.begin(), enabled.end(), id) == enabled.end())
            m_layouts.enable(id);
        else
            m_layouts.disable(id);
        toggled = true;
    }
    if (id != u"Layouts_List" && !toggled)
        return false;
    enabled = m_layouts.enabled_layouts();
    available = m_layouts.available_layouts();
    for (const std::u16string& name : available)
        entries.push_back(entry(name, std::find(enabled.begin(), enabled.end(), name) != enabled.end()));
    entries.push_back(entry(u"Back", false, kRedEntryNode));
    return true;
}

bool MainForm::zoom_types_screen(const std::u16string& id, std::vector<MenuEntry>& entries)
{
    for (const ZoomType& type : kZoomTypes) {
        if (id == type.id) {
            FileUpdateLock lock(kSettingsPath);
            m_settings.read();
            m_settings.board_style = type.number;
            m_settings.write();
        }
    }
    if (id != u"Zoom_Types")
        return false;
    for (const ZoomType& type : kZoomTypes)
        entries.push_back(entry(type.id, m_settings.board_style == type.number));
    entries.push_back(entry(u"Cancel", false, kRedEntryNode));
    return true;
}

void MainForm::main_menu(std::vector<MenuEntry>& entries) const
{
    if (Language::LanguageCount())
        entries.push_back(entry(u"Language"));
    entries.push_back(entry(u"Layouts_List"));
    entries.push_back(entry(u"Smart_Zoom", m_settings.smart_zoom));
    entries.push_back(entry(u"default_keyboard", m_defaultKeyboard));
    entries.push_back(entry(u"Zoom_Types"));
    entries.push_back(entry(u"About"));
    entries.push_back(entry(u"Close", false, kRedEntryNode));
}
