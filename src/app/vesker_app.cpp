#include "app/vesker_app.h"
#include "window/window_keys.h"

#include "connect/invite_handler.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "receive/server_controller.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
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
    m_invites = m_services.invites ? m_services.invites : &InviteHandler::shared();
    m_steps << QStringLiteral("invites");

    m_defaults = m_services.defaults ? m_services.defaults : &platform::Defaults::standard();
    m_steps << QStringLiteral("settings");

    // Its files are read here, on the main thread, so the Inbox is there before any window.
    const platform::Clock& clock = platform::Clock::system();
    m_store = std::make_unique<ItemStore>(
        m_services.storeRoot.value_or(ItemStore::defaultRoot()), *m_defaults, clock);
    if (!m_services.storeRoot)
        seedStore(*m_store, *m_defaults, clock);
    m_cleanup = std::make_unique<StoreCleanup>(*m_store, *m_defaults, clock);
    m_steps << QStringLiteral("store");

    const bool hideTaskbarEntry
        = m_defaults->boolValue(QString::fromLatin1(window_keys::kHideTaskbarEntry), false);
    if (hideTaskbarEntry && m_services.applyHideTaskbarEntry)
        m_services.applyHideTaskbarEntry(true);
    m_steps << QStringLiteral("taskbar");

    // Closing the main window leaves the program running: the server, the relay and the
    // arrivals that bring the window back.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::setQuitOnLastWindowClosed(false);

    Updater* updater = m_services.updater ? m_services.updater : &Updater::shared();
    QTimer::singleShot(0, &m_context, [this, updater] {
        m_steps << QStringLiteral("updater");
        updater->start();
    });
    m_steps << QStringLiteral("update queued");
}

VeskerApp::~VeskerApp() = default;

ServerController& VeskerApp::server()
{
    if (!m_server) {
        m_relay = std::make_unique<RelayManager>(*m_defaults);
        m_sync = std::make_unique<SiblingSync>();
        m_server = std::make_unique<ServerController>(*m_store,
            ServerController::Services {.defaults = m_defaults,
                .relay = m_relay.get(),
                .sync = m_sync.get(),
                .notifications = m_services.notifications,
                .desktop = m_services.desktop,
                .listenAddress = m_services.listenAddress});
        // A finished invite item leaves the Inbox as if the user had pressed "Got it".
        QObject::connect(m_invites, &InviteHandler::itemFinished, m_server.get(),
            [store = m_store.get()](const QUuid& itemID) { store->removeWithGotIt(itemID); });
        m_steps << QStringLiteral("server");
    }
    return *m_server;
}

} // namespace vesker
