#include "pocketsim/Script.h"
#include "pocketsim/Device.h"
#include "panel_host/DefaultInputMethod.h"
#include "panel_host/KeyboardKeys.h"

#include "runtime/Execute.h"
#include "runtime/Text.h"

#include <shellapi.h>
#include <simhost.h>
#include <winbase.h>

#include <chrono>
#include <istream>
#include <map>
#include <sstream>
#include <thread>

namespace pocketsim {

namespace {

constexpr int kTapHold = 50; // milliseconds a tap keeps the stylus down unless told otherwise
constexpr DWORD kProgramStartLimit = 10000; // real milliseconds a started program has to show a window
constexpr DWORD kProgramSyncLimit = 5000; // real milliseconds another program has to handle a line

std::u16string unescape(const std::string& raw)
{
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) {
            if (raw[i + 1] == 'n') {
                out += '\n';
                ++i;
                continue;
            }
            if (raw[i + 1] == '\\') {
                out += '\\';
                ++i;
                continue;
            }
        }
        out += raw[i];
    }
    return Utf16FromUtf8(out);
}

std::string quoted(const std::u16string& text)
{
    std::string out = "\"";
    for (char c : Utf8FromUtf16(text)) {
        if (c == '\n')
            out += "\\n";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out + "\"";
}

bool number(std::istringstream& in, int& out, int low, int high)
{
    long long v;
    if (!(in >> v) || v < low || v > high)
        return false;
    out = static_cast<int>(v);
    return true;
}

bool atEnd(std::istringstream& in)
{
    std::string rest;
    return !(in >> rest);
}

const std::map<std::string, int>& keyNames()
{
    static const std::map<std::string, int> names {
        { "left", VK_LEFT }, { "right", VK_RIGHT }, { "up", VK_UP }, { "down", VK_DOWN },
        { "home", VK_HOME }, { "end", VK_END }, { "back", VK_BACK }, { "backspace", VK_BACK },
        { "delete", VK_DELETE }, { "enter", VK_RETURN }, { "tab", VK_TAB }, { "escape", VK_ESCAPE },
        { "ctrl", VK_CONTROL }, { "shift", VK_SHIFT },
    };
    return names;
}

// A screenshot name is a plain file name: no folders, nothing hidden.
bool validShotName(const std::string& name)
{
    if (name.empty() || name.size() > 100 || name[0] == '.')
        return false;
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.'))
            return false;
    return true;
}

// The centre of the key showing label; why not when no key shows it.
std::string keyCentre(const std::string& label, POINT& at)
{
    const std::vector<ScreenKey> keys = CurrentKeyMap();
    const ScreenKey* key = FindScreenKey(keys, Utf16FromUtf8(label));
    if (!key)
        return keys.empty() ? "no keyboard is showing" : "no key shows " + label;
    at = key->centre();
    return {};
}

}

// `PATH ARGS` or `"PATH WITH SPACES" ARGS`.
bool Script::programLine(const std::string& line, std::u16string& path, std::u16string& arguments)
{
    std::u16string text = Utf16FromUtf8(line);
    if (text.empty())
        return false;
    size_t end;
    if (text[0] == u'"') {
        end = text.find(u'"', 1);
        if (end == std::u16string::npos || end == 1)
            return false;
        path = text.substr(1, end - 1);
        ++end;
    } else {
        end = text.find(u' ');
        path = text.substr(0, end);
    }
    arguments.clear();
    if (end < text.size()) {
        size_t a = text.find_first_not_of(u' ', end);
        if (a != std::u16string::npos)
            arguments = text.substr(a);
    }
    return !path.empty();
}

bool Script::start(const std::u16string& path, const std::u16string& arguments)
{
    if (!StartDeviceProgram(path, arguments))
        return fail("cannot start " + Utf8FromUtf16(path));
    // The program runs on the real clock: give it the time to show its window, so that the
    // next line sees it. (Waited for as every started program is, so that a program without
    // windows costs that time once.)
    SimWaitForStartedPrograms(kProgramStartLimit);
    return true;
}

// Every line ends with the device at rest: this host's messages handled, a program that the
// line started (a keyboard's settings key) on the screen, and every other program of the device
// done with the input it got and drawn.
void Script::settle()
{
    SimPumpMessages();
    SimWaitForStartedPrograms(kProgramStartLimit);
    SimSyncDevice(kProgramSyncLimit);
    SimPumpMessages();
}

Script::Script(Device& device, ScriptOptions options)
    : m_device(&device)
    , m_options(std::move(options))
{
}

bool Script::fail(const std::string& why)
{
    m_error = m_source + ":" + std::to_string(m_lineNumber) + ": " + why;
    return false;
}

