// The tray panel from a demo store: empty, with six items of every kind, with arrivals held
// back; and the tray icon at the Inbox counts it shows most.
#include "shots.h"

#include "demo_server.h"
#include "focus_guard/focus_guard.h"
#include "platform/thumbnail_loader.h"
#include "platform/workspace.h"
#include "send/capture_overlay_view.h"
#include "send/screen_capture.h"
#include "tray/tray_icon_view.h"
#include "tray/tray_panel.h"
#include "tray/tray_panel_model.h"

#include <QApplication>
#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QTcpServer>
#include <QThread>

namespace vesker::shots {

namespace {

// A desktop where a slide show is in front.
class SlidesInFront final : public platform::Workspace {
public:
    QList<platform::RunningApplication> runningApplications() override { return {}; }
    QString frontmostBundleId() override { return QStringLiteral("org.example.Slides"); }
    QString iconName(const QString&) override { return {}; }
};

struct TrayDemo {
    TrayDemo()
    {
        // The default port may be taken on this machine; the dot is to show a running server.
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        demo.defaults.set(QStringLiteral("serverPort"), probe.serverPort());
        probe.close();
        demo.controller.restart();
    }

    void add(ItemKind kind, const QString& sender, int minutesAgo, const QString& text = {},
        const QString& note = {}, const QStringList& barcodes = {}, QColor colour = {})
    {
        ScreenItem item {.id = QUuid::createUuid(),
            .receivedAt = QDateTime::currentDateTime().addSecs(-60 * minutesAgo),
            .note = note,
            .sender = sender,
            .kind = kind,
            .text = text.toUtf8(),
            .barcodes = barcodes};
        if (kind == ItemKind::photo) {
            QImage photo(900, 600, QImage::Format_RGB32);
            QPainter painter(&photo);
            QLinearGradient light(0, 0, 900, 600);
            light.setColorAt(0, colour.lighter(150));
            light.setColorAt(1, colour);
            painter.fillRect(photo.rect(), light);
            painter.fillRect(QRect(250, 150, 400, 300), QColor(0xf4, 0xf1, 0xea));
            painter.end();
            item.filename = uuidText(item.id) + QStringLiteral(".jpg");
            photo.save(QDir(demo.store.inboxDir()).filePath(item.filename), "JPEG", 85);
        }
        demo.store.append(item);
    }

    void shoot(const QString& name)
    {
        TrayPanel panel({.model = model, .thumbnails = thumbnails, .capture = capture});
        panel.popUpNear(QRect(600, 0, 24, 24));
        // Thumbnails arrive from the loader's pool, the server's state from its thread.
        for (int i = 0; i < 60; ++i) {
            QThread::msleep(20);
            QApplication::processEvents();
        }
        save(panel, name);
    }

    DemoServer demo;
    SlidesInFront workspace;
    FocusGuard focus {demo.defaults, workspace};
    TrayPanelModel model {demo.store, &demo.controller, focus};
    ThumbnailLoader thumbnails;
    ScreenCapture capture;
};

void iconShots()
{
    const int counts[] = {0, 1, 42};
    QPixmap strip(3 * 160 + 20, 2 * 180);
    QPainter painter(&strip);
    // A light and a dark panel: the icon must read on both.
    painter.fillRect(QRect(0, 0, strip.width(), 180), QColor(0xee, 0xee, 0xee));
    painter.fillRect(QRect(0, 180, strip.width(), 180), QColor(0x22, 0x22, 0x22));
    for (int row = 0; row < 2; ++row) {
        for (int i = 0; i < 3; ++i) {
            const int x = 20 + i * 160;
            painter.drawPixmap(x, row * 180 + 10, TrayIcon::iconPixmap(counts[i], 128));
            painter.drawPixmap(x + 52, row * 180 + 148, TrayIcon::iconPixmap(counts[i], 22));
        }
    }
    painter.end();
    saveImage(strip, QStringLiteral("tray_icon_counts"));
}

} // namespace

void trayShots()
{
    {
        TrayDemo empty;
        empty.shoot(QStringLiteral("tray_panel_empty"));
    }
    TrayDemo demo;
    // Photos from this sender are hidden in the Inbox, and so blurred here.
    demo.demo.defaults.set(QStringLiteral("blurSenders"), QStringLiteral("Pixel 8"));
    demo.demo.defaults.setStringMap(
        QStringLiteral("senderAliases"), {{QStringLiteral("iPhone (4)"), QStringLiteral("Ana")}});
    demo.add(ItemKind::photo, QStringLiteral("Pixel 8"), 240, {}, {}, {}, QColor(0x5a, 0x7d, 0x4a));
    demo.add(ItemKind::pdf, QStringLiteral("Ben's laptop"), 95);
    demo.add(ItemKind::photo, QStringLiteral("iPhone (4)"), 41, {}, QStringLiteral("Shelf 3, left"),
        {}, QColor(0x3a, 0x6e, 0xa5));
    demo.add(ItemKind::text, QStringLiteral("Ben's laptop"), 22,
        QStringLiteral("Pick up the parcel before five, the desk closes early on Fridays"));
    demo.add(ItemKind::photo, QStringLiteral("iPhone (4)"), 9, {}, {},
        {QStringLiteral("QR https://example.com/parcel/48213"),
            QStringLiteral("EAN-13 4006381333931")},
        QColor(0xc0, 0x6a, 0x3c));
    demo.add(ItemKind::text, QStringLiteral("iPhone (4)"), 2, QStringLiteral("Door code 4471"));
    demo.shoot(QStringLiteral("tray_panel_items"));

    demo.focus.addRule(QStringLiteral("org.example.Slides"), QStringLiteral("Slides"),
        FocusGuard::Trigger::frontmost);
    demo.focus.setHeldBack(2);
    demo.shoot(QStringLiteral("tray_panel_waiting"));
    demo.focus.setDoNotDisturb(true);
    demo.focus.setHeldBack(3);
    demo.shoot(QStringLiteral("tray_panel_do_not_disturb"));
    iconShots();
}

} // namespace vesker::shots
