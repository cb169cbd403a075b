// The main window on the offscreen platform: the start-up order, its menus and an opened invite
// link.
#include "app/main_window.h"
#include "app/menu_commands.h"
#include "app/vesker_app.h"
#include "connect/invite_alerts_view.h"
#include "connect/invite_handler.h"
#include "focus_guard/focus_guard.h"
#include "help/help_window.h"
#include "platform/address_watcher.h"
#include "platform/defaults.h"
#include "platform/display_wake.h"
#include "platform/service_hosts.h"
#include "receive/controller_fixture.h"
#include "receive/server_controller.h"
#include "send/send_sheet.h"
#include "store/item_store.h"
#include "support/fake_workspace.h"
#include "support/manual_clock.h"
#include "support/recording_notifications.h"
#include "update/updater.h"
#include "window/window_manager.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

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
            m_app = std::make_unique<VeskerApp>(VeskerApp::Services {.defaults = m_defaults,
                .groupDefaults = m_groupDefaults,
                .clock = m_clock,
                .notifications = m_notifications,
                .networkAddresses = [this] { return m_addresses; },
                .addressWatcher = &m_addressWatcher,
                .storeRoot = m_dir.filePath(QStringLiteral("Vesker")),
                .updates = {.manifestUrl = QUrl()},
                .listenAddress = QHostAddress::LocalHost});
        return *m_app;
    }

    // An invitation that came in as an Inbox item from a phone.
    ScreenItem appendInviteItem()
    {
        ScreenItem invite;
        invite.id = QUuid::createUuid();
        invite.receivedAt = QDateTime::currentDateTimeUtc();
        invite.deviceID = QStringLiteral("phone");
        app().store().append(invite);
        return invite;
    }

    MainWindow& window()
    {
        if (!m_help)
            m_help = std::make_unique<HelpWindowController>(app().helpSelection(), m_defaults);
        if (!m_window)
            m_window = std::make_unique<MainWindow>(MainWindow::Services {.store = app().store(),
                .server = app().server(),
                .invites = app().invites(),
                .defaults = m_defaults,
                .groupDefaults = m_groupDefaults,
                .clock = m_clock,
                .windows = m_windows,
                .focusGuard = m_focus,
                .updater = app().updater(),
                .thumbnails = app().thumbnails(),
                .permissions = app().permissions(),
                .directory = app().directory(),
                .relayBook = app().relayBook(),
                .usage = app().usage(),
                .help = *m_help});
        return *m_window;
    }
    InviteHandler& invites() { return app().invites(); }

    QTemporaryDir m_dir;
    // Items are stored at the time of the run, as the program stores them.
    test::ManualClock m_clock {QDateTime::currentDateTimeUtc()};
    platform::Defaults m_defaults {m_dir.filePath(QStringLiteral("defaults.json")), m_clock};
    platform::Defaults m_groupDefaults {m_dir.filePath(QStringLiteral("group.json")), m_clock};
    test::RecordingNotifications m_notifications;
    QList<NetworkAddress> m_addresses;
    platform::AddressWatcher m_addressWatcher;
    test::FakeWorkspace m_workspace;
    FocusGuard m_focus {m_defaults, m_workspace};
    platform::DisplayWake m_wake;
    WindowManager m_windows {m_defaults, m_wake};
    std::unique_ptr<VeskerApp> m_app;
    std::unique_ptr<HelpWindowController> m_help;
    std::unique_ptr<MainWindow> m_window;
};

TEST_F(MainWindowTest, StartsStoreFirstAndTheUpdateCheckAfterTheStructureIsBuilt)
{
    app();
    EXPECT_FALSE(app().updater().isStarted());
    window();
    QCoreApplication::processEvents();
    EXPECT_TRUE(app().updater().isStarted());
    EXPECT_EQ(app().steps(),
        QStringList(
            {"invites", "settings", "store", "taskbar", "update queued", "server", "updater"}));
}

