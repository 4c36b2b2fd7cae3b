// magnikeys-wayland under a headless sway (one for the whole program): a recording program holds
// the keyboard focus; a virtual pointer taps and strokes the keyboard's panel, and the program
// must receive exactly the text typed, in order, through the input method when its text field
// uses text input and as keys when it does not, without ever losing the focus.
#include "tests/support/ChildProcess.h"
#include "tests/support/DeviceRoot.h"
#include "tests/support/HeadlessSway.h"
#include "tests/support/KeyMap.h"
#include "tests/support/KeyboardSettings.h"
#include "tests/support/RecorderLine.h"
#include "tests/support/Sharpness.h"
#include "tests/support/Stylus.h"
#include "tests/support/VirtualX.h"
#include "tests/waylandhost/VirtualPointer.h"

#include <simhost.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int kWidth = 720; // a phone held upright: the QVGA keyboard three times
constexpr int kHeight = 1280;

// The panel's place that magnikeys-wayland prints before its keys: "panel left top right bottom".
Key parsePanel(const std::vector<std::string>& lines, size_t from)
{
    Key panel;
    panel.label = "panel";
    for (size_t i = from; i < lines.size() && lines[i] != "ready"; ++i)
        if (lines[i].rfind("panel ", 0) == 0) {
            std::istringstream in(lines[i].substr(6));
            in >> panel.left >> panel.top >> panel.right >> panel.bottom;
        }
    return panel;
}

// What the recording program received: text from the input method, or a key press that is no
// modifier.
struct Received {
    bool committed = false; // through the input method
    std::string keysym;
    unsigned mods = 0;
    std::string text; // UTF-8
    long long us = 0;
};

// "name=value" from a recorder line.
std::string field(const std::string& line, const std::string& name)
{
    const size_t at = line.find(" " + name + "=");
    if (at == std::string::npos)
        return {};
    const size_t from = at + name.size() + 2;
    return line.substr(from, line.find(' ', from) - from);
}

std::vector<Received> received(const std::vector<std::string>& lines)
{
    std::vector<Received> out;
    for (const auto& line : lines) {
        Received r;
        if (line.rfind("commit ", 0) == 0)
            r.committed = true;
        else if (line.rfind("key ", 0) == 0) {
            r.keysym = line.substr(4, line.find(' ', 4) - 4);
            if (r.keysym.rfind("Shift_", 0) == 0 || r.keysym.rfind("Control_", 0) == 0 || r.keysym.rfind("Alt_", 0) == 0)
                continue;
            r.mods = static_cast<unsigned>(std::stoul(field(line, "mods"), nullptr, 16));
        } else
            continue;
        r.text = unhex(field(line, "text"));
        r.us = std::stoll(field(line, "us"));
        out.push_back(r);
    }
    return out;
}

// One token per press: the text typed, "<BS>" for backspace, "^C" for control and c.
std::vector<std::string> tokens(const std::vector<Received>& list)
{
    std::vector<std::string> out;
    for (const Received& r : list) {
        if (r.keysym == "BackSpace")
            out.push_back("<BS>");
        else if (!r.committed && r.text == "\x03")
            out.push_back("^C");
        else
            out.push_back(r.text);
    }
    return out;
}

// Under the sanitizers, a program's fault or leak shows only in what it printed.
void expectNoSanitizerReport(const char* who, const std::string& output)
{
    for (const char* mark : { "ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:" })
        EXPECT_EQ(output.find(mark), std::string::npos) << who << ":\n" << output;
}

// The keyboard under test: the build's, or the one MAGNIKEYS_WAYLAND_PROGRAM names (an installed
// tree's, an unpacked package's).
std::string program()
{
    const char* other = std::getenv("MAGNIKEYS_WAYLAND_PROGRAM");
    return other && *other ? other : MAGNIKEYS_WAYLAND;
}

HeadlessSway* g_sway = nullptr;
std::string g_swayProblem;
VirtualPointer* g_pointer = nullptr;

