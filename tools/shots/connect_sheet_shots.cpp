#include "shots.h"

#include "demo_server.h"

#include "connect/qr_sheet.h"

#include <QTabWidget>

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
}

} // namespace vesker::shots
