#pragma once

#include <QDBusConnection>
#include <QObject>

namespace vesker::platform {

// Wakes a sleeping display by declaring user activity: the session's screen saver is asked
// first (it also postpones locking), and where none answers the X server's own saver and DPMS
// are reset directly. Main thread only.
class DisplayWake : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.freedesktop.ScreenSaver";
    static constexpr const char* kPath = "/org/freedesktop/ScreenSaver";

    explicit DisplayWake(
        QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    // Returns at once; the screen saver answers later. A failure is logged, never reported.
    void declareUserActivity();

    // XResetScreenSaver and DPMS "on" on $DISPLAY. False when there is no X display to reach.
    static bool wakeX11Display();

private:
    QDBusConnection m_bus;
};

} // namespace vesker::platform
