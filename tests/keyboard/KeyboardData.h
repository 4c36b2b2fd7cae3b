#pragma once
// The keyboard's built data tree, installed on a test device as an installer would, and the
// element types that the keyboard registers.
#include "skin/elements/StandardElements.h"
#include "tests/support/DeviceRoot.h"

#include <filesystem>
#include <string>
#include <vector>

inline const std::u16string kInstallDir = u"\\Program Files\\Tarn\\Magnikeys";

inline void InstallKeyboardData(const TempDeviceRoot& device)
{
    namespace fs = std::filesystem;
    fs::path target = device.hostPath(kInstallDir);
    fs::create_directories(target);
    fs::copy(MK_DATA_DIR, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

// Registers the element types for the life of the object, in the keyboard's order.
struct KeyboardElementTypes {
    const std::vector<std::u16string> names = { u"node", u"oldtext", u"text", u"color", u"image", u"edit", u"htable",
        u"vtable", u"button", u"vlist", u"checkbox", u"progress", u"clip" };
    KeyboardElementTypes() { register_element_types(names); }
    ~KeyboardElementTypes() { unregister_element_types(names); }
};
