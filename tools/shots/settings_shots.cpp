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
#include "settings/settings_window.h"
#include "update/updater.h"
#include "window/window_manager.h"

#include <QTabWidget>

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

    SettingsWindow window({.controller = controller,
        .defaults = defaults,
        .clock = demo.clock,
        .windows = windows,
        .focusGuard = focusGuard,
        .permissions = permissions,
        .updater = updater});
    save(window, QStringLiteral("settings_general"));
    window.tabs().setCurrentIndex(1);
    save(window, QStringLiteral("settings_access"));
}

} // namespace vesker::shots
