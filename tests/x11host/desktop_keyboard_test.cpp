// magnikeys-x11 on a virtual X server: a recording X program holds the focus; real pointer
// events (XTest) tap and stroke the keyboard's X window, and the program must receive exactly
// the keys typed, in order, without ever losing the focus.
#include "runtime/Registry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DeviceRoot.h"
#include "tests/support/KeyMap.h"
#include "tests/support/KeyboardSettings.h"
#include "tests/support/RecorderLine.h"
#include "tests/support/Sharpness.h"
#include "tests/support/Stylus.h"
#include "tests/support/VirtualX.h"

#include <simhost.h>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// What the recording program received: one entry per press of a key that is no modifier.
struct Press {
    std::string keysym;
    unsigned state = 0;
    std::string text; // UTF-8
    long long us = 0;
    bool shiftBefore = false; // the line before was a Shift press
};

bool isModifier(const std::string& keysym)
{
    return keysym.rfind("Shift_", 0) == 0 || keysym.rfind("Control_", 0) == 0 || keysym.rfind("Alt_", 0) == 0;
}

std::vector<Press> presses(const std::vector<std::string>& lines)
{
    std::vector<Press> out;
    std::string previous;
    for (const auto& line : lines) {
        if (line.rfind("press ", 0) == 0) {
            std::istringstream in(line.substr(6));
            Press p;
            std::string state, text, us;
            in >> p.keysym >> state >> text >> us;
            if (!isModifier(p.keysym)) {
                p.state = static_cast<unsigned>(std::stoul(state.substr(8), nullptr, 16));
                p.text = unhex(text.substr(5));
                p.us = std::stoll(us.substr(3));
                p.shiftBefore = previous.rfind("press Shift_", 0) == 0;
                out.push_back(p);
            }
        }
        previous = line;
    }
    return out;
}

// One token per press: the text typed, "<BS>" for backspace, "^C" for control and c.
std::vector<std::string> tokens(const std::vector<Press>& list)
{
    std::vector<std::string> out;
    for (const Press& p : list) {
        if (p.keysym == "BackSpace")
            out.push_back("<BS>");
        else if ((p.state & ControlMask) && p.text == "\x03")
            out.push_back("^C");
        else
            out.push_back(p.text);
    }
    return out;
}

class DesktopKeyboard : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!OnPath("Xvfb"))
            GTEST_SKIP() << "needs Xvfb to run the desktop keyboard on a virtual X server (scripts/setup installs it)";
        // 720 pixels wide at 96 dpi unless a test says otherwise: the keyboard drawn at three
        // times the design's size, across the screen.
        ASSERT_TRUE(m_x.start(m_screen, m_xArguments)) << "Xvfb did not start";
        m_display = XOpenDisplay(m_x.name().c_str());
        ASSERT_NE(m_display, nullptr);
        // Windows come and go while the test looks at them: a request about one that just went
        // fails harmlessly.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }

    void TearDown() override
    {
        m_host.stop();
        m_client.stop();
        if (m_display)
            XCloseDisplay(m_display);
    }

    // Starts the recording program (it takes the focus) and the keyboard.
    void startBoth()
    {
        ASSERT_TRUE(m_client.start({ KEYRECORDER }, onScreen(), false));
        ASSERT_TRUE(m_client.waitFor([](const auto& lines) { return !lines.empty() && lines[0].rfind("window ", 0) == 0; }))
            << m_client.output();
        m_clientWindow = std::stoul(m_client.lines()[0].substr(7), nullptr, 16);
        startKeyboard();
    }

    // The keyboard under test: the build's, or the one MAGNIKEYS_X11_PROGRAM names (an installed
    // tree's, an unpacked package's).
    static std::string program()
    {
        const char* other = std::getenv("MAGNIKEYS_X11_PROGRAM");
        return other && *other ? other : MAGNIKEYS_X11;
    }

    // The environment of a program on the virtual screen, with env ("NAME=VALUE" sets, "NAME"
    // unsets).
    std::vector<std::string> onScreen(const std::vector<std::string>& env = {}) const
    {
        std::vector<std::string> all { "DISPLAY=" + m_x.name() };
        all.insert(all.end(), env.begin(), env.end());
        return all;
    }

    // errors: its standard error among its lines.
    void startKeyboard(const std::vector<std::string>& extra = {}, const std::vector<std::string>& env = {}, bool errors = false)
    {
        std::vector<std::string> args { program(), "--root", m_device.hostRoot(), "--keymap", "--events" };
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_TRUE(m_host.start(args, onScreen(env), errors));
        ASSERT_TRUE(m_host.waitForLine("ready", 60s)) << m_host.output();
        m_keys = parseKeyMap(m_host.lines(), 0);
        ASSERT_FALSE(m_keys.empty()) << m_host.output();
    }

    void refreshKeys() { ::refreshKeys(m_host, m_keys); }

    bool waitForKey(const std::string& label) { return ::waitForKey(m_host, m_keys, label); }

    const Key& key(const std::string& label) { return keyShowing(m_keys, label, true); }

    void pointer(int x, int y)
    {
        XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime);
        XFlush(m_display);
    }

    void button(bool down)
    {
        XTestFakeButtonEvent(m_display, 1, down ? True : False, CurrentTime);
        XFlush(m_display);
    }

    // Taps a key; returns the moment the stylus went up.
    long long tap(const std::string& label) { return m_stylus.tap(key(label)); }

    // A quick flick from a key's centre, as a finger does it.
    void stroke(const std::string& label, int dx, int dy = 0) { m_stylus.stroke(key(label), dx, dy); }

    // Polls find until it names a window; 0 when none came in time.
    static Window waitForWindow(const std::function<Window()>& find, std::chrono::milliseconds limit = 15s)
    {
        for (auto end = std::chrono::steady_clock::now() + limit;; std::this_thread::sleep_for(20ms)) {
            if (Window w = find())
                return w;
            if (std::chrono::steady_clock::now() >= end)
                return 0;
        }
    }

    // Puts the stylus down on a key and waits for the keyboard's zoom window (0: none showed).
    Window holdForLens(const Key& k);

    size_t received() { return presses(m_client.lines()).size(); }

    bool waitReceived(size_t count, std::chrono::milliseconds limit = 15s)
    {
        return m_client.waitFor([&](const auto& lines) { return presses(lines).size() >= count; }, limit);
    }

    // Taps and waits for the key event it makes in the recording program.
    long long type(const std::string& label)
    {
        return m_stylus.type(key(label), label, m_client, [](const auto& lines) { return presses(lines).size(); });
    }

    size_t hostCount(const std::string& prefix)
    {
        const auto& lines = m_host.lines();
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
    }

    bool mapHasCyrillic()
    {
        int min = 0, max = 0, per = 0;
        XDisplayKeycodes(m_display, &min, &max);
        KeySym* syms = XGetKeyboardMapping(m_display, static_cast<KeyCode>(min), max - min + 1, &per);
        bool found = false;
        for (int i = 0; syms && i < (max - min + 1) * per; ++i)
            if ((syms[i] & 0xFFFFFF00ul) == 0x01000400ul)
                found = true;
        if (syms)
            XFree(syms);
        return found;
    }

    std::string m_screen = "720x960x24";
    std::string m_xArguments = "-dpi 96";
    VirtualX m_x;
    TempDeviceRoot m_device;
    Display* m_display = nullptr;
    ChildProcess m_client;
    ChildProcess m_host;
    unsigned long m_clientWindow = 0;
    std::vector<Key> m_keys;
    Stylus m_stylus { [this](int x, int y) { pointer(x, y); }, [this](bool down) { button(down); } };
};

