#pragma once

#include "access/access_types.h"
#include "access/waiting_devices.h"
#include "http/http_server.h"
#include "screens/reach_failure.h"
#include "screens/remote_holds.h"
#include "screens/remote_screen.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QJsonObject;

namespace vesker {

class HTTPExchange;

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
    // What the phone's request said of the item, carried on to the remote screen.
    QString path; // "/upload", "/file" or "/text"
    QString contentType;
    QString sender;
    QString note;
    QString fileName;
    QString itemID;
    QString groupID;
    qint64 groupIndex = 0;
    qint64 groupCount = 0;
    std::optional<Coordinate> location;
    // The access code as the phone typed it: the remote screen decides on it.
    QString code;
    // The phone's address: what may wait is shared between addresses.
    QString remoteAddress;

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

// What the local relays need from the layers above: the remote screens' uploads go out with the
// sending side's uploader, the page and the arrival effects come from the receive side.
struct RemoteRelayHooks {
    // Sends the request on to the screen at `base` and answers `reply` with what it answered.
    std::function<void(const QUrl& base, const RelayRequest& request, HTTPReplyFunction reply)>
        forward;
    // Asks the screen at `base` once how it stands with the request's device, whose uploads it
    // held; `answer` hears it, always, within a bounded time.
    std::function<void(const QUrl& base, const RelayRequest& request,
        std::function<void(const RemoteHoldAnswer&)> answer)>
        askHold;
    // This computer's screen name, for "<name> via <screen name>".
    std::function<QString()> screenName;
    // The upload page phones open, under the given name.
    std::function<QString(const QString& name)> uploadPage;
    // A device started waiting: the window comes forward and a sound plays.
    std::function<void()> announceWaiting;
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
    // The most of a screen's "/api/info" answer that the check reads; a longer one is not read.
    static constexpr qint64 kInfoLimit = 16 * 1024;

    // Without settings nothing is kept across launches and no screen is known.
    RemoteScreensManager(
        platform::Defaults* defaults, const platform::Clock& clock, QObject* parent = nullptr);
    ~RemoteScreensManager() override;

    // In stored order.
    const QList<RemoteScreen>& screens() const { return m_screens; }
    // The screens the last check found answering; changed only by a check.
    const QSet<QUuid>& reachable() const { return m_reachable; }
    // Why each screen the last check asked did not answer. A screen in neither this nor
    // reachable() has not been checked yet. Changed only by a check, with reachableChanged().
    const QHash<QUuid, ReachFailure>& unreachable() const { return m_unreachable; }
    // Asks every screen again now; a check still under way is dropped.
    void checkReachability();
    struct CheckTiming {
        int intervalMs = kCheckIntervalMs;
        int timeoutMs = kCheckTimeoutMs;
    };
    // For tests that cannot wait for the checks at their real pace.
    void setCheckTiming(CheckTiming timing);

    // Restarts the local listeners of the screens shared on the network. A screen without a
    // stored "relayPort" gets a free one, which is then stored. Nothing listens before the
    // first call: the owner's own port is bound first. Later changes to the list restart them.
    void restartRelays();
    // Each hook may be set by a different layer; setting all of them (re)starts the relays.
    void setForwarder(decltype(RemoteRelayHooks::forward) forward);
    void setHoldAsker(decltype(RemoteRelayHooks::askHold) askHold);
    void setRelayHooks(RemoteRelayHooks hooks);
    void setListenAddress(const QHostAddress& address) { m_listenAddress = address; }
    // The listener of a shared screen; null when it is not listening.
    HTTPServer* relayServer(const QUuid& id) const;
    // Why a shared screen's listener could not start or stopped; empty while it listens, and
    // for a screen that is not shared.
    QString relayProblem(const QUuid& id) const { return m_relayProblems.value(id); }
    // "<name> via <screen name>": how a shared screen is advertised and named to phones.
    QString sharedName(const RemoteScreen& screen) const;

    // A phone's request to a shared screen: forwarded when its device is allowed, held (202)
    // until it is answered, refused when it is blocked or denied.
    void relay(const RelayRequest& request, HTTPReplyFunction reply);