class WaylandSession : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!OnPath("sway"))
            return;
        g_sway = new HeadlessSway;
        if (!g_sway->start(kWidth, kHeight, g_swayProblem)) {
            delete g_sway;
            g_sway = nullptr;
            return;
        }
        g_sway->exportEnvironment();
        g_pointer = new VirtualPointer;
        if (!g_pointer->connect(g_swayProblem)) {
            delete g_pointer;
            g_pointer = nullptr;
        }
    }

    static void TearDownTestSuite()
    {
        delete g_pointer;
        g_pointer = nullptr;
        delete g_sway;
        g_sway = nullptr;
    }

    void SetUp() override
    {
        if (!OnPath("sway"))
            GTEST_SKIP() << "no headless sway here: install sway (scripts/setup does) to run the Wayland keyboard";
        ASSERT_NE(g_sway, nullptr) << g_swayProblem;
        ASSERT_NE(g_pointer, nullptr) << g_swayProblem;
        g_pointer->setExtent(kWidth, kHeight);
    }

    void TearDown() override
    {
        m_host.stop();
        m_client.stop();
        expectNoSanitizerReport("magnikeys-wayland", m_host.output());
        if (m_client.lines().empty() || m_client.lines()[0].find("foot") == std::string::npos)
            expectNoSanitizerReport("the recording program", m_client.output());
        // The next test starts without the windows of this one.
        for (auto end = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms))
            if (g_sway->message("-t get_tree").find("\"app_id\"") == std::string::npos)
                break;
    }

    // The recording program, with or without text input, on the screen. The seat has no
    // keyboard before the keyboard's virtual one: the program hears of its focus only then.
    void startClient(bool textInput)
    {
        std::vector<std::string> args { TEXTRECORDER };
        if (!textInput)
            args.push_back("--no-text-input");
        ASSERT_TRUE(m_client.start(args));
        ASSERT_TRUE(m_client.waitFor([](const auto& lines) {
            return std::any_of(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("configure ", 0) == 0; });
        })) << m_client.output();
    }

    // The recording program has the focus (and its text field, when it has one, takes input).
    void waitForFocus(bool textInput)
    {
        ASSERT_TRUE(m_client.waitForLine("focus-in")) << m_client.output();
        if (textInput) {
            ASSERT_TRUE(m_client.waitForLine("text-input enabled")) << m_client.output();
        }
    }

    void startKeyboard(const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args { program(), "--root", m_device.hostRoot(), "--keymap", "--events" };
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_TRUE(m_host.start(args));
        ASSERT_TRUE(m_host.waitForLine("ready", 60s)) << m_host.output();
        m_keys = parseKeyMap(m_host.lines(), 0);
        m_panel = parsePanel(m_host.lines(), 0);
        ASSERT_FALSE(m_keys.empty()) << m_host.output();
    }

    // The recording program's window height as the compositor last set it (0: none yet).
    int clientHeight()
    {
        int height = 0;
        for (const auto& line : m_client.lines())
            if (line.rfind("configure ", 0) == 0)
                height = std::stoi(line.substr(line.rfind(' ') + 1));
        return height;
    }

    // The panel is on the screen: the program's window made room for it (the panel's strip is
    // reserved). Until then a tap would land on the program.
    void waitForPanelOnScreen()
    {
        int top = kHeight;
        for (const Key& k : m_keys)
            top = std::min(top, k.top);
        ASSERT_TRUE(m_client.waitFor([&](const auto&) { return clientHeight() > 0 && clientHeight() <= top; }))
            << "the program's window did not make room for the panel (top " << top << ")\n" << m_client.output();
    }

    void refreshKeys() { ::refreshKeys(m_host, m_keys); }

    bool waitForKey(const std::string& label) { return ::waitForKey(m_host, m_keys, label); }

    const Key& key(const std::string& label) { return keyShowing(m_keys, label); }

    // Taps a key; returns the moment the stylus went up.
    long long tap(const std::string& label) { return m_stylus.tap(key(label)); }

    // A quick flick from a key's centre, as a finger does it.
    void stroke(const std::string& label, int dx, int dy = 0) { m_stylus.stroke(key(label), dx, dy); }

    size_t receivedCount() { return received(m_client.lines()).size(); }

    bool waitReceived(size_t count, std::chrono::milliseconds limit = 15s)
    {
        return m_client.waitFor([&](const auto& lines) { return received(lines).size() >= count; }, limit);
    }

    // Taps and waits for what it types to arrive in the recording program.
    long long type(const std::string& label)
    {
        return m_stylus.type(key(label), label, m_client, [](const auto& lines) { return received(lines).size(); });
    }

    size_t hostCount(const std::string& prefix)
    {
        const auto& lines = m_host.lines();
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
    }

    // "Hello, World!", a Russian word, backspace by a stroke and by holding the key, and ctrl+c:
    // everything must arrive exactly and in order. Returns the milliseconds from the stylus going
    // up to the program receiving each letter of "Hello, World!".
    std::vector<double> typeTheSentence();

    TempDeviceRoot m_device;
    ChildProcess m_client;
    ChildProcess m_host;
    std::vector<Key> m_keys;
    Key m_panel; // where the panel is, from the key map
    Stylus m_stylus { [](int x, int y) { g_pointer->move(x, y); }, [](bool down) { g_pointer->button(down); } };
};

std::vector<double> WaylandSession::typeTheSentence()
{
    std::vector<long long> ups;
    const size_t first = receivedCount();
    for (const char* label : { "shift", "h", "e", "l", "l", "o", ",", "space", "shift", "w", "o", "r", "l", "d", "!" }) {
        if (std::string(label) == "shift") {
            tap(label); // shift types nothing of itself
            continue;
        }
        ups.push_back(type(label));
    }
    tap("layout");
    EXPECT_TRUE(waitForKey("п")) << m_host.output();
    for (const char* label : { "п", "р", "и", "в", "е", "т" })
        type(label);

    // Backspace by a stroke to the left, then by holding the backspace key until it repeats.
    const size_t beforeStroke = receivedCount();
    stroke("р", -240);
    EXPECT_TRUE(waitReceived(beforeStroke + 1)) << m_client.output();
    const Key& back = key("backspace");
    g_pointer->move(back.cx(), back.cy());
    g_pointer->button(true);
    EXPECT_TRUE(waitReceived(beforeStroke + 4, 20s)) << "holding backspace did not repeat\n" << m_client.output();
    g_pointer->button(false);

    // Control and c (on the Russian layout, the key of с) is the chord ctrl+c.
    tap("ctrl");
    const size_t beforeChord = receivedCount();
    tap("с");
    EXPECT_TRUE(m_client.waitFor([&](const auto& lines) {
        auto list = tokens(received(lines));
        return list.size() > beforeChord && list.back() == "^C";
    })) << m_client.output();

    // Every backspace the keyboard sent arrived, and nothing else.
    const size_t backspaces = hostCount("SendVirtualKey vk=0x8 flags=0x4");
    EXPECT_GE(backspaces, 4u) << m_host.output();
    std::vector<std::string> expected { "H", "e", "l", "l", "o", ",", " ", "W", "o", "r", "l", "d", "!", "п", "р", "и", "в", "е", "т" };
    expected.insert(expected.end(), backspaces, "<BS>");
    expected.push_back("^C");
    const std::vector<Received> got = received(m_client.lines());
    EXPECT_EQ(tokens(got), expected) << m_client.output() << m_host.output();
    // The focus never left the recording program.
    for (const auto& line : m_client.lines()) {
        EXPECT_NE(line, "focus-out");
        EXPECT_NE(line, "text-input leave");
    }
    std::vector<double> ms;
    for (size_t i = 0; i < ups.size() && first + i < got.size(); ++i)
        ms.push_back((got[first + i].us - ups[i]) / 1000.0);
    return ms;
}

