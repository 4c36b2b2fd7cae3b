#pragma once
// What pocketsim shows without a display: the keyboard typing a sentence into the note pad,
// with screenshots along the way.
namespace pocketsim {

// One stylus script (see Script.h).
extern const char kDemoScript[];

}
