#include "shots.h"

#include "demo_server.h"

#include "screens/hosted_screen.h"
#include "settings/hosted_screens_settings_view.h"
#include "settings/settings_window.h"

#include <QJsonArray>
#include <QTreeWidget>

namespace vesker::shots {

void hostedSettingsShots()
{
    DemoServer demo({.computerName = [] { return QStringLiteral("Front Desk"); }});
    demo.defaults.set(QStringLiteral("advertiseOnNetwork"), false);
    // One screen of each kind: its page open, its page off, and the whole screen off.
    demo.defaults.set(QStringLiteral("hostedScreens"),
        QJsonArray {HostedScreen {.id = QUuid::createUuid(),
                        .name = QStringLiteral("Team Room"),
                        .slug = QStringLiteral("team-room"),
                        .port = 48790,
                        .allowBrowserScreen = true}
                        .toJson(),
            HostedScreen {.id = QUuid::createUuid(),
                .name = QStringLiteral("Workshop"),
                .slug = QStringLiteral("workshop"),
                .pin = QStringLiteral("4821"),
                .port = 48791,
                .requirePinToSend = true}
                .toJson(),
            HostedScreen {.id = QUuid::createUuid(),
                .name = QStringLiteral("Night Desk"),
                .slug = QStringLiteral("night-desk"),
                .port = 48792,
                .enabled = false,
                .allowBrowserScreen = true}
                .toJson()});

    HostedScreensSettingsView hosted(
        demo.controller.hosted(), demo.controller.remote(), demo.defaults);
    hosted.resize(SettingsWindow::kDefaultSize);
    save(hosted, QStringLiteral("settings_hosted"));
    hosted.findChild<QTreeWidget*>(QStringLiteral("hostedList"))
        ->topLevelItem(1)
        ->setSelected(true);
    save(hosted, QStringLiteral("settings_hosted_edit"));
}

} // namespace vesker::shots
