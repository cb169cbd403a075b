#include "app/main_window.h"

#include "app/menu_commands.h"
#include "connect/invite_alerts_view.h"
#include "inbox/content_view.h"
#include "settings/settings_window.h"
#include "update/update_alerts_view.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenuBar>

namespace vesker {

MainWindow::MainWindow(const Services& services, QWidget* parent)
    : QMainWindow(parent)
    , m_services(services)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Vesker"));
    resize(kDefaultSize);
    setMinimumSize(kMinimumSize);

    m_content = new ContentView({.store = services.store,
                                    .server = services.server,
                                    .defaults = services.defaults,
                                    .clock = services.clock,
                                    .thumbnails = services.thumbnails,
                                    .updater = services.updater,
                                    .permissions = services.permissions,
                                    .invites = &services.invites,
                                    .windows = &services.windows,
                                    .directory = &services.directory,
                                    .relayBook = &services.relayBook,
                                    .groupDefaults = &services.groupDefaults,
                                    .usage = &services.usage},
        this);
    setCentralWidget(m_content);
    m_inviteAlerts = new InviteAlerts(services.invites, this);
    new UpdateAlerts(services.updater, this);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    m_settings = file->addAction(QStringLiteral("Settings…"));
    m_settings->setObjectName(QStringLiteral("settingsAction"));
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_settings->setMenuRole(QAction::PreferencesRole);
    connect(m_settings, &QAction::triggered, this, [this] {
        showSettingsWindow({.controller = m_services.server,
                               .defaults = m_services.defaults,
                               .clock = m_services.clock,
                               .windows = m_services.windows,
                               .focusGuard = m_services.focusGuard,
                               .permissions = m_services.permissions,
                               .updater = m_services.updater,
                               .directory = &m_services.directory},
            this);
    });
    file->addSeparator();
    m_quit = file->addAction(QStringLiteral("Quit"));
    m_quit->setObjectName(QStringLiteral("quitAction"));
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quit->setMenuRole(QAction::QuitRole);
    // Nothing is torn down in order: the store writes as it goes.
    connect(m_quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    m_commands = new MenuCommands(
        *menuBar(), *file, {services.defaults, services.updater, services.help}, this);
    connect(
        m_commands, &MenuCommands::pasteAndSendRequested, m_content, &ContentView::pasteAndSend);
}

} // namespace vesker
