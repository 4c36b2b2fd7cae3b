#pragma once
// "settings.txt" is edited by hand. The zoom reads its values through these clamps when it uses
// them (the file keeps what the person wrote): a value outside its range counts as the nearest
// end, a value that is not a number at all as the default.
#include "keyboard/kbSettings.h"

namespace zoom_limits {

// zoom_shift and the anchor divide by zoom_scale - 1.
inline constexpr double kMinZoomScale = 1.1;
inline constexpr double kMaxZoomScale = 5.0;
// 0 would divide 0 by 0 at the start of the animation; the shortest is one millisecond.
inline constexpr double kMinAnimationTime = 0.001;
inline constexpr double kMaxAnimationTime = 10.0;
inline constexpr double kMaxZoomShowDelay = 10.0;
inline constexpr double kMinZoomPower = 0.01;
inline constexpr double kMaxZoomPower = 100.0;
// The lens magnifies its centre sqrt(s^2 + R^2) / R times: 9x for a 90-pixel lens at 5.
inline constexpr double kMinGlassRadius = 5.0;
inline constexpr double kMaxGlassRadius = 10000.0;
// Sides of the glass window before the screen's scale, kept even.
inline constexpr int kMinGlassSide = 16;
inline constexpr int kMaxGlassSide = 240;

double zoom_scale(double value);
double animation_time(double value);
double zoom_show_delay(double value);
double zoom_power(double value);
double glass_radius(double value);
kbIntPair glass_zoom_window_size(kbIntPair value);

// The record with every zoom value in its range.
kbSettings clamped(const kbSettings& settings);

} // namespace zoom_limits
