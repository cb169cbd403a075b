#pragma once

#include <QList>
#include <QRect>
#include <QStringList>

class QWidget;
typedef struct _XDisplay Display;

namespace vesker::test {

// What the window manager tells other clients about windows, read through a connection of the
// test's own, so that Qt's idea of a window is not what is checked.
class X11Probe {
public:
    X11Probe();
    ~X11Probe();
    X11Probe(const X11Probe&) = delete;
    X11Probe& operator=(const X11Probe&) = delete;

    bool isOpen() const { return m_display; }
    quintptr activeWindow() const;
    QStringList netWmState(const QWidget& window) const;
    // Where the window's client area is on the screen, as the X server has it.
    QRect geometry(const QWidget& window) const;
    // The window manager's frame around the window: left, right, top (the title bar), bottom.
    QList<quintptr> frameExtents(const QWidget& window) const;
    // Presses and releases a key, with Ctrl held when asked, as the keyboard would: it goes to
    // whichever window the X server gives the keyboard.
    bool pressKey(unsigned long keysym, bool control = false) const;

private:
    QList<quintptr> property(quintptr window, const char* name, unsigned long type) const;

    Display* m_display;
};

} // namespace vesker::test
