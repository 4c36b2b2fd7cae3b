#include "panel_host/Boot.h"

#include "runtime/Text.h"

#include <simhost.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace pocketsim {

namespace {

const char16_t kApps[] = u"Software\\Apps";
const char16_t kPrograms[] = u"\\Windows\\Start Menu\\Programs";

std::string hostOf(const std::u16string& device)
{
    char path[4096];
    return SimHostPath(device.c_str(), path, sizeof path) ? std::string(path) : std::string();
}

bool endsWithIgnoringCase(const std::u16string& name, std::u16string_view suffix)
{
    if (name.size() < suffix.size())
        return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char16_t a = name[name.size() - suffix.size() + i], b = suffix[i];
        if (a >= u'A' && a <= u'Z')
            a = static_cast<char16_t>(a - u'A' + u'a');
        if (a != b)
            return false;
    }
    return true;
}

bool sameFile(const fs::path& a, const fs::path& b)
{
    std::error_code e1, e2;
    if (fs::file_size(a, e1) != fs::file_size(b, e2) || e1 || e2)
        return false;
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(x), std::istreambuf_iterator<char>(),
        std::istreambuf_iterator<char>(y), std::istreambuf_iterator<char>());
}

// Copies beside the target and renames over it: a library in use by a running device keeps its
// old file, the next load sees the new one.
bool copyInto(const fs::path& from, const fs::path& to)
{
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    fs::path temporary = to.parent_path() / (".pocketsim-install-" + to.filename().string());
    fs::copy_file(from, temporary, fs::copy_options::overwrite_existing, ec);
    if (ec)
        return false;
    fs::rename(temporary, to, ec);
    if (ec)
        fs::remove(temporary, ec);
    return !ec;
}

// Calls a library's DllRegisterServer or DllUnregisterServer; false when it has none or fails.
bool callServerEntry(const std::u16string& library, const char16_t* entry, std::string& report)
{
    HMODULE module = LoadLibrary(library.c_str());
    if (!module)
        return false;
    auto function = reinterpret_cast<HRESULT (*)()>(GetProcAddress(module, entry));
    bool ok = false;
    if (function) {
        HRESULT hr = function();
        ok = SUCCEEDED(hr);
        report += Utf8FromUtf16(entry) + " " + Utf8FromUtf16(library) + (ok ? "\n" : " failed\n");
    }
    FreeLibrary(module);
    return ok;
}

bool setValue(HKEY key, const char16_t* name, const std::u16string& value)
{
    return RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
               static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)))
        == ERROR_SUCCESS;
}

std::u16string stringValue(HKEY key, const char16_t* name)
{
    WCHAR value[MAX_PATH + 1] = {};
    DWORD type = 0, size = sizeof value - sizeof(WCHAR);
    if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS || type != REG_SZ)
        return {};
    return value;
}

// A shortcut file: "<length>#<command line>" with the program's path quoted.
std::u16string shortcutTarget(const std::string& hostFile)
{
    std::ifstream in(hostFile);
    std::string text;
    std::getline(in, text);
    size_t hash = text.find('#');
    if (hash == std::string::npos)
        return {};
    std::string target = text.substr(hash + 1);
    if (!target.empty() && target[0] == '"') {
        size_t close = target.find('"', 1);
        target = target.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return Utf16FromUtf8(target);
}

std::u16string lower(std::u16string s)
{
    for (auto& c : s)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return s;
}

// Shortcuts of the Start menu that start a program inside folder (a device path).
std::vector<std::u16string> shortcutsInto(const std::u16string& folder)
{
    std::vector<std::u16string> found;
    std::string programs = hostOf(kPrograms);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(programs, ec)) {
        std::u16string target = shortcutTarget(entry.path().string());
        std::u16string prefix = lower(folder + u"\\");
        if (target.size() > prefix.size() && lower(target.substr(0, prefix.size())) == prefix)
            found.push_back(std::u16string(kPrograms) + u"\\" + Utf16FromUtf8(entry.path().filename().string()));
    }
    return found;
}

// Files that the programs rewrite as the user works (the layout list, the settings): the
// installer puts them in place once and never over the user's copy.
bool userFile(const fs::path& file)
{
    std::u16string name = lower(Utf16FromUtf8(file.filename().string()));
    return name == u"layouts.ini" || name == u"settings.txt";
}

