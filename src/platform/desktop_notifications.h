#pragma once

#include "platform/app_id.h"

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QDBusPendingCallWatcher;

namespace vesker::platform {

// Banners through the desktop's notification server (org.freedesktop.Notifications on the
// session bus). Nothing here waits for the server: every call is answered through the event
// loop, and a desktop without a server simply shows nothing. Main thread only.
class DesktopNotifications : public QObject {
    Q_OBJECT
public:
    static constexpr auto kService = "org.freedesktop.Notifications";
    static constexpr auto kPath = "/org/freedesktop/Notifications";
    static constexpr auto kAppName = "Vesker";
    // The desktop file the server may take the program's icon and settings from.
    static constexpr auto kDesktopEntry = kAppId;

    explicit DesktopNotifications(
        const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~DesktopNotifications() override;

    // Shows a banner now. `id` is the caller's name for it (an item's id).
    virtual void post(const QString& id, const QString& title, const QString& body);

Q_SIGNALS:
    // The server took the notification `id`.
    void delivered(const QString& id);

private:
    struct Pending {
        QString id;
        QString title;
        QString body;
    };

    void askCapabilities();
    void onCapabilities(QDBusPendingCallWatcher* watcher);
    void send(const Pending& notification);
    void reportMissing(const QString& why);

    QDBusConnection m_bus;
    std::optional<bool> m_bodyMarkup;
    bool m_asking = false;
    bool m_reportedMissing = false;
    // Posts made while the server has not yet said whether it reads markup.
    QList<Pending> m_waiting;
};

} // namespace vesker::platform
