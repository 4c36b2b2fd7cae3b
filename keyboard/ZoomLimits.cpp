#include "keyboard/ZoomLimits.h"

#include <algorithm>
#include <cmath>

namespace zoom_limits {

double glass_radius(double value)
{
    if (std::isnan(value))
        return 50.0;
    return std::clamp(value, kMinGlassRadius, kMaxGlassRadius);
}

kbIntPair glass_zoom_window_size(kbIntPair value)
{
    auto side = [](int32_t v) {
        int s = std::clamp<int32_t>(v, kMinGlassSide, kMaxGlassSide);
        return s + (s & 1);
    };
    return kbIntPair { side(value.x), side(value.y) };
}

} // namespace zoom_limits
