#include "settings_app/SettingsProgram.h"

#include <memory>

#include "kbfiles/LayoutSelection.h"
#include "kbfiles/SkinChoice.h"
#include "kbfiles/kbSettings.h"
#include "runtime/Log.h"
#include "runtime/Path.h"
#include "ui/SkinApplication.h"
#include "settings_app/Language.h"
#include "settings_app/LayoutList.h"
#include "settings_app/MainForm.h"
#include "skin/file/DisplayInfo.h"
#include "skin/file/Properties.h"

namespace {

// The objects every part of the program reaches; a new one replaces (destroys) the old.
struct ProgramObjects {
    std::unique_ptr<LayoutSelection> selection;
    std::unique_ptr<LayoutList> layouts;
    std::unique_ptr<kbSettings> settings;

    void create()
    {
        layouts.reset();
        selection = std::make_unique<LayoutSelection>();
        layouts = std::make_unique<LayoutList>(*selection);
        settings = std::make_unique<kbSettings>();
    }
    // The selection writes the list back as it goes.
    void destroy()
    {
        layouts.reset();
        selection.reset();
        settings.reset();
    }
};

ProgramObjects& programObjects()
{
    static ProgramObjects objects;
    return objects;
}

}

int RunSettingsProgram(HINSTANCE module, std::u16string_view command_line)
{
    if (GameBase::show_running_instance(command_line, kApplicationName))
        return 0;

    auto app = std::make_unique<SkinApplication>(module, kApplicationName);
    GameBase& platform = app->platform();
    const DisplayInfo display = DisplayInfo::query();
    platform.SetRawKeyInput(false);
    platform.SetWindowed(false);
    platform.SetDirectDisplay(display.orientation);

    auto skin = std::make_unique<Properties>();
    auto language = std::make_unique<Language>(*skin);
    // The keyboard's skin for this screen, else the one beside the program.
    const std::u16string chosen = ChosenSkinPath(kSkinPath);
    if (!skin->load_skin(chosen, display) && (chosen == ExpandPath(kSkinPath) || !skin->load_skin(ExpandPath(kSkinPath), display))) {
        Log().append(u"optarix: no skin\n");
        // The skin carries no texts of its own; the language files say what went wrong.
        language->LoadLanguage(kApplicationName);
        MessageBox(platform.main_window(), language->Text(u"NoSkins").c_str(), kApplicationName, MB_OK);
        language.reset();
        skin.reset();
        app.reset();
        return -1;
    }

    if (!language->LoadLanguage(kApplicationName)) {
        MessageBox(platform.main_window(), kNoLanguagesText, kApplicationName, MB_OK);
    } else {
        ProgramObjects& objects = programObjects();
        objects.create();
        {
            MainForm form(*skin, *language, *objects.layouts, *objects.settings);
            if (!form.loaded()) {
                MessageBox(platform.main_window(), language->Text(u"NoSkins").c_str(), kApplicationName, MB_OK);
            } else {
                form.show_main_menu();
                app->OpenForm(form, false);
                app->Run();
            }
        }
        objects.destroy();
    }
    language.reset();
    skin.reset();
    app.reset();
    return 0;
}
