#include "x11host/InputSources.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XInput2.h>

#include <cstring>

namespace x11host {

InputSources::InputSources(const char* display)
{
    m_display = XOpenDisplay(display);
    if (!m_display) {
        m_problem = "cannot open the X display for the input devices";
        return;
    }
    int event = 0, error = 0;
    int major = 2, minor = 2;
    if (!XQueryExtension(m_display, "XInputExtension", &m_opcode, &event, &error) || XIQueryVersion(m_display, &major, &minor) != Success
        || major * 100 + minor < 202) {
        m_problem = "the X server has no XInput 2.2: a hardware keyboard in use is not noticed";
        XCloseDisplay(m_display);
        m_display = nullptr;
        return;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XIEventMask mask { XIAllMasterDevices, static_cast<int>(sizeof bits), bits };
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_RawTouchBegin);
    XISelectEvents(m_display, DefaultRootWindow(m_display), &mask, 1);
    // Devices come and go (a keyboard plugged in).
    unsigned char hierarchy[XIMaskLen(XI_LASTEVENT)] = {};
    XIEventMask all { XIAllDevices, static_cast<int>(sizeof hierarchy), hierarchy };
    XISetMask(hierarchy, XI_HierarchyChanged);
    XISelectEvents(m_display, DefaultRootWindow(m_display), &all, 1);
    readDevices();
    XFlush(m_display);
}

InputSources::~InputSources()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool InputSources::ready(std::string& why) const
{
    why = m_problem;
    return m_display != nullptr;
}

InputSources::Source InputSources::Classify(const Device& device)
{
    if (device.keyboard)
        return device.xtest && device.core ? Source::Other : Source::HardwareKeyboard;
    return device.directTouch || device.absolute || device.xtest ? Source::ScreenPointer : Source::Other;
}

bool InputSources::KeyTypes(unsigned long keysym)
{
    // Modifiers alone go with the mouse too; vendor keys (volume, brightness, power) and keys
    // without a symbol type nothing.
    const bool modifier = (keysym >= 0xFFE1 && keysym <= 0xFFEE) || keysym == 0xFF7E || keysym == 0xFF7F
        || (keysym >= 0xFE01 && keysym <= 0xFE13);
    const bool vendor = keysym >= 0x10080000ul && keysym <= 0x1008FFFFul;
    return keysym != 0 && !modifier && !vendor;
}

void InputSources::readDevices()
{
    m_sources.clear();
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(m_display, XIAllDevices, &count);
    int coreKeyboard = -1, corePointer = -1;
    for (int i = 0; i < count; ++i) {
        if (devices[i].use == XIMasterKeyboard && std::strcmp(devices[i].name, "Virtual core keyboard") == 0)
            coreKeyboard = devices[i].deviceid;
        if (devices[i].use == XIMasterPointer && std::strcmp(devices[i].name, "Virtual core pointer") == 0)
            corePointer = devices[i].deviceid;
    }
    for (int i = 0; i < count; ++i) {
        const XIDeviceInfo& info = devices[i];
        if (info.use != XISlaveKeyboard && info.use != XISlavePointer && info.use != XIFloatingSlave)
            continue;
        Device d;
        d.name = info.name;
        d.keyboard = info.use == XISlaveKeyboard || (info.use == XIFloatingSlave && std::strstr(info.name, "keyboard"));
        d.xtest = std::strstr(info.name, "XTEST") != nullptr;
        d.core = info.attachment == coreKeyboard || info.attachment == corePointer;
        for (int c = 0; c < info.num_classes; ++c) {
            if (info.classes[c]->type == XITouchClass)
                d.directTouch = d.directTouch || reinterpret_cast<XITouchClassInfo*>(info.classes[c])->mode == XIDirectTouch;
            if (info.classes[c]->type == XIValuatorClass) {
                auto* v = reinterpret_cast<XIValuatorClassInfo*>(info.classes[c]);
                if (v->number == 0 && v->mode == XIModeAbsolute)
                    d.absolute = true;
            }
        }
        m_sources[info.deviceid] = Classify(d);
    }
    XIFreeDeviceInfo(devices);
}

InputSources::Event InputSources::next()
{
    if (!m_display)
        return Event::Nothing;
    while (XPending(m_display)) {
        XEvent e;
        XNextEvent(m_display, &e);
        if (e.xcookie.type != GenericEvent || e.xcookie.extension != m_opcode || !XGetEventData(m_display, &e.xcookie))
            continue;
        Event found = Event::Nothing;
        const auto* raw = static_cast<const XIRawEvent*>(e.xcookie.data);
        switch (e.xcookie.evtype) {
        case XI_HierarchyChanged:
            readDevices();
            break;
        case XI_RawKeyPress:
            if (m_sources[raw->sourceid] == Source::HardwareKeyboard
                && KeyTypes(XkbKeycodeToKeysym(m_display, static_cast<KeyCode>(raw->detail), 0, 0)))
                found = Event::HardwareKey;
            break;
        case XI_RawTouchBegin:
            found = Event::Touch;
            break;
        case XI_RawButtonPress:
            if (raw->detail == 1 && m_sources[raw->sourceid] == Source::ScreenPointer)
                found = Event::Touch;
            break;
        default:
            break;
        }
        XFreeEventData(m_display, &e.xcookie);
        if (found != Event::Nothing)
            return found;
    }
    return Event::Nothing;
}

}