void report(const char* path, std::vector<double> ms)
{
    ASSERT_FALSE(ms.empty());
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2], worst = ms.back();
    std::printf("stylus up to %s in the program: median %.2f ms, worst %.2f ms over %zu taps\n", path, median, worst, ms.size());
    ::testing::Test::RecordProperty(std::string(path) + "_median_ms", std::to_string(median));
    EXPECT_GT(ms.front(), 0.0);
}

TEST_F(WaylandSession, TypesIntoATextFieldThroughTheInputMethod)
{
    ASSERT_NO_FATAL_FAILURE(startClient(true));
    ASSERT_NO_FATAL_FAILURE(startKeyboard());
    ASSERT_NO_FATAL_FAILURE(waitForFocus(true));
    ASSERT_NO_FATAL_FAILURE(waitForPanelOnScreen());
    // The text field activated the input method: the keyboard came up by itself.
    ASSERT_TRUE(m_host.waitForLine("panel shown")) << m_host.output();
    const std::vector<double> ms = typeTheSentence();
    // The letters came as text, the backspaces and the chord as keys.
    const std::vector<Received> got = received(m_client.lines());
    for (const Received& r : got)
        EXPECT_EQ(r.committed, r.keysym.empty()) << r.text;
    EXPECT_TRUE(got.front().committed);
    report("input-method text", ms);
}

TEST_F(WaylandSession, TypesIntoAProgramWithoutTextInputAsKeys)
{
    ASSERT_NO_FATAL_FAILURE(startClient(false));
    ASSERT_NO_FATAL_FAILURE(startKeyboard({ "--always" }));
    ASSERT_NO_FATAL_FAILURE(waitForFocus(false));
    ASSERT_NO_FATAL_FAILURE(waitForPanelOnScreen());
    ASSERT_TRUE(m_host.waitForLine("panel shown")) << m_host.output();
    const std::vector<double> ms = typeTheSentence();
    const std::vector<Received> got = received(m_client.lines());
    for (const Received& r : got)
        EXPECT_FALSE(r.committed) << r.text;
    // Capitals and "!" came with Shift held.
    for (const Received& r : got) {
        if (r.text == "H" || r.text == "W" || r.text == "!") {
            EXPECT_TRUE(r.mods & 1) << r.text;
        }
    }
    // The Russian letters came on keycodes that the keyboard's keymap gave them: the program
    // received new keymaps.
    EXPECT_GE(std::count(m_client.lines().begin(), m_client.lines().end(), "keymap"), 2) << m_client.output();
    report("key event", ms);
}

// The recording program's window takes the whole output (less what the panel reserves): its
// height says whether the panel's strip is taken.
TEST_F(WaylandSession, ThePanelShowsWhileTheTextFieldWantsInputAndNeverTakesTheFocus)
{
    ASSERT_NO_FATAL_FAILURE(startClient(true));
    // Tiled: as high as the output, less the compositor's frame.
    ASSERT_TRUE(m_client.waitFor([&](const auto&) { return clientHeight() > kHeight * 3 / 4; })) << m_client.output();
    const int full = clientHeight();
    ASSERT_NO_FATAL_FAILURE(startKeyboard());
    ASSERT_NO_FATAL_FAILURE(waitForFocus(true));
    ASSERT_NO_FATAL_FAILURE(waitForPanelOnScreen());
    // Full width, on the bottom edge.
    int left = kWidth, right = 0, bottom = 0;
    for (const Key& k : m_keys)
        left = std::min(left, k.left), right = std::max(right, k.right), bottom = std::max(bottom, k.bottom);
    EXPECT_LE(left, 3);
    EXPECT_GE(right, kWidth - 3);
    EXPECT_GE(bottom, kHeight - 3);
    type("q");

    // The field stops taking input: the keyboard goes and its strip is free again.
    m_client.write("disable\n");
    ASSERT_TRUE(m_host.waitForLine("panel hidden")) << m_host.output();
    ASSERT_TRUE(m_client.waitFor([&](const auto&) { return clientHeight() == full; })) << m_client.output();
    // And takes it again: the keyboard is back.
    const size_t shown = hostCount("panel shown");
    m_client.write("enable\n");
    ASSERT_TRUE(m_host.waitFor([&](const auto&) { return hostCount("panel shown") > shown; })) << m_host.output();
    ASSERT_NO_FATAL_FAILURE(waitForPanelOnScreen());
    type("w");
    EXPECT_EQ(tokens(received(m_client.lines())), (std::vector<std::string> { "q", "w" })) << m_client.output();
    for (const auto& line : m_client.lines())
        EXPECT_NE(line, "focus-out");
}

