#pragma once
// The settings program on a test device: the built data tree installed as an installer would,
// and the program's objects made as its start makes them, so that a test can choose entries,
// look at the files and draw frames.
#include <simhost.h>
#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

#include "kbfiles/LayoutSelection.h"
#include "kbfiles/kbSettings.h"
#include "runtime/Path.h"
#include "ui/SkinApplication.h"
#include "settings_app/Language.h"
#include "settings_app/LayoutList.h"
#include "settings_app/MainForm.h"
#include "settings_app/SettingsProgram.h"
#include "skin/file/DisplayInfo.h"
#include "skin/elements/BasicElements.h"
#include "skin/file/Properties.h"
#include "skin/drawing/RenderSurface.h"
#include "skin/elements/VListElement.h"
#include "tests/settings_app/SettingsTestFiles.h"

inline void InstallSettingsData(const TempDeviceRoot& device)
{
    namespace fs = std::filesystem;
    fs::path target = device.hostPath(u"\\Program Files\\Tarn\\Magnikeys");
    fs::create_directories(target);
    fs::copy(MK_DATA_DIR, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

class SettingsRun {
public:
    // geometry: "qvga" or "vga"; the data tree must be installed already.
    explicit SettingsRun(const char* geometry)
    {
        SimUseVirtualClock(1000);
        SimSetGeometry(geometry);
        // A new program: no zoom style remembered from an earlier read of this process.
        kbSettings::last_board_style_name().clear();
        app = std::make_unique<SkinApplication>(nullptr, kApplicationName);
        GameBase& platform = app->platform();
        platform.SetRawKeyInput(false);
        platform.SetWindowed(false);
        platform.SetDirectDisplay(DisplayInfo::query().orientation);
        skin_loaded = skin.load_skin(ExpandPath(kSkinPath), DisplayInfo::query());
        language_loaded = language.LoadLanguage(kApplicationName);
        selection = std::make_unique<LayoutSelection>();
        layouts = std::make_unique<LayoutList>(*selection);
        settings = std::make_unique<kbSettings>();
        form = std::make_unique<MainForm>(skin, language, *layouts, *settings);
        form->show_main_menu();
        app->OpenForm(*form, false);
    }
    ~SettingsRun()
    {
        form.reset();
        layouts.reset();
        selection.reset();
        settings.reset();
        app.reset();
        SimPumpMessages();
        SimUseRealClock();
    }

    MenuForm& menu() { return form->menu(); }
    int count() { return menu().list()->item_count(); }
    std::u16string id(int index) { return index < int(menu().entries().size()) ? menu().entries()[index].id : u"<none>"; }
    std::vector<std::u16string> ids()
    {
        std::vector<std::u16string> out;
        for (const MenuEntry& e : menu().entries())
            out.push_back(e.id);
        return out;
    }
    int index_of(std::u16string_view id)
    {
        for (size_t i = 0; i < menu().entries().size(); ++i)
            if (menu().entries()[i].id == id)
                return int(i);
        return -1;
    }
    bool checked(std::u16string_view id)
    {
        int i = index_of(id);
        Element* check = i < 0 ? nullptr : menu().entry_element(i)->find_child(u"checked");
        return check && check->is_visible();
    }
    std::u16string label(std::u16string_view id)
    {
        int i = index_of(id);
        auto* text = i < 0 ? nullptr : dynamic_cast<OldTextElement*>(menu().entry_element(i)->find_child(u"#text"));
        return text ? text->text() : u"<none>";
    }
    // A tap on the entry, as the stylus gives it through the window layer.
    void choose(std::u16string_view id)
    {
        int i = index_of(id);
        ASSERT_GE(i, 0) << "no entry " << Utf8FromUtf16(id);
        layout();
        Element* e = menu().entry_element(i);
        PointerEvent press;
        press.x = e->position().x + e->size().x / 2;
        press.y = e->position().y + e->size().y / 2;
        press.down = true;
        app->pointer_pressed(press);
        PointerEvent release = press;
        release.down = false;
        app->pointer_pressed(release);
        layout();
    }
    void layout()
    {
        ScreenRecord area = app->platform().ClientArea();
        form->set_size(area.client_width, area.client_height);
    }
    // One composed frame, as the window layer would show it.
    RenderSurface& frame()
    {
        ScreenRecord area = app->platform().ClientArea();
        surface.recreate({ area.client_width, area.client_height });
        app->paint(surface.canvas());
        return surface;
    }
    // Frames until the picture settles (popup dimming, animations).
    RenderSurface& settled_frame()
    {
        for (int i = 0; i < 40 && app->needs_redraw(false); ++i) {
            app->tick(0.04);
            frame();
        }
        app->tick(0.04);
        return frame();
    }

    std::unique_ptr<SkinApplication> app;
    Properties skin;
    Language language { skin };
    std::unique_ptr<LayoutSelection> selection;
    std::unique_ptr<LayoutList> layouts;
    std::unique_ptr<kbSettings> settings;
    std::unique_ptr<MainForm> form;
    RenderSurface surface;
    bool skin_loaded = false;
    bool language_loaded = false;
};
