// optarix.exe: the keyboard's settings program.
#include "runtime/Text.h"
#include "settings_app/SettingsProgram.h"

int main(int argc, char** argv)
{
    // The platform hands a program its command line as one argument.
    std::u16string command_line = argc > 1 ? Utf16FromUtf8(argv[1]) : std::u16string();
    return RunSettingsProgram(nullptr, command_line);
}