TEST_F(MainWindowTest, AnAddressTheComputerGainsWhileRunningIsOfferedAtOnce)
{
    ServerController& server = app().server();
    EXPECT_TRUE(server.addresses().isEmpty());
    m_addresses = {{QStringLiteral("eth0"), kEthernetLabel, QStringLiteral("192.0.2.61")}};
    QSignalSpy offered(&server, &ServerController::addressesChanged);
    Q_EMIT m_addressWatcher.changed();
    ASSERT_EQ(offered.count(), 1);
    EXPECT_TRUE(server.addresses().value(0).startsWith(QLatin1String("http://192.0.2.61:")));
}

// Receives the addresses the program hands to the browser.
class Browser : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

TEST_F(MainWindowTest, EveryCommandIsThereWithItsKeysAndTheLinksOpenInTheBrowser)
{
    const MenuCommands& commands = window().commands();
    const std::pair<QAction*, const char*> keys[]
        = {{commands.checkForUpdates(), ""}, {window().settingsAction(), "Ctrl+,"},
            {window().quitAction(), "Ctrl+Q"}, {commands.pasteAndSend(), "Ctrl+Shift+V"},
            {commands.simpleMode(), "Ctrl+Alt+S"}, {commands.help(), "Ctrl+?"},
            {commands.keyboardShortcuts(), ""}, {commands.troubleshooting(), ""},
            {commands.supportWebsite(), ""}, {commands.privacy(), ""}};
    for (const auto& [action, sequence] : keys) {
        ASSERT_TRUE(action && qobject_cast<QMenu*>(action->parent()));
        EXPECT_EQ(action->shortcut(), QKeySequence(QString::fromLatin1(sequence)))
            << qPrintable(action->text());
    }

    Browser browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    commands.supportWebsite()->trigger();
    commands.privacy()->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    EXPECT_EQ(browser.opened, QList<QUrl>({QUrl(kSupportPageAddress), QUrl(kPrivacyPageAddress)}));
}

TEST_F(MainWindowTest, EscapeAndCtrlWCloseSettingsAndHelp)
{
    window().show();
    const auto settings = [] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->isVisible() && top->windowTitle() == QStringLiteral("Settings"))
                return top;
        }
        return static_cast<QWidget*>(nullptr);
    };
    const std::pair<QKeyCombination, const char*> keys[] {
        {QKeyCombination(Qt::Key_Escape), "Escape"}, {Qt::CTRL | Qt::Key_W, "Ctrl+W"}};
    for (const auto& [key, name] : keys) {
        SCOPED_TRACE(name);
        window().settingsAction()->trigger();
        const QPointer<QWidget> shown = settings();
        ASSERT_NE(shown, nullptr);
        shown->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(shown));
        QTest::keyClick(shown, key.key(), key.keyboardModifiers());
        EXPECT_TRUE(!shown || !shown->isVisible());

        m_help->show();
        QWidget* help = m_help->window();
        ASSERT_NE(help, nullptr);
        help->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(help));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : help, key.key(),
            key.keyboardModifiers());
        EXPECT_FALSE(help->isVisible());
    }
}

TEST_F(MainWindowTest, SettingsOpensInTheMiddleOfItsScreenAndFitsItsHeight)
{
    window().show();
    window().settingsAction()->trigger();
    QWidget* settings = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && top->windowTitle() == QStringLiteral("Settings"))
            settings = top;
    }
    ASSERT_NE(settings, nullptr);
    const QRect area = settings->screen()->availableGeometry();
    EXPECT_TRUE(area.contains(settings->frameGeometry()))
        << settings->frameGeometry().y() << "+" << settings->frameGeometry().height() << " in "
        << area.height();
    EXPECT_LE((settings->frameGeometry().center() - area.center()).manhattanLength(), 2);
    settings->close();
}

TEST_F(MainWindowTest, PasteAndSendOpensTheSendSheetWithTheClipboardText)
{
    window().show();
    QGuiApplication::clipboard()->setText(QStringLiteral("Door code 4411"));
    window().commands().pasteAndSend()->trigger();
    auto* sheet = window().findChild<SendSheet*>(QStringLiteral("sendSheet"));
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isVisible());
    ASSERT_EQ(sheet->items().size(), 1);
    EXPECT_EQ(sheet->items().first().text, "Door code 4411");
}

