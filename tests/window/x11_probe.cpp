#include "x11_probe.h"

#include <QWidget>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace vesker::test {

X11Probe::X11Probe()
    : m_display(XOpenDisplay(nullptr))
{ }

X11Probe::~X11Probe()
{
    if (m_display)
        XCloseDisplay(m_display);
}

quintptr X11Probe::activeWindow() const
{
    const auto values = property(DefaultRootWindow(m_display), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    return values.isEmpty() ? 0 : values.first();
}

QStringList X11Probe::netWmState(const QWidget& window) const
{
    QStringList names;
    for (const quintptr atom : property(window.winId(), "_NET_WM_STATE", XA_ATOM)) {
        char* name = XGetAtomName(m_display, Atom(atom));
        names.append(QString::fromLatin1(name));
        XFree(name);
    }
    return names;
}

QRect X11Probe::geometry(const QWidget& window) const
{
    Window root = 0;
    Window child = 0;
    int x = 0;
    int y = 0;
    unsigned width = 0;
    unsigned height = 0;
    unsigned border = 0;
    unsigned depth = 0;
    XGetGeometry(m_display, window.winId(), &root, &x, &y, &width, &height, &border, &depth);
    XTranslateCoordinates(m_display, window.winId(), root, 0, 0, &x, &y, &child);
    return QRect(x, y, int(width), int(height));
}

QList<quintptr> X11Probe::frameExtents(const QWidget& window) const
{
    return property(window.winId(), "_NET_FRAME_EXTENTS", XA_CARDINAL);
}

bool X11Probe::pressKey(unsigned long keysym, bool control) const
{
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(m_display, &event, &error, &major, &minor))
        return false;
    const KeyCode key = XKeysymToKeycode(m_display, keysym);
    const KeyCode ctrl = XKeysymToKeycode(m_display, XK_Control_L);
    if (!key || !ctrl)
        return false;
    if (control)
        XTestFakeKeyEvent(m_display, ctrl, True, CurrentTime);
    XTestFakeKeyEvent(m_display, key, True, CurrentTime);
    XTestFakeKeyEvent(m_display, key, False, CurrentTime);
    if (control)
        XTestFakeKeyEvent(m_display, ctrl, False, CurrentTime);
    XSync(m_display, False);
    return true;
}

QList<quintptr> X11Probe::property(quintptr window, const char* name, unsigned long type) const
{
    XSync(m_display, False);
    QList<quintptr> values;
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(m_display, Window(window), XInternAtom(m_display, name, False), 0, 1024,
            False, type, &actualType, &format, &count, &after, &data)
            == Success
        && data) {
        // Format 32 comes as longs, whatever their size.
        for (unsigned long i = 0; format == 32 && i < count; ++i)
            values.append(quintptr(reinterpret_cast<unsigned long*>(data)[i]));
        XFree(data);
    }
    return values;
}

} // namespace vesker::test
