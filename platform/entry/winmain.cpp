// The device's program entry: the platform starts a program at WinMain with its instance, no
// previous instance, its command line (the single parameter string it was started with) and the
// show state, and ends the process with what WinMain returns.
#include "linux/text/host_text.h"

#include <libloader.h>
#include <winuser.h>

#include <string>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);

int main(int argc, char** argv)
{
    std::u16string line = argc > 1 ? sim::toUtf16(argv[1]) : std::u16string();
    return WinMain(GetModuleHandle(nullptr), nullptr, line.data(), SW_SHOW);
}
