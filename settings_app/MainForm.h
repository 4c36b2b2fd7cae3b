#pragma once
// The settings program's one form: a skin-drawn menu of screens (main menu, zoom types, layout
// list, languages) and the about screen. Choices write the keyboard's settings file, the layout
// list or the interface language at once; the default-keyboard switch is applied when the form
// is destroyed.
#include <memory>
#include <string>
#include <vector>

#include "ui/SkinForm.h"
#include "settings_app/DefaultKeyboard.h"
#include "skin/elements/MenuForm.h"

class Language;
class LayoutList;
class Properties;
class kbSettings;

inline constexpr char16_t kApplicationName[] = u"Magnikeys";
inline constexpr char16_t kVersionText[] = u"Magnikeys v2.0.1";
inline constexpr char16_t kMenuNode[] = u"Menu";
inline constexpr char16_t kMenuEntryNode[] = u"MenuElement";
inline constexpr char16_t kRedEntryNode[] = u"MenuElementRed";
inline constexpr char16_t kAboutNode[] = u"About";

// The product name and version over the dimmed menu; a tap or a key closes it.
class AboutScreen final : public SkinForm {
public:
    AboutScreen() = default;
    bool load(const Properties& props, const Language& language);
    // Shows the texts of the language now in force.
    void translate(const Language& language);
    bool loaded() const { return m_loaded; }

    void pointer_pressed(const PointerEvent& event) override;
    void key(const KeyEvent& event) override;

private:
    void close();
    bool m_loaded = false;
    bool m_pressed = false;
};

class MainForm final : public SkinForm {
public:
    MainForm(const Properties& skin, Language& language, LayoutList& layouts, kbSettings& settings);
    // Applies the default-keyboard switch when the user changed it.
    ~MainForm() override;

    // False when the skin lacks the menu.
    bool loaded() const { return m_loaded; }
    MenuForm& menu() { return *m_menu; }
    AboutScreen& about() { return m_about; }
    // The first screen: the main menu without a caption.
    void show_main_menu();

    // The menu's callback: the screen that a chosen id (or a screen name) leads to.
    void OnMenu(const std::u16string& id, std::vector<MenuEntry>& entries);

    // The about screen opens once the event that chose it is done, so that the menu beneath it
    // no longer shows the entry held.
    void pointer_pressed(const PointerEvent& event) override;
    void key(const KeyEvent& event) override;
    void tick(double seconds) override;

    bool default_keyboard() const { return m_defaultKeyboard; }
    bool default_keyboard_changed() const { return m_defaultKeyboardChanged; }

private:
    bool layouts_screen(const std::u16string& id, std::vector<MenuEntry>& entries);
    bool zoom_types_screen(const std::u16string& id, std::vector<MenuEntry>& entries);
    void main_menu(std::vector<MenuEntry>& entries) const;
    void open_about();

    Language& m_language;
    LayoutList& m_layouts;
    kbSettings& m_settings;
    MenuForm* m_menu;
    AboutScreen m_about;
    bool m_loaded = false;
    bool m_aboutChosen = false;
    bool m_defaultKeyboard = false;
    bool m_defaultKeyboardChanged = false;
    FileInfo m_selectorFile;
};
