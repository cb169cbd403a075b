#include "platform/key_synth.h"

#include <QGuiApplication>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace vesker::platform {

namespace {

// A connection of our own, so that nothing here depends on Qt's X connection.
struct DisplayConnection {
    Display* display = XOpenDisplay(nullptr);
    ~DisplayConnection()
    {
        if (display)
            XCloseDisplay(display);
    }
    bool hasXTest() const
    {
        int event = 0, error = 0, major = 0, minor = 0;
        return display && XTestQueryExtension(display, &event, &error, &major, &minor);
    }
};

} // namespace

bool KeySynth::available()
{
    // A Qt running offscreen or on Wayland may still see $DISPLAY (XWayland); the keys would go
    // to a server whose windows are not the user's front application.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    return DisplayConnection().hasXTest();
}

bool KeySynth::pasteIntoPreviousWindow()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    DisplayConnection connection;
    if (!connection.hasXTest())
        return false;
    Display* display = connection.display;
    const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
    const KeyCode v = XKeysymToKeycode(display, XK_v);
    if (!control || !v)
        return false;
    XTestFakeKeyEvent(display, control, True, CurrentTime);
    XTestFakeKeyEvent(display, v, True, CurrentTime);
    XTestFakeKeyEvent(display, v, False, CurrentTime);
    XTestFakeKeyEvent(display, control, False, CurrentTime);
    XSync(display, False);
    return true;
}

} // namespace vesker::platform
