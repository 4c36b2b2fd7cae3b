#pragma once
// Puts Magnikeys on the device: the build's install tree is installed when the keyboard is
// missing or older than the build's, and a device that never had it makes it the current
// input method, as its user would do once in the control panel.
#include <string>

namespace pocketsim {

// The install tree: POCKETSIM_INSTALL_TREE when set, else the build's own.
std::string KeyboardInstallTree();

// False with a reason when the tree is missing or the installation failed; a device that is
// up to date is left as it is.
bool InstallKeyboard(std::string& report);

}