TEST_F(WaylandSession, CommandsReachTheKeyboardRunningOnTheDisplay)
{
    auto run = [](const std::vector<std::string>& args, std::string* output = nullptr) {
        ChildProcess p;
        std::vector<std::string> all { program() };
        all.insert(all.end(), args.begin(), args.end());
        if (!p.start(all))
            return -1;
        const int status = p.wait(30s);
        if (output)
            *output = p.output();
        expectNoSanitizerReport("magnikeys-wayland with a command", p.output());
        return status;
    };
    std::string said;
    EXPECT_EQ(run({ "--toggle" }, &said), 1);
    EXPECT_NE(said.find("no magnikeys-wayland runs"), std::string::npos) << said;

    ASSERT_NO_FATAL_FAILURE(startClient(true));
    ASSERT_NO_FATAL_FAILURE(startKeyboard());
    ASSERT_TRUE(m_host.waitForLine("panel shown")) << m_host.output();
    EXPECT_EQ(run({ "--hide" }), 0);
    ASSERT_TRUE(m_host.waitForLine("panel hidden")) << m_host.output();
    EXPECT_EQ(run({ "--toggle" }), 0);
    ASSERT_TRUE(m_host.waitFor([&](const auto&) { return hostCount("panel shown") == 2; })) << m_host.output();
    EXPECT_EQ(run({ "--toggle" }), 0);
    ASSERT_TRUE(m_host.waitFor([&](const auto&) { return hostCount("panel hidden") == 2; })) << m_host.output();
    EXPECT_EQ(run({ "--show" }), 0);
    ASSERT_TRUE(m_host.waitFor([&](const auto&) { return hostCount("panel shown") == 3; })) << m_host.output();
    // One keyboard per display: a second one refuses to start, whatever its folder.
    TempDeviceRoot other;
    EXPECT_EQ(run({ "--root", other.hostRoot() }, &said), 1);
    EXPECT_NE(said.find("already runs"), std::string::npos) << said;
    // The running one still types.
    ASSERT_NO_FATAL_FAILURE(waitForPanelOnScreen());
    type("z");
    EXPECT_EQ(tokens(received(m_client.lines())), (std::vector<std::string> { "z" }));
}