bool Script::run(std::istream& in, const std::string& sourceName)
{
    m_source = sourceName;
    m_lineNumber = 0;
    std::string text;
    while (std::getline(in, text)) {
        ++m_lineNumber;
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (!line(text))
            return false;
    }
    return true;
}

// One line being run: its command, then the words after it as the command reads them.
struct Script::Line {
    explicit Line(const std::string& line)
        : text(line)
        , in(line)
    {
        in >> command;
    }

    bool point(int& x, int& y) { return number(in, x, -32768, 32767) && number(in, y, -32768, 32767); }
    bool atEnd() { return pocketsim::atEnd(in); }
    // The rest of the line without the blanks before it.
    std::string rest()
    {
        std::string rest;
        std::getline(in, rest);
        size_t start = rest.find_first_not_of(' ');
        return start == std::string::npos ? std::string() : rest.substr(start);
    }
    // An optional MS after the first `words` words of the line (the command's own included);
    // false when there is something else. atEnd() reads the word that may be MS, so the line is
    // read again for it.
    bool milliseconds(int words, int& ms)
    {
        if (atEnd())
            return true;
        std::istringstream again(text);
        std::string skip;
        for (int i = 0; i < words; ++i)
            again >> skip;
        return number(again, ms, 0, 600000) && pocketsim::atEnd(again);
    }

    const std::string& text;
    std::istringstream in;
    std::string command;
};

const Script::Command* Script::findCommand(const std::string& name)
{
    static const Command commands[] = {
        { "down", &Script::down },
        { "move", &Script::move },
        { "up", &Script::up },
        { "tap", &Script::tap },
        { "wait", &Script::wait },
        { "type", &Script::type },
        { "press", &Script::press },
        { "shot", &Script::shot },
        { "expect-text", &Script::expectText },
        { "reboot", &Script::reboot },
        { "rotate", &Script::rotate },
        { "sip", &Script::sip },
        { "key", &Script::key },
        { "hold", &Script::hold },
        { "stroke", &Script::stroke },
        { "start", &Script::startProgram },
        { "im", &Script::switchInputMethod },
    };
    for (const Command& command : commands)
        if (name == command.name)
            return &command;
    return nullptr;
}

bool Script::line(const std::string& text)
{
    Line line(text);
    if (line.command.empty() || line.command[0] == '#')
        return true;
    const Command* command = findCommand(line.command);
    if (!command)
        return fail("unknown command '" + line.command + "'");
    if (!(this->*command->run)(line))
        return false;
    settle();
    return true;
}

bool Script::down(Line& line)
{
    int x, y;
    if (!line.point(x, y) || !line.atEnd())
        return fail("down needs X Y");
    SimStylusDown(x, y);
    return true;
}

bool Script::move(Line& line)
{
    int x, y;
    if (!line.point(x, y) || !line.atEnd())
        return fail("move needs X Y");
    SimStylusMove(x, y);
    return true;
}

bool Script::up(Line& line)
{
    if (!line.atEnd())
        return fail("up takes nothing");
    POINT p = SimLastStylusPoint();
    SimStylusUp(p.x, p.y);
    return true;
}

bool Script::tap(Line& line)
{
    int x, y, hold = kTapHold;
    if (!line.point(x, y) || !line.milliseconds(3, hold))
        return fail("tap needs X Y [MS]");
    SimStylusDown(x, y);
    if (!SimRunFor(static_cast<DWORD>(hold)))
        return fail("the device ended");
    SimStylusUp(x, y);
    return true;
}

bool Script::wait(Line& line)
{
    int ms;
    if (!number(line.in, ms, 0, 86400000) || !line.atEnd())
        return fail("wait needs MS");
    if (!SimRunFor(static_cast<DWORD>(ms)))
        return fail("the device ended");
    // A program that the device started after the boot (the keyboard's settings program)
    // keeps the real clock: the wait is one for it too, in its time, so that what it does
    // in the meantime (a screen sliding in) is done when the script goes on.
    if (SimStartedProgramOnRealClock()) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            if (!SimPumpMessages())
                return fail("the device ended");
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return true;
}

bool Script::type(Line& line)
{
    for (char16_t c : unescape(line.rest())) {
        DeviceInput::send_char(c == u'\n' ? u'\r' : c);
        SimPumpMessages();
    }
    return true;
}

bool Script::press(Line& line)
{
    std::string name;
    if (!(line.in >> name) || !line.atEnd() || !keyNames().count(name))
        return fail("press needs a key: left right up down home end back delete enter tab escape");
    int vk = keyNames().at(name);
    SimKeyDown(vk);
    SimPumpMessages();
    SimKeyUp(vk);
    return true;
}

