#include "panel_host/DesktopSetup.h"

#include "kbfiles/SkinChoice.h"
#include "panel_host/DesktopSkin.h"
#include "runtime/Registry.h"
#include "runtime/Text.h"

#include <simhost.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace pocketsim {

namespace {

constexpr char16_t kRememberedFile[] = u"\\Program Files\\Tarn\\Magnikeys\\panel_size.txt";

std::string hostOf(const std::u16string& device)
{
    char path[4096];
    return SimHostPath(device.c_str(), path, sizeof path) ? std::string(path) : std::string();
}

}

OptionHandler PanelLengthOption(PanelOptions& options, std::optional<PanelLength> PanelOptions::*field, const char* name)
{
    return [&options, field, name](const char* value) -> std::string {
        PanelLength length;
        if (!length.parse(value))
            return std::string(name) + " wants pixels (16 or more), a percentage or auto";
        options.*field = length;
        return {};
    };
}

OptionHandler PanelScaleOption(PanelOptions& options)
{
    return [&options](const char* value) -> std::string {
        double scale = 0;
        if (!ParsePanelScale(value, scale))
            return "--scale wants a number from 1 to 16, or auto";
        options.scale = scale;
        return {};
    };
}

PanelRequest RememberedPanelRequest()
{
    PanelRequest request;
    std::ifstream in(hostOf(kRememberedFile));
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string key, value;
        if (!(words >> key >> value))
            continue;
        // A line that does not read leaves its field automatic.
        if (key == "width")
            request.width.parse(value);
        else if (key == "height")
            request.height.parse(value);
        else if (key == "scale")
            ParsePanelScale(value, request.scale);
    }
    return request;
}

bool RememberPanelRequest(const PanelRequest& request)
{
    const std::string path = hostOf(kRememberedFile);
    if (path.empty())
        return false;
    char scale[32] = "auto";
    if (request.scale > 0)
        std::snprintf(scale, sizeof scale, "%g", request.scale);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << "width " << request.width.text() << "\nheight " << request.height.text() << "\nscale " << scale << "\n";
        if (!out)
            return false;
    }
    std::filesystem::rename(temporary, path, ec);
    return !ec;
}

bool SetUpDesktop(const DesktopScreen& screen, const PanelOptions& options, const std::string& skinKit, DesktopSetupResult& result,
    std::string& report)
{
    PanelRequest request = RememberedPanelRequest();
    if (options.width)
        request.width = *options.width;
    if (options.height)
        request.height = *options.height;
    if (options.scale)
        request.scale = *options.scale;
    if (options.any() && !RememberPanelRequest(request))
        report += "cannot remember the keyboard's size in the keyboard's folder\n";

    result.panel = ChooseDesktopPanel(screen, request);
    const char* kitOverride = std::getenv("MAGNIKEYS_SKIN_KIT");
    const std::string kit = kitOverride && *kitOverride ? kitOverride : skinKit;
    DesktopSkin skin;
    std::string problem;
    if (MakeDesktopSkin(result.panel, kit, skin, problem)) {
        result.skin = skin.path;
        result.skin_made = skin.made;
        result.skin_seconds = skin.seconds;
        RegWriteText(kSkinChoiceKey, kSkinChoiceValue, skin.path);
        if (skin.made) {
            char line[160];
            std::snprintf(line, sizeof line, "drew the keyboard at scale %.3f, %dx%d pixels, in %.0f ms\n", result.panel.scale,
                result.panel.width, result.panel.height, skin.seconds * 1000);
            report += line;
        }
    } else {
        // The keyboard keeps the skin beside it, at the device's own scale.
        report += problem + "\n";
        RegWriteText(kSkinChoiceKey, kSkinChoiceValue, u"");
        PanelRequest device;
        device.scale = screen.dpi() > 191 ? 2 : 1;
        result.panel = ChooseDesktopPanel(screen, device);
        result.skin.clear();
    }

    if (!SimSetGeometry(result.panel.geometry().c_str()))
        return false;
    // The programs the keyboard starts (its settings) see a screen of their own, the room above
    // the keyboard, at the keyboard's scale; the display shows it centred above the panel.
    setenv("POCKETSIM_GEOMETRY", result.panel.program_geometry().c_str(), 1);
    const std::string programs = std::to_string(result.panel.program_width) + "x" + std::to_string(result.panel.program_height);
    setenv("POCKETSIM_PROGRAM_SCREEN", programs.c_str(), 1);
    return true;
}

}
