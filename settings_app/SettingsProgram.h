#pragma once
// The settings program from start to end: one running instance, the window layer in its
// starting display mode, the skin, the interface language, the layout list and the settings,
// the main form and the message loop.
#include <windows.h>

#include <string_view>

inline constexpr char16_t kSkinPath[] = u"%program_files%/Tarn/Magnikeys/" u"/skins/bin/default.skin";
inline constexpr char16_t kNoLanguagesText[] =
    u"No languages, please reinstall\n\u041d\u0435 \u043d\u0430\u0439\u0434\u0435\u043d\u044b "
    u"\u044f\u0437\u044b\u043a\u043e\u0432\u044b\u0435 \u0444\u0430\u0439\u043b\u044b, "
    u"\u043d\u0443\u0436\u043d\u0430 \u043f\u0435\u0440\u0435\u0443\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430\n";

// Returns the process's exit code: 0 after a normal end or when another instance took over,
// -1 when the skin cannot be loaded.
int RunSettingsProgram(HINSTANCE module, std::u16string_view command_line);
