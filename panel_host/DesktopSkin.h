#pragma once
// The default skin compiled and drawn for a desktop panel: its pictures drawn at the panel's
// scale by the art tools and its sizes compiled at that scale by skinc, so that nothing is
// replicated on the way to the screen; its portrait forms take the panel's size. It is made in
// the keyboard's folder on first use ("\Program Files\Tarn\Magnikeys\skins\desktop-S-WxH\") and
// kept while the tools and sources it was made from stay the same.
//
// The skin kit is a folder holding the tools (skinart, menuart, skinc) and the skin's sources
// (default.yaml, settings.yaml); the build puts one together.
#include "panel_host/DesktopSize.h"

#include <string>

namespace pocketsim {

struct DesktopSkin {
    std::u16string path; // device path of the skin file
    bool made = false; // made now (else found made before)
    double seconds = 0; // spent making it
};

// False with a reason when a tool is missing or failed; the keyboard then keeps its own skin.
bool MakeDesktopSkin(const DesktopPanel& panel, const std::string& kit, DesktopSkin& skin, std::string& error);

// The folder name for a panel: "desktop-3.114-747x265".
std::string DesktopSkinFolder(const DesktopPanel& panel);

}
