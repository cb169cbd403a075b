#pragma once

#include <QDBusConnection>
#include <QHash>
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
    static constexpr auto kDesktopEntry = "vesker";

    // The program's own, on the session bus.
    static DesktopNotifications& shared();

    explicit DesktopNotifications(
        const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~DesktopNotifications() override;

    // Shows a banner now. `id` is the caller's name for it (an item's id); serverID() gives the
    // server's number for it once the server has answered.
    virtual void post(const QString& id, const QString& title, const QString& body);

    // The server's number of a recent notification we posted; none before its answer, for an
    // id never posted, or for one long forgotten.
    std::optional<uint> serverID(const QString& id) const;
    // Whether the server reads markup in bodies; none until it has said.
    std::optional<bool> bodyMarkup() const { return m_bodyMarkup; }

    // What a server that reads markup must see for `text` to show as it is.
    static QString escapeMarkup(const QString& text);

Q_SIGNALS:
    // The server took the notification `id` and numbered it `serverID`.
    void delivered(const QString& id, uint serverID);

private:
    struct Pending {
        QString id;
        QString title;
        QString body;
    };

    void askCapabilities();
    void onCapabilities(QDBusPendingCallWatcher* watcher);
    void send(const Pending& notification);
    void remember(const QString& id, uint serverID);
    void reportMissing(const QString& why);

    QDBusConnection m_bus;
    std::optional<bool> m_bodyMarkup;
    bool m_asking = false;
    bool m_reportedMissing = false;
    // Posts made while the server has not yet said whether it reads markup.
    QList<Pending> m_waiting;
    QHash<QString, uint> m_serverIDs;
    QStringList m_serverIDOrder;
};

} // namespace vesker::platform
