#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace vesker {

class DesktopActions;
class ItemStore;
class InviteHandler;
class RelayManager;
class ServerController;
class SiblingSync;
class StoreCleanup;
class Updater;

namespace platform {
class Defaults;
class DesktopNotifications;
} // namespace platform

// What the application is made with; anything left empty is the program's own.
struct VeskerAppServices {
    platform::Defaults* defaults = nullptr;
    InviteHandler* invites = nullptr;
    Updater* updater = nullptr;
    // The store's folder; none: the user's Pictures folder, with the first-launch items.
    std::optional<QString> storeRoot;
    platform::DesktopNotifications* notifications = nullptr;
    DesktopActions* desktop = nullptr;
    // Keeps the windows out of the task bar ("hideDockIcon"); called once at start when set.
    std::function<void(bool hide)> applyHideTaskbarEntry;
    QHostAddress listenAddress = QHostAddress::Any;
};

// The long-lived parts of the program, made in a fixed order on the main thread before any
// window: the invite handler, the settings, the Inbox store (loaded before a window can show
// it), the task-bar choice and the update check, which starts on a later turn of the event
// loop. The receive side is made the first time something asks for it.
class VeskerApp {
public:
    using Services = VeskerAppServices;


    explicit VeskerApp(Services services = {});
    ~VeskerApp();

    InviteHandler& invites() const { return *m_invites; }
    platform::Defaults& defaults() const { return *m_defaults; }
    ItemStore& store() const { return *m_store; }
    // Made, and its server started, on the first call.
    ServerController& server();

    // What has been made so far, in order: for the log and for tests of the start-up order.
    const QStringList& steps() const { return m_steps; }

private:
    Services m_services;
    InviteHandler* m_invites = nullptr;
    platform::Defaults* m_defaults = nullptr;
    std::unique_ptr<ItemStore> m_store;
    std::unique_ptr<StoreCleanup> m_cleanup;
    std::unique_ptr<RelayManager> m_relay;
    std::unique_ptr<SiblingSync> m_sync;
    std::unique_ptr<ServerController> m_server;
    QStringList m_steps;
    // Cancels the queued update start when the application goes first.
    QObject m_context;
};

} // namespace vesker
