#include "platform/log.h"
#include "server/server_controller.h"
#include "store/item_store.h"

#include <QApplication>

using namespace vesker;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesker"));
    QApplication::setApplicationVersion(QStringLiteral(VESKER_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);

    // The application's own store: folders, index, first-launch items and the cleanup timer.
    ItemStore store;
    // The receive side starts with the program: its server, the access policy and the hooks.
    ServerController controller(store);
    qCInfo(lcApp).noquote() << "[app] Vesker" << QApplication::applicationVersion() << "- items in"
                            << store.rootDir();

    return QApplication::exec();
}
