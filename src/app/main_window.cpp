#include "app/main_window.h"

#include "platform/defaults.h"
#include "send/relay_book.h"
#include "send/screen_directory.h"

#include "app/menu_commands.h"
#include "connect/invite_alerts.h"
#include "help/help_window.h"
#include "inbox/content_view.h"
#include "platform/thumbnail_loader.h"
#include "settings/settings_window.h"
#include "update/update_alerts.h"
#include "update/updater.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenuBar>

namespace vesker {

MainWindow::MainWindow(ItemStore& store, ServerController& server, InviteHandler& invites,
    platform::Defaults& defaults, WindowManager* windows, Updater* updater,
    ThumbnailLoader* thumbnails, QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Vesker"));
    resize(kDefaultSize);
    setMinimumSize(kMinimumSize);

    m_content
        = new ContentView({.store = store,
                              .server = server,
                              .defaults = defaults,
                              .thumbnails = thumbnails ? *thumbnails : ThumbnailLoader::shared(),
                              .updater = updater ? *updater : Updater::shared(),
                              .invites = &invites,
                              .windows = windows,
                              .directory = &ScreenDirectory::shared(),
                              .relayBook = &RelayBook::shared(),
                              .groupDefaults = &platform::Defaults::group()},
            this);
    setCentralWidget(m_content);
    m_inviteAlerts = new InviteAlerts(invites, this);
    new UpdateAlerts(updater ? *updater : Updater::shared(), this);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    m_settings = file->addAction(QStringLiteral("Settings…"));
    m_settings->setObjectName(QStringLiteral("settingsAction"));
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_settings->setMenuRole(QAction::PreferencesRole);
    connect(m_settings, &QAction::triggered, this,
        [this, &server] { showSettingsWindow(server, this); });
    file->addSeparator();
    m_quit = file->addAction(QStringLiteral("Quit"));
    m_quit->setObjectName(QStringLiteral("quitAction"));
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quit->setMenuRole(QAction::QuitRole);
    // Nothing is torn down in order: the store writes as it goes.
    connect(m_quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    m_commands = new MenuCommands(*menuBar(), *file,
        {defaults, updater ? *updater : Updater::shared(), HelpWindowController::shared()}, this);
    connect(
        m_commands, &MenuCommands::pasteAndSendRequested, m_content, &ContentView::pasteAndSend);
}

} // namespace vesker
