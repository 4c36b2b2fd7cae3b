#include "x11host/SingleInstance.h"

namespace x11host {

SingleInstance::SingleInstance(const char* display)
{
    m_display = XOpenDisplay(display);
    if (!m_display)
        return;
    m_selection = XInternAtom(m_display, "_MAGNIKEYS_X11", False);
    m_command = XInternAtom(m_display, "_MAGNIKEYS_X11_COMMAND", False);
}

SingleInstance::~SingleInstance()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool SingleInstance::take()
{
    if (!m_display)
        return false;
    m_window = XCreateWindow(m_display, DefaultRootWindow(m_display), -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent, 0, nullptr);
    // Two keyboards starting at once: the server decides between them.
    XGrabServer(m_display);
    const bool free = XGetSelectionOwner(m_display, m_selection) == None;
    if (free)
        XSetSelectionOwner(m_display, m_selection, m_window, CurrentTime);
    XUngrabServer(m_display);
    XSync(m_display, False);
    if (!free || XGetSelectionOwner(m_display, m_selection) != m_window) {
        XDestroyWindow(m_display, m_window);
        m_window = 0;
        return false;
    }
    return true;
}

bool SingleInstance::hand_over(PanelCommand command)
{
    if (!m_display)
        return false;
    const Window owner = XGetSelectionOwner(m_display, m_selection);
    if (owner == None)
        return false;
    XEvent e {};
    e.xclient.type = ClientMessage;
    e.xclient.window = owner;
    e.xclient.message_type = m_command;
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(command == PanelCommand::Unset ? PanelCommand::Show : command);
    // The owner may end meanwhile: its window is then gone, which is no reason to stop here.
    static bool failed;
    failed = false;
    XErrorHandler old = XSetErrorHandler([](Display*, XErrorEvent*) {
        failed = true;
        return 0;
    });
    const Status sent = XSendEvent(m_display, owner, False, NoEventMask, &e);
    XSync(m_display, False);
    XSetErrorHandler(old);
    return sent != 0 && !failed;
}

PanelCommand SingleInstance::next()
{
    if (!m_display || !m_window)
        return PanelCommand::Unset;
    while (XPending(m_display)) {
        XEvent e;
        XNextEvent(m_display, &e);
        if (e.type == ClientMessage && e.xclient.message_type == m_command) {
            const long value = e.xclient.data.l[0];
            if (value >= static_cast<long>(PanelCommand::Show) && value <= static_cast<long>(PanelCommand::Toggle))
                return static_cast<PanelCommand>(value);
        }
    }
    return PanelCommand::Unset;
}

}
