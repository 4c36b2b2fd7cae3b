// A small X program that takes the keyboard focus and records what it receives, one line per
// event on standard output, as an ordinary text program would read its keys:
//   window 0x...                                   once mapped and focused
//   press <keysym name> state=0x<mask> text=<UTF-8 bytes in hex> us=<monotonic microseconds>
//   release <keysym name> state=0x<mask>
//   focus-out | focus-in
// Text comes from Xutf8LookupString through an input context when the locale allows one, else
// from XLookupString and the keysym. It ends on SIGTERM or when standard input closes.
#include "tests/support/RecorderLine.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

std::string utf8(unsigned long c)
{
    std::string out;
    if (c < 0x80)
        out += static_cast<char>(c);
    else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// Xlib allocates the names of Unicode keysyms for good; those are spelt here.
std::string keysymName(KeySym sym)
{
    if (sym == NoSymbol)
        return "none";
    if ((sym & 0xFF000000ul) == 0x01000000ul) {
        char name[16];
        std::snprintf(name, sizeof name, "U%04lX", sym & 0xFFFFFFul);
        return name;
    }
    const char* name = XKeysymToString(sym);
    return name ? name : "none";
}

}

int main()
{
    // A UTF-8 locale gives the input context; the C locale still records keysyms.
    if (!std::setlocale(LC_ALL, "C.UTF-8"))
        std::setlocale(LC_ALL, "");
    XSetLocaleModifiers("@im=none");
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "keyrecorder: cannot open the display\n");
        return 1;
    }
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    const int screen = DefaultScreen(d);
    Window w = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, 480, 160, 0, BlackPixel(d, screen), WhitePixel(d, screen));
    XStoreName(d, w, "keyrecorder");
    XSelectInput(d, w, KeyPressMask | KeyReleaseMask | FocusChangeMask | StructureNotifyMask | ExposureMask);
    XMapWindow(d, w);
    for (XEvent e;;) {
        XNextEvent(d, &e);
        if (e.type == MapNotify)
            break;
    }
    XSetInputFocus(d, w, RevertToParent, CurrentTime);
    XSync(d, False);
    XIM im = XOpenIM(d, nullptr, nullptr, nullptr);
    XIC ic = im ? XCreateIC(im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, w, XNFocusWindow, w, nullptr) : nullptr;
    std::printf("window 0x%lx %s\n", static_cast<unsigned long>(w), ic ? "xic" : "plain");
    std::fflush(stdout);

    const int fd = ConnectionNumber(d);
    while (!g_stop) {
        if (!XPending(d)) {
            pollfd fds[2] = { { fd, POLLIN, 0 }, { 0, POLLIN, 0 } };
            if (poll(fds, 2, 200) < 0)
                continue;
            if (fds[1].revents & (POLLHUP | POLLIN)) {
                char c;
                if (read(0, &c, 1) <= 0)
                    break;
            }
            if (!XPending(d))
                continue;
        }
        XEvent e;
        XNextEvent(d, &e);
        if (XFilterEvent(&e, None))
            continue;
        switch (e.type) {
        case MappingNotify:
            XRefreshKeyboardMapping(&e.xmapping);
            break;
        case KeyPress: {
            const long long at = nowMicroseconds();
            char buffer[64] = {};
            KeySym sym = NoSymbol;
            std::string text;
            if (ic) {
                Status status = 0;
                int n = Xutf8LookupString(ic, &e.xkey, buffer, sizeof buffer - 1, &sym, &status);
                if (status == XLookupChars || status == XLookupBoth)
                    text.assign(buffer, static_cast<size_t>(n));
            } else {
                int n = XLookupString(&e.xkey, buffer, sizeof buffer - 1, &sym, nullptr);
                if (n > 0 && static_cast<unsigned char>(buffer[0]) < 0x80)
                    text.assign(buffer, static_cast<size_t>(n));
                else if (sym >= 0xA0 && sym < 0x100)
                    text = utf8(sym);
                else if ((sym & 0xFF000000ul) == 0x01000000ul)
                    text = utf8(sym & 0xFFFFFF);
            }
            std::printf("press %s state=0x%x text=%s us=%lld\n", keysymName(sym).c_str(), e.xkey.state, hex(text).c_str(), at);
            break;
        }
        case KeyRelease: {
            std::printf("release %s state=0x%x\n", keysymName(XLookupKeysym(&e.xkey, 0)).c_str(), e.xkey.state);
            break;
        }
        case FocusOut:
            if (e.xfocus.mode == NotifyNormal && e.xfocus.detail != NotifyInferior && e.xfocus.detail != NotifyPointer)
                std::printf("focus-out\n");
            break;
        case FocusIn:
            if (e.xfocus.mode == NotifyNormal && e.xfocus.detail != NotifyInferior && e.xfocus.detail != NotifyPointer)
                std::printf("focus-in\n");
            break;
        default:
            break;
        }
        std::fflush(stdout);
    }
    if (ic)
        XDestroyIC(ic);
    if (im)
        XCloseIM(im);
    XCloseDisplay(d);
    return 0;
}
