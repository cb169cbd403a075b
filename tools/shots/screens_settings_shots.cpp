#include "shots.h"

#include "demo_server.h"

#include "screens/remote_screens_manager.h"
#include "settings/remote_screens_settings_view.h"
#include "settings/settings_window.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QTimer>

namespace vesker::shots {

void screensSettingsShots()
{
    DemoServer demo({.computerName = [] { return QStringLiteral("Front Desk"); }});
    const quint16 own = demo.controller.server() ? demo.controller.server()->serverPort() : 0;
    demo.defaults.set(QString::fromLatin1(RemoteScreensManager::kScreensKey),
        QJsonArray {RemoteScreen {.name = QStringLiteral("Office"),
                        .url = QStringLiteral("127.0.0.1:%1").arg(own),
                        .shareOnLAN = true,
                        .relayPort = 48795}
                        .toJson(),
            RemoteScreen {.name = QStringLiteral("Warehouse"), .url = QStringLiteral("127.0.0.1:9")}
                .toJson(),
            // Kept from before the form refused it: this screen's own port, so it cannot listen.
            RemoteScreen {.name = QStringLiteral("Print room"),
                .url = QStringLiteral("127.0.0.1:10"),
                .shareOnLAN = true,
                .relayPort = own}
                .toJson()});
    RemoteScreensManager& remote = demo.controller.remote();
    const RelayRequest phone {.screenID = remote.screens().first().id,
        .screenName = QStringLiteral("Office"),
        .deviceID = QStringLiteral("5F0C6A7E-2B1D-4C3A-9E8F-7D6C5B4A3F2E"),
        .deviceName = QStringLiteral("Marco's iPhone"),
        .body = "hello",
        .path = QStringLiteral("/text")};
    if (remote.hold(phone))
        remote.block(phone.key());
    // The reachability check answers within moments on the loopback address.
    QEventLoop settle;
    QTimer::singleShot(800, &settle, &QEventLoop::quit);
    settle.exec();

    RemoteScreensSettingsView remoteTab(demo.controller.remote(), demo.defaults);
    remoteTab.resize(SettingsWindow::kDefaultSize);
    save(remoteTab, QStringLiteral("settings_remote"));
}

} // namespace vesker::shots
