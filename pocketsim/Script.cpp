#include "pocketsim/Script.h"
#include "pocketsim/Device.h"
#include "pocketsim/KeyboardKeys.h"

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
    SHELLEXECUTEINFO info {};
    info.cbSize = sizeof info;
    info.lpVerb = u"open";
    info.lpFile = path.c_str();
    info.lpParameters = arguments.empty() ? nullptr : arguments.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteEx(&info))
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

bool Script::line(const std::string& text)
{
    std::istringstream in(text);
    std::string command;
    if (!(in >> command) || command[0] == '#')
        return true;
    int width, height;
    SimGetGeometry(&width, &height, nullptr, nullptr);
    auto point = [&](int& x, int& y) {
        return number(in, x, -32768, 32767) && number(in, y, -32768, 32767);
    };
    auto restOfLine = [&] {
        std::string rest;
        std::getline(in, rest);
        size_t start = rest.find_first_not_of(' ');
        return start == std::string::npos ? std::string() : rest.substr(start);
    };

    if (command == "down" || command == "move") {
        int x, y;
        if (!point(x, y) || !atEnd(in))
            return fail(command + " needs X Y");
        command == "down" ? SimStylusDown(x, y) : SimStylusMove(x, y);
    } else if (command == "up") {
        if (!atEnd(in))
            return fail("up takes nothing");
        POINT p = SimLastStylusPoint();
        SimStylusUp(p.x, p.y);
    } else if (command == "tap") {
        int x, y, hold = kTapHold;
        if (!point(x, y))
            return fail("tap needs X Y [MS]");
        if (!atEnd(in)) {
            std::istringstream again(text);
            std::string skip;
            again >> skip >> skip >> skip;
            if (!number(again, hold, 0, 600000) || !atEnd(again))
                return fail("tap needs X Y [MS]");
        }
        SimStylusDown(x, y);
        if (!SimRunFor(static_cast<DWORD>(hold)))
            return fail("the device ended");
        SimStylusUp(x, y);
    } else if (command == "wait") {
        int ms;
        if (!number(in, ms, 0, 86400000) || !atEnd(in))
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
    } else if (command == "type") {
        for (char16_t c : unescape(restOfLine())) {
            DeviceInput::send_char(c == u'\n' ? u'\r' : c);
            SimPumpMessages();
        }
    } else if (command == "press") {
        std::string name;
        if (!(in >> name) || !atEnd(in) || !keyNames().count(name))
            return fail("press needs a key: left right up down home end back delete enter tab escape");
        int vk = keyNames().at(name);
        SimKeyDown(vk);
        SimPumpMessages();
        SimKeyUp(vk);
    } else if (command == "shot") {
        std::string name;
        if (!(in >> name) || !atEnd(in) || !validShotName(name))
            return fail("shot needs a plain file name");
        settle();
        std::string path = m_options.shotFolder + "/" + name + ".png";
        if (!SimSaveScreenshot(path.c_str()))
            return fail("cannot write " + path);
    } else if (command == "expect-text") {
        SimPumpMessages();
        std::u16string expected = unescape(restOfLine());
        if (m_device->notepad().text() != expected)
            return fail("expected the text " + quoted(expected) + ", the note pad holds "
                + quoted(m_device->notepad().text()));
    } else if (command == "reboot") {
        if (!atEnd(in))
            return fail("reboot takes nothing");
        if (!m_options.reboot)
            return fail("this device cannot reboot");
        Device* again = m_options.reboot();
        if (!again)
            return fail("the device did not boot again");
        m_device = again;
    } else if (command == "rotate") {
        if (!atEnd(in))
            return fail("rotate takes nothing");
        // Turns the device a quarter: upright to sideways and back.
        DEVMODE mode {};
        mode.dmSize = sizeof mode;
        mode.dmFields = DM_DISPLAYORIENTATION;
        ChangeDisplaySettingsEx(nullptr, &mode, nullptr, CDS_TEST, nullptr);
        mode.dmDisplayOrientation = (mode.dmDisplayOrientation == DMDO_90 || mode.dmDisplayOrientation == DMDO_270) ? DMDO_0 : DMDO_90;
        if (ChangeDisplaySettingsEx(nullptr, &mode, nullptr, 0, nullptr) != DISP_CHANGE_SUCCESSFUL)
            return fail("the display did not turn");
    } else if (command == "sip") {
        std::string what;
        if (!(in >> what) || !atEnd(in) || (what != "show" && what != "hide"))
            return fail("sip needs show or hide");
        if (!m_device->show_panel(what == "show"))
            return fail("this device has no input panel");
    } else if (command == "key" || command == "hold") {
        std::string label;
        int hold = kTapHold;
        if (!(in >> label) || (command == "hold" && !atEnd(in)))
            return fail(command + " needs LABEL" + (command == "key" ? " [MS]" : ""));
        if (!atEnd(in)) {
            std::istringstream again(text);
            std::string skip;
            again >> skip >> skip;
            if (!number(again, hold, 0, 600000) || !atEnd(again))
                return fail("key needs LABEL [MS]");
        }
        const std::vector<ScreenKey> keys = CurrentKeyMap();
        const ScreenKey* key = FindScreenKey(keys, Utf16FromUtf8(label));
        if (!key)
            return fail(keys.empty() ? "no keyboard is showing" : "no key shows " + label);
        const POINT at = key->centre();
        SimStylusDown(at.x, at.y);
        if (command == "key") {
            if (!SimRunFor(static_cast<DWORD>(hold)))
                return fail("the device ended");
            SimStylusUp(at.x, at.y);
        }
    } else if (command == "stroke") {
        std::string direction, label;
        if (!(in >> direction) || (direction != "left" && direction != "right" && direction != "up" && direction != "down"))
            return fail("stroke needs left, right, up or down [LABEL]");
        in >> label;
        if (!atEnd(in))
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
    } else if (command == "start") {
        std::u16string path, arguments;
        if (!programLine(restOfLine(), path, arguments))
            return fail("start needs PATH [ARGS] (a PATH with spaces in double quotes)");
        if (!start(path, arguments))
            return false;
    } else if (command == "im") {
        std::string name;
        CLSID clsid;
        if (!(in >> name) || !atEnd(in) || CLSIDFromString(Utf16FromUtf8(name).c_str(), &clsid) != S_OK)
            return fail("im needs a class identifier {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
        // As the control panel does: switch, and keep the choice as the default.
        if (!SipSetCurrentIM(&clsid))
            return fail("the input method " + name + " was refused");
        WCHAR text[40];
        StringFromGUID2(clsid, text, 40);
        HKEY key;
        if (RegCreateKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SIP", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueEx(key, u"DefaultIM", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 39 * sizeof(WCHAR));
            RegCloseKey(key);
        }
    } else {
        return fail("unknown command '" + command + "'");
    }
    settle();
    return true;
}

}
