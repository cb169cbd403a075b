#pragma once

#include "http/network_addresses.h"
#include "update/updater.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace vesker {

class DesktopActions;
class HelpSelection;
class InviteHandler;
class ItemStore;
class Permissions;
class RelayBook;
class RelayManager;
class ScreenDirectory;
class ServerController;
class SiblingSync;
class StoreCleanup;
class ThumbnailLoader;
class UsageStats;

namespace platform {
class Clock;
class AddressWatcher;
class Defaults;
class DesktopNotifications;
class DnsSdHostName;
} // namespace platform

// What the application is made with: the desktop's services, which main() makes once for the
// run and a test makes in a temporary folder. Nothing left out is looked up anywhere else.
struct VeskerAppServices {
    platform::Defaults& defaults;
    // The app-group settings: the screens seen, this computer's device id.
    platform::Defaults& groupDefaults;
    const platform::Clock& clock;
    platform::DesktopNotifications& notifications;
    // What the receive side asks of the desktop; none: nothing is shown, copied or played.
    DesktopActions* desktop = nullptr;
    // This computer's name, its addresses, and the name avahi publishes it under; none of each:
    // not known, so the screen is "This computer" and offers no address.
    std::function<QString()> computerName;
    std::function<QList<NetworkAddress>()> networkAddresses;
    platform::DnsSdHostName* hostName = nullptr;
    // Says when the addresses change while the program runs; none: they are read at start,
    // on every start of the server and whenever the Connect sheet opens.
    platform::AddressWatcher* addressWatcher = nullptr;
    // The store's folder; none: the user's Pictures folder, with the first-launch items.
    std::optional<QString> storeRoot;
    // Where the update check reads; a test gives no manifest.
    UpdaterOptions updates;
    // Keeps the windows out of the task bar ("hideDockIcon"); called once at start when set.
    std::function<void(bool hide)> applyHideTaskbarEntry;
    QHostAddress listenAddress = QHostAddress::Any;
};

// The long-lived parts of the program, made once on the main thread before any window and
// handed to whatever needs them: the invite handler, then the settings are read, the Inbox
// store (loaded before a window can show it), the task-bar choice and the update check, which
// starts on a later turn of the event loop. Beside them, what the windows share: the thumbnail
// loader, the permissions, the screens seen and the relay's book, the count of items sent, the
// help page chosen. The receive side is made the first time something asks for it. No part
// reaches for one of its own: each is given what it works with, here or in main().
class VeskerApp {
public:
    using Services = VeskerAppServices;

    explicit VeskerApp(Services services);
    ~VeskerApp();

    InviteHandler& invites() const { return *m_invites; }
    platform::Defaults& defaults() const { return m_services.defaults; }
    platform::Defaults& groupDefaults() const { return m_services.groupDefaults; }
    const platform::Clock& clock() const { return m_services.clock; }
    ItemStore& store() const { return *m_store; }
    Updater& updater() const { return *m_updater; }
    ThumbnailLoader& thumbnails() const { return *m_thumbnails; }
    Permissions& permissions() const { return *m_permissions; }
    ScreenDirectory& directory() const { return *m_directory; }
    RelayBook& relayBook() const { return *m_relayBook; }
    // What this computer has sent and had stored, kept in the app-group settings.
    UsageStats& usage() const { return *m_usage; }
    HelpSelection& helpSelection() const { return *m_helpSelection; }
    // Made, and its server started, on the first call.
    ServerController& server();

    // What has been made so far, in order: for the log and for tests of the start-up order.
    const QStringList& steps() const { return m_steps; }

private:
    Services m_services;
    std::unique_ptr<InviteHandler> m_invites;
    std::unique_ptr<ItemStore> m_store;
    std::unique_ptr<StoreCleanup> m_cleanup;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<ThumbnailLoader> m_thumbnails;
    std::unique_ptr<Permissions> m_permissions;
    std::unique_ptr<ScreenDirectory> m_directory;
    std::unique_ptr<RelayBook> m_relayBook;
    std::unique_ptr<UsageStats> m_usage;
    std::unique_ptr<HelpSelection> m_helpSelection;
    std::unique_ptr<RelayManager> m_relay;
    std::unique_ptr<SiblingSync> m_sync;
    std::unique_ptr<ServerController> m_server;
    QStringList m_steps;
    // Cancels the queued update start when the application goes first.
    QObject m_context;
};

} // namespace vesker
