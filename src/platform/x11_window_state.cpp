#include "platform/x11_window_state.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <vector>

namespace vesker::platform {

bool setSkipTaskbar(quintptr window, bool skip)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    const Window xWindow = Window(window);
    const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    const Atom skipTaskbar = XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", False);

    std::vector<Atom> atoms;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(
            display, xWindow, state, 0, 1024, False, XA_ATOM, &type, &format, &count, &after, &data)
            == Success
        && data) {
        if (format == 32)
            atoms.assign(reinterpret_cast<Atom*>(data), reinterpret_cast<Atom*>(data) + count);
        XFree(data);
    }
    std::erase(atoms, skipTaskbar);
    if (skip)
        atoms.push_back(skipTaskbar);
    XChangeProperty(display, xWindow, state, XA_ATOM, 32, PropModeReplace,
        reinterpret_cast<unsigned char*>(atoms.data()), int(atoms.size()));

    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = xWindow;
    event.xclient.message_type = state;
    event.xclient.format = 32;
    event.xclient.data.l[0] = skip ? 1 : 0; // _NET_WM_STATE_ADD / _REMOVE
    event.xclient.data.l[1] = long(skipTaskbar);
    event.xclient.data.l[3] = 1; // from an ordinary application
    XSendEvent(display, DefaultRootWindow(display), False,
        SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return true;
}

} // namespace vesker::platform
