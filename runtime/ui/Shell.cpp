// Until the platform offers the shell services, each call does what a device without them
// does: no menu bar, no input panel, no direct display (the program then stays windowed).
#include "runtime/ui/Shell.h"

namespace shell {

bool create_menu_bar(HWND, HINSTANCE, UINT, HWND& bar)
{
    bar = nullptr;
    return false;
}

void set_full_screen(HWND, bool, bool) { }

bool sip_shown(RECT*)
{
    return false;
}

void show_sip(bool) { }

void init_extra_controls() { }

int platform_major_version()
{
    return 4;
}

void open_raw_key_input(HWND) { }

void close_raw_key_input() { }

std::unique_ptr<DirectDisplay> DirectDisplay::open(HWND)
{
    return nullptr;
}

}

namespace shell {

HBRUSH create_solid_brush(COLORREF)
{
    return nullptr;
}

void delete_brush(HBRUSH) { }

HICON load_icon(HINSTANCE, int)
{
    return nullptr;
}

}
