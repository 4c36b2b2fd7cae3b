#include "keyboard/ZoomLimits.h"

#include <algorithm>
#include <cmath>

namespace zoom_limits {

namespace {

double within(double value, double lo, double hi, double fallback)
{
    if (std::isnan(value))
        return fallback;
    return std::clamp(value, lo, hi);
}

int side(int32_t value)
{
    int v = std::clamp<int32_t>(value, kMinGlassSide, kMaxGlassSide);
    return v + (v & 1);
}

} // namespace

double zoom_scale(double value)
{
    return within(value, kMinZoomScale, kMaxZoomScale, 2.0);
}

double animation_time(double value)
{
    return within(value, kMinAnimationTime, kMaxAnimationTime, 0.125);
}

double zoom_show_delay(double value)
{
    return within(value, 0.0, kMaxZoomShowDelay, 0.325);
}

double zoom_power(double value)
{
    return within(value, kMinZoomPower, kMaxZoomPower, 0.3);
}

double glass_radius(double value)
{
    return within(value, kMinGlassRadius, kMaxGlassRadius, 50.0);
}

kbIntPair glass_zoom_window_size(kbIntPair value)
{
    return kbIntPair { side(value.x), side(value.y) };
}

kbSettings clamped(const kbSettings& settings)
{
    kbSettings out = settings;
    out.zoom_scale = zoom_scale(settings.zoom_scale);
    out.animation_time = animation_time(settings.animation_time);
    out.zoom_show_delay = zoom_show_delay(settings.zoom_show_delay);
    out.zoom_power = zoom_power(settings.zoom_power);
    out.glass_radius = glass_radius(settings.glass_radius);
    out.glass_zoom_window_size = glass_zoom_window_size(settings.glass_zoom_window_size);
    return out;
}

} // namespace zoom_limits