TEST_F(DesktopKeyboard, TypesIntoTheFocusedProgramExactlyAndInOrder)
{
    startBoth();

    // Latin text with shifted characters; each tap's key event is timed from the stylus going up.
    std::vector<long long> ups;
    size_t first = received();
    for (const char* label : { "shift", "h", "e", "l", "l", "o", ",", "space", "shift", "w", "o", "r", "l", "d", "!" }) {
        if (std::string(label) == "shift") {
            tap(label); // shift types nothing of itself
            continue;
        }
        ups.push_back(type(label));
    }
    // A Russian word: the keymap lacks its letters, so spare keycodes carry them for a while.
    tap("layout");
    ASSERT_TRUE(waitForKey("п")) << m_host.output();
    for (const char* label : { "п", "р", "и", "в", "е", "т" })
        type(label);

    // Backspace by a stroke to the left, then by holding the backspace key until it repeats.
    const size_t beforeStroke = received();
    stroke("р", -240);
    ASSERT_TRUE(waitReceived(beforeStroke + 1)) << m_client.output();
    const Key& back = key("backspace");
    pointer(back.cx(), back.cy());
    button(true);
    ASSERT_TRUE(waitReceived(beforeStroke + 4, 20s)) << "holding backspace did not repeat\n" << m_client.output();
    button(false);

    // Control and c (on the Russian layout, the key of с) is the chord ctrl+c.
    tap("ctrl");
    const size_t beforeChord = received();
    tap("с");
    ASSERT_TRUE(m_client.waitFor([&](const auto& lines) {
        auto list = tokens(presses(lines));
        return list.size() > beforeChord && list.back() == "^C";
    })) << m_client.output();

    // Every backspace the keyboard sent arrived, and nothing else.
    const size_t backspaces = hostCount("SendVirtualKey vk=0x8 flags=0x4");
    ASSERT_GE(backspaces, 4u) << m_host.output();
    std::vector<std::string> expected { "H", "e", "l", "l", "o", ",", " ", "W", "o", "r", "l", "d", "!", "п", "р", "и", "в", "е", "т" };
    expected.insert(expected.end(), backspaces, "<BS>");
    expected.push_back("^C");
    const std::vector<Press> got = presses(m_client.lines());
    EXPECT_EQ(tokens(got), expected) << m_client.output();

    // Capitals and "!" came on the shifted level, with Shift pressed around them.
    for (const Press& p : got) {
        if (p.text == "H" || p.text == "W" || p.text == "!") {
            EXPECT_TRUE((p.state & ShiftMask) && p.shiftBefore) << p.text;
        }
    }
    // The focus never left the recording program.
    for (const auto& line : m_client.lines())
        EXPECT_NE(line, "focus-out");
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    EXPECT_EQ(focus, m_clientWindow);

    // Stylus up to key event in the program.
    std::vector<double> ms;
    for (size_t i = 0; i < ups.size() && first + i < got.size(); ++i)
        ms.push_back((got[first + i].us - ups[i]) / 1000.0);
    ASSERT_FALSE(ms.empty());
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2], worst = ms.back();
    std::printf("stylus up to key event in the X program: median %.1f ms, worst %.1f ms over %zu taps\n", median, worst, ms.size());
    RecordProperty("stylus_up_to_key_event_median_ms", std::to_string(median));
    RecordProperty("stylus_up_to_key_event_worst_ms", std::to_string(worst));
    EXPECT_GT(ms.front(), 0.0);

    // The spare keycodes carry nothing again once the keyboard rests.
    auto end = std::chrono::steady_clock::now() + 15s;
    while (mapHasCyrillic() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(mapHasCyrillic()) << "the remapped keycodes were not given back";
}

// Fifty taps on letters, each timed from the stylus going up to the key event in the program.
// The figures are printed for scripts/bench, which sets them against their targets; the test
// checks only that every tap arrived, in order.
TEST_F(DesktopKeyboard, StylusUpToKeyEventOverFiftyTaps)
{
    startBoth();
    const char* letters[] = { "q", "w", "e", "r", "t", "y", "u", "i", "o", "p", "a", "s", "d", "f", "g", "h", "j", "k",
        "l", "z", "x", "c", "v", "b", "n" };
    constexpr size_t kTaps = 50;
    const size_t first = received();
    std::vector<long long> ups;
    std::vector<std::string> expected;
    for (size_t i = 0; i < kTaps; ++i) {
        const char* label = letters[i % std::size(letters)];
        ups.push_back(type(label));
        expected.push_back(label);
    }
    const std::vector<Press> got = presses(m_client.lines());
    ASSERT_EQ(got.size(), first + kTaps) << m_client.output();
    std::vector<std::string> typed;
    std::vector<double> ms;
    for (size_t i = 0; i < kTaps; ++i) {
        typed.push_back(got[first + i].text);
        ms.push_back((got[first + i].us - ups[i]) / 1000.0);
    }
    EXPECT_EQ(typed, expected);
    std::sort(ms.begin(), ms.end());
    const double median = (ms[kTaps / 2 - 1] + ms[kTaps / 2]) / 2, worst = ms.back();
    const double p90 = ms[kTaps * 9 / 10 - 1];
    std::printf("x11 stylus up to key event: median %.2f ms, 90th percentile %.2f ms, worst %.2f ms over %zu taps\n", median,
                p90, worst, ms.size());
    RecordProperty("stylus_up_to_key_event_median_ms", std::to_string(median));
    RecordProperty("stylus_up_to_key_event_worst_ms", std::to_string(worst));
}

