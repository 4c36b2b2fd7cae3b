#pragma once
// "settings.txt" is edited by hand. The zoom views read the lens values through these clamps
// when they use them (the file keeps what the person wrote): a value outside its range counts
// as the nearest end, a value that is not a number at all as the default. The touch machine
// keeps zoom_scale and animation_time sound in the same way.
#include "kbfiles/kbSettings.h"

namespace zoom_limits {

// The lens magnifies its centre sqrt(s^2 + R^2) / R times: 9x for a 90-pixel lens at 5, and
// hardly at all at the upper end.
inline constexpr double kMinGlassRadius = 5.0;
inline constexpr double kMaxGlassRadius = 10000.0;
// Sides of the glass window before the screen's scale, kept even; the window is cut to the
// screen as well when it is placed.
inline constexpr int kMinGlassSide = 16;
inline constexpr int kMaxGlassSide = 240;

double glass_radius(double value);
kbIntPair glass_zoom_window_size(kbIntPair value);

} // namespace zoom_limits
