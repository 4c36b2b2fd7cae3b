#pragma once
// What pocketsim shows without a display: the keyboard typing into the note pad, then held keys
// in the glass lens and in the flat zoom (chosen in the settings program), with screenshots
// along the way.
namespace pocketsim {

// One stylus script (see Script.h).
extern const char kDemoScript[];

}