TEST_F(MainWindowTest, AStoredSendIsCountedInTheGroupSettingsAndAFailedOneIsNot)
{
    test::Screen receiver;
    QTcpServer gone;
    gone.listen(QHostAddress::LocalHost);
    const DiscoveredScreen nobody {.name = "Gone", .endpoint = {"127.0.0.1", gone.serverPort()}};
    gone.close();
    window().show();

    const auto pasteAndSendTo = [this](const DiscoveredScreen& screen) {
        QGuiApplication::clipboard()->setText(QStringLiteral("Door code 4411"));
        window().commands().pasteAndSend()->trigger();
        // A sheet that delivered everything closes and goes by itself.
        QPointer<SendSheet> sheet;
        for (SendSheet* open : window().findChildren<SendSheet*>()) {
            if (open->isVisible())
                sheet = open;
        }
        ASSERT_TRUE(sheet);
        sheet->session().setDiscovered({screen});
        auto* send = sheet->findChild<QPushButton*>(QStringLiteral("sendButton"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return send->isEnabled(); }, 2000));
        send->click();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !sheet || !sheet->session().isSending(); }, 15000));
        if (sheet)
            sheet->close();
    };
    // What the group file holds, as the next launch reads it.
    const auto counted = [this] {
        QFile file(m_dir.filePath(QStringLiteral("group.json")));
        if (!file.open(QIODevice::ReadOnly))
            return std::pair<qint64, qint64>(0, 0);
        const QJsonObject saved = QJsonDocument::fromJson(file.readAll()).object();
        return std::pair<qint64, qint64>(
            saved.value("sentCount").toInteger(), saved.value("sentCount.text").toInteger());
    };

    pasteAndSendTo(receiver.mac(QStringLiteral("B")));
    ASSERT_EQ(receiver.uploaded().size(), 1);
    const std::pair<qint64, qint64> one {1, 1}; // in all, and texts
    EXPECT_EQ(counted(), one);

    pasteAndSendTo(nobody);
    EXPECT_EQ(counted(), one) << "nothing was stored";
}

TEST_F(MainWindowTest, SimpleModeShowsTheStoredSettingWhoeverChangesIt)
{
    QAction* simple = window().commands().simpleMode();
    simple->trigger(); // a missing setting reads as off
    EXPECT_TRUE(m_defaults.boolValue(QStringLiteral("macSimpleMode"), false));
    m_defaults.set(QStringLiteral("macSimpleMode"), false); // from the Settings window
    EXPECT_FALSE(simple->isChecked());
    simple->trigger();
    EXPECT_TRUE(m_defaults.boolValue(QStringLiteral("macSimpleMode"), false));
    EXPECT_TRUE(simple->isChecked());
}

TEST_F(MainWindowTest, OpenedInviteLinkAsksToConnectAndCancelForgetsIt)
{
    window().show();
    invites().handle(QStringLiteral("https://example.invalid/"), QStringLiteral("Workshop"));
    EXPECT_EQ(window().inviteAlerts().confirmation(), nullptr);

    invites().handle(QStringLiteral("vesker://invite/ABCD-EFGH"), QStringLiteral("Workshop"));
    QMessageBox* box = window().inviteAlerts().confirmation();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());

    box->button(QMessageBox::Cancel)->click();
    EXPECT_FALSE(invites().pending().has_value());
    EXPECT_EQ(window().inviteAlerts().confirmation(), nullptr);
}

