// The main window from demo state in a temporary folder: empty, with a few items, asking about
// a waiting device, and the two questions of an opened invite link.
#include "shots.h"

#include "app/invite_alerts.h"
#include "app/main_window.h"
#include "app/updater.h"
#include "app/vesker_app.h"
#include "connect/mac_invite_handler.h"
#include "platform/defaults.h"
#include "server/access_manager.h"
#include "server/server_controller.h"
#include "store/item_store.h"

#include <QApplication>
#include <QMessageBox>
#include <QPainter>
#include <QTcpServer>
#include <QTemporaryDir>

namespace vesker::shots {

namespace {

// A program's worth of state in its own folder, its server on 127.0.0.1.
struct Demo {
    Demo()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        defaults.set(QStringLiteral("serverPort"), probe.serverPort());
        defaults.set(QStringLiteral("advertiseOnNetwork"), false);
        defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("ask"));
        defaults.set(QStringLiteral("screenName"), QStringLiteral("Workshop"));
        defaults.set(QStringLiteral("didShowOnboarding"), true);
        window.resize(MainWindow::kDefaultSize);
    }

    // The store's own empty state: the items it seeds on a first launch are put away.
    void archiveAll()
    {
        const QList<ScreenItem> items = app.store().items();
        for (const ScreenItem& item : items)
            app.store().move(item, ItemStatus::archived);
    }

    void add(const QString& sender, const QString& note, const QString& text, int minutesAgo)
    {
        ScreenItem item;
        item.id = QUuid::createUuid();
        item.receivedAt = QDateTime::currentDateTime().addSecs(-60 * minutesAgo);
        item.sender = sender;
        item.note = note;
        item.kind = ItemKind::text;
        item.text = text;
        app.store().append(item);
    }

    QTemporaryDir dir;
    platform::Defaults defaults {dir.filePath(QStringLiteral("defaults.json"))};
    MacInviteHandler invites;
    Updater updater;
    VeskerApp app {{.defaults = &defaults,
        .invites = &invites,
        .updater = &updater,
        .storeRoot = dir.filePath(QStringLiteral("Vesker")),
        .listenAddress = QHostAddress::LocalHost}};
    MainWindow window {app.store(), app.server(), invites, defaults, nullptr, &updater};
};

// The window with its open alert drawn over it, as the user sees them together.
void saveWithAlert(MainWindow& window, QMessageBox* box, const QString& name)
{
    window.show();
    QApplication::processEvents();
    QPixmap shot = window.grab();
    if (box) {
        box->adjustSize();
        const QPixmap alert = box->grab();
        QPainter painter(&shot);
        painter.fillRect(shot.rect(), QColor(0, 0, 0, 60));
        painter.drawPixmap((shot.width() - alert.width()) / 2, 120, alert);
    }
    saveImage(shot, name);
}

} // namespace

void mainWindowShots()
{
    {
        Demo demo;
        demo.archiveAll();
        save(demo.window, QStringLiteral("main-window-empty"));
    }

    Demo demo;
    demo.archiveAll();
    demo.add(QStringLiteral("Ines"), QStringLiteral("Signed delivery note"), {}, 42);
    demo.add(QStringLiteral("Ode"), QStringLiteral("Serial from the old pump"),
        QStringLiteral("SN 4471-B / rev 3"), 18);
    demo.add(QStringLiteral("Mara"), {}, QStringLiteral("Shelf 3, top: bolts M6 <b>x400</b>"), 5);
    demo.add(QStringLiteral("Arlo"), QStringLiteral("Arrived damaged?"), {}, 1);
    save(demo.window, QStringLiteral("main-window-items"));

    AccessManager& access = demo.app.server().access();
    for (int i = 0; i < 2; ++i)
        (void)access.enqueue({.id = QUuid::createUuid(),
            .deviceID = QStringLiteral("arlo-phone"),
            .deviceName = QStringLiteral("Arlo's iPhone"),
            .receivedAt = QDateTime::currentDateTimeUtc(),
            .kind = ItemKind::text,
            .text = QStringLiteral("Crate 12")});
    QApplication::processEvents();
    save(demo.window, QStringLiteral("main-window-approval"));
    access.deny(QStringLiteral("arlo-phone"));
    QApplication::processEvents();

    demo.invites.handle(QStringLiteral("vesker://invite/ABCD-EFGH"), QStringLiteral("Workshop"));
    saveWithAlert(demo.window, demo.window.inviteAlerts().confirmation(),
        QStringLiteral("invite-confirmation"));
    demo.invites.cancelPending();

    demo.invites.publishResult(
        QStringLiteral("Connected to \u201cFront desk\u201d."), QStringLiteral("Front desk"));
    saveWithAlert(
        demo.window, demo.window.inviteAlerts().resultAlert(), QStringLiteral("invite-result"));
    demo.invites.dismissResult();
}

} // namespace vesker::shots
