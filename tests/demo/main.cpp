// The demonstration program. A first start shows the main form full screen (drawn straight into
// the frame buffer), or windowed with the taskbar when its command line is "-windowed"; a later
// start hands its command line to the first and ends.
#include <windows.h>

#include "runtime/Path.h"
#include "runtime/Text.h"
#include "tests/demo/DemoApp.h"

int main(int argc, char** argv)
{
    std::u16string command_line = argc > 1 ? Utf16FromUtf8(argv[1]) : std::u16string();
    if (GameBase::show_running_instance(command_line, DemoApp::kName))
        return 0;
    int code = 0;
    {
        DemoApp demo(nullptr);
        if (!demo.load(ExpandPath(u"%app_path%/demo.skin"))) {
            MessageBox(nullptr, u"The demo's skin is missing", DemoApp::kName, MB_OK);
            return 1;
        }
        demo.start(command_line == u"-windowed");
        code = demo.run();
    }
    return code;
}
