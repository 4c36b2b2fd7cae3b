// The x11 display back end in this process, on a virtual X server: a device window drawn again
// in small parts (a pixel, a corner, a row, a band across) must show on its X window exactly as
// the device drew it, each colour converted alike.
#include "tests/support/DeviceRoot.h"
#include "tests/support/VirtualX.h"

#include <simhost.h>
#include <windows.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <poll.h>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

LRESULT CALLBACK plainProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    return DefWindowProc(w, m, wp, lp);
}

// The X window whose name is title; 0 when there is none.
Window findNamed(Display* d, Window parent, const char* title)
{
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, parent, &root, &up, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (XFetchName(d, children[i], &name) && name) {
            if (std::string(name) == title)
                found = children[i];
            XFree(name);
        }
        if (!found)
            found = findNamed(d, children[i], title);
    }
    if (children)
        XFree(children);
    return found;
}

class X11Windows : public DeviceRootTest {
protected:
    VirtualX x;
    Display* display = nullptr;
    std::string savedDisplay;
    bool hadDisplay = false;

    void SetUp() override
    {
        if (!OnPath("Xvfb"))
            GTEST_SKIP() << "needs Xvfb (scripts/setup installs it)";
        ASSERT_TRUE(x.start("640x480x24"));
        if (const char* d = std::getenv("DISPLAY")) {
            hadDisplay = true;
            savedDisplay = d;
        }
        setenv("DISPLAY", x.name().c_str(), 1);
        display = XOpenDisplay(x.name().c_str());
        ASSERT_NE(display, nullptr);
        ASSERT_TRUE(SimOpenDisplay("x11"));
    }
    // The X window's pixels against the device window's, as last presented (no present here).
    // The host's requests go out on its own connection, which the server may take after this
    // one's: a picture not there yet is looked at again for a while.
    bool shownAsDrawn(HWND window, Window xid)
    {
        for (int look = 0; look < 100; ++look) {
            if (shownAsDrawnNow(window, xid))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    bool shownAsDrawnNow(HWND window, Window xid)
    {
        XSync(display, False);
        const uint16_t* pixels = nullptr;
        int width = 0, height = 0;
        if (!SimWindowPixels(window, &pixels, &width, &height))
            return false;
        XImage* image = XGetImage(display, xid, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
        if (!image)
            return false;
        bool same = true;
        for (int y = 0; y < height && same; ++y)
            for (int x = 0; x < width && same; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                const unsigned r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
                same = static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)) == pixels[static_cast<size_t>(y) * width + x];
            }
        XDestroyImage(image);
        return same;
    }

    // The X window the back end made for the device window titled title, once presented.
    Window presentedAs(const char* title)
    {
        Window xid = 0;
        for (int i = 0; i < 100 && !xid; ++i) {
            SimPresent();
            XSync(display, False);
            xid = findNamed(display, DefaultRootWindow(display), title);
        }
        return xid;
    }

    void TearDown() override
    {
        SimCloseDisplay();
        if (display)
            XCloseDisplay(display);
        hadDisplay ? setenv("DISPLAY", savedDisplay.c_str(), 1) : unsetenv("DISPLAY");
    }

    // The X window's pixels against the device window's, converted to 565.
    void expectShownAsDrawn(HWND window, Window xid, const std::string& step)
    {
        SimPresent();
        shownAsDrawn(window, xid);
        const uint16_t* pixels = nullptr;
        int width = 0, height = 0;
        ASSERT_TRUE(SimWindowPixels(window, &pixels, &width, &height)) << step;
        XImage* image = XGetImage(display, xid, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
        ASSERT_NE(image, nullptr) << step;
        int wrong = 0, firstX = -1, firstY = -1;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                const unsigned r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
                const uint16_t shown = static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
                if (shown != pixels[static_cast<size_t>(y) * width + x] && wrong++ == 0)
                    firstX = x, firstY = y;
            }
        XDestroyImage(image);
        EXPECT_EQ(wrong, 0) << step << ": first at (" << firstX << ", " << firstY << ")";
    }
};

std::vector<std::string> g_heard;
bool g_paintUp = false;
int g_drawn = 0;

// Red while the stylus is down on it, blue once it went up (when g_paintUp): a shade of its own
// each time, so that no frame looks like an earlier one.
LRESULT CALLBACK tappedProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_LBUTTONDOWN || m == WM_LBUTTONUP) {
        g_heard.push_back(m == WM_LBUTTONDOWN ? "down" : "up");
        if (m == WM_LBUTTONUP && !g_paintUp)
            return 0;
        HDC dc = GetDC(w);
        RECT r {};
        GetClientRect(w, &r);
        const int shade = 40 + 24 * ++g_drawn;
        HBRUSH brush = CreateSolidBrush(m == WM_LBUTTONDOWN ? RGB(255, shade, 0) : RGB(0, shade, 255));
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        ReleaseDC(w, dc);
        return 0;
    }
    return DefWindowProc(w, m, wp, lp);
}

