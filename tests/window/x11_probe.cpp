#include "x11_probe.h"

#include <QWidget>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

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
