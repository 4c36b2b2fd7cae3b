#include "ui/KeyTranslation.h"

KeyCode translate_virtual_key(int vk)
{
    auto code = [](int n) { return static_cast<KeyCode>(n); };
    if (vk >= '0' && vk <= '9')
        return code(46 + vk - '0');
    if (vk >= 'A' && vk <= 'Z')
        return code(20 + vk - 'A');
    switch (vk) {
    case 8: // back
    case 27: // escape: the device's back key
        return KeyCode::Backspace;
    case 9: return KeyCode::Tab;
    case 13: return KeyCode::Enter;
    case 16: return KeyCode::Shift;
    case 17: return KeyCode::Ctrl;
    case 18: return KeyCode::Alt;
    case 32: return KeyCode::Space;
    case 33: return KeyCode::PageUp;
    case 34: return KeyCode::PageDown;
    case 35: return KeyCode::End;
    case 36: return KeyCode::Home;
    case 37: return KeyCode::Left;
    case 38: return KeyCode::Up;
    case 39: return KeyCode::Right;
    case 40: return KeyCode::Down;
    case 45: return KeyCode::Insert;
    case 46: return KeyCode::Del;
    case 93: return KeyCode::ContextMenu;
    case 112: return KeyCode::SOFT_LEFT;
    case 113: return KeyCode::SOFT_RIGHT;
    case 114: return KeyCode::CALL_MAKE; // talk
    case 115: return KeyCode::CALL_END;
    case 117: return KeyCode::VOLUME_UP;
    case 118: return KeyCode::VOLUME_DOWN;
    case 119: return KeyCode::Star;
    case 120: return KeyCode::Hash;
    default: return KeyCode::None;
    }
}
