#include "shots.h"

#include "demo_server.h"

#include "connect/qr_sheet.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTabWidget>
#include <QTcpServer>

namespace vesker::shots {

void connectSheetShots()
{
    DemoServer demo;
    demo.controller.refreshAddresses();
    demo.defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("code"));
    demo.defaults.set(QStringLiteral("accessCode"), QStringLiteral("048213"));
    QRSheet sheet(demo.controller, demo.defaults);
    save(sheet, QStringLiteral("connect_sheet"));

    auto* tabs = sheet.findChild<QTabWidget*>(QStringLiteral("connectTabs"));
    tabs->setCurrentIndex(1);
    save(sheet, QStringLiteral("connect_sheet_browser_off"));
    demo.defaults.set(QStringLiteral("allowBrowserScreens"), true);
    demo.defaults.set(QStringLiteral("viewerPIN"), QStringLiteral("2468"));
    save(sheet, QStringLiteral("connect_sheet_browser_screen"));

    // A computer on no network: nothing to scan, and the sheet says so.
    DemoServer alone({.networkAddresses = [] { return QList<NetworkAddress>(); }});
    // The first demo holds the default port.
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    alone.controller.changePort(port);
    const QDeadlineTimer deadline(3000);
    while (!alone.controller.isRunning() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    QRSheet lonely(alone.controller, alone.defaults);
    save(lonely, QStringLiteral("connect_sheet_no_address"));
}

} // namespace vesker::shots