// True when every file of source is on the device with its size and time.
bool upToDate(const fs::path& source, const std::u16string& folder)
{
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(source, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file() || userFile(it->path()))
            continue;
        std::u16string device = folder + u"\\" + Utf16FromUtf8(fs::relative(it->path(), source).generic_string());
        std::replace(device.begin(), device.end(), u'/', u'\\');
        std::string target = hostOf(device);
        std::error_code e1, e2, e3, e4;
        if (target.empty() || fs::file_size(target, e1) != fs::file_size(it->path(), e2)
            || fs::last_write_time(target, e3) != fs::last_write_time(it->path(), e4) || e1 || e2 || e3 || e4)
            return false;
    }
    return !ec;
}

bool installProgram(const fs::path& source, const std::u16string& relative, bool onlyWhenNewer, std::string& report)
{
    if (onlyWhenNewer && upToDate(source, u"\\Program Files\\" + relative))
        return true;
    std::u16string folder = u"\\Program Files\\" + relative;
    CreateDirectory((u"\\Program Files\\" + relative.substr(0, relative.find(u'\\'))).c_str(), nullptr);
    CreateDirectory(folder.c_str(), nullptr);
    std::string hostFolder = hostOf(folder);
    std::vector<std::u16string> libraries, programs;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(source, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::path rel = fs::relative(it->path(), source);
        std::u16string device = folder + u"\\" + Utf16FromUtf8(rel.generic_string());
        std::replace(device.begin(), device.end(), u'/', u'\\');
        if (it->is_directory()) {
            CreateDirectory(device.c_str(), nullptr);
            continue;
        }
        if (!it->is_regular_file())
            continue;
        std::string target = hostOf(device);
        std::error_code present;
        if (userFile(it->path()) && !target.empty() && fs::exists(target, present)) {
            report += "kept " + Utf8FromUtf16(device) + "\n";
            continue;
        }
        if (target.empty() || !copyInto(it->path(), target)) {
            report += "cannot copy " + it->path().string() + "\n";
            return false;
        }
        std::error_code timeError;
        fs::last_write_time(target, fs::last_write_time(it->path(), timeError), timeError);
        report += "copied " + Utf8FromUtf16(device) + "\n";
        if (endsWithIgnoringCase(device, u".dll"))
            libraries.push_back(device);
        else if (endsWithIgnoringCase(device, u".exe") && it.depth() == 0)
            programs.push_back(device);
    }
    if (ec) {
        report += "cannot read " + source.string() + "\n";
        return false;
    }
    for (const auto& library : libraries)
        callServerEntry(library, u"DllRegisterServer", report);
    CreateDirectory(kPrograms, nullptr);
    for (const auto& program : programs) {
        std::u16string name = program.substr(program.rfind(u'\\') + 1);
        name = name.substr(0, name.size() - 4);
        std::string line = "\"" + Utf8FromUtf16(program) + "\"";
        std::ofstream(hostOf(std::u16string(kPrograms) + u"\\" + name + u".lnk"))
            << std::to_string(line.size()) << "#" << line << "\n";
        report += "shortcut " + Utf8FromUtf16(name) + "\n";
    }
    std::u16string appName = relative;
    std::replace(appName.begin(), appName.end(), u'\\', u' ');
    HKEY key;
    if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, (std::u16string(kApps) + u"\\" + appName).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
            nullptr, &key, nullptr)
        == ERROR_SUCCESS) {
        setValue(key, u"InstallDir", folder);
        DWORD installed = 1;
        RegSetValueEx(key, u"Instl", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&installed), sizeof installed);
        RegCloseKey(key);
    }
    report += "installed " + Utf8FromUtf16(appName) + "\n";
    return true;
}

}

bool InstallPlatformFiles(std::string& error)
{
#ifdef POCKETSIM_BUILTIN_IM
    const std::u16string library = u"\\Windows\\msim.dll";
    std::string target = hostOf(library);
    if (target.empty()) {
        error = "no device root";
        return false;
    }
    if (!fs::exists(target) || !sameFile(POCKETSIM_BUILTIN_IM, target)) {
        if (!copyInto(POCKETSIM_BUILTIN_IM, target)) {
            error = "cannot copy the platform's keyboard to " + target;
            return false;
        }
    }
    std::string report;
    if (!callServerEntry(library, u"DllRegisterServer", report)) {
        error = "the platform's keyboard did not register";
        return false;
    }
#endif
    HKEY key;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SIP", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        if (stringValue(key, u"DefaultIM").empty()) {
            WCHAR text[40];
            StringFromGUID2(CLSID_KeyboardIM, text, 40);
            setValue(key, u"DefaultIM", text);
        }
        RegCloseKey(key);
    }
    (void)error;
    return true;
}

