#include "x11host/XTestKeyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>

namespace x11host {

namespace {

constexpr UINT kKeyStateDown = 0x80;
constexpr UINT kShiftNoCharacter = 0x10000;
constexpr DWORD kKeyUp = 0x2;
constexpr size_t kMaxSpares = 16;

}

XTestKeyboard::XTestKeyboard(Display* display)
    : m_display(display)
{
    int event = 0, error = 0, major = 0, minor = 0;
    m_xtest = m_display && XTestQueryExtension(m_display, &event, &error, &major, &minor);
    if (!m_display)
        return;
    // Mapping changes by anyone are announced to every client; this one only needs to hear them.
    XSelectInput(m_display, DefaultRootWindow(m_display), NoEventMask);
    loadKeymap();
    // Spare keycodes: those that carry no keysym at all, from the top of the range, where
    // nothing a keyboard sends lives.
    for (int code = m_maxKeycode; code >= m_minKeycode && m_spares.size() < kMaxSpares; --code) {
        const unsigned long* syms = m_keymap.data() + static_cast<size_t>(code - m_minKeycode) * m_perKeycode;
        if (std::all_of(syms, syms + m_perKeycode, [](unsigned long s) { return s == NoSymbol; }))
            m_spares.push_back(Spare { static_cast<unsigned>(code), 0, {}, 0 });
    }
    m_shiftKeycode = XKeysymToKeycode(m_display, XK_Shift_L);
    // The lock state is followed through the server's notices, so that typing a character costs
    // no round trip to ask for it.
    int opcode = 0, xkbError = 0, xkbMajor = XkbMajorVersion, xkbMinor = XkbMinorVersion;
    if (XkbQueryExtension(m_display, &opcode, &m_xkbEvent, &xkbError, &xkbMajor, &xkbMinor)
        && XkbSelectEventDetails(m_display, XkbUseCoreKbd, XkbStateNotify, XkbModifierLockMask, XkbModifierLockMask)) {
        XkbStateRec state {};
        m_locked = XkbGetState(m_display, XkbUseCoreKbd, &state) == Success && (state.locked_mods & LockMask);
    } else {
        m_xkbEvent = -1;
    }
}

XTestKeyboard::~XTestKeyboard()
{
    if (!m_display)
        return;
    for (auto& [vk, keys] : m_held)
        for (const Placement& p : keys)
            key(p.keycode, false);
    restore_all();
    XCloseDisplay(m_display);
}

bool XTestKeyboard::ready(std::string& why) const
{
    if (!m_display) {
        why = "cannot open the X display";
        return false;
    }
    if (!m_xtest) {
        why = "the X server has no XTEST extension";
        return false;
    }
    return true;
}

void XTestKeyboard::loadKeymap()
{
    XDisplayKeycodes(m_display, &m_minKeycode, &m_maxKeycode);
    int per = 0;
    KeySym* syms = XGetKeyboardMapping(m_display, static_cast<KeyCode>(m_minKeycode), m_maxKeycode - m_minKeycode + 1, &per);
    m_perKeycode = std::max(per, 1);
    m_keymap.assign(static_cast<size_t>(m_maxKeycode - m_minKeycode + 1) * m_perKeycode, NoSymbol);
    if (syms) {
        std::copy_n(syms, static_cast<size_t>(m_maxKeycode - m_minKeycode + 1) * per, m_keymap.begin());
        XFree(syms);
    }
}

std::optional<XTestKeyboard::Placement> XTestKeyboard::find(unsigned long keysym) const
{
    // Only the first two levels: the others need modifiers (AltGr, groups) whose keys differ
    // from keymap to keymap.
    for (int column = 0; column < std::min(m_perKeycode, 2); ++column)
        for (int code = m_minKeycode; code <= m_maxKeycode; ++code)
            if (m_keymap[static_cast<size_t>(code - m_minKeycode) * m_perKeycode + column] == keysym)
                return Placement { static_cast<unsigned>(code), column == 1 };
    return std::nullopt;
}

std::optional<XTestKeyboard::Placement> XTestKeyboard::placeFor(unsigned long keysym)
{
    if (!keysym)
        return std::nullopt;
    for (Spare& s : m_spares)
        if (s.keysym == keysym) {
            s.used = Clock::now();
            return Placement { s.keycode, false };
        }
    if (auto found = find(keysym))
        return found;
    // The spare that rested longest, and is not held down, takes the new keysym.
    Spare* pick = nullptr;
    for (Spare& s : m_spares) {
        if (s.held)
            continue;
        if (!pick || ((s.keysym == 0) != (pick->keysym == 0) ? s.keysym == 0 : s.used < pick->used))
            pick = &s;
    }
    if (!pick)
        return std::nullopt;
    setSpare(*pick, keysym);
    pick->used = Clock::now();
    return Placement { pick->keycode, false };
}

void XTestKeyboard::setSpare(Spare& spare, unsigned long keysym)
{
    // Both levels carry it, so that a Shift held meanwhile does not change the character.
    KeySym syms[2] = { keysym, keysym };
    XChangeKeyboardMapping(m_display, static_cast<int>(spare.keycode), 2, syms, 1);
    // The server has the new mapping before the key event that uses it.
    XSync(m_display, False);
    spare.keysym = keysym;
    const size_t at = static_cast<size_t>(spare.keycode - m_minKeycode) * m_perKeycode;
    std::fill_n(m_keymap.begin() + static_cast<std::ptrdiff_t>(at), m_perKeycode, NoSymbol);
    if (keysym) {
        m_keymap[at] = keysym;
        if (m_perKeycode > 1)
            m_keymap[at + 1] = keysym;
    }
}

void XTestKeyboard::restore_all()
{
    for (Spare& s : m_spares)
        if (s.keysym)
            setSpare(s, NoSymbol);
}

size_t XTestKeyboard::remapped() const
{
    return static_cast<size_t>(std::count_if(m_spares.begin(), m_spares.end(), [](const Spare& s) { return s.keysym != 0; }));
}

int XTestKeyboard::connection() const
{
    return ConnectionNumber(m_display);
}

std::optional<XTestKeyboard::Clock::time_point> XTestKeyboard::next_release() const
{
    std::optional<Clock::time_point> soonest;
    for (const Spare& s : m_spares)
        if (s.keysym && s.held == 0 && (!soonest || s.used + m_hold < *soonest))
            soonest = s.used + m_hold;
    return soonest;
}

void XTestKeyboard::takeEvents()
{
    while (XPending(m_display)) {
        XEvent e;
        XNextEvent(m_display, &e);
        if (e.type == MappingNotify) {
            XRefreshKeyboardMapping(&e.xmapping);
            m_mappingChanged = true;
        } else if (m_xkbEvent >= 0 && e.type == m_xkbEvent) {
            const auto& xkb = reinterpret_cast<const XkbStateNotifyEvent&>(e);
            if (xkb.xkb_type == XkbStateNotify)
                m_locked = xkb.locked_mods & LockMask;
        }
    }
}

void XTestKeyboard::idle(Clock::time_point now)
{
    takeEvents();
    for (Spare& s : m_spares)
        if (s.keysym && s.held == 0 && now - s.used >= m_hold)
            setSpare(s, NoSymbol);
    const bool reload = m_mappingChanged;
    m_mappingChanged = false;
    if (reload) {
        // Our own changes come back too; the spares' state stays as we set it.
        loadKeymap();
        for (const Spare& s : m_spares) {
            const size_t at = static_cast<size_t>(s.keycode - m_minKeycode) * m_perKeycode;
            if (at < m_keymap.size() && s.keysym)
                m_keymap[at] = s.keysym;
        }
    }
}

void XTestKeyboard::key(unsigned keycode, bool down)
{
    if (!m_xtest || !keycode)
        return;
    XTestFakeKeyEvent(m_display, keycode, down ? True : False, CurrentTime);
    // A press waits until the server has handled it: the keyboard's pictures of the same moment
    // go out on another connection and would otherwise be handled first, holding the character
    // back behind them.
    if (down)
        XSync(m_display, False);
    else
        XFlush(m_display);
}

void XTestKeyboard::virtual_key(BYTE virtualKey, DWORD flags)
{
    const bool down = !(flags & kKeyUp);
    auto place = placeFor(keysym_for_virtual_key(virtualKey));
    if (!place)
        return;
    if (virtualKey == 0x10 || virtualKey == 0xA0 || virtualKey == 0xA1)
        m_shiftDown = down;
    for (Spare& s : m_spares)
        if (s.keycode == place->keycode)
            s.held = std::max(0, s.held + (down ? 1 : -1));
    key(place->keycode, down);
}

void XTestKeyboard::pressCharacter(unsigned c, UINT virtualKey)
{
    auto place = placeFor(keysym_for_character(c));
    if (!place)
        return;
    // A character on the shifted level gets Shift around it, unless the keyboard holds Shift.
    Placement pressed = *place;
    pressed.shifted = place->shifted && !m_shiftDown;
    if (pressed.shifted)
        key(m_shiftKeycode, true);
    for (Spare& s : m_spares)
        if (s.keycode == pressed.keycode)
            ++s.held;
    // The keyboard has decided the case already: a Caps Lock left on by a hardware keyboard
    // must not turn it over. The lock is lifted for the press alone (the server handles the
    // requests in order) and is on again before anything else arrives.
    KeySym lower = 0, upper = 0;
    XConvertCase(keysym_for_character(c), &lower, &upper);
    const bool unlock = lower != upper && capsLocked();
    if (unlock)
        XkbLockModifiers(m_display, XkbUseCoreKbd, LockMask, 0);
    key(pressed.keycode, true);
    if (unlock) {
        XkbLockModifiers(m_display, XkbUseCoreKbd, LockMask, LockMask);
        // Both notices of the lock going off and on again are in before the next character
        // asks for it.
        XSync(m_display, False);
        takeEvents();
    }
    m_held[virtualKey].push_back(pressed);
}

bool XTestKeyboard::capsLocked()
{
    if (m_xkbEvent < 0) {
        XkbStateRec state {};
        return XkbGetState(m_display, XkbUseCoreKbd, &state) == Success && (state.locked_mods & LockMask);
    }
    // What the server announced until now: a lock set just before the tap is among it.
    takeEvents();
    return m_locked;
}

void XTestKeyboard::releaseCharacters(UINT virtualKey)
{
    auto it = m_held.find(virtualKey);
    if (it == m_held.end())
        return;
    for (auto p = it->second.rbegin(); p != it->second.rend(); ++p) {
        key(p->keycode, false);
        if (p->shifted)
            key(m_shiftKeycode, false);
        for (Spare& s : m_spares)
            if (s.keycode == p->keycode) {
                s.held = std::max(0, s.held - 1);
                s.used = Clock::now();
            }
    }
    m_held.erase(it);
}

void XTestKeyboard::char_events(UINT virtualKey, UINT keyFlags, UINT count, const UINT* shiftStates, const UINT* characters)
{
    if (!(keyFlags & kKeyStateDown)) {
        releaseCharacters(virtualKey);
        return;
    }
    // A second press of the same key without a release in between ends the first one.
    releaseCharacters(virtualKey);
    bool pressedOne = false;
    for (UINT i = 0; i < count && shiftStates && characters; ++i) {
        if (shiftStates[i] & kShiftNoCharacter)
            continue;
        // Several characters in one press: each but the last is typed and let go at once.
        if (pressedOne)
            releaseCharacters(virtualKey);
        pressCharacter(characters[i], virtualKey);
        pressedOne = true;
    }
}

void XTestKeyboard::text(const WCHAR* text, DWORD count)
{
    for (DWORD i = 0; i < count && text; ++i) {
        unsigned c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        pressCharacter(c, 0x100); // no virtual key: held under a number no key has
        releaseCharacters(0x100);
    }
}

unsigned long XTestKeyboard::keysym_for_character(unsigned c)
{
    switch (c) {
    case 0x08:
        return XK_BackSpace;
    case 0x09:
        return XK_Tab;
    case 0x0A:
    case 0x0D:
        return XK_Return;
    case 0x1B:
        return XK_Escape;
    case 0x7F:
        return XK_Delete;
    default:
        break;
    }
    if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF)
        return 0;
    if (c < 0x100)
        return c; // Latin-1 keysyms are the characters themselves
    return 0x01000000ul | c;
}

