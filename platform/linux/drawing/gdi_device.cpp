// The device's screen as the graphics calls report it.
#include "linux/drawing/gdi_internal.h"

#include <simhost.h>

#include <atomic>

namespace {

// QVGA portrait at 96 dpi until the host says otherwise.
std::atomic<int> g_width { 240 };
std::atomic<int> g_height { 320 };
std::atomic<int> g_dpi { 96 };

}

gdi::DeviceMetrics gdi::deviceMetrics()
{
    return DeviceMetrics { g_width.load(), g_height.load(), g_dpi.load() };
}

void SimSetDeviceMetrics(int width, int height, int dpi)
{
    if (width > 0)
        g_width.store(width);
    if (height > 0)
        g_height.store(height);
    if (dpi > 0)
        g_dpi.store(dpi);
}
