#include "shots.h"

#include "demo_server.h"

#include "onboarding/onboarding_sheet.h"
#include "platform/permissions.h"
#include "ui/tray_availability.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>

namespace vesker::shots {

namespace {

// The permission answers come back over D-Bus.
void settle()
{
    const QDeadlineTimer deadline(300);
    while (!deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

void onboardingShots()
{
    // As on a first run: a listening server, nothing asked yet.
    {
        DemoServer demo;
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        demo.defaults.set(QStringLiteral("serverPort"), probe.serverPort());
        probe.close();
        demo.defaults.set(QStringLiteral("advertiseOnNetwork"), false);
        demo.controller.start();
        const QDeadlineTimer deadline(3000);
        while (!demo.controller.isRunning() && !deadline.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        Permissions permissions;
        // A panel with a tray, then a desktop without one.
        for (const bool tray : {true, false}) {
            TrayAvailability::pretend(tray);
            OnboardingSheet sheet({.server = demo.controller,
                .defaults = demo.defaults,
                .permissions = permissions,
                .computerName = QStringLiteral("Front Desk")});
            sheet.show();
            settle();
            save(sheet,
                tray ? QStringLiteral("onboarding_sheet") : QStringLiteral("onboarding_no_tray"));
        }
        TrayAvailability::pretend(true);
    }
    // A stopped server, a computer without a name, the tray icon off, and every "what to do"
    // line a press of the buttons brings up.
    {
        DemoServer demo;
        // Someone else holds the port.
        QTcpServer holder;
        holder.listen(QHostAddress::LocalHost);
        demo.defaults.set(QStringLiteral("serverPort"), holder.serverPort());
        demo.defaults.set(QStringLiteral("advertiseOnNetwork"), false);
        demo.controller.start();
        Permissions permissions;
        OnboardingSheet sheet(
            {.server = demo.controller, .defaults = demo.defaults, .permissions = permissions});
        sheet.show();
        settle();
        sheet.findChild<QLineEdit*>(QStringLiteral("screenNameField"))
            ->setText(QStringLiteral("Reception"));
        sheet.findChild<QCheckBox*>(QStringLiteral("showTrayIconSwitch"))->click();
        for (const char* button :
            {"localNetworkButton", "notificationsButton", "accessibilityButton"})
            sheet.findChild<QPushButton*>(QLatin1String(button))->click();
        settle();
        save(sheet, QStringLiteral("onboarding_sheet_help"));
    }
    TrayAvailability::pretend(std::nullopt);
}

} // namespace vesker::shots
