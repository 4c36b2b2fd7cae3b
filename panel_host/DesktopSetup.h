#pragma once
// What a desktop host does before it opens its display, in one call: the keyboard's size for
// the screen from the user's options and the choice remembered in the keyboard's folder, the
// device screen (the desktop's own pixels), the skin compiled and drawn for that scale (named
// in the registry, so that the keyboard and its settings program both load it), and the
// screen of the programs the keyboard starts. The device root must be set and the keyboard
// installed; the display is opened after it.
#include "panel_host/DesktopSize.h"
#include "panel_host/OptionTable.h"

#include <optional>
#include <string>

namespace pocketsim {

// Options as the user gave them; a field that is absent keeps the remembered choice, "auto"
// forgets it.
struct PanelOptions {
    std::optional<PanelLength> width;
    std::optional<PanelLength> height;
    std::optional<double> scale; // 0: automatic

    bool any() const { return width || height || scale; }
};

// The handlers of a desktop host's --width, --height (field, named name) and --scale.
OptionHandler PanelLengthOption(PanelOptions& options, std::optional<PanelLength> PanelOptions::*field, const char* name);
OptionHandler PanelScaleOption(PanelOptions& options);

// The choice remembered in the keyboard's folder ("\Program Files\Tarn\Magnikeys\panel_size.txt":
// lines "width 80%", "height 300", "scale 3.5"; absent or "auto" for automatic).
PanelRequest RememberedPanelRequest();
bool RememberPanelRequest(const PanelRequest& request);

struct DesktopSetupResult {
    DesktopPanel panel;
    std::u16string skin; // device path of the skin in use
    bool skin_made = false; // drawn now rather than found
    double skin_seconds = 0;
};

// skinKit: the folder with the skin tools and sources (MAGNIKEYS_SKIN_KIT overrides it). A
// skin that cannot be made leaves the keyboard the one beside it, at the device's scale: a
// line in the report, no failure. report gets lines for the user (what was drawn, in how long,
// what went wrong). False only when the device screen cannot be set.
bool SetUpDesktop(const DesktopScreen& screen, const PanelOptions& options, const std::string& skinKit, DesktopSetupResult& result,
    std::string& report);

}
