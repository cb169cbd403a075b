#include "app/vesker_app.h"
#include "window/window_keys.h"

#include "connect/invite_handler.h"
#include "help/help_topics.h"
#include "platform/address_watcher.h"
#include "platform/defaults.h"
#include "platform/dns_sd.h"
#include "platform/permissions.h"
#include "platform/thumbnail_loader.h"
#include "receive/server_controller.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "screens/remote_screens_manager.h"
#include "send/relay_book.h"
#include "send/relay_forwarder.h"
#include "send/screen_directory.h"
#include "send/usage_stats.h"
#include "store/item_store.h"
#include "store/store_cleanup.h"
#include "store/store_seeding.h"
#include "update/updater.h"

#include <QGuiApplication>
#include <QTimer>

namespace vesker {

VeskerApp::VeskerApp(Services services)
    : m_services(std::move(services))
{
    m_invites = std::make_unique<InviteHandler>();
    m_steps << QStringLiteral("invites");

    // The settings are main()'s (or a test's); from here on they are read.
    m_steps << QStringLiteral("settings");

    // Its files are read here, on the main thread, so the Inbox is there before any window.
    m_store = std::make_unique<ItemStore>(
        m_services.storeRoot.value_or(ItemStore::defaultRoot()), defaults(), clock());
    if (!m_services.storeRoot)
        seedStore(*m_store, defaults(), clock());
    m_cleanup = std::make_unique<StoreCleanup>(*m_store, defaults(), clock());
    m_steps << QStringLiteral("store");

    const bool hideTaskbarEntry
        = defaults().boolValue(QString::fromLatin1(window_keys::kHideTaskbarEntry), false);
    if (hideTaskbarEntry && m_services.applyHideTaskbarEntry)
        m_services.applyHideTaskbarEntry(true);
    m_steps << QStringLiteral("taskbar");

    // Closing the main window leaves the program running: the server, the relay and the
    // arrivals that bring the window back.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::setQuitOnLastWindowClosed(false);

    m_updater = std::make_unique<Updater>(defaults(), clock(), m_services.updates);
    QTimer::singleShot(0, &m_context, [this] {
        m_steps << QStringLiteral("updater");
        m_updater->start();
    });
    m_steps << QStringLiteral("update queued");

    m_thumbnails = std::make_unique<ThumbnailLoader>();
    m_permissions = std::make_unique<Permissions>();
    m_directory = std::make_unique<ScreenDirectory>(groupDefaults());
    m_relayBook = std::make_unique<RelayBook>();
    m_usage = std::make_unique<UsageStats>(groupDefaults());
    m_helpSelection = std::make_unique<HelpSelection>();
}

VeskerApp::~VeskerApp() = default;

ServerController& VeskerApp::server()
{
    if (!m_server) {
        m_relay = std::make_unique<RelayManager>(defaults());
        m_sync = std::make_unique<SiblingSync>();
        platform::DnsSdHostName* const published = m_services.hostName;
        m_server = std::make_unique<ServerController>(*m_store,
            ServerController::Services {.defaults = defaults(),
                .clock = clock(),
                .relay = *m_relay,
                .sync = *m_sync,
                .computerName = m_services.computerName,
                .networkAddresses = m_services.networkAddresses,
                .hostName = published
                    ? std::function<QString()>([published] { return published->hostName(); })
                    : std::function<QString()>(),
                .notifications = m_services.notifications,
                .desktop = m_services.desktop,
                .listenAddress = m_services.listenAddress});
        // Phones' uploads to a shared remote screen go out as this computer's own sends do.
        m_server->remote().setForwarder(&forwardToRemoteScreen);
        m_server->remote().setHoldAsker(&askRemoteScreenAboutHeld);
        // The ".local" name is learnt after start and followed as the daemon comes and goes.
        if (published) {
            QObject::connect(published, &platform::DnsSdHostName::hostNameChanged, m_server.get(),
                &ServerController::refreshAddresses);
        }
        // A computer that joins a network or leaves one shows its new addresses at once.
        if (platform::AddressWatcher* const watcher = m_services.addressWatcher) {
            QObject::connect(watcher, &platform::AddressWatcher::changed, m_server.get(),
                &ServerController::refreshAddresses);
        }
        // A finished invite item leaves the Inbox as if the user had pressed "Got it".
        QObject::connect(m_invites.get(), &InviteHandler::itemFinished, m_server.get(),
            [store = m_store.get()](const QUuid& itemID) { store->removeWithGotIt(itemID); });
        m_steps << QStringLiteral("server");
    }
    return *m_server;
}

} // namespace vesker