TEST_F(DesktopKeyboard, CapsLockOnTheDesktopLeavesTheCaseToTheKeyboard)
{
    startBoth();
    // The desktop's own Caps Lock is on, as a hardware keyboard left it.
    XkbLockModifiers(m_display, XkbUseCoreKbd, LockMask, LockMask);
    XSync(m_display, False);
    for (const char* label : { "h", "shift", "i", "space" })
        if (std::string(label) == "shift")
            tap(label);
        else
            type(label);
    tap("layout");
    ASSERT_TRUE(waitForKey("м")) << m_host.output();
    type("м");
    tap("shift");
    type("и");
    EXPECT_EQ(tokens(presses(m_client.lines())), (std::vector<std::string> { "h", "I", " ", "м", "И" })) << m_client.output();
    // The lock is the desktop's: it is on again (the keyboard's request to set it may reach the
    // server a moment after the key the program received).
    XkbStateRec state {};
    for (auto end = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < end;) {
        ASSERT_EQ(XkbGetState(m_display, XkbUseCoreKbd, &state), Success);
        if (state.locked_mods & LockMask)
            break;
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(state.locked_mods & LockMask);
    XkbLockModifiers(m_display, XkbUseCoreKbd, LockMask, 0);
    XSync(m_display, False);
}

// The keyboard's own X window: the dock. 0 when there is none.
Window findDock(Display* d)
{
    Window root = DefaultRootWindow(d), parent = 0, *children = nullptr;
    unsigned count = 0;
    Window dock = 0;
    if (!XQueryTree(d, root, &root, &parent, &children, &count))
        return 0;
    Atom typeAtom = XInternAtom(d, "_NET_WM_WINDOW_TYPE", False);
    Atom dockType = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DOCK", False);
    for (unsigned i = 0; i < count; ++i) {
        Atom actual = 0;
        int format = 0;
        unsigned long items = 0, rest = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, children[i], typeAtom, 0, 1, False, XA_ATOM, &actual, &format, &items, &rest, &data) == Success
            && data && items == 1 && *reinterpret_cast<Atom*>(data) == dockType)
            dock = children[i];
        if (data)
            XFree(data);
    }
    if (children)
        XFree(children);
    return dock;
}

TEST_F(DesktopKeyboard, ThePanelIsADockThatNeverTakesTheFocus)
{
    startBoth();
    // The keyboard's own X window: the dock at the bottom edge of the screen.
    const Window dock = findDock(m_display);
    ASSERT_NE(dock, 0u);
    XWindowAttributes a {};
    ASSERT_TRUE(XGetWindowAttributes(m_display, dock, &a));
    EXPECT_EQ(a.map_state, IsViewable);
    EXPECT_EQ(a.width, 720); // a portrait screen's full width
    EXPECT_GE(a.y + a.height, 960); // on the bottom edge
    EXPECT_LT(a.y + a.height, 960 + 3);
    XWMHints* hints = XGetWMHints(m_display, dock);
    ASSERT_NE(hints, nullptr);
    EXPECT_TRUE(hints->flags & InputHint);
    EXPECT_FALSE(hints->input);
    XFree(hints);
    // Maximised windows leave the keyboard's strip free.
    Atom strut = XInternAtom(m_display, "_NET_WM_STRUT_PARTIAL", False);
    Atom actual = 0;
    int format = 0;
    unsigned long items = 0, rest = 0;
    unsigned char* data = nullptr;
    ASSERT_EQ(XGetWindowProperty(m_display, dock, strut, 0, 12, False, XA_CARDINAL, &actual, &format, &items, &rest, &data), Success);
    ASSERT_EQ(items, 12u);
    const long* values = reinterpret_cast<const long*>(data);
    EXPECT_EQ(values[3], 960 - a.y);
    EXPECT_EQ(values[10], 0);
    EXPECT_EQ(values[11], 719);
    XFree(data);

    // A tap on the keyboard leaves the focus where it was.
    type("q");
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    EXPECT_EQ(focus, m_clientWindow);
}

TEST_F(DesktopKeyboard, TheUsersSizeIsTakenAndRemembered)
{
    auto dock = [&] {
        XWindowAttributes a {};
        const Window w = findDock(m_display);
        if (w)
            XGetWindowAttributes(m_display, w, &a);
        return a;
    };
    // Narrower and taller than the design's proportions: the keys stretch to fill it, centred.
    startKeyboard({ "--width", "480", "--height", "200" });
    XWindowAttributes a = dock();
    EXPECT_EQ(a.width, 480);
    EXPECT_EQ(a.height, 200);
    EXPECT_EQ(a.x, 120);
    EXPECT_EQ(a.y + a.height, 960);
    EXPECT_GE(key("space").bottom, 200 - 12) << "the rows fill the panel";
    m_host.stop();
    // Started again without options: the same size, from the keyboard's folder.
    startKeyboard();
    a = dock();
    EXPECT_EQ(a.width, 480);
    EXPECT_EQ(a.height, 200);
    m_host.stop();
    // "auto" forgets it: the portrait screen's full width.
    startKeyboard({ "--width", "auto", "--height", "auto" });
    a = dock();
    EXPECT_EQ(a.width, 720);
    EXPECT_EQ(a.height, 255);
}

// Finds a mapped top-level window whose name is name, or an override-redirect window of the
// keyboard (name empty); 0 when there is none.
Window findWindow(Display* d, const std::string& name)
{
    Window root = DefaultRootWindow(d), parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(d, root, &root, &parent, &children, &count))
        return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes a {};
        if (!XGetWindowAttributes(d, children[i], &a) || a.map_state != IsViewable)
            continue;
        if (name.empty()) {
            XClassHint cls {};
            if (a.override_redirect && XGetClassHint(d, children[i], &cls)) {
                if (cls.res_name && std::strcmp(cls.res_name, "magnikeys-x11") == 0)
                    found = children[i];
                XFree(cls.res_name);
                XFree(cls.res_class);
            }
            continue;
        }
        char* title = nullptr;
        if (XFetchName(d, children[i], &title) && title) {
            if (name == title)
                found = children[i];
            XFree(title);
        }
    }
    if (children)
        XFree(children);
    return found;
}