TEST_F(MainWindowTest, ALinkOpenedOverAnEarlierOutcomeReplacesItAndItsItemGoes)
{
    window().show();
    app().server();
    const ScreenItem invite = appendInviteItem();
    const auto shownAlerts = [this] {
        QList<QMessageBox*> shown;
        for (QMessageBox* box : window().findChildren<QMessageBox*>()) {
            if (box->isVisible())
                shown.append(box);
        }
        return shown;
    };

    // Connect on the invitation that came in as an item: its outcome is up.
    invites().handle(
        QStringLiteral("vesker://invite/ABCD-EFGH"), QStringLiteral("Workshop"), invite.id);
    QMessageBox* confirmation = window().inviteAlerts().confirmation();
    ASSERT_NE(confirmation, nullptr);
    QAbstractButton* connectButton = nullptr;
    for (QAbstractButton* button : confirmation->buttons()) {
        if (button->text() == QStringLiteral("Connect"))
            connectButton = button;
    }
    ASSERT_NE(connectButton, nullptr);
    connectButton->click();
    ASSERT_NE(window().inviteAlerts().resultAlert(), nullptr);
    ASSERT_TRUE(app().store().item(invite.id));
    // As the relay tells of a screen joined.
    invites().publishResult(QStringLiteral("Connected to Workshop."), QStringLiteral("Workshop"));
    ASSERT_NE(window().inviteAlerts().resultAlert(), nullptr);

    // A second launch hands over another link while the outcome is still open.
    invites().handle(QStringLiteral("vesker://invite/WXYZ-2345"), QStringLiteral("Workshop"));
    EXPECT_FALSE(invites().result().has_value());
    EXPECT_EQ(window().inviteAlerts().resultAlert(), nullptr);
    ASSERT_NE(window().inviteAlerts().confirmation(), nullptr);
    EXPECT_EQ(shownAlerts(), QList<QMessageBox*> {window().inviteAlerts().confirmation()});
    EXPECT_FALSE(app().store().item(invite.id)) << "the earlier invitation was answered";
    EXPECT_EQ(app().store().acks().value(QStringLiteral("phone")),
        QStringList {invite.id.toString(QUuid::WithoutBraces).toUpper()});
}

// Without a relay every connection fails: the invitation stays where it was, unanswered,
// whether the outcome is read or another link replaces it.
TEST_F(MainWindowTest, AnInviteItemWhoseConnectionFailedStaysUnacknowledged)
{
    window().show();
    app().server();
    const ScreenItem invite = appendInviteItem();
    for (const bool readOutcome : {true, false}) {
        SCOPED_TRACE(readOutcome ? "outcome read" : "outcome replaced");
        invites().handle(
            QStringLiteral("vesker://invite/ABCD-EFGH"), QStringLiteral("Workshop"), invite.id);
        QMessageBox* confirmation = window().inviteAlerts().confirmation();
        ASSERT_NE(confirmation, nullptr);
        for (QAbstractButton* button : confirmation->buttons()) {
            if (button->text() == QStringLiteral("Connect"))
                button->click();
        }
        QMessageBox* outcome = window().inviteAlerts().resultAlert();
        ASSERT_NE(outcome, nullptr);
        EXPECT_TRUE(outcome->informativeText().contains(QStringLiteral("Could not connect")));
        if (readOutcome)
            outcome->button(QMessageBox::Ok)->click();
        else
            invites().handle(
                QStringLiteral("vesker://invite/WXYZ-2345"), QStringLiteral("Workshop"));
        QApplication::processEvents();

        const std::optional<ScreenItem> kept = app().store().item(invite.id);
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->status, ItemStatus::inbox);
        EXPECT_FALSE(kept->acknowledged);
        EXPECT_TRUE(app().store().acks().value(QStringLiteral("phone")).isEmpty());
        invites().cancelPending();
    }
}

TEST_F(MainWindowTest, AFinishedInviteItemLeavesTheInboxWithGotIt)
{
    app().server();
    const ScreenItem invite = appendInviteItem();

    invites().finishedWithItem(invite.id);
    EXPECT_FALSE(app().store().item(invite.id));
    EXPECT_EQ(app().store().acks().value(QStringLiteral("phone")),
        QStringList {invite.id.toString(QUuid::WithoutBraces).toUpper()});
}

} // namespace

#include "main_window_test.moc"