TEST_F(WaylandSession, FollowsTheOutputWhenItChangesSizeOrTurns)
{
    ASSERT_NO_FATAL_FAILURE(startClient(false));
    ASSERT_NO_FATAL_FAILURE(startKeyboard({ "--always" }));
    ASSERT_NO_FATAL_FAILURE(waitForFocus(false));
    ASSERT_NO_FATAL_FAILURE(waitForPanelOnScreen());
    struct Restore {
        ~Restore()
        {
            g_sway->message("output HEADLESS-1 mode 720x1280 transform normal");
            g_pointer->setExtent(kWidth, kHeight);
        }
    } restore;
    // The keys stand on the output's bottom edge, whatever its shape: across an upright one,
    // centred on a wide one, never taller than 35 % of it.
    auto spans = [&](int width, int height) {
        for (auto end = std::chrono::steady_clock::now() + 15s; std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(50ms)) {
            refreshKeys();
            int left = width, right = 0, top = height, bottom = 0;
            for (const Key& k : m_keys)
                left = std::min(left, k.left), right = std::max(right, k.right), top = std::min(top, k.top), bottom = std::max(bottom, k.bottom);
            const bool across = height > width ? left <= 3 && right >= width - 3 : std::abs(left - (width - right)) <= 3;
            if (across && right <= width && bottom >= height - 3 && bottom <= height && bottom - top <= 0.35 * height + 1)
                return true;
        }
        return false;
    };
    bool ok = false;
    g_sway->message("output HEADLESS-1 mode 1280x720", &ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(spans(1280, 720)) << m_host.output();
    g_pointer->setExtent(1280, 720);
    type("a");
    // Turned: the output's own mode is upright, the programs see it sideways.
    g_sway->message("output HEADLESS-1 mode 720x1280 transform 90", &ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(spans(1280, 720)) << m_host.output();
    type("b");
    g_sway->message("output HEADLESS-1 transform normal", &ok);
    EXPECT_TRUE(spans(720, 1280)) << m_host.output();
    g_pointer->setExtent(kWidth, kHeight);
    type("c");
    EXPECT_EQ(tokens(received(m_client.lines())), (std::vector<std::string> { "a", "b", "c" })) << m_client.output();
}

// The short typing test that an installed tree and the package are checked with
// (MAGNIKEYS_WAYLAND_PROGRAM names their program).
TEST_F(WaylandSession, TypesHello)
{
    ASSERT_NO_FATAL_FAILURE(startClient(true));
    ASSERT_NO_FATAL_FAILURE(startKeyboard());
    ASSERT_NO_FATAL_FAILURE(waitForFocus(true));
    ASSERT_NO_FATAL_FAILURE(waitForPanelOnScreen());
    for (const char* label : { "shift", "h", "e", "l", "l", "o" }) {
        if (std::string(label) == "shift")
            tap(label);
        else
            type(label);
    }
    std::string typed;
    for (const std::string& t : tokens(received(m_client.lines())))
        typed += t;
    EXPECT_EQ(typed, "Hello") << m_client.output() << m_host.output();
    // An installed program puts its own tree's keyboard on the device, wherever the tree is.
    if (const char* other = std::getenv("MAGNIKEYS_WAYLAND_PROGRAM"); other && *other) {
        const std::filesystem::path libraries = std::filesystem::path(other).parent_path().parent_path() / "lib" / "magnikeys";
        std::ifstream in(libraries / "device" / "Tarn" / "Magnikeys" / "magnikeys.dll", std::ios::binary);
        const std::string installed(std::istreambuf_iterator<char>(in), {});
        EXPECT_FALSE(installed.empty());
        EXPECT_TRUE(m_device.readFile(u"\\Program Files\\Tarn\\Magnikeys\\magnikeys.dll") == installed);
    }
}

// The keyboard's programs' windows in sway's tree: (title, floating) of each window with the
// keyboard's application id.
std::vector<std::pair<std::string, bool>> keyboardWindows(const std::string& tree)
{
    std::vector<std::pair<std::string, bool>> found;
    for (size_t at = 0; (at = tree.find("\"app_id\": \"magnikeys\"", at)) != std::string::npos; ++at) {
        // The node's type and name come before its application id in swaymsg's output.
        const size_t node = tree.rfind("\"type\": ", at);
        const size_t name = tree.rfind("\"name\": \"", at);
        const std::string floatingType = "\"type\": \"floating_con\"";
        const bool floating = node != std::string::npos && tree.compare(node, floatingType.size(), floatingType) == 0;
        std::string title;
        if (name != std::string::npos) {
            const size_t from = name + 9;
            title = tree.substr(from, tree.find('"', from) - from);
        }
        found.emplace_back(title, floating);
    }
    return found;
}

TEST_F(WaylandSession, TheSettingsKeyStartsTheSettingsProgramInAWindowOfItsOwn)
{
    ASSERT_NO_FATAL_FAILURE(startClient(false));
    ASSERT_NO_FATAL_FAILURE(startKeyboard({ "--always" }));
    ASSERT_NO_FATAL_FAILURE(waitForFocus(false));
    ASSERT_NO_FATAL_FAILURE(waitForPanelOnScreen());
    tap("extra");
    ASSERT_TRUE(waitForKey("settings")) << m_host.output();
    tap("settings");
    std::vector<std::pair<std::string, bool>> windows;
    for (auto end = std::chrono::steady_clock::now() + 20s; windows.empty() && std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(50ms))
        windows = keyboardWindows(g_sway->message("-t get_tree"));
    ASSERT_EQ(windows.size(), 1u) << "the settings program did not show\n" << m_host.output();
    // An ordinary window of fixed size, which sway floats; it takes the focus as windows do.
    EXPECT_TRUE(windows[0].second) << g_sway->message("-t get_tree");
    EXPECT_FALSE(windows[0].first.empty());
    ASSERT_TRUE(m_client.waitForLine("focus-out")) << m_client.output();
    // The compositor's close request closes the program: its window goes, and the focus comes
    // back to the recording program.
    bool ok = false;
    g_sway->message("'[app_id=\"magnikeys\"]' kill", &ok);
    EXPECT_TRUE(ok);
    for (auto end = std::chrono::steady_clock::now() + 15s; !windows.empty() && std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(50ms))
        windows = keyboardWindows(g_sway->message("-t get_tree"));
    EXPECT_TRUE(windows.empty()) << "the settings program did not close";
    ASSERT_TRUE(m_client.waitFor([](const auto& lines) {
        auto last = std::find_if(lines.rbegin(), lines.rend(), [](const std::string& l) { return l.rfind("focus-", 0) == 0; });
        return last != lines.rend() && *last == "focus-in";
    })) << m_client.output();
}

// The screen as grim takes it: RGB565 pixels, width and height.
struct Screenshot {
    std::vector<uint16_t> pixels;
    int width = 0;
    int height = 0;
    bool operator==(const Screenshot&) const = default;
};

Screenshot grab(const std::string& path)
{
    Screenshot shot;
    if (std::system(("grim '" + path + "' 2>/dev/null").c_str()) != 0)
        return shot;
    uint16_t* pixels = nullptr;
    if (SimReadPng565(path.c_str(), &pixels, &shot.width, &shot.height)) {
        shot.pixels.assign(pixels, pixels + static_cast<size_t>(shot.width) * shot.height);
        SimFreePng(pixels);
    }
    return shot;
}

// The height of the first window of an application in sway's tree (0: none).
int windowHeight(const std::string& tree, const std::string& appId)
{
    const size_t at = tree.find("\"app_id\": \"" + appId + "\"");
    if (at == std::string::npos)
        return 0;
    const size_t rect = tree.rfind("\"rect\": {", at);
    const size_t height = rect == std::string::npos ? std::string::npos : tree.find("\"height\": ", rect);
    return height == std::string::npos ? 0 : std::atoi(tree.c_str() + height + 10);
}

TEST_F(WaylandSession, TypesIntoFootAndShowsTheGlassLensOverIt)
{
    if (!OnPath("foot") || !OnPath("grim"))
        GTEST_SKIP() << "needs foot and grim for a real program and its picture (scripts/setup installs them)";
    // The keyboard's settings with the glass lens.
    m_device.writeFile(kKeyboardSettingsPath, kGlassLensSettings);
    std::filesystem::create_directories(WAYLANDHOST_SHOTS);
    const std::string typed = std::string(WAYLANDHOST_SHOTS) + "/foot_typed_" + std::to_string(getpid()) + ".txt";
    std::filesystem::remove(typed);
    // The terminal shows what arrives (tee) and keeps it in the file.
    ASSERT_TRUE(m_client.start({ "foot", "-o", "font=DejaVu Sans Mono:size=13", "sh", "-c",
        "printf 'Typed on the Wayland keyboard:\\r\\n'; stty raw -echo; exec tee '" + typed + "' >/dev/tty" }));
    for (auto end = std::chrono::steady_clock::now() + 15s;
         windowHeight(g_sway->message("-t get_tree"), "foot") == 0 && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(50ms);
    ASSERT_GT(windowHeight(g_sway->message("-t get_tree"), "foot"), 0) << "foot did not show\n" << m_client.output();
    // foot's text input activates the input method when it has the focus: the keyboard shows.
    ASSERT_NO_FATAL_FAILURE(startKeyboard());
    ASSERT_TRUE(m_host.waitForLine("panel shown")) << m_host.output();
    int top = kHeight;
    for (const Key& k : m_keys)
        top = std::min(top, k.top);
    for (auto end = std::chrono::steady_clock::now() + 15s;
         windowHeight(g_sway->message("-t get_tree"), "foot") > top && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(50ms);
    ASSERT_LE(windowHeight(g_sway->message("-t get_tree"), "foot"), top);

    auto fileText = [&] {
        std::ifstream in(typed);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    auto waitForFile = [&](const std::string& text) {
        for (auto end = std::chrono::steady_clock::now() + 15s; fileText() != text && std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(20ms);
        return fileText();
    };
    // Each tap and what it adds to the text (shift adds nothing and makes the next letter capital).
    const std::pair<const char*, const char*> taps[] = { { "shift", "" }, { "h", "H" }, { "e", "e" }, { "l", "l" }, { "l", "l" },
        { "o", "o" }, { ",", "," }, { "space", " " }, { "shift", "" }, { "w", "W" }, { "o", "o" }, { "r", "r" }, { "l", "l" },
        { "d", "d" }, { "!", "!" } };
    std::string sent;
    for (const auto& [label, adds] : taps) {
        tap(label);
        if (!*adds)
            continue;
        sent += adds;
        ASSERT_EQ(waitForFile(sent), sent) << m_host.output();
    }
    EXPECT_EQ(fileText(), "Hello, World!");

    // Hold a key: the glass lens shows the keys under the stylus, over the terminal.
    const std::string shotPath = std::string(WAYLANDHOST_SHOTS) + "/grab_" + std::to_string(getpid()) + ".png";
    const Screenshot before = grab(shotPath);
    ASSERT_FALSE(before.pixels.empty()) << "grim took no picture";
    const Key& g = key("g");
    g_pointer->move(g.cx(), g.cy());
    g_pointer->button(true);
    // Pixels above the keyboard that differ from the picture before the key was held.
    auto changedAbove = [&](const Screenshot& shot) {
        int changed = 0;
        for (size_t i = 0; i < std::min(shot.pixels.size(), static_cast<size_t>(top) * before.width); ++i)
            changed += shot.pixels[i] != before.pixels[i];
        return changed;
    };
    // The lens shows after the zoom delay; the picture is taken once it stopped growing: two
    // grabs in a row alike.
    Screenshot shot = grab(shotPath), previous;
    for (auto end = std::chrono::steady_clock::now() + 10s;
         (changedAbove(shot) < 60 * 60 || shot != previous) && std::chrono::steady_clock::now() < end;) {
        std::this_thread::sleep_for(60ms);
        previous = std::move(shot);
        shot = grab(shotPath);
    }
    g_pointer->button(false);
    std::filesystem::remove(shotPath);
    ASSERT_EQ(shot.width, kWidth);
    const std::string path = std::string(WAYLANDHOST_SHOTS) + "/glass_over_foot.png";
    // Written aside and moved into place, so that runs side by side never mix their pictures.
    const std::string partial = path + "." + std::to_string(getpid());
    ASSERT_TRUE(SimWritePng565(partial.c_str(), shot.pixels.data(), shot.width, shot.height, shot.width));
    std::filesystem::rename(partial, path);
    // The lens is above the keyboard, over the terminal.
    EXPECT_GT(changedAbove(shot), 60 * 60) << "no lens above the keyboard while a key is held: " << path;
    EXPECT_EQ(waitForFile("Hello, World!g"), "Hello, World!g");
}

// The keyboard at the sizes people's outputs have: a desktop monitor and a phone-tall portrait
// screen. It is drawn at the output's own pixels, strokes keep their meaning in key widths, and
// the key labels show native anti-aliased edges, not pixels magnified by replication.
TEST_F(WaylandSession, DrawnAtTheOutputsOwnPixelsAtEverySize)
{
    if (!OnPath("grim"))
        GTEST_SKIP() << "needs grim for the output's picture (scripts/setup installs it)";
    struct Restore {
        ~Restore()
        {
            g_sway->message("output HEADLESS-1 mode 720x1280 transform normal");
            g_pointer->setExtent(kWidth, kHeight);
        }
    } restore;
    m_device.writeFile(kKeyboardSettingsPath, kGlassLensSettings);
    std::filesystem::create_directories(WAYLANDHOST_SHOTS);
    const std::string shotPath = std::string(WAYLANDHOST_SHOTS) + "/size_" + std::to_string(getpid()) + ".png";
    struct Size {
        int width, height;
    };
    for (const Size size : { Size { 1920, 1080 }, Size { 720, 1440 } }) {
        const int W = size.width, H = size.height;
        SCOPED_TRACE(std::to_string(W) + "x" + std::to_string(H));
        bool ok = false;
        g_sway->message("output HEADLESS-1 mode " + std::to_string(W) + "x" + std::to_string(H), &ok);
        ASSERT_TRUE(ok);
        g_pointer->setExtent(W, H);
        ASSERT_NO_FATAL_FAILURE(startClient(false));
        ASSERT_NO_FATAL_FAILURE(startKeyboard({ "--always" }));
        ASSERT_NO_FATAL_FAILURE(waitForFocus(false));
        ASSERT_NO_FATAL_FAILURE(waitForPanelOnScreen());

        // On the bottom edge, within 35 % of the output's height; across a portrait output,
        // centred on a wide one.
        const int panelWidth = m_panel.right - m_panel.left, panelHeight = m_panel.bottom - m_panel.top;
        EXPECT_EQ(m_panel.bottom, H);
        EXPECT_GT(panelHeight, 0);
        EXPECT_LE(panelHeight, 0.35 * H + 1);
        if (H > W)
            EXPECT_EQ(panelWidth, W);
        else
            EXPECT_NEAR(m_panel.left, (W - panelWidth) / 2, 1);
        RecordProperty("panel_" + std::to_string(W) + "x" + std::to_string(H), std::to_string(panelWidth) + "x" + std::to_string(panelHeight));

        // Strokes measured in key widths: three keys across in a flick is a stroke, under half a
        // key is a tap, upwards is shift, at every size.
        const Key q = key("q");
        const int keyWidth = q.right - q.left, rowHeight = q.bottom - q.top;
        ASSERT_GT(keyWidth, 0);
        type("h");
        type("i");
        size_t before = receivedCount();
        stroke("c", 3 * keyWidth); // space
        ASSERT_TRUE(waitReceived(before + 1)) << m_client.output();
        before = receivedCount();
        stroke("m", -3 * keyWidth); // backspace
        ASSERT_TRUE(waitReceived(before + 1)) << m_client.output();
        before = receivedCount();
        stroke("q", keyWidth * 2 / 5); // a tap that slid a little
        ASSERT_TRUE(waitReceived(before + 1)) << m_client.output();
        stroke("x", 0, -5 * rowHeight / 2); // shift, upwards
        type("b");
        EXPECT_EQ(tokens(received(m_client.lines())), (std::vector<std::string> { "h", "i", " ", "<BS>", "q", "B" }))
            << m_client.output() << m_host.output();

        // Hold a key: the glass lens, 90 design pixels across at the keyboard's scale, shows
        // above the keyboard.
        const Screenshot plain = grab(shotPath);
        ASSERT_EQ(plain.width, W) << "grim took no picture of the output";
        const Key g = key("g");
        g_pointer->move(g.cx(), g.cy());
        g_pointer->button(true);
        // The square of pixels above the panel that changed since the key was held.
        auto lensBox = [&](const Screenshot& shot) {
            RECT box { W, H, 0, 0 };
            for (int y = 0; y < m_panel.top && shot.width == W; ++y)
                for (int x = 0; x < W; ++x)
                    if (shot.pixels[static_cast<size_t>(y) * W + x] != plain.pixels[static_cast<size_t>(y) * W + x])
                        box = RECT { std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1),
                            std::max<LONG>(box.bottom, y + 1) };
            return box;
        };
        const double scale = panelWidth / 240.0;
        Screenshot shot = grab(shotPath), previous;
        for (auto end = std::chrono::steady_clock::now() + 10s;
             (lensBox(shot).right - lensBox(shot).left < 60 * scale || shot != previous) && std::chrono::steady_clock::now() < end;) {
            std::this_thread::sleep_for(60ms);
            previous = std::move(shot);
            shot = grab(shotPath);
        }
        g_pointer->button(false);
        const RECT lens = lensBox(shot);
        EXPECT_NEAR(lens.right - lens.left, 90 * scale, 0.1 * 90 * scale);
        EXPECT_NEAR(lens.bottom - lens.top, lens.right - lens.left, 2);
        EXPECT_LE(lens.bottom, m_panel.top);

        // Drawn at the output's own pixels: the letters' anti-aliased edges are there in what the
        // compositor shows, where a copy magnified by replication has none.
        for (const char* label : { "q", "g", "m" }) {
            const Key& k = key(label);
            const RECT face { k.left + (k.right - k.left) / 5, k.top + (k.bottom - k.top) / 5, k.right - (k.right - k.left) / 5,
                k.bottom - (k.bottom - k.top) / 5 };
            EXPECT_GT(LonePixelShare(shot.pixels.data(), W, face), kNativeLonePixelShare) << label;
            int rw = 0, rh = 0;
            const std::vector<uint16_t> blocky = Replicated(shot.pixels.data(), W, face, 2.0, rw, rh);
            EXPECT_LT(LonePixelShare(blocky.data(), rw, RECT { 0, 0, rw, rh }), 0.01) << label;
        }
        if (HasFailure())
            SimWritePng565((std::string(WAYLANDHOST_SHOTS) + "/any_size_failed_" + std::to_string(W) + "x" + std::to_string(H) + ".png").c_str(),
                shot.pixels.data(), W, H, W);
        for (const auto& line : m_client.lines())
            EXPECT_NE(line, "focus-out");
        m_host.stop();
        m_client.stop();
        expectNoSanitizerReport("magnikeys-wayland", m_host.output());
        for (auto end = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms))
            if (g_sway->message("-t get_tree").find("\"app_id\"") == std::string::npos)
                break;
    }
    std::filesystem::remove(shotPath);
}

// An output drawn at scale 2 (a dense screen): the keyboard takes its pixels, not its logical
// ones: the key map is in the output's pixels, the labels are native in grim's picture of them,
// and a tap at a key's logical place types it.
TEST_F(WaylandSession, AtScaleTwoTheKeyboardTakesTheOutputsOwnPixels)
{
    if (!OnPath("grim"))
        GTEST_SKIP() << "needs grim for the output's picture (scripts/setup installs it)";
    struct Restore {
        ~Restore()
        {
            g_sway->message("output HEADLESS-1 mode 720x1280 scale 1 transform normal");
            g_pointer->setExtent(kWidth, kHeight);
        }
    } restore;
    const int W = 1920, H = 1080;
    bool ok = false;
    g_sway->message("output HEADLESS-1 mode 1920x1080 scale 2", &ok);
    ASSERT_TRUE(ok);
    g_pointer->setExtent(W / 2, H / 2);
    ASSERT_NO_FATAL_FAILURE(startClient(false));
    ASSERT_NO_FATAL_FAILURE(startKeyboard({ "--always" }));
    ASSERT_NO_FATAL_FAILURE(waitForFocus(false));
    // The panel on the bottom edge in the output's pixels, its keys the size they have at scale
    // 1 on a screen twice as dense: 18 mm at 192 dpi, or 35 % of the height.
    EXPECT_EQ(m_panel.bottom, H);
    EXPECT_LE(m_panel.bottom - m_panel.top, 0.35 * H + 1);
    EXPECT_GT(m_panel.bottom - m_panel.top, 0.3 * H);
    ASSERT_TRUE(m_client.waitFor([&](const auto&) { return clientHeight() > 0 && clientHeight() <= m_panel.top / 2; }))
        << m_client.output();
    for (const char* label : { "w", "a" }) {
        const Key& k = key(label);
        const size_t before = receivedCount();
        g_pointer->move(k.cx() / 2, k.cy() / 2);
        g_pointer->button(true);
        std::this_thread::sleep_for(30ms);
        g_pointer->button(false);
        EXPECT_TRUE(waitReceived(before + 1)) << label << "\n" << m_client.output();
    }
    EXPECT_EQ(tokens(received(m_client.lines())), (std::vector<std::string> { "w", "a" })) << m_client.output();
    const std::string path = std::string(WAYLANDHOST_SHOTS) + "/scale2_" + std::to_string(getpid()) + ".png";
    std::filesystem::create_directories(WAYLANDHOST_SHOTS);
    const Screenshot shot = grab(path);
    std::filesystem::remove(path);
    ASSERT_EQ(shot.width, W);
    for (const char* label : { "q", "g", "m" }) {
        const Key& k = key(label);
        const RECT face { k.left + (k.right - k.left) / 5, k.top + (k.bottom - k.top) / 5, k.right - (k.right - k.left) / 5,
            k.bottom - (k.bottom - k.top) / 5 };
        EXPECT_GT(LonePixelShare(shot.pixels.data(), W, face), kNativeLonePixelShare) << label;
    }
    if (HasFailure())
        SimWritePng565((std::string(WAYLANDHOST_SHOTS) + "/scale2_failed.png").c_str(), shot.pixels.data(), W, H, W);
}

// What dbus-send prints for a call on the keyboard's object (empty when the call failed).
std::string busCall(const std::string& address, const std::string& method, const std::string& arguments = "")
{
    const std::string command = "DBUS_SESSION_BUS_ADDRESS='" + address + "' dbus-send --session --print-reply --dest=sm.puri.OSK0 "
        + "/sm/puri/OSK0 " + method + " " + arguments + " 2>/dev/null";
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    return pclose(pipe) == 0 ? out : std::string();
}

TEST_F(WaylandSession, PhoshsShellShowsAndHidesTheKeyboardOnTheSessionBus)
{
    if (!OnPath("dbus-daemon") || !OnPath("dbus-send"))
        GTEST_SKIP() << "needs dbus-daemon and dbus-send for a session bus (scripts/setup installs them)";
    ChildProcess bus;
    ASSERT_TRUE(bus.start({ "dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1" }));
    auto addressLine = [](const auto& lines) {
        return std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("unix:", 0) == 0; });
    };
    ASSERT_TRUE(bus.waitFor([&](const auto& lines) { return addressLine(lines) != lines.end(); })) << bus.output();
    const std::string address = *addressLine(bus.lines());
    ASSERT_NO_FATAL_FAILURE(startClient(false));
    // Without --always and without a text field asking, the keyboard waits hidden for the shell.
    ASSERT_TRUE(m_host.start({ program(), "--root", m_device.hostRoot(), "--events" }, { "DBUS_SESSION_BUS_ADDRESS=" + address }));
    std::string visible;
    for (auto end = std::chrono::steady_clock::now() + 30s; visible.empty() && std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(50ms))
        visible = busCall(address, "org.freedesktop.DBus.Properties.Get", "string:sm.puri.OSK0 string:Visible");
    ASSERT_NE(visible.find("boolean false"), std::string::npos) << visible << m_host.output();
    EXPECT_NE(busCall(address, "org.freedesktop.DBus.Introspectable.Introspect").find("SetVisible"), std::string::npos);

    EXPECT_FALSE(busCall(address, "sm.puri.OSK0.SetVisible", "boolean:true").empty());
    ASSERT_TRUE(m_host.waitForLine("panel shown")) << m_host.output();
    EXPECT_NE(busCall(address, "org.freedesktop.DBus.Properties.Get", "string:sm.puri.OSK0 string:Visible").find("boolean true"),
        std::string::npos);
    EXPECT_NE(busCall(address, "org.freedesktop.DBus.Properties.GetAll", "string:sm.puri.OSK0").find("boolean true"), std::string::npos);
    EXPECT_FALSE(busCall(address, "sm.puri.OSK0.SetVisible", "boolean:false").empty());
    ASSERT_TRUE(m_host.waitForLine("panel hidden")) << m_host.output();
    EXPECT_NE(busCall(address, "org.freedesktop.DBus.Properties.Get", "string:sm.puri.OSK0 string:Visible").find("boolean false"),
        std::string::npos);
    // A call the object does not know is refused, not taken for another.
    EXPECT_TRUE(busCall(address, "sm.puri.OSK0.SetVisible", "string:yes").empty());
    EXPECT_TRUE(busCall(address, "org.freedesktop.DBus.Properties.Get", "string:sm.puri.OSK0 string:Size").empty());
    EXPECT_EQ(hostCount("panel shown"), 1u);
}

}