std::vector<uint16_t> grabScreen(Display* d, int& width, int& height)
{
    const int screen = DefaultScreen(d);
    width = DisplayWidth(d, screen), height = DisplayHeight(d, screen);
    std::vector<uint16_t> pixels(static_cast<size_t>(width) * height);
    XImage* image = XGetImage(d, DefaultRootWindow(d), 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image)
        return {};
    // A 4K screen is eight million pixels: read them straight where the layout allows.
    const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned long p = direct ? reinterpret_cast<const uint32_t*>(image->data + static_cast<size_t>(y) * image->bytes_per_line)[x]
                                     : XGetPixel(image, x, y);
            unsigned r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            pixels[static_cast<size_t>(y) * width + x] = static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
        }
    XDestroyImage(image);
    return pixels;
}

// The keyboard's settings with the glass lens (a file lacking a key is the defaults).
void writeGlassSettings(const TempDeviceRoot& device)
{
    device.writeFile(kKeyboardSettingsPath, kGlassLensSettings);
}

// The screen once the lens stopped growing: two grabs in a row alike.
std::vector<uint16_t> grabSettled(Display* d, int& width, int& height)
{
    std::vector<uint16_t> shot = grabScreen(d, width, height), previous;
    for (auto end = std::chrono::steady_clock::now() + 5s; shot != previous && std::chrono::steady_clock::now() < end;) {
        std::this_thread::sleep_for(60ms);
        previous = std::move(shot);
        shot = grabScreen(d, width, height);
    }
    return shot;
}

// Written aside and moved into place, so that runs side by side never mix their pictures.
bool writeShot(const std::string& name, const std::vector<uint16_t>& shot, int width, int height)
{
    std::filesystem::create_directories(X11HOST_SHOTS);
    const std::string path = std::string(X11HOST_SHOTS) + "/" + name;
    const std::string partial = path + "." + std::to_string(getpid());
    if (!SimWritePng565(partial.c_str(), shot.data(), width, height, width))
        return false;
    std::filesystem::rename(partial, path);
    return true;
}

Window DesktopKeyboard::holdForLens(const Key& k)
{
    pointer(k.cx(), k.cy());
    button(true);
    return waitForWindow([&] { return findWindow(m_display, ""); });
}

// The X window of the keyboard's host that is an ordinary program window (the settings
// program's), or 0.
Window findProgramWindow(Display* d, int& width, int& height)
{
    Window root = DefaultRootWindow(d), parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(d, root, &root, &parent, &children, &count))
        return 0;
    Atom typeAtom = XInternAtom(d, "_NET_WM_WINDOW_TYPE", False);
    Atom normal = XInternAtom(d, "_NET_WM_WINDOW_TYPE_NORMAL", False);
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes a {};
        if (!XGetWindowAttributes(d, children[i], &a) || a.map_state != IsViewable || a.override_redirect)
            continue;
        Atom actual = 0;
        int format = 0;
        unsigned long items = 0, rest = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, children[i], typeAtom, 0, 1, False, XA_ATOM, &actual, &format, &items, &rest, &data) == Success
            && data && items == 1 && *reinterpret_cast<Atom*>(data) == normal) {
            found = children[i];
            width = a.width, height = a.height;
        }
        if (data)
            XFree(data);
    }
    if (children)
        XFree(children);
    return found;
}

// The window's picture as it is now, its size first.
std::vector<uint16_t> grabWindow(Display* d, Window w)
{
    std::vector<uint16_t> pixels;
    XWindowAttributes a {};
    if (!XGetWindowAttributes(d, w, &a))
        return pixels;
    const int width = a.width, height = a.height;
    pixels.push_back(static_cast<uint16_t>(width));
    pixels.push_back(static_cast<uint16_t>(height));
    XImage* image = XGetImage(d, w, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image)
        return pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(static_cast<uint16_t>(XGetPixel(image, x, y) >> 8));
    XDestroyImage(image);
    return pixels;
}

// A phone-tall screen: the settings program's whole menu fits above the keyboard at the
// keyboard's scale.
class DesktopKeyboardTall : public DesktopKeyboard {
protected:
    DesktopKeyboardTall() { m_screen = "720x1440x24"; }
};

