#include "panel_host/DesktopSize.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace pocketsim {

namespace {

// Screens wider than this many millimetres are never phone-sized: eleven keys of 16 mm.
constexpr double kPhoneWidthMm = kDesignKeysPerRow * 16.0;
// The device's screen geometry has sides of at most this many pixels.
constexpr int kMaxDeviceSide = 4096;

int pixels(double design, double scale)
{
    return static_cast<int>(std::floor(design * scale + 0.5));
}

double thousandths(double scale)
{
    return std::floor(scale * 1000 + 1e-6) / 1000;
}

}

double DesktopScreen::dpi() const
{
    if (height_mm > 0 && height > 0)
        return height * 25.4 / height_mm;
    if (width_mm > 0 && width > 0)
        return width * 25.4 / width_mm;
    return 96.0;
}

bool PanelLength::parse(const std::string& text)
{
    if (text == "auto") {
        *this = PanelLength {};
        return true;
    }
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !(v > 0))
        return false;
    if (*end == '%' && end[1] == 0 && v <= 100) {
        unit = Unit::Percent;
        value = v;
        return true;
    }
    if (*end == 0 && v >= 16 && v <= 65535 && v == std::floor(v)) {
        unit = Unit::Pixels;
        value = v;
        return true;
    }
    return false;
}

std::string PanelLength::text() const
{
    char buffer[32];
    switch (unit) {
    case Unit::Pixels:
        std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value));
        return buffer;
    case Unit::Percent:
        std::snprintf(buffer, sizeof buffer, "%g%%", value);
        return buffer;
    case Unit::Automatic:
        break;
    }
    return "auto";
}

double PanelLength::pixels(int side) const
{
    switch (unit) {
    case Unit::Pixels:
        return value;
    case Unit::Percent:
        return side * value / 100.0;
    case Unit::Automatic:
        break;
    }
    return 0;
}

bool ParsePanelScale(const std::string& text, double& scale)
{
    if (text == "auto") {
        scale = 0;
        return true;
    }
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end || !(v >= kMinScale && v <= kMaxScale))
        return false;
    scale = v;
    return true;
}

std::string DesktopPanel::geometry() const
{
    return std::to_string(device_width) + "x" + std::to_string(device_height) + "@" + std::to_string(dpi);
}

std::string DesktopPanel::program_geometry() const
{
    return std::to_string(program_width) + "x" + std::to_string(program_height) + "@" + std::to_string(dpi);
}

bool DesktopPanel::proportional() const
{
    return std::abs(width - pixels(kDesignWidth, scale)) <= 1 && std::abs(height - pixels(kDesignHeight, scale)) <= 1;
}

DesktopPanel ChooseDesktopPanel(const DesktopScreen& screen, const PanelRequest& request)
{
    const int w = std::clamp(screen.width, 16, kMaxDeviceSide);
    const int h = std::clamp(screen.height, 16, kMaxDeviceSide);
    const double dpi = std::clamp(screen.dpi(), 48.0, 600.0);

    // The automatic choice.
    const double full = double(w) / kDesignWidth;
    const double pitch = kKeyPitchMm / 25.4 * dpi / (double(kDesignWidth) / kDesignKeysPerRow);
    const double tallest = kMaxHeightShare * h / kDesignHeight;
    const bool portrait = h > w;
    const bool phone = w * 25.4 / dpi < kPhoneWidthMm;
    const double automatic = portrait ? full : std::min({ pitch, tallest, full });
    const bool fullWidth = portrait || phone;

    const double wanted = request.width.automatic() ? 0 : std::min<double>(request.width.pixels(w), w);
    const double wantedHeight = request.height.automatic() ? 0 : std::min<double>(request.height.pixels(h), h);
    double scale;
    if (request.scale > 0)
        scale = request.scale;
    else if (wanted > 0 && wantedHeight > 0)
        scale = std::min(wanted / kDesignWidth, wantedHeight / kDesignHeight);
    else if (wanted > 0)
        scale = std::min(wanted / kDesignWidth, automatic);
    else if (wantedHeight > 0)
        scale = wantedHeight / kDesignHeight;
    else
        scale = automatic;
    scale = std::clamp(thousandths(scale), kMinScale, kMaxScale);

    DesktopPanel p;
    if (wanted > 0)
        p.width = static_cast<int>(std::lround(wanted));
    else if (request.automatic() && fullWidth)
        p.width = w;
    else
        p.width = pixels(kDesignWidth, scale);
    p.height = wantedHeight > 0 ? static_cast<int>(std::lround(wantedHeight)) : pixels(kDesignHeight, scale);
    p.width = std::clamp(p.width, 16, w);
    p.height = std::clamp(p.height, 16, h);
    // Keys are never smaller than the skin is drawn: a side cut to the screen takes the scale
    // down with it.
    scale = std::clamp(std::min({ scale, thousandths(double(p.width) / kDesignWidth), thousandths(double(p.height) / kDesignHeight) }),
        kMinScale, kMaxScale);
    p.scale = scale;
    p.extended_height = std::clamp(static_cast<int>(std::lround(p.height * double(kDesignExtendedHeight) / kDesignHeight)), 16, h);
    p.bottom_offset = pixels(kDesignBottomOffset, scale);
    p.device_width = w;
    p.device_height = std::min(h + p.bottom_offset, kMaxDeviceSide);
    p.dpi = static_cast<int>(std::lround(dpi));
    p.program_width = std::min(pixels(kDesignProgramWidth, scale), w);
    p.program_height = std::clamp(std::min(pixels(kDesignProgramHeight, scale), h - p.height), 16, h);
    return p;
}

}
