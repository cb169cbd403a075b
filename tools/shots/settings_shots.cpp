#include "shots.h"

#include "demo_server.h"

#include "access/access_manager.h"
#include "focus_guard/focus_guard.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/display_wake.h"
#include "platform/permissions.h"
#include "platform/workspace.h"
#include "receive/server_controller.h"
#include "screens/remote_screen.h"
#include "send/screen_directory.h"
#include "settings/settings_window.h"
#include "ui/tray_availability.h"
#include "update/updater.h"
#include "window/window_manager.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTcpServer>
#include <QTreeWidget>

#include <iterator>

namespace vesker::shots {

namespace {

// The shots have no window manager and nothing else runs.
class NothingElseRunning final : public platform::Workspace {
public:
    QList<platform::RunningApplication> runningApplications() override { return {}; }
    QString frontmostBundleId() override { return {}; }
    QString iconName(const QString&) override { return {}; }
};

} // namespace

void settingsShots()
{
    DemoServer demo({.computerName = [] { return QStringLiteral("Front Desk"); }});
    platform::Defaults& defaults = demo.defaults;
    ServerController& controller = demo.controller;
    platform::DisplayWake wake;
    WindowManager windows(defaults, wake);
    NothingElseRunning workspace;
    FocusGuard focusGuard(defaults, workspace);
    Permissions permissions;
    Updater updater(defaults, demo.clock, {.manifestUrl = QUrl()});

    AccessManager& access = controller.access();
    access.approve(
        QStringLiteral("dev-anna"), QStringLiteral("Anna's phone"), GrantDuration::oneDay);
    access.approve(
        QStringLiteral("dev-desk"), QStringLiteral("Reception tablet"), GrantDuration::forever);
    access.block(QStringLiteral("dev-x"), QStringLiteral("Unknown Android"));
    defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("code"));
    defaults.set(QStringLiteral("accessCode"), QStringLiteral("048213"));
    defaults.set(QStringLiteral("allowBrowserScreens"), true);

    defaults.set(QStringLiteral("blurSenders"), QStringLiteral("Anna, Reception"));
    defaults.set(QStringLiteral("knownSenders"), QJsonArray {QStringLiteral("ben")});
    defaults.set(QStringLiteral("cleanupAge"), QStringLiteral("oneWeek"));
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    defaults.set(QStringLiteral("serverPort"), probe.serverPort());
    probe.close();
    defaults.set(QStringLiteral("advertiseOnNetwork"), false);
    controller.setScreenName(QStringLiteral("Front Counter"));
    const QDeadlineTimer deadline(3000);
    while (!controller.isRunning() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);

    // Screens this computer has seen, one with a nickname, two of them a group.
    ScreenDirectory directory(defaults);
    directory.remember(
        {QStringLiteral("Kitchen"), QStringLiteral("Meeting room 2"), QStringLiteral("Studio")});
    directory.setNickname(QStringLiteral("Studio"), QStringLiteral("Front desk"));
    directory.addGroup(QStringLiteral("Meeting rooms"),
        {QStringLiteral("Kitchen"), QStringLiteral("Meeting room 2")});
    const SettingsWindow::Services services {.controller = controller,
        .defaults = defaults,
        .clock = demo.clock,
        .windows = windows,
        .focusGuard = focusGuard,
        .permissions = permissions,
        .updater = updater,
        .directory = &directory,
        .discoverScreens = false};
    // A desktop whose panel shows tray icons, then one without.
    for (const bool tray : {true, false}) {
        TrayAvailability::pretend(tray);
        SettingsWindow window(services);
        if (!tray) {
            save(window, QStringLiteral("settings_general_no_tray"));
            continue;
        }
        const char* names[]
            = {"settings_general", "settings_display", "settings_access", "settings_screens"};
        for (int i = 0; i < int(std::size(names)); ++i) {
            window.tabs().setCurrentIndex(i);
            save(window, QString::fromLatin1(names[i]));
        }
        // Scrolled down to the other screens, with the group chosen for a change.
        if (auto* groups = window.findChild<QTreeWidget*>(QStringLiteral("groupList"))) {
            groups->topLevelItem(0)->setSelected(true);
            if (auto* area = qobject_cast<QScrollArea*>(window.tabs().currentWidget()))
                area->ensureWidgetVisible(groups, 0, 0);
            save(window, QStringLiteral("settings_screens_book"));
        }
        // The port field after someone typed a port another program holds.
        QTcpServer holder;
        holder.listen(QHostAddress::Any);
        window.findChild<QLineEdit*>(QStringLiteral("portField"))
            ->setText(QString::number(holder.serverPort()));
        window.findChild<QPushButton*>(QStringLiteral("portButton"))->click();
        save(window, QStringLiteral("settings_screens_port_taken"));
        // And then the port phones reach a shared remote screen on, which this computer holds.
        QTcpServer relayProbe;
        relayProbe.listen(QHostAddress::LocalHost);
        const quint16 relayPort = relayProbe.serverPort();
        relayProbe.close();
        defaults.set(QStringLiteral("remoteScreens"),
            QJsonArray {RemoteScreen {.id = QUuid::createUuid(),
                .name = QStringLiteral("Lab"),
                .url = QStringLiteral("127.0.0.1:9"),
                .shareOnLAN = true,
                .relayPort = relayPort}
                            .toJson()});
        window.findChild<QLineEdit*>(QStringLiteral("portField"))
            ->setText(QString::number(relayPort));
        window.findChild<QPushButton*>(QStringLiteral("portButton"))->click();
        save(window, QStringLiteral("settings_screens_port_shared"));
        defaults.remove(QStringLiteral("remoteScreens"));
    }
    TrayAvailability::pretend(std::nullopt);
}

} // namespace vesker::shots
