#include "pocketsim/Demo.h"

namespace pocketsim {

const char kDemoScript[] = R"(# The note pad raised the keyboard for its text. It types a greeting: shift for capitals, a
# flick to the right for a space, the symbol layer for the digits, a flick down for a new line.
wait 300
shot demo-1-keyboard
key shift
key H
key e
key l
key l
key o
key ,
stroke right
key shift
key P
key o
key c
key k
key e
hold t
wait 300
shot demo-2-key-pressed
up
stroke right
key extra
key 2
key 0
key 2
key 6
key extra
key !
stroke down
wait 300
shot demo-3-typed
# What the keyboard is for: keys far smaller than a fingertip, magnified under the stylus.
# The gear of the symbol layer opens the settings program; its zoom style becomes the glass
# lens, and a held key shows in the lens above the keyboard.
key extra
key settings
sip hide
tap 120 186
wait 300
shot demo-4-zoom-styles
tap 120 102
wait 300
tap 120 242
wait 300
key extra
key shift
key T
hold h
wait 700
shot demo-5-glass-lens
up
key e
stroke right
key g
key l
key a
key s
key s
stroke right
key l
key e
key n
key s
stroke right
# Then the flat zoom: the whole keyboard magnified around the stylus.
key extra
key settings
sip hide
tap 120 186
wait 300
tap 120 74
wait 300
tap 120 242
wait 300
key extra
key a
key n
key d
stroke right
key f
key l
key a
hold t
wait 700
shot demo-6-flat-zoom
up
stroke right
key z
key o
key o
key m
key .
wait 300
expect-text Hello, Pocket 2026!\nThe glass lens and flat zoom.
)";

}