TEST_F(DesktopKeyboardTall, TheSettingsKeyStartsTheSettingsProgramInAWindowOfItsOwn)
{
    // The program's log says which menu entry it took: a tap is known taken, not guessed from
    // the picture.
    ASSERT_TRUE(RegWriteNumber(u"HKEY_CURRENT_USER\\Software\\Tarn", u"Log", 1));
    // A UTF-16 file of the device with its mark, whose texts here are all ASCII.
    auto asciiFile = [&](std::u16string_view path) {
        std::string text;
        if (auto written = m_device.readFile(path))
            for (size_t i = 2; i < written->size(); i += 2)
                text += (*written)[i];
        return text;
    };
    auto programLog = [&] { return asciiFile(u"\\Temp\\optarix.exe.txt"); };
    // The session's start entries of this test's own (the keyboard inherits the place).
    const std::filesystem::path config = m_device.hostRoot() + "-config";
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = oldConfig ? oldConfig : "";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    startBoth();
    oldConfig ? setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    tap("extra");
    ASSERT_TRUE(waitForKey("settings")) << m_host.output();
    tap("settings");
    int width = 0, height = 0;
    const Window settings = waitForWindow([&] { return findProgramWindow(m_display, width, height); }, 20s);
    ASSERT_NE(settings, 0u) << "the settings program did not show";
    // It fits above the keyboard.
    const Key& space = key("space");
    XWindowAttributes a {};
    ASSERT_TRUE(XGetWindowAttributes(m_display, settings, &a));
    EXPECT_LE(a.y + a.height, space.top) << a.x << "," << a.y << " " << a.width << "x" << a.height;

    // At the keyboard's scale: as wide as the keyboard's design (three times 240 pixels).
    EXPECT_EQ(a.width, 720);
    EXPECT_GE(a.height, 900);
    const double scale = a.width / 240.0;

    // Its menu, by where the skin puts the entries (design pixels from the top: rows of 28 from
    // 60): "Zoom style", then "Glass lens", then "Close". Each tap waits for the program to log
    // the entry it took.
    auto tapAndWait = [&](double fx, double designY, const std::string& entry) {
        // At rest first (the menus slide in): drawn, and alike over half a second.
        std::vector<uint16_t> before = grabWindow(m_display, settings);
        int alike = 0;
        for (auto end = std::chrono::steady_clock::now() + 15s; alike < 2 && std::chrono::steady_clock::now() < end;) {
            std::this_thread::sleep_for(250ms);
            std::vector<uint16_t> now = grabWindow(m_display, settings);
            const bool drawn = now.size() > 3 && std::any_of(now.begin() + 2, now.end(), [&](uint16_t p) { return p != now[2]; });
            alike = drawn && now == before ? alike + 1 : 0;
            before = std::move(now);
        }
        // Where the window is now: it may have changed size since it first showed.
        XWindowAttributes at {};
        XGetWindowAttributes(m_display, settings, &at);
        pointer(at.x + static_cast<int>(fx * at.width), at.y + static_cast<int>(designY * scale));
        button(true);
        std::this_thread::sleep_for(30ms);
        button(false);
        const std::string line = "MainForm::OnMenu " + entry + "\n";
        for (auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;) {
            if (programLog().find(line) != std::string::npos)
                return true;
            std::this_thread::sleep_for(50ms);
        }
        // What the program showed when it did not take the tap.
        std::filesystem::create_directories(X11HOST_SHOTS);
        const std::string shot = std::string(X11HOST_SHOTS) + "/settings_tap_not_taken_" + std::to_string(getpid()) + ".png";
        if (before.size() > 2)
            SimWritePng565(shot.c_str(), before.data() + 2, before[0], before[1], before[0]);
        ADD_FAILURE() << "tapped at (" << fx << ", " << designY << " design pixels) of " << at.width << "x" << at.height << "; the picture before: "
                      << shot << "\nthe program's log:\n" << programLog();
        return false;
    };
    // "Start as default keyboard", which on the desktop starts the keyboard with the session.
    ASSERT_TRUE(tapAndWait(0.5, 156, "default_keyboard")) << "Start as default keyboard";
    ASSERT_TRUE(tapAndWait(0.5, 186, "Zoom_Types")) << "Zoom style";
    ASSERT_TRUE(tapAndWait(0.5, 102, "glass_zoom")) << "Glass lens";
    auto settingsText = [&] { return asciiFile(u"\\Program Files\\Tarn\\Magnikeys\\settings.txt"); };
    for (auto end = std::chrono::steady_clock::now() + 10s;
         settingsText().find("board_style glass_zoom") == std::string::npos && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(50ms);
    EXPECT_NE(settingsText().find("board_style glass_zoom"), std::string::npos) << settingsText();
    // Close: the program ends and its window goes.
    tapAndWait(0.5, 242, "Close");
    for (auto end = std::chrono::steady_clock::now() + 15s; findProgramWindow(m_display, width, height) && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(findProgramWindow(m_display, width, height), 0u) << "the settings program did not close";
    // The program put the startup selector in place as it ended; the keyboard wrote the user's
    // session start entry for itself.
    EXPECT_TRUE(m_device.exists(u"\\Windows\\StartUp\\mk_select.exe"));
    const std::filesystem::path entry = config / "autostart" / "magnikeys-x11.desktop";
    for (auto end = std::chrono::steady_clock::now() + 5s; !std::filesystem::exists(entry) && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(50ms);
    std::ifstream written(entry);
    const std::string text((std::istreambuf_iterator<char>(written)), {});
    EXPECT_NE(text.find("\nExec=" + program() + " --hide\n"), std::string::npos) << entry << ":\n" << text;
    std::filesystem::remove_all(config);

    // The keyboard takes the new style at its next touch: holding a key shows the glass lens.
    tap("extra");
    ASSERT_TRUE(waitForKey("q"));
    const Window lens = holdForLens(key("q"));
    button(false);
    EXPECT_NE(lens, 0u) << "no glass lens after the settings changed";
    // The recording program kept the focus throughout.
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    EXPECT_EQ(focus, m_clientWindow);
}

// ---- the keyboard as a program of the desktop session ----------------------------------

bool mapped(Display* d, Window w)
{
    XWindowAttributes a {};
    return w && XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

// Waits until the window is (or is not) on the screen; the milliseconds it took, or -1.
long long waitMapped(Display* d, Window w, bool shown, std::chrono::milliseconds limit = 5s)
{
    const long long start = nowMicroseconds();
    for (auto end = std::chrono::steady_clock::now() + limit;; std::this_thread::sleep_for(2ms)) {
        if (mapped(d, w) == shown)
            return (nowMicroseconds() - start) / 1000;
        if (std::chrono::steady_clock::now() >= end)
            return -1;
    }
}

// The short typing test that an installed tree and the package are checked with
// (MAGNIKEYS_X11_PROGRAM names their program).
TEST_F(DesktopKeyboard, TypesHello)
{
    startBoth();
    for (const char* label : { "shift", "h", "e", "l", "l", "o" }) {
        if (std::string(label) == "shift")
            tap(label);
        else
            type(label);
    }
    std::string typed;
    for (const std::string& t : tokens(presses(m_client.lines())))
        typed += t;
    EXPECT_EQ(typed, "Hello") << m_client.output();
    // An installed program puts its own tree's files on the device, wherever the tree was moved
    // (the build's copies differ: installing rewrote their library paths).
    if (const char* other = std::getenv("MAGNIKEYS_X11_PROGRAM"); other && *other) {
        const std::filesystem::path libraries = std::filesystem::path(other).parent_path().parent_path() / "lib" / "magnikeys";
        auto hostFile = [](const std::filesystem::path& path) {
            std::ifstream in(path, std::ios::binary);
            return std::optional<std::string>(std::string(std::istreambuf_iterator<char>(in), {}));
        };
        EXPECT_TRUE(m_device.readFile(u"\\Windows\\msim.dll") == hostFile(libraries / "msim.dll"));
        EXPECT_TRUE(m_device.readFile(u"\\Program Files\\Tarn\\Magnikeys\\magnikeys.dll")
            == hostFile(libraries / "device" / "Tarn" / "Magnikeys" / "magnikeys.dll"));
    }
}

TEST_F(DesktopKeyboard, ALaterStartHandsItsCommandToTheRunningKeyboardAndEnds)
{
    ASSERT_TRUE(m_client.start({ KEYRECORDER }, onScreen(), false));
    startKeyboard({ "--always" });
    const Window dock = findDock(m_display);
    ASSERT_NE(dock, 0u);
    ASSERT_TRUE(mapped(m_display, dock));
    auto later = [&](const std::string& args) {
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system((m_x.env() + "'" + program() + "' " + args + " --root /nonexistent/unused").c_str());
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << args << ": a later start must end at once";
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(later("--hide"), 0);
    EXPECT_GE(waitMapped(m_display, dock, false), 0) << "--hide";
    EXPECT_EQ(later("--toggle"), 0);
    EXPECT_GE(waitMapped(m_display, dock, true), 0) << "--toggle";
    EXPECT_EQ(later("--toggle"), 0);
    EXPECT_GE(waitMapped(m_display, dock, false), 0) << "--toggle";
    EXPECT_EQ(later(""), 0);
    EXPECT_GE(waitMapped(m_display, dock, true), 0) << "a plain start shows it";
    EXPECT_EQ(later("--show"), 0);
    EXPECT_TRUE(mapped(m_display, dock));
    // Still the one keyboard, and it still types.
    type("q");
    EXPECT_EQ(findDock(m_display), dock);
}

TEST_F(DesktopKeyboard, WithoutAnAccessibilityBusThePanelStaysUpAndTheLogSaysWhy)
{
    ASSERT_TRUE(m_client.start({ KEYRECORDER }, onScreen(), false));
    // A session bus that is not there; then none at all (no session bus is started for the
    // keyboard: a bus of its own would hold no program's accessibility).
    const std::vector<std::vector<std::string>> environments {
        { "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus", "AT_SPI_BUS_ADDRESS" },
        { "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "XDG_RUNTIME_DIR" },
    };
    for (const auto& env : environments) {
        SCOPED_TRACE(env[0]);
        // Started hidden, as the session starts it.
        ASSERT_TRUE(m_host.start({ program(), "--root", m_device.hostRoot(), "--hide" }, onScreen(env), true));
        ASSERT_TRUE(m_host.waitFor([](const auto& lines) {
            return std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
                return l.find("accessibility bus") != std::string::npos && l.find("stays up") != std::string::npos;
            });
        }, 60s)) << m_host.output();
        const Window dock = waitForWindow([&] { return findDock(m_display); });
        ASSERT_NE(dock, 0u);
        EXPECT_GE(waitMapped(m_display, dock, true), 0) << m_host.output();
        m_host.stop();
        waitMapped(m_display, dock, false);
    }
}

// A GTK 3 window with two entries and a button on a session bus of its own with the
// accessibility bus (dbus-run-session starts it; the bus launcher comes when asked for).
class TextFields : public DesktopKeyboard {
protected:
    void SetUp() override
    {
        if (!OnPath("dbus-run-session") || !std::filesystem::exists("/usr/libexec/at-spi-bus-launcher")
            || std::system("/usr/bin/python3 -c 'import gi; gi.require_version(\"Gtk\", \"3.0\")' 2>/dev/null") != 0)
            GTEST_SKIP() << "needs dbus-run-session, at-spi2-core, python3-gi and gir1.2-gtk-3.0 (scripts/setup installs them)";
        DesktopKeyboard::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // The buses' messages go with the address, not into the test's output; the daemon writes
        // its lines in pieces, so the address may come in the middle of one.
        ASSERT_TRUE(m_bus.start({ "/usr/bin/dbus-run-session", "--", "/bin/sh", "-c", "echo \"MK_BUS=$DBUS_SESSION_BUS_ADDRESS\"; exec cat" },
            onScreen(), true));
        auto address = [](const std::vector<std::string>& lines) {
            for (const std::string& l : lines)
                if (const size_t at = l.find("MK_BUS="); at != std::string::npos)
                    return l.substr(at + 7);
            return std::string();
        };
        ASSERT_TRUE(m_bus.waitFor([&](const auto& lines) { return !address(lines).empty(); })) << m_bus.output();
        m_env = { "DBUS_SESSION_BUS_ADDRESS=" + address(m_bus.lines()), "AT_SPI_BUS_ADDRESS", "NO_AT_BRIDGE", "GTK_MODULES" };
        ASSERT_TRUE(m_client.start({ "/usr/bin/python3", std::string(MK_SOURCE_DIR) + "/tests/x11host/textfields.py" }, onScreen(m_env),
            false));
        ASSERT_TRUE(m_client.waitFor([](const auto& lines) { return !lines.empty() && lines[0].rfind("window ", 0) == 0; }, 30s))
            << m_client.output();
        m_window = std::stoul(m_client.lines()[0].substr(7), nullptr, 16);
        // No window manager: the test gives the window the focus, as a click on it would.
        waitMapped(m_display, m_window, true);
        XSetInputFocus(m_display, m_window, RevertToParent, CurrentTime);
        XSync(m_display, False);
    }

    void TearDown() override
    {
        DesktopKeyboard::TearDown();
        // dbus-run-session ends its bus when its program ends (here when its input closes).
        m_bus.closeInput();
        m_bus.wait(5s);
        m_bus.stop();
    }

    // Moves the focus in the window and waits until the window says it has moved.
    void focus(const std::string& widget)
    {
        const size_t before = m_client.lines().size();
        m_client.write("focus " + widget + "\n");
        ASSERT_TRUE(m_client.waitFor([&](const auto& lines) {
            return std::find(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end(), "focused " + widget) != lines.end();
        })) << m_client.output();
    }

    // Map and unmap notices of the dock since the last call.
    std::pair<int, int> mapChanges(Window dock)
    {
        std::pair<int, int> counts;
        XSync(m_display, False);
        for (XEvent e; XCheckWindowEvent(m_display, dock, StructureNotifyMask, &e);) {
            counts.first += e.type == MapNotify;
            counts.second += e.type == UnmapNotify;
        }
        return counts;
    }

    ChildProcess m_bus;
    std::vector<std::string> m_env;
    Window m_window = 0;
};

TEST_F(TextFields, TheKeyboardShowsForTextFieldsOnlyAndAHardwareKeyboardKeepsItHidden)
{
    startKeyboard({}, m_env, true);
    const Window dock = findDock(m_display);
    ASSERT_NE(dock, 0u);
    XSelectInput(m_display, dock, StructureNotifyMask);
    // The focus on the button: the keyboard goes. Programs hear of the keyboard's interest in the
    // focus a moment after it asked, so the first move may pass unseen.
    for (auto end = std::chrono::steady_clock::now() + 20s; mapped(m_display, dock) && std::chrono::steady_clock::now() < end;) {
        focus("first");
        focus("button");
        waitMapped(m_display, dock, false, 1s);
    }
    ASSERT_FALSE(mapped(m_display, dock)) << "focus on a button left the keyboard up\n" << m_host.output();
    mapChanges(dock);

    // An entry takes the focus: the keyboard shows at once and types into it.
    focus("first");
    const long long shown = waitMapped(m_display, dock, true);
    std::printf("the keyboard showed %lld ms after the entry took the focus\n", shown);
    EXPECT_GE(shown, 0);
    EXPECT_LE(shown, 300);
    for (const char* label : { "shift", "h", "e", "l", "l", "o" })
        tap(label);
    EXPECT_TRUE(m_client.waitForLine("text first Hello")) << m_client.output();

    // From one entry to the other and back: no flicker.
    mapChanges(dock);
    focus("second");
    focus("first");
    focus("second");
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_TRUE(mapped(m_display, dock));
    EXPECT_EQ(mapChanges(dock), std::make_pair(0, 0)) << "the keyboard went and came back between two entries";

    // The button: it hides; the other entry: it shows again, once each.
    focus("button");
    EXPECT_GE(waitMapped(m_display, dock, false), 0);
    focus("second");
    EXPECT_GE(waitMapped(m_display, dock, true), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(mapChanges(dock), std::make_pair(1, 1));

    // A key typed on another keyboard while the panel is hidden: entries no longer bring it up.
    focus("button");
    ASSERT_GE(waitMapped(m_display, dock, false), 0);
    XIAddMasterInfo add { XIAddMaster, const_cast<char*>("hardware"), True, True };
    ASSERT_EQ(XIChangeHierarchy(m_display, reinterpret_cast<XIAnyHierarchyChangeInfo*>(&add), 1), Success);
    XSync(m_display, False);
    int count = 0, corePointer = 0, hardwarePointer = 0, hardwareKeyboard = 0;
    XIDeviceInfo* devices = XIQueryDevice(m_display, XIAllMasterDevices, &count);
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(devices[i].name, "hardware pointer") == 0)
            hardwarePointer = devices[i].deviceid;
        if (std::strcmp(devices[i].name, "hardware keyboard") == 0)
            hardwareKeyboard = devices[i].deviceid;
        if (std::strcmp(devices[i].name, "Virtual core pointer") == 0)
            corePointer = devices[i].deviceid;
    }
    XIFreeDeviceInfo(devices);
    ASSERT_NE(hardwarePointer, 0);
    // This program's synthetic keys now come from that keyboard's own device.
    XISetClientPointer(m_display, None, hardwarePointer);
    const KeyCode right = XKeysymToKeycode(m_display, XK_Right);
    XTestFakeKeyEvent(m_display, right, True, CurrentTime);
    XTestFakeKeyEvent(m_display, right, False, CurrentTime);
    XSync(m_display, False);
    XISetClientPointer(m_display, None, corePointer);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    focus("first");
    EXPECT_LT(waitMapped(m_display, dock, true, 1s), 0) << "an entry brought the keyboard up while the hardware keyboard is in use";
    // A tap on the screen (beside the window): the entry that has the focus gets the keyboard.
    pointer(700, 20);
    button(true);
    button(false);
    EXPECT_GE(waitMapped(m_display, dock, true), 0) << "a touch on the screen did not bring the keyboard back";
    XIRemoveMasterInfo remove { XIRemoveMaster, hardwareKeyboard, XIFloating, 0, 0 };
    XIChangeHierarchy(m_display, reinterpret_cast<XIAnyHierarchyChangeInfo*>(&remove), 1);
    XSync(m_display, False);
}


// The keyboard at the sizes people's screens have: a desktop at 96 dpi, a 4K screen that tells
// X its size in millimetres (160 dpi), a phone-tall portrait screen.
struct Screen {
    const char* name;
    const char* screen; // Xvfb's WxHxDEPTH
    const char* dpi;
    const char* terminal; // xterm's font size and geometry for the pictures
    const char* geometry;
};

// Named in the tests' list by its size, not its bytes.
void PrintTo(const Screen& screen, std::ostream* out)
{
    *out << screen.name << " at " << screen.dpi << " dpi";
}

const Screen kScreens[] = {
    { "1920x1080", "1920x1080x24", "96", "16", "92x24+48+40" },
    { "3840x2160", "3840x2160x24", "160", "18", "104x30+96+80" },
    { "720x1440", "720x1440x24", "280", "7", "40x30+16+24" },
};

class DesktopKeyboardAnySize : public DesktopKeyboard, public ::testing::WithParamInterface<Screen> {
protected:
    DesktopKeyboardAnySize()
    {
        m_screen = GetParam().screen;
        m_xArguments = std::string("-dpi ") + GetParam().dpi;
    }

    int screenWidth() const { return DisplayWidth(m_display, DefaultScreen(m_display)); }
    int screenHeight() const { return DisplayHeight(m_display, DefaultScreen(m_display)); }

    // The desktop's background, as a desktop has one rather than X's black.
    void paintDesktop()
    {
        XColor colour {};
        colour.red = 0x3c00, colour.green = 0x4a00, colour.blue = 0x5c00;
        colour.flags = DoRed | DoGreen | DoBlue;
        Colormap map = DefaultColormap(m_display, DefaultScreen(m_display));
        if (XAllocColor(m_display, map, &colour)) {
            XSetWindowBackground(m_display, DefaultRootWindow(m_display), colour.pixel);
            XClearWindow(m_display, DefaultRootWindow(m_display));
            XSync(m_display, False);
        }
    }
};

INSTANTIATE_TEST_SUITE_P(Screens, DesktopKeyboardAnySize, ::testing::ValuesIn(kScreens),
    [](const ::testing::TestParamInfo<Screen>& info) { return std::string("at_") + info.param.name; });

TEST_P(DesktopKeyboardAnySize, TypesAndStrokesAlikeDrawnAtTheScreensOwnPixels)
{
    writeGlassSettings(m_device);
    startBoth();
    const int W = screenWidth(), H = screenHeight();

    // The dock: on the bottom edge, within 35 % of the screen's height; across a portrait
    // screen, centred on a wide one.
    const Window dock = findDock(m_display);
    ASSERT_NE(dock, 0u);
    XWindowAttributes a {};
    ASSERT_TRUE(XGetWindowAttributes(m_display, dock, &a));
    EXPECT_LE(a.height, 0.35 * H + 1);
    EXPECT_EQ(a.y + a.height, H);
    if (H > W)
        EXPECT_EQ(a.width, W);
    else
        EXPECT_NEAR(a.x, (W - a.width) / 2, 1);
    RecordProperty("panel", std::to_string(a.width) + "x" + std::to_string(a.height));

    // Strokes measured in key widths: three keys across in a flick is a stroke, under half a
    // key is a tap, at every size.
    const Key& q = key("q");
    const int keyWidth = q.right - q.left, rowHeight = q.bottom - q.top;
    ASSERT_GT(keyWidth, 0);
    auto settle = [&](size_t count) { return waitReceived(count); };
    for (const char* label : { "shift", "h", "e", "l", "l", "o", "," }) {
        if (std::string(label) == "shift")
            tap(label);
        else
            type(label);
    }
    size_t before = received();
    stroke("c", 3 * keyWidth); // space
    ASSERT_TRUE(settle(before + 1)) << m_client.output();
    for (const char* label : { "shift", "w", "o", "r", "l", "d", "!" }) {
        if (std::string(label) == "shift")
            tap(label);
        else
            type(label);
    }
    before = received();
    stroke("m", -3 * keyWidth); // backspace
    ASSERT_TRUE(settle(before + 1)) << m_client.output();
    before = received();
    stroke("q", keyWidth * 2 / 5); // a tap that slid a little
    ASSERT_TRUE(settle(before + 1)) << m_client.output();
    stroke("x", 0, -5 * rowHeight / 2); // shift, upwards
    type("b");
    EXPECT_EQ(tokens(presses(m_client.lines())),
        (std::vector<std::string> { "H", "e", "l", "l", "o", ",", " ", "W", "o", "r", "l", "d", "!", "<BS>", "q", "B" }))
        << m_client.output() << m_host.output();

    // The glass lens: 90 design pixels across at the keyboard's scale, above the keyboard.
    const double scale = a.width / 240.0;
    const Key& g = key("g");
    const Window lens = holdForLens(g);
    ASSERT_NE(lens, 0u) << "no zoom window while a key is held";
    int width = 0, height = 0;
    const std::vector<uint16_t> shot = grabSettled(m_display, width, height);
    button(false);
    XWindowAttributes l {};
    ASSERT_TRUE(XGetWindowAttributes(m_display, lens, &l));
    EXPECT_NEAR(l.width, 90 * scale, 2);
    EXPECT_EQ(l.width, l.height);
    EXPECT_LE(l.y + l.height, a.y);

    // Drawn at the screen's own pixels: the letters' anti-aliased edges are there in the
    // picture, and the check tells a copy magnified by replication from it.
    for (const char* label : { "q", "g", "m" }) {
        const Key& k = key(label);
        const RECT face { k.left + (k.right - k.left) / 5, k.top + (k.bottom - k.top) / 5, k.right - (k.right - k.left) / 5,
            k.bottom - (k.bottom - k.top) / 5 };
        const double share = LonePixelShare(shot.data(), width, face);
        EXPECT_GT(share, kNativeLonePixelShare) << label;
        int rw = 0, rh = 0;
        for (double factor : { 2.0, 2.5, 3.0 }) {
            const std::vector<uint16_t> blocky = Replicated(shot.data(), width, face, factor, rw, rh);
            EXPECT_LT(LonePixelShare(blocky.data(), rw, RECT { 0, 0, rw, rh }), 0.01) << label << " at " << factor;
        }
        RecordProperty(std::string("lone_pixel_share_") + label, std::to_string(share));
    }
    // The picture only when something is wrong: a 4K picture takes a second to write.
    if (HasFailure())
        writeShot(std::string("any_size_failed_") + GetParam().name + ".png", shot, width, height);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    EXPECT_EQ(focus, m_clientWindow);
}

// The pictures of the README: the keyboard under a terminal with the glass lens showing.
TEST_P(DesktopKeyboardAnySize, GlassLensOverATerminal)
{
    if (!OnPath("xterm"))
        GTEST_SKIP() << "needs xterm for the picture of the keyboard over a terminal";
    writeGlassSettings(m_device);
    paintDesktop();
    std::string xterm = "/usr/bin/xterm";
    ASSERT_TRUE(m_client.start({ xterm, "-fa", "DejaVu Sans Mono", "-fs", GetParam().terminal, "-geometry", GetParam().geometry,
                                   "-bg", "#ffffff", "-fg", "#1c2028", "-T", "notes", "-e", "/bin/sh", "-c",
                                   "printf 'Typed on the desktop keyboard:\\n'; exec cat" },
        onScreen(), false));
    const Window terminal = waitForWindow([&] { return findWindow(m_display, "notes"); });
    ASSERT_NE(terminal, 0u) << "xterm did not show";
    XSetInputFocus(m_display, terminal, RevertToParent, CurrentTime);
    XSync(m_display, False);
    startKeyboard();

    for (const char* label : { "shift", "h", "e", "l", "l", "o", ",", "space", "shift", "w", "o", "r", "l", "d", "!" }) {
        const size_t before = hostCount("SendCharEvents") + hostCount("SendVirtualKey");
        tap(label);
        if (std::string(label) != "shift") {
            ASSERT_TRUE(m_host.waitFor([&](const auto&) { return hostCount("SendCharEvents") + hostCount("SendVirtualKey") > before; }))
                << label;
        }
    }
    // Hold a key: the glass lens shows the keys under the stylus, over the terminal.
    const Key& k = key("g");
    const Window lens = holdForLens(k);
    ASSERT_NE(lens, 0u) << "no zoom window while a key is held";
    int width = 0, height = 0;
    const std::vector<uint16_t> shot = grabSettled(m_display, width, height);
    ASSERT_TRUE(writeShot(std::string("glass_over_xterm_") + GetParam().name + ".png", shot, width, height));
    button(false);

    // The lens sits above the keyboard, clear of the key held.
    XWindowAttributes a {};
    ASSERT_TRUE(XGetWindowAttributes(m_display, lens, &a));
    EXPECT_LE(a.y + a.height, k.top + 3);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    EXPECT_EQ(focus, terminal);
}

}
