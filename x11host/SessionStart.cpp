#include "x11host/SessionStart.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace x11host {

namespace {

constexpr char16_t kStartupCopy[] = u"\\Windows\\StartUp\\mk_select.exe";
constexpr char16_t kSelector[] = u"\\Program Files\\Tarn\\Magnikeys\\mk_select.exe";

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The value of key in an entry's [Desktop Entry] group; empty when it has none.
std::string entryValue(const std::string& file, const std::string& key)
{
    std::ifstream in(file);
    bool group = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] == '[')
            group = line == "[Desktop Entry]";
        else if (group && line.compare(0, key.size() + 1, key + "=") == 0)
            return line.substr(key.size() + 1);
    }
    return {};
}

bool entryStarts(const std::string& file)
{
    return entryValue(file, "Hidden") != "true" && entryValue(file, "X-GNOME-Autostart-enabled") != "false";
}

// A program path as the Exec key quotes it: in double quotes where it holds a reserved
// character, with the string escapes of an entry's values on top.
std::string execProgram(const std::string& program)
{
    if (program.find_first_of(" \t\n\"'\\><~|&;$*?#()`") == std::string::npos)
        return program;
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += "\\\\";
        if (c == '\\')
            quoted += "\\";
        quoted += c;
    }
    return quoted + "\"";
}

bool writeAtomically(const std::string& file, const std::string& text, std::string& why)
{
    std::error_code ec;
    fs::create_directories(fs::path(file).parent_path(), ec);
    const std::string partial = file + ".partial";
    {
        std::ofstream out(partial, std::ios::trunc);
        out << text;
        if (!out.flush()) {
            why = "cannot write " + partial;
            return false;
        }
    }
    fs::rename(partial, file, ec);
    if (ec) {
        why = "cannot write " + file + ": " + ec.message();
        fs::remove(partial, ec);
        return false;
    }
    return true;
}

}

AutostartPlaces AutostartPlaces::ForEntry(const std::string& fileName)
{
    AutostartPlaces places;
    std::string home = environment("XDG_CONFIG_HOME");
    if (home.empty() || home[0] != '/')
        home = (environment("HOME").empty() ? std::string("/tmp") : environment("HOME")) + "/.config";
    places.user = home + "/autostart/" + fileName;
    std::string dirs = environment("XDG_CONFIG_DIRS");
    if (dirs.empty())
        dirs = "/etc/xdg";
    std::istringstream list(dirs);
    for (std::string dir; std::getline(list, dir, ':');)
        if (!dir.empty() && dir[0] == '/')
            places.system.push_back(dir + "/autostart/" + fileName);
    return places;
}

bool AutostartOn(const AutostartPlaces& places)
{
    std::error_code ec;
    if (fs::exists(places.user, ec))
        return entryStarts(places.user);
    for (const std::string& entry : places.system)
        if (fs::exists(entry, ec))
            return entryStarts(entry);
    return false;
}

bool SetAutostart(const AutostartPlaces& places, bool on, const std::string& templateFile, const std::string& program,
    std::string& why)
{
    std::error_code ec;
    if (!on) {
        bool systemStarts = false;
        for (const std::string& entry : places.system)
            if (fs::exists(entry, ec)) {
                systemStarts = entryStarts(entry);
                break;
            }
        if (!systemStarts) {
            fs::remove(places.user, ec);
            if (ec) {
                why = "cannot remove " + places.user + ": " + ec.message();
                return false;
            }
            return true;
        }
    }
    std::ifstream in(templateFile);
    if (!in) {
        why = "the session start entry " + templateFile + " is missing";
        return false;
    }
    std::string text;
    bool group = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] == '[')
            group = line == "[Desktop Entry]";
        if (group && (line.rfind("Hidden=", 0) == 0 || line.rfind("X-GNOME-Autostart-enabled=", 0) == 0))
            continue;
        if (group && line.rfind("Exec=", 0) == 0) {
            const size_t space = line.find(' ');
            line = "Exec=" + execProgram(program) + (space == std::string::npos ? "" : line.substr(space));
        }
        text += line + "\n";
        if (line == "[Desktop Entry]")
            text += on ? "Hidden=false\nX-GNOME-Autostart-enabled=true\n" : "Hidden=true\nX-GNOME-Autostart-enabled=false\n";
    }
    return writeAtomically(places.user, text, why);
}

bool StartupSwitchOn()
{
    return GetFileAttributes(kStartupCopy) != INVALID_FILE_ATTRIBUTES;
}

void SetStartupSwitch(bool on)
{
    // As the settings program does it: a read-only copy is still replaced or removed.
    const DWORD attributes = GetFileAttributes(kStartupCopy);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributes(kStartupCopy, attributes & ~FILE_ATTRIBUTE_READONLY);
    if (on)
        CopyFile(kSelector, kStartupCopy, FALSE);
    else
        DeleteFile(kStartupCopy);
}

SessionStart::SessionStart(AutostartPlaces places, std::string templateFile, std::string program)
    : m_places(std::move(places))
    , m_template(std::move(templateFile))
    , m_program(std::move(program))
{
}

void SessionStart::start()
{
    m_session = AutostartOn(m_places);
    if (StartupSwitchOn() != m_session)
        SetStartupSwitch(m_session);
    m_device = StartupSwitchOn();
    m_started = true;
}

void SessionStart::idle(unsigned now)
{
    if (!m_started || now - m_last < 1000)
        return;
    m_last = now;
    const bool device = StartupSwitchOn();
    if (device != m_device) {
        m_device = device;
        std::string why;
        if (!SetAutostart(m_places, device, m_template, m_program, why))
            std::fprintf(stderr, "magnikeys-x11: %s\n", why.c_str());
        else
            std::fprintf(stderr, "magnikeys-x11: %s\n",
                device ? ("starts with the session from now on (" + m_places.user + ")").c_str()
                       : "no longer starts with the session");
        m_session = AutostartOn(m_places);
        return;
    }
    const bool session = AutostartOn(m_places);
    if (session != m_session) {
        m_session = session;
        SetStartupSwitch(session);
        m_device = StartupSwitchOn();
    }
}

}
