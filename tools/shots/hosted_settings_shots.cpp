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
    const quint16 own = demo.controller.server() ? demo.controller.server()->serverPort() : 0;
    // One screen of each kind: its page open, its page off, the whole screen off, and one kept
    // from before the form refused its port, this screen's own, so that it cannot listen.
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
                .toJson(),
            HostedScreen {.id = QUuid::createUuid(),
                .name = QStringLiteral("Front Hall"),
                .slug = QStringLiteral("front-hall"),
                .port = own}
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