    // Holds a request until its device is answered, within the bounds on what may wait that
    // the uploads to this computer have (WaitingDevices); a blocked device or a key denied
    // during this run is dropped at once. False when dropped or refused.
    bool hold(const RelayRequest& request);
    // One entry per key, in the order each key first waited; at most `limit` (the first ones)
    // when given.
    QList<RelayPending> pendingDevices(qsizetype limit = -1) const;
    // The keys waiting.
    qsizetype waitingDevices() const { return m_waitingDevices.count(); }
    // Drops the requests of every key whose phone has not asked about them for
    // kWaitingExpirySeconds; a timer calls it while anything waits.
    void expireWaiting() { m_waitingDevices.expire(); }

    void allow(const QString& key, GrantDuration duration);
    void deny(const QString& key);
    void block(const QString& key);
    // The device may ask again, for every screen; nothing it sent earlier comes back.
    void unblock(const QString& deviceID);

    const QList<DeviceGrant>& grants() const { return m_grants; }
    const QList<DeviceGrant>& blocked() const { return m_blocked; }

Q_SIGNALS:
    void screensChanged();
    void reachableChanged();
    void pendingDevicesChanged();
    void blockedChanged();
    // A relay started, stopped or could not listen.
    void relaysChanged();
    // An allowed request, to be sent on to its screen.
    void forwardRequested(const vesker::RelayRequest& request);

private:
    struct Relay;
    void loadScreens();
    void routeRelay(const QUuid& screenID, const HTTPRequest& request, HTTPReplyFunction reply);
    HTTPHandler relayHandler(const QUuid& screenID);
    void forwardAllowed(const RelayRequest& request);
    void forwarded(const QString& key, const HTTPResponse& response);
    // Passes a request on to its screen and hands the answer to `answered` on the main thread,
    // after learning from it whether the screen asks for a code.
    void forward(const QUrl& base, const RelayRequest& request,
        std::function<void(const HTTPResponse&)> answered);
    void learnFromInfo(const QUuid& id, const QByteArray& body);
    // Asks the remote screen about a key it holds uploads of, unless it was asked just now.
    void askRemote(const QString& key);
    void remoteHoldAnswered(const QString& key, const RemoteHoldAnswer& answer);
    QJsonObject statusOf(const QString& key, const QString& deviceID) const;
    bool isBlocked(const QString& deviceID) const;
    std::optional<RemoteScreen> screen(const QUuid& id) const;
    bool isGranted(const QString& key) const;
    // Holds a request that is neither refused nor allowed yet, or says why it cannot wait.
    std::optional<HoldRefusal> wait(const RelayRequest& request);
    void dropWaiting(const std::function<bool(const RelayRequest&)>& which);
    void removeGrant(const QString& key);
    void save();

    platform::Defaults* m_defaults = nullptr;
    const platform::Clock& m_clock;
    QList<RelayRequest> m_waiting;
    // The keys of m_waiting, with their bounds and expiry.
    WaitingDevices m_waitingDevices;
    QList<DeviceGrant> m_grants; // by key
    QList<DeviceGrant> m_blocked; // by device id
    QSet<QString> m_denied;
    // Allowed requests on their way to the remote screen, by key; they still count as waiting
    // for the phone that polls.
    QHash<QString, int> m_forwarding;
    // Why the last forward of a key failed, until its phone sends again.
    struct ForwardFailure {
        QString reason;
        bool needsCode = false;
    };
    QHash<QString, ForwardFailure> m_failures;
    // Keys whose uploads the remote screen holds for its own user's answer.
    RemoteHolds m_remoteHolds;
    QHash<QUuid, QString> m_relayProblems;
    bool m_relaysStarted = false;
    QList<RemoteScreen> m_screens;
    QSet<QUuid> m_reachable;
    // The screens known to ask for an access code, so that phones are told before they send:
    // from a screen's own "/api/info" when the check read it, or from its answer to the last
    // request passed on to it.
    QSet<QUuid> m_asksForCode;
    QHash<QUuid, ReachFailure> m_unreachable;
    QTimer m_checkTimer;
    CheckTiming m_checkTiming;
    // The exchanges of the check under way.
    std::vector<std::unique_ptr<HTTPExchange>> m_checks;
    // Tells a check's late answers from the current one's.
    quint64 m_checkRound = 0;
    RemoteRelayHooks m_hooks;
    QHostAddress m_listenAddress = QHostAddress::Any;
    std::vector<std::unique_ptr<Relay>> m_relays;
};

} // namespace vesker