bool InstallTree(const std::string& hostFolder, std::string& report, bool onlyWhenNewer)
{
    std::error_code ec;
    if (!fs::is_directory(hostFolder, ec)) {
        report += hostFolder + " is not a folder\n";
        return false;
    }
    bool ok = true;
    int programs = 0;
    for (const auto& top : fs::directory_iterator(hostFolder, ec)) {
        if (!top.is_directory())
            continue;
        bool holdsFiles = false;
        for (const auto& e : fs::directory_iterator(top.path(), ec))
            holdsFiles = holdsFiles || e.is_regular_file();
        std::u16string maker = Utf16FromUtf8(top.path().filename().string());
        if (holdsFiles) {
            ok = installProgram(top.path(), maker, onlyWhenNewer, report) && ok;
            ++programs;
            continue;
        }
        for (const auto& product : fs::directory_iterator(top.path(), ec))
            if (product.is_directory()) {
                ok = installProgram(product.path(), maker + u"\\" + Utf16FromUtf8(product.path().filename().string()), onlyWhenNewer, report) && ok;
                ++programs;
            }
    }
    if (programs == 0) {
        report += hostFolder + " holds no program folder (Maker/Product)\n";
        return false;
    }
    return ok;
}

bool Uninstall(const std::string& name, std::string& report)
{
    std::u16string wanted = lower(Utf16FromUtf8(name));
    std::replace(wanted.begin(), wanted.end(), u'/', u'\\');
    HKEY apps;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kApps, 0, KEY_ALL_ACCESS, &apps) != ERROR_SUCCESS) {
        report += "nothing is installed\n";
        return false;
    }
    std::u16string appName, folder;
    for (DWORD i = 0;; ++i) {
        WCHAR key[MAX_PATH];
        DWORD size = MAX_PATH;
        if (RegEnumKeyEx(apps, i, key, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY app;
        if (RegOpenKeyEx(apps, key, 0, KEY_READ, &app) != ERROR_SUCCESS)
            continue;
        std::u16string dir = stringValue(app, u"InstallDir");
        RegCloseKey(app);
        std::u16string relative = dir.size() > 15 ? dir.substr(15) : dir; // after "\Program Files\"
        std::u16string last = dir.substr(dir.rfind(u'\\') + 1);
        if (lower(key) == wanted || lower(relative) == wanted || lower(last) == wanted) {
            appName = key;
            folder = dir;
            break;
        }
    }
    if (appName.empty() || folder.empty()) {
        RegCloseKey(apps);
        report += "no installed program is called " + name + "\n";
        return false;
    }
    std::string host = hostOf(folder);
    std::error_code ec;
    std::vector<std::u16string> libraries;
    for (auto it = fs::recursive_directory_iterator(host, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::u16string file = Utf16FromUtf8(it->path().string());
        if (it->is_regular_file() && endsWithIgnoringCase(file, u".dll")) {
            WCHAR device[MAX_PATH];
            if (SimDevicePath(it->path().c_str(), device, MAX_PATH))
                libraries.push_back(device);
        }
    }
    for (const auto& library : libraries)
        callServerEntry(library, u"DllUnregisterServer", report);
    for (const auto& shortcut : shortcutsInto(folder)) {
        DeleteFile(shortcut.c_str());
        report += "removed " + Utf8FromUtf16(shortcut) + "\n";
    }
    fs::remove_all(host, ec);
    // The maker's folder goes with its last product.
    fs::path maker = fs::path(host).parent_path();
    if (fs::is_empty(maker, ec) && Utf8FromUtf16(folder).find('\\', 15) != std::string::npos)
        fs::remove(maker, ec);
    RegDeleteKey(apps, appName.c_str());
    RegCloseKey(apps);
    report += "uninstalled " + Utf8FromUtf16(appName) + "\n";
    return true;
}

int RunStartupFolder()
{
    WCHAR folder[MAX_PATH];
    if (!SHGetSpecialFolderPath(nullptr, folder, CSIDL_STARTUP, FALSE))
        return 0;
    std::u16string base = folder;
    std::vector<std::u16string> names;
    WIN32_FIND_DATA data;
    HANDLE find = FindFirstFile((base + u"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(data.cFileName);
        } while (FindNextFile(find, &data));
        FindClose(find);
    }
    std::sort(names.begin(), names.end());
    int started = 0;
    for (const auto& name : names) {
        std::u16string path = base + u"\\" + name;
        if (endsWithIgnoringCase(name, u".lnk"))
            path = shortcutTarget(hostOf(path));
        SHELLEXECUTEINFO info {};
        info.cbSize = sizeof info;
        info.lpFile = path.c_str();
        info.nShow = SW_SHOW;
        if (!path.empty() && ShellExecuteEx(&info))
            ++started;
        else
            std::fprintf(stderr, "pocketsim: the startup item %s did not start\n", Utf8FromUtf16(name).c_str());
    }
    return started;
}

}
