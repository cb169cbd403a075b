#pragma once

#include "access/access_types.h"
#include "screens/remote_screen.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace vesker {

namespace platform {
class Clock;
class Defaults;
} // namespace platform

// One request of a local device to send through this computer to a remote screen, held until
// the user allows the device.
struct RelayRequest {
    QUuid screenID;
    QString screenName;
    QString deviceID;
    QString deviceName;
    QByteArray body;

    // "<screen UUID>|<device id>": what grants, denials and the waiting list are kept by.
    QString key() const;
};

// The waiting requests of one screen and device, as the approval banner shows them.
struct RelayPending {
    QString key;
    QString screenName;
    QString deviceName;
    QString deviceID;
    int count = 0;
    bool operator==(const RelayPending&) const = default;
};

// Screens reached by address, which of them answer, and the devices waiting to send to them
// through this computer. The screens are read from the settings, and read again when the
// settings change them.
class RemoteScreensManager : public QObject {
    Q_OBJECT
public:
    static constexpr auto kScreensKey = "remoteScreens";
    static constexpr auto kGrantsKey = "relayDeviceGrants";
    static constexpr auto kBlockedKey = "relayBlockedDevices";
    static constexpr int kCheckIntervalMs = 30'000;
    static constexpr int kCheckTimeoutMs = 5'000;

    // Without settings nothing is kept across launches and no screen is known.
    RemoteScreensManager(
        platform::Defaults* defaults, const platform::Clock& clock, QObject* parent = nullptr);
    ~RemoteScreensManager() override;

    // In stored order.
    const QList<RemoteScreen>& screens() const { return m_screens; }
    // The screens the last check found answering; changed only by a check.
    const QSet<QUuid>& reachable() const { return m_reachable; }
    // Asks every screen again now; a check still under way is dropped.
    void checkReachability();

    // Restarts the local listeners of the screens shared on the network.
    void restartRelays() { }

    // Holds a request until its device is answered; a blocked device or a key denied during
    // this run is dropped at once. False when dropped.
    bool hold(const RelayRequest& request);
    // One entry per key, in the order each key first waited.
    QList<RelayPending> pendingDevices() const;

    void allow(const QString& key, GrantDuration duration);
    void deny(const QString& key);
    void block(const QString& key);

    const QList<DeviceGrant>& grants() const { return m_grants; }
    const QList<DeviceGrant>& blocked() const { return m_blocked; }

Q_SIGNALS:
    void screensChanged();
    void reachableChanged();
    void pendingDevicesChanged();
    // An allowed request, to be sent on to its screen.
    void forwardRequested(const vesker::RelayRequest& request);

private:
    void loadScreens();
    void dropWaiting(const std::function<bool(const RelayRequest&)>& which);
    void removeGrant(const QString& key);
    void save();

    platform::Defaults* m_defaults = nullptr;
    const platform::Clock& m_clock;
    QList<RelayRequest> m_waiting;
    QList<DeviceGrant> m_grants; // by key
    QList<DeviceGrant> m_blocked; // by device id
    QSet<QString> m_denied;
    QList<RemoteScreen> m_screens;
    QSet<QUuid> m_reachable;
    QTimer m_checkTimer;
    std::unique_ptr<QNetworkAccessManager> m_network;
    // Tells a check's late answers from the current one's.
    quint64 m_checkRound = 0;
};

} // namespace vesker
