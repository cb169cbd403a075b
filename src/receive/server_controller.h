#pragma once

#include "access/access_types.h"
#include "http/http_server.h"
#include "http/network_addresses.h"
#include "relay_manager/relay_manager.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace vesker {

class AccessManager;
class ArrivalAnnouncer;
class BrowserScreen;
class DesktopActions;
class HostedScreensManager;
class ItemIntake;
class ItemStore;
class RemoteScreensManager;
class Routes;
class RouteSnapshots;
class SiblingSync;
class UploadHandler;

namespace platform {
class Clock;
class Defaults;
class DesktopNotifications;
} // namespace platform

// What the controller works with. The functions ask the computer about itself; a test leaves out
// what it does not look at, and the controller then knows nothing of it.
struct ServerControllerServices {
    platform::Defaults& defaults;
    const platform::Clock& clock;
    RelayManager& relay;
    SiblingSync& sync;
    // The computer's own name, for a screen name left blank; none: no name ("This computer").
    std::function<QString()> computerName;
    // This computer's addresses on the network; none: no address to show.
    std::function<QList<NetworkAddress>()> networkAddresses;
    // The name the local network knows this computer by ("studio.local"); none: no such name.
    // Whoever gives it calls refreshAddresses() when it changes.
    std::function<QString()> hostName;
    platform::DesktopNotifications& notifications;
    // What the receive side asks of the desktop; none: nothing is shown, copied or played.
    DesktopActions* desktop = nullptr;
    // Where the main server listens: every address unless a test narrows it.
    QHostAddress listenAddress = QHostAddress::Any;
};

// The hub of the receive side: it owns the access policy, the hosted and remote screens, the
// main HTTP server with its routes, uploads, intake and arrivals, starts and restarts that
// server under the screen's name, publishes its state and this computer's addresses, and
// connects the other subsystems' signals to the store.
// Main thread only, except the handler from requestHandler() and the check from headCheck(),
// which the server calls on its own thread.
class ServerController : public QObject {
    Q_OBJECT
public:
    using Services = ServerControllerServices;

    static constexpr quint16 kDefaultPort = 8787;

    ServerController(ItemStore& store, Services services, QObject* parent = nullptr);
    ~ServerController() override;

    bool isRunning() const { return m_isRunning; }
    // Why phones cannot find this screen on the network though it listens; empty when they can
    // or it is not meant to be found. Announced by changed().
    QString discoveryProblem() const { return m_discoveryProblem; }
    QString statusText() const { return m_statusText; }
    // Base URLs of this screen ("http://address:port").
    QStringList addresses() const { return m_addresses; }
    QList<NetworkAddress> networkAddresses() const { return m_networkAddresses; }

    ItemStore& store() const { return m_store; }
    AccessManager& access() const { return *m_access; }
    HostedScreensManager& hosted() const { return *m_hosted; }
    RemoteScreensManager& remote() const { return *m_remote; }
    RelayManager& relay() const { return m_relay; }
    ItemIntake& intake() const { return *m_intake; }
    ArrivalAnnouncer& arrival() const { return *m_arrival; }
    BrowserScreen& browserScreen() const { return *m_browserScreen; }
    // The main server; null while stopped.
    HTTPServer* server() const { return m_server.get(); }

    void start();
    void restart();
    void setScreenName(const QString& name);
    // Moves the main server to `port` and answers nothing; a port outside 1024...65535 or one
    // another program holds is refused with the sentence to show, and the old port keeps serving.
    std::optional<QString> changePort(int port);
    void refreshAddresses();
    // The link phones scan: the first address, with the access code when one is required.
    std::optional<QString> pairingURL() const;
    // The browser screen's page ("/screen") at the first address, with the access code when one
    // is required so that the viewer is not asked for it.
    std::optional<QString> browserScreenURL() const;

    // "screenName" trimmed; when blank, the computer's name; when that is unknown, "This computer".
    QString screenName() const;
    static QString screenName(const platform::Defaults& defaults, const QString& computerName);
    // "serverPort" when it lies in 1024...65535, else 8787.
    static quint16 port(const platform::Defaults& defaults);
    // Why the port is not the one the settings name ("serverPort" of the wrong type or out of
    // range); empty when it is, or when none is named.
    static QString portNotice(const platform::Defaults& defaults);
    QString portNotice() const { return portNotice(m_defaults); }
    // "advertiseOnNetwork": a missing or non-Bool value means on.
    static bool advertiseOnNetwork(const platform::Defaults& defaults);
    // "serverInterface" "wifi" or "wired"; anything else means any interface.
    static std::optional<HTTPInterfaceType> interfaceKind(const platform::Defaults& defaults);

    // The main server's request handler: answers the read-only routes on the server's thread
    // from what the main thread last published, hands any other request to the main thread and
    // the reply back; a request that finds the controller gone is answered 503 "Server stopped".
    HTTPHandler requestHandler();
    // The main server's head check, on the main thread like the handler: refuses from the head
    // what the routes would refuse whatever the body.
    HTTPHeadCheck headCheck();
    // Answers through `reply`, at once or, for an upload, once its item is on disk.
    void route(const HTTPRequest& request, HTTPReplyFunction reply);

Q_SIGNALS:
    void isRunningChanged();
    void statusTextChanged();
    void addressesChanged();
    // Anything else a view of the controller shows (the devices waiting for approval).
    void changed();

private:
    void connectSubsystems();
    void publishScreens();
    void onServerState(HTTPServerState state, const QString& error);
    void setRunning(bool running);
    void setStatus(const QString& text);
    // `path` at the first address, with the access code when one is required.
    std::optional<QString> linkTo(const QString& path) const;

    ItemStore& m_store;
    Services m_services;
    platform::Defaults& m_defaults;
    const platform::Clock& m_clock;
    RelayManager& m_relay;
    SiblingSync& m_sync;
    QString m_discoveryProblem;
    std::unique_ptr<AccessManager> m_access;
    std::unique_ptr<HostedScreensManager> m_hosted;
    std::unique_ptr<RemoteScreensManager> m_remote;
    DesktopActions& m_desktop;
    std::unique_ptr<ArrivalAnnouncer> m_arrival;
    std::unique_ptr<ItemIntake> m_intake;
    std::unique_ptr<UploadHandler> m_uploads;
    std::unique_ptr<BrowserScreen> m_browserScreen;
    std::unique_ptr<Routes> m_routes;
    std::unique_ptr<HTTPServer> m_server;
    // What the server's thread answers the read-only routes from; dropped on every change of
    // what they show (before any reply that follows from the change goes out), made again on
    // the next request that reaches the main thread.
    std::shared_ptr<RouteSnapshots> m_snapshots;
    // Lets a server thread tell at once that the controller is gone.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    bool m_isRunning = false;
    // What the running servers were started with, to tell a real change of the setting.
    bool m_advertising = true;
    QString m_statusText;
    QStringList m_addresses;
    QList<NetworkAddress> m_networkAddresses;
};

} // namespace vesker
