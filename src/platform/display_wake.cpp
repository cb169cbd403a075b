#include "platform/display_wake.h"

#include "platform/log.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

namespace vesker::platform {

DisplayWake::DisplayWake(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
{ }

void DisplayWake::declareUserActivity()
{
    const auto call
        = QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
            QString::fromLatin1(kService), QStringLiteral("SimulateUserActivity"));
    // Never block the main thread on a screen saver that hangs: a few seconds, then X11.
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, 3000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (!w->isError())
            return;
        if (!wakeX11Display())
            qCWarning(lcArrival).noquote()
                << "[arrival] could not wake the display:" << w->error().name();
    });
}

bool DisplayWake::wakeX11Display()
{
    // A connection of our own: this also works when Qt itself runs on another platform plugin.
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XResetScreenSaver(display);
    int eventBase = 0;
    int errorBase = 0;
    if (DPMSQueryExtension(display, &eventBase, &errorBase) && DPMSCapable(display))
        DPMSForceLevel(display, DPMSModeOn);
    XSync(display, False);
    XCloseDisplay(display);
    return true;
}

} // namespace vesker::platform
