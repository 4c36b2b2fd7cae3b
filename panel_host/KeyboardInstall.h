#pragma once
// Magnikeys on a new device: once the boot's installation has put it there for the first time,
// it becomes the current input method, as its user would make it once in the control panel. A
// user's later choice of another method stays.
namespace pocketsim {

bool KeyboardOnDevice();
void MakeKeyboardCurrent();

}
