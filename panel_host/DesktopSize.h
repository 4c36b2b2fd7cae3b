#pragma once
// The keyboard's size on a desktop screen, for every desktop host. The keyboard is drawn at the
// screen's own pixels with a skin compiled for a scale S (design pixels, those of a 96 dpi
// screen, to screen pixels); the device screen the keyboard sees is the desktop's pixels, plus
// the strip the keyboard keeps free below itself (26 design pixels), which falls off the
// bottom of the screen so that the panel stands on its edge.
//
// By default: full width on portrait screens (S = width / 240); elsewhere a key pitch of
// 18 mm, no wider than the screen and no taller than 35 % of it, centred; a screen on which even
// full-width keys are narrower than 16 mm (a phone on its side) keeps the full width, its keys
// wider than the design's. The user's width, height (pixels or percent) and scale override; a
// width and a height that do not keep the design's proportions stretch the keys.
#include <string>

namespace pocketsim {

struct DesktopScreen {
    int width = 0; // pixels
    int height = 0;
    int width_mm = 0; // as the window system reports them; 0 when it does not
    int height_mm = 0;

    // Dots per inch from the millimetres, 96 when they are not known.
    double dpi() const;
};

// A length asked for: automatic, pixels, or a percentage of the screen's.
struct PanelLength {
    enum class Unit { Automatic, Pixels, Percent };
    Unit unit = Unit::Automatic;
    double value = 0;

    bool automatic() const { return unit == Unit::Automatic; }
    // "auto", "720" or "80%"; false for anything else (the length stays).
    bool parse(const std::string& text);
    std::string text() const;
    // In pixels of a screen side `side` long.
    double pixels(int side) const;
};

struct PanelRequest {
    PanelLength width;
    PanelLength height;
    double scale = 0; // 0: automatic

    bool automatic() const { return width.automatic() && height.automatic() && scale <= 0; }
};

// "auto" (0) or a scale from kMinScale to kMaxScale; false for anything else.
bool ParsePanelScale(const std::string& text, double& scale);

struct DesktopPanel {
    double scale = 1; // design to screen pixels, in thousandths
    int width = 240; // the three-row form, screen pixels
    int height = 85;
    int extended_height = 106; // the four-row form, stretched alike
    int bottom_offset = 26; // below the screen's edge
    int device_width = 240; // the device screen: the desktop's pixels and the strip below
    int device_height = 320;
    int dpi = 96;
    // The screen the programs the keyboard starts (its settings) see: as wide as the keyboard's
    // design at its scale and as tall as there is room above the keyboard, up to the design's
    // 240 x 320; shown centred above the panel.
    int program_width = 240;
    int program_height = 320;

    // "WxH@DPI" for SimSetGeometry and POCKETSIM_GEOMETRY.
    std::string geometry() const;
    std::string program_geometry() const;
    // Whether the keys keep the design's proportions.
    bool proportional() const;
};

// The design the policy sizes: the default skin's three-row portrait form.
inline constexpr int kDesignWidth = 240;
inline constexpr int kDesignHeight = 85;
inline constexpr int kDesignExtendedHeight = 106;
inline constexpr int kDesignKeysPerRow = 11;
inline constexpr int kDesignBottomOffset = 26;
inline constexpr int kDesignProgramWidth = 240;
inline constexpr int kDesignProgramHeight = 320;
// The defaults: a hardware keyboard's key pitch, the height the keyboard may take.
inline constexpr double kKeyPitchMm = 18.0;
inline constexpr double kMaxHeightShare = 0.35;
inline constexpr double kMinScale = 1.0;
inline constexpr double kMaxScale = 16.0;

DesktopPanel ChooseDesktopPanel(const DesktopScreen& screen, const PanelRequest& request = {});

}
