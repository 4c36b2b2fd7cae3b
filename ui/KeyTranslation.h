#pragma once
// Platform virtual keys to the framework's key codes; keys without a code give None.
#include "skin/elements/KeyCode.h"

KeyCode translate_virtual_key(int virtual_key);
