// The device's user language. It lives in the environment so that every program the device
// starts (ShellExecuteEx passes the environment on) sees the language the host chose.
#include "winnls.h"
#include "simhost.h"

#include <cstdio>
#include <cstdlib>

namespace {
constexpr char kVariable[] = "POCKETSIM_LANGUAGE";
constexpr LANGID kDefault = MAKELANGID(LANG_ENGLISH, 0x01);
}

LANGID GetUserDefaultLangID()
{
    const char* value = std::getenv(kVariable);
    if (!value || !*value)
        return kDefault;
    char* end = nullptr;
    unsigned long id = std::strtoul(value, &end, 0);
    if (*end != '\0' || id > 0xFFFF)
        return kDefault;
    return static_cast<LANGID>(id);
}

void SimSetUserLanguage(LANGID language)
{
    if (language == 0) {
        unsetenv(kVariable);
        return;
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(language));
    setenv(kVariable, text, 1);
}
