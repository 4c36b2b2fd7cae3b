#include "pocketsim/Demo.h"

namespace pocketsim {

const char kDemoScript[] = R"(# The keyboard types a greeting: shift for capitals, a flick to the right for a space,
# the symbol layer for the digits.
sip show
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
wait 300
shot demo-3-typed
expect-text Hello, Pocket 2026!
)";

}
