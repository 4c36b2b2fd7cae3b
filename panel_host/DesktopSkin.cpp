#include "panel_host/DesktopSkin.h"

#include "runtime/Text.h"

#include <simhost.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace pocketsim {

namespace {

constexpr char16_t kSkinsFolder[] = u"\\Program Files\\Tarn\\Magnikeys\\skins";
constexpr const char* kKitFiles[] = { "skinart", "menuart", "skinc", "default.yaml", "settings.yaml" };
constexpr const char* kStampFile = "made_from.txt";

std::string hostOf(const std::u16string& device)
{
    char path[4096];
    return SimHostPath(device.c_str(), path, sizeof path) ? std::string(path) : std::string();
}

// What the skin is made from, to know when to make it again: each kit file's size and time.
bool kitStamp(const std::string& kit, std::string& stamp, std::string& error)
{
    std::ostringstream out;
    for (const char* name : kKitFiles) {
        const fs::path file = fs::path(kit) / name;
        std::error_code ec;
        const auto size = fs::file_size(file, ec);
        const auto time = ec ? fs::file_time_type {} : fs::last_write_time(file, ec);
        if (ec) {
            error = "the skin kit lacks " + file.string();
            return false;
        }
        out << name << ' ' << size << ' ' << time.time_since_epoch().count() << '\n';
    }
    stamp = out.str();
    return true;
}

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a tool to its end; false with a reason when it could not start or failed.
bool run(const std::vector<std::string>& args, std::string& error)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        error = "cannot run " + args[0];
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = args[0] + " failed making the desktop skin";
        return false;
    }
    return true;
}

std::string number(double v, const char* format)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, v);
    return buffer;
}

}

std::string DesktopSkinFolder(const DesktopPanel& panel)
{
    return "desktop-" + number(panel.scale, "%.3f") + "-" + std::to_string(panel.width) + "x" + std::to_string(panel.height);
}

bool MakeDesktopSkin(const DesktopPanel& panel, const std::string& kit, DesktopSkin& skin, std::string& error)
{
    const auto start = std::chrono::steady_clock::now();
    std::string stamp;
    if (!kitStamp(kit, stamp, error))
        return false;
    const std::string name = DesktopSkinFolder(panel);
    const std::u16string deviceFolder = std::u16string(kSkinsFolder) + u"\\" + Utf16FromUtf8(name);
    const std::string skins = hostOf(kSkinsFolder);
    const std::string folder = hostOf(deviceFolder);
    if (skins.empty() || folder.empty()) {
        error = "the device has no folder for the keyboard's skins";
        return false;
    }
    skin.path = deviceFolder + u"\\default.skin";
    skin.made = false;
    skin.seconds = 0;
    std::error_code ec;
    if (fs::exists(fs::path(folder) / "default.skin", ec) && readAll(fs::path(folder) / kStampFile) == stamp)
        return true;

    // Made aside and moved into place whole: a keyboard starting meanwhile finds the old skin
    // or the new one, never half of one.
    const fs::path work = fs::path(skins) / (".making-" + name + "-" + std::to_string(getpid()));
    fs::remove_all(work, ec);
    fs::create_directories(work / "out", ec);
    if (ec) {
        error = "cannot make " + work.string() + ": " + ec.message();
        return false;
    }
    for (const char* source : { "default.yaml", "settings.yaml" }) {
        fs::copy_file(fs::path(kit) / source, work / source, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            error = "cannot copy the skin's source " + std::string(source) + ": " + ec.message();
            fs::remove_all(work, ec);
            return false;
        }
    }
    const std::string scale = number(panel.scale, "%.3f");
    const std::string out = (work / "out" / "default.skin").string();
    const auto tool = [&](const char* t) { return (fs::path(kit) / t).string(); };
    const bool ok = run({ tool("skinart"), work.string(), "--scale", scale }, error)
        && run({ tool("menuart"), work.string(), "--scale", scale }, error)
        && run({ tool("skinc"), (work / "default.yaml").string(), (work / "settings.yaml").string(), "-o", out, "--scale", scale,
                   "--resize", "normal_portrait=" + std::to_string(panel.width) + "x" + std::to_string(panel.height),
                   "--resize", "extended_normal_portrait=" + std::to_string(panel.width) + "x" + std::to_string(panel.extended_height) },
            error);
    if (ok) {
        std::ofstream(work / "out" / kStampFile, std::ios::binary) << stamp;
        fs::remove_all(folder, ec);
        fs::rename(work / "out", folder, ec);
        if (ec)
            error = "cannot move the desktop skin into " + folder + ": " + ec.message();
    }
    fs::remove_all(work, ec);
    if (!ok || !fs::exists(fs::path(folder) / "default.skin", ec))
        return false;
    // Skins made for other sizes are of no more use.
    for (const auto& entry : fs::directory_iterator(skins, ec)) {
        const std::string other = entry.path().filename().string();
        if (other.rfind("desktop-", 0) == 0 && other != name)
            fs::remove_all(entry.path(), ec);
    }
    skin.made = true;
    skin.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
}

}
