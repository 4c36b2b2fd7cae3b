#pragma once
// The body of the language fuzz target, shared with the unit test that replays its inputs: the
// settings program's objects on a device that holds the installed data tree.
#include <simhost.h>
#include <windows.h>

#include <filesystem>
#include <memory>

#include "kbfiles/LayoutSelection.h"
#include "kbfiles/kbSettings.h"
#include "runtime/Path.h"
#include "runtime/Registry.h"
#include "runtime/Text.h"
#include "ui/SkinApplication.h"
#include "settings_app/Language.h"
#include "settings_app/LayoutList.h"
#include "settings_app/MainForm.h"
#include "settings_app/SettingsProgram.h"
#include "skin/file/DisplayInfo.h"
#include "skin/file/Properties.h"
#include "skin/drawing/RenderSurface.h"
#include "tests/fuzz/FuzzDevice.h"

struct FuzzSettingsProgram {
    // The data tree must be installed in "\\Program Files\\Tarn\\Magnikeys" of the current root.
    FuzzSettingsProgram()
    {
        SimSetModulePath(u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe");
        SimUseVirtualClock(1000);
        SimSetGeometry("qvga");
        app = std::make_unique<SkinApplication>(nullptr, kApplicationName);
        app->platform().SetRawKeyInput(false);
        app->platform().SetWindowed(false);
        app->platform().SetDirectDisplay(DisplayInfo::query().orientation);
        if (!skin.load_skin(ExpandPath(kSkinPath), DisplayInfo::query()))
            abort();
        language.LoadLanguage(kApplicationName);
        selection = std::make_unique<LayoutSelection>();
        layouts = std::make_unique<LayoutList>(*selection);
        settings = std::make_unique<kbSettings>();
        form = std::make_unique<MainForm>(skin, language, *layouts, *settings);
        form->show_main_menu();
        app->OpenForm(*form, false);
    }

    ~FuzzSettingsProgram()
    {
        form.reset();
        layouts.reset();
        selection.reset();
        settings.reset();
        app.reset();
        SimPumpMessages();
        SimUseRealClock();
    }
    FuzzSettingsProgram(const FuzzSettingsProgram&) = delete;
    FuzzSettingsProgram& operator=(const FuzzSettingsProgram&) = delete;

    void draw()
    {
        ScreenRecord area = app->platform().ClientArea();
        form->set_size(area.client_width, area.client_height);
        surface.recreate({ area.client_width, area.client_height });
        app->paint(surface.canvas());
    }

    std::unique_ptr<SkinApplication> app;
    Properties skin;
    Language language { skin };
    std::unique_ptr<LayoutSelection> selection;
    std::unique_ptr<LayoutList> layouts;
    std::unique_ptr<kbSettings> settings;
    std::unique_ptr<MainForm> form;
    RenderSurface surface;
};

// The input is the ".lng" file; after a line "--8<--" comes the registry's language value.
inline void FuzzLanguage(FuzzSettingsProgram& program, const uint8_t* data, size_t size)
{
    std::vector<std::string_view> parts = FuzzParts(data, size, 2);
    FuzzWriteFile("Program Files/Tarn/Magnikeys/fuzz.lng", parts[0]);
    std::string value(parts[1].substr(0, 300));
    RegWriteText(Language::registry_key(kApplicationName), u"Language", Utf16FromUtf8(value));

    Language fresh(program.skin);
    fresh.LoadLanguage(kApplicationName);
    program.language.LoadLanguageFile(u"%app_path%/fuzz.lng");
    program.form->show_main_menu();
    program.draw();
    std::vector<MenuEntry> entries;
    program.language.OnMenu(u"Language", entries, kApplicationName, u"");
    program.form->about().translate(program.language);
    program.draw();
}
