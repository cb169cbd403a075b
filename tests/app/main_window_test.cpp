// The main window on the offscreen platform: the start-up order, its menu, closing without
// quitting, and an opened invite link.
#include "app/invite_alerts.h"
#include "app/main_window.h"
#include "app/updater.h"
#include "app/vesker_app.h"
#include "app/window_manager.h"
#include "connect/mac_invite_handler.h"
#include "platform/defaults.h"
#include "platform/display_wake.h"
#include "server/server_controller.h"
#include "store/item_store.h"

#include <QApplication>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace vesker;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        m_defaults.set(QStringLiteral("serverPort"), probe.serverPort());
        m_defaults.set(QStringLiteral("advertiseOnNetwork"), false);
        m_defaults.set(QStringLiteral("didShowOnboarding"), true);
    }

    VeskerApp& app()
    {
        if (!m_app)
            m_app = std::make_unique<VeskerApp>(VeskerApp::Services {.defaults = &m_defaults,
                .invites = &m_invites,
                .updater = &m_updater,
                .storeRoot = m_dir.filePath(QStringLiteral("Vesker")),
                .listenAddress = QHostAddress::LocalHost});
        return *m_app;
    }

    MainWindow& window()
    {
        if (!m_window)
            m_window = std::make_unique<MainWindow>(
                app().store(), app().server(), m_invites, m_defaults, &m_windows, &m_updater);
        return *m_window;
    }

    QTemporaryDir m_dir;
    platform::Defaults m_defaults {m_dir.filePath(QStringLiteral("defaults.json"))};
    platform::DisplayWake m_wake;
    WindowManager m_windows {m_defaults, m_wake};
    MacInviteHandler m_invites;
    Updater m_updater {m_defaults, {.manifestUrl = QUrl()}};
    std::unique_ptr<VeskerApp> m_app;
    std::unique_ptr<MainWindow> m_window;
};

TEST_F(MainWindowTest, StartsStoreFirstAndTheUpdateCheckAfterTheStructureIsBuilt)
{
    app();
    EXPECT_FALSE(m_updater.isStarted());
    window();
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_updater.isStarted());
    EXPECT_EQ(app().steps(),
        QStringList(
            {"invites", "settings", "store", "taskbar", "update queued", "server", "updater"}));
}

TEST_F(MainWindowTest, FileMenuHoldsSettingsAndQuitWithTheirShortcuts)
{
    EXPECT_EQ(window().windowTitle(), "Vesker");
    EXPECT_EQ(window().minimumSize(), QSize(720, 520));
    EXPECT_EQ(window().settingsAction()->text(), QStringLiteral("Settings…"));
    EXPECT_EQ(window().settingsAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+,")));
    EXPECT_EQ(window().quitAction()->text(), "Quit");
    EXPECT_EQ(window().quitAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
}

TEST_F(MainWindowTest, ClosingKeepsTheProgramRunningAndAShowBringsTheWindowBack)
{
    window().show();
    ASSERT_EQ(m_windows.window(), &window());
    // Closing the last window must not end the event loop: only the later exit(7) does.
    QTimer::singleShot(0, &window(), [this] { window().close(); });
    QTimer::singleShot(50, qApp, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(QCoreApplication::exec(), 7);
    EXPECT_FALSE(window().isVisible());

    m_windows.show();
    EXPECT_TRUE(window().isVisible());
}

TEST_F(MainWindowTest, OpenedInviteLinkAsksToConnectAndCancelForgetsIt)
{
    window().show();
    m_invites.handle(QStringLiteral("https://example.invalid/"), QStringLiteral("Workshop"));
    EXPECT_EQ(window().inviteAlerts().confirmation(), nullptr);

    m_invites.handle(QStringLiteral("vesker://invite/ABCD-EFGH"), QStringLiteral("Workshop"));
    QMessageBox* box = window().inviteAlerts().confirmation();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), QStringLiteral("Connect to this screen?"));

    box->button(QMessageBox::Cancel)->click();
    EXPECT_FALSE(m_invites.pending().has_value());
    EXPECT_EQ(window().inviteAlerts().confirmation(), nullptr);
}

} // namespace