bool Script::shot(Line& line)
{
    std::string name;
    if (!(line.in >> name) || !line.atEnd() || !validShotName(name))
        return fail("shot needs a plain file name");
    settle();
    std::string path = m_options.shotFolder + "/" + name + ".png";
    if (!SimSaveScreenshot(path.c_str()))
        return fail("cannot write " + path);
    return true;
}

bool Script::expectText(Line& line)
{
    SimPumpMessages();
    std::u16string expected = unescape(line.rest());
    if (m_device->notepad().text() != expected)
        return fail("expected the text " + quoted(expected) + ", the note pad holds "
            + quoted(m_device->notepad().text()));
    return true;
}

bool Script::reboot(Line& line)
{
    if (!line.atEnd())
        return fail("reboot takes nothing");
    if (!m_options.reboot)
        return fail("this device cannot reboot");
    Device* again = m_options.reboot();
    if (!again)
        return fail("the device did not boot again");
    m_device = again;
    return true;
}

// Turns the device a quarter: upright to sideways and back.
bool Script::rotate(Line& line)
{
    if (!line.atEnd())
        return fail("rotate takes nothing");
    DEVMODE mode {};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_DISPLAYORIENTATION;
    ChangeDisplaySettingsEx(nullptr, &mode, nullptr, CDS_TEST, nullptr);
    mode.dmDisplayOrientation = (mode.dmDisplayOrientation == DMDO_90 || mode.dmDisplayOrientation == DMDO_270) ? DMDO_0 : DMDO_90;
    if (ChangeDisplaySettingsEx(nullptr, &mode, nullptr, 0, nullptr) != DISP_CHANGE_SUCCESSFUL)
        return fail("the display did not turn");
    return true;
}

bool Script::sip(Line& line)
{
    std::string what;
    if (!(line.in >> what) || !line.atEnd() || (what != "show" && what != "hide"))
        return fail("sip needs show or hide");
    if (!m_device->show_panel(what == "show"))
        return fail("this device has no input panel");
    return true;
}

bool Script::key(Line& line)
{
    std::string label;
    int hold = kTapHold;
    if (!(line.in >> label) || !line.milliseconds(2, hold))
        return fail("key needs LABEL [MS]");
    POINT at;
    if (std::string why = keyCentre(label, at); !why.empty())
        return fail(why);
    SimStylusDown(at.x, at.y);
    if (!SimRunFor(static_cast<DWORD>(hold)))
        return fail("the device ended");
    SimStylusUp(at.x, at.y);
    return true;
}

bool Script::hold(Line& line)
{
    std::string label;
    if (!(line.in >> label) || !line.atEnd())
        return fail("hold needs LABEL");
    POINT at;
    if (std::string why = keyCentre(label, at); !why.empty())
        return fail(why);
    SimStylusDown(at.x, at.y);
    return true;
}

bool Script::stroke(Line& line)
{
    std::string direction, label;
    if (!(line.in >> direction) || (direction != "left" && direction != "right" && direction != "up" && direction != "down"))
        return fail("stroke needs left, right, up or down [LABEL]");
    line.in >> label;
    if (!line.atEnd())
        return fail("stroke needs left, right, up or down [LABEL]");
    const std::vector<ScreenKey> keys = CurrentKeyMap();
    if (keys.empty())
        return fail("no keyboard is showing");
    // Without a label the flick starts on the middle letter of the keyboard.
    const ScreenKey* key = label.empty() ? &keys[keys.size() / 2 - 4] : FindScreenKey(keys, Utf16FromUtf8(label));
    if (!key)
        return fail("no key shows " + label);
    const POINT from = key->centre();
    const int dx = direction == "right" ? 1 : direction == "left" ? -1 : 0;
    const int dy = direction == "down" ? 1 : direction == "up" ? -1 : 0;
    // 40 pixels in 50 ms: quick at first, then still at the end, as a hand flicks.
    SimStylusDown(from.x, from.y);
    for (int step : { 13, 27, 40, 40, 40 }) {
        if (!SimRunFor(10))
            return fail("the device ended");
        SimStylusMove(from.x + dx * step, from.y + dy * step);
    }
    SimStylusUp(from.x + dx * 40, from.y + dy * 40);
    return true;
}

bool Script::startProgram(Line& line)
{
    std::u16string path, arguments;
    if (!programLine(line.rest(), path, arguments))
        return fail("start needs PATH [ARGS] (a PATH with spaces in double quotes)");
    return start(path, arguments);
}

bool Script::switchInputMethod(Line& line)
{
    std::string name;
    CLSID clsid;
    if (!(line.in >> name) || !line.atEnd() || CLSIDFromString(Utf16FromUtf8(name).c_str(), &clsid) != S_OK)
        return fail("im needs a class identifier {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
    if (!MakeInputMethodCurrent(clsid))
        return fail("the input method " + name + " was refused");
    return true;
}

}