// Taps whose press and release arrive together, as the host's loop takes them: a frame may wait
// for the release to be handled, but no tap is lost and no frame waits more than one turn of the
// loop, even while more taps keep coming.
TEST_F(X11Windows, QuickTapsAreHandledInOrderAndTheirFramesFollowAtTheNextTurn)
{
    WNDCLASS wc {};
    wc.lpfnWndProc = tappedProc;
    wc.lpszClassName = u"test_x11_taps";
    RegisterClass(&wc);
    HWND window = CreateWindowEx(0, u"test_x11_taps", u"taps", WS_VISIBLE, 20, 30, 200, 120, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    SimPumpMessages();
    const Window xid = presentedAs("taps");
    ASSERT_NE(xid, 0u);
    XTestFakeMotionEvent(display, -1, 80, 80, CurrentTime);
    auto tap = [&] {
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XSync(display, False);
        // Until the host's connection has them.
        pollfd p { SimDisplayFd(), POLLIN, 0 };
        poll(&p, 1, 5000);
    };
    auto turn = [] {
        SimPollDisplay();
        SimPumpMessages();
    };
    // The frame of the press, which the release leaves as it is.
    g_heard.clear();
    tap();
    turn();
    EXPECT_EQ(g_heard, (std::vector<std::string> { "down" }));
    turn();
    EXPECT_EQ(g_heard, (std::vector<std::string> { "down", "up" }));
    EXPECT_TRUE(shownAsDrawn(window, xid)) << "the frame held back for the release never came";

    // The release draws too, and a second tap waits as that turn's frame goes out.
    g_paintUp = true;
    g_heard.clear();
    tap();
    turn();
    EXPECT_EQ(g_heard, (std::vector<std::string> { "down" }));
    tap();
    turn();
    EXPECT_EQ(g_heard, (std::vector<std::string> { "down", "up", "down" }));
    EXPECT_TRUE(shownAsDrawn(window, xid)) << "the frame held back for the release did not follow it";
    turn();
    EXPECT_EQ(g_heard, (std::vector<std::string> { "down", "up", "down", "up" }));
    EXPECT_TRUE(shownAsDrawn(window, xid));

    DestroyWindow(window);
    UnregisterClass(u"test_x11_taps", nullptr);
}

TEST_F(X11Windows, PartsDrawnAgainShowExactlyAsTheDeviceDrewThem)
{
    WNDCLASS wc {};
    wc.lpfnWndProc = plainProc;
    wc.lpszClassName = u"test_x11_parts";
    RegisterClass(&wc);
    HWND window = CreateWindowEx(0, u"test_x11_parts", u"parts", WS_VISIBLE, 20, 30, 200, 120, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    RECT client {};
    GetClientRect(window, &client);
    auto paint = [&](RECT r, COLORREF colour) {
        HDC dc = GetDC(window);
        HBRUSH brush = CreateSolidBrush(colour);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        ReleaseDC(window, dc);
    };
    // Every 565 value of a channel appears somewhere: the conversion is checked over its range.
    for (int x = 0; x < client.right; ++x)
        paint(RECT { x, 0, x + 1, client.bottom }, RGB((x * 8) & 0xFF, (x * 4) & 0xFF, 255 - ((x * 8) & 0xFF)));
    SimPumpMessages();
    const Window xid = presentedAs("parts");
    ASSERT_NE(xid, 0u);
    expectShownAsDrawn(window, xid, "whole");

    const LONG w = client.right, h = client.bottom;
    struct Part {
        RECT r;
        COLORREF colour;
        const char* what;
    } parts[] = {
        { { 0, 0, 1, 1 }, RGB(255, 255, 255), "top-left pixel" },
        { { w - 1, h - 1, w, h }, RGB(1, 2, 3), "bottom-right pixel" },
        { { w - 7, 0, w, 5 }, RGB(200, 10, 10), "top-right corner" },
        { { 0, h / 2, w, h / 2 + 1 }, RGB(0, 255, 0), "a whole row" },
        { { w / 3, 0, w / 3 + 1, h }, RGB(0, 0, 255), "a whole column" },
        { { 10, 20, 30, 25 }, RGB(90, 90, 90), "a key" },
    };
    for (const Part& p : parts) {
        paint(p.r, p.colour);
        expectShownAsDrawn(window, xid, p.what);
    }
    // Two separate parts in one frame: the rows between them stay as they were.
    paint(RECT { 2, 3, 6, 4 }, RGB(255, 0, 255));
    paint(RECT { w - 9, h - 4, w - 3, h - 2 }, RGB(255, 128, 0));
    expectShownAsDrawn(window, xid, "two parts in one frame");
    // Drawn again with what it showed: nothing to send, still right.
    paint(RECT { 10, 20, 30, 25 }, RGB(90, 90, 90));
    expectShownAsDrawn(window, xid, "the same again");

    DestroyWindow(window);
    UnregisterClass(u"test_x11_parts", nullptr);
}

}
