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
                .toJson()});
    // The reachability check answers within moments on the loopback address.
    QEventLoop settle;
    QTimer::singleShot(800, &settle, &QEventLoop::quit);
    settle.exec();

    RemoteScreensSettingsView remote(demo.controller.remote(), demo.defaults);
    remote.resize(SettingsWindow::kDefaultSize);
    save(remote, QStringLiteral("settings_remote"));
}

} // namespace vesker::shots