unsigned long XTestKeyboard::keysym_for_virtual_key(unsigned vk)
{
    if (vk >= 'A' && vk <= 'Z')
        return XK_a + (vk - 'A');
    if (vk >= '0' && vk <= '9')
        return XK_0 + (vk - '0');
    if (vk >= 0x70 && vk <= 0x7B)
        return XK_F1 + (vk - 0x70);
    if (vk >= 0x60 && vk <= 0x69)
        return XK_KP_0 + (vk - 0x60);
    switch (vk) {
    case 0x08: return XK_BackSpace;
    case 0x09: return XK_Tab;
    case 0x0D: return XK_Return;
    case 0x10: case 0xA0: return XK_Shift_L;
    case 0xA1: return XK_Shift_R;
    case 0x11: case 0xA2: return XK_Control_L;
    case 0xA3: return XK_Control_R;
    case 0x12: case 0xA4: return XK_Alt_L;
    case 0xA5: return XK_Alt_R;
    case 0x14: return XK_Caps_Lock;
    case 0x1B: return XK_Escape;
    case 0x20: return XK_space;
    case 0x21: return XK_Prior;
    case 0x22: return XK_Next;
    case 0x23: return XK_End;
    case 0x24: return XK_Home;
    case 0x25: return XK_Left;
    case 0x26: return XK_Up;
    case 0x27: return XK_Right;
    case 0x28: return XK_Down;
    case 0x2D: return XK_Insert;
    case 0x2E: return XK_Delete;
    case 0x5B: return XK_Super_L;
    case 0xBA: return XK_semicolon;
    case 0xBB: return XK_equal;
    case 0xBC: return XK_comma;
    case 0xBD: return XK_minus;
    case 0xBE: return XK_period;
    case 0xBF: return XK_slash;
    case 0xC0: return XK_grave;
    case 0xDB: return XK_bracketleft;
    case 0xDC: return XK_backslash;
    case 0xDD: return XK_bracketright;
    case 0xDE: return XK_apostrophe;
    default: return 0;
    }
}

}
