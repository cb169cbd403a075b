// The main window from demo state in a temporary folder: empty, with a few items, asking about
// waiting devices (two, then five) and about phones waiting to send through it, and the two
// questions of an opened invite link.
#include "shots.h"

#include "access/access_manager.h"
#include "app/main_window.h"
#include "app/vesker_app.h"
#include "card/item_row.h"
#include "connect/invite_alerts_view.h"
#include "connect/invite_handler.h"
#include "focus_guard/focus_guard.h"
#include "help/help_window.h"
#include "inbox/card_list_view.h"
#include "inbox/content_view.h"
#include "inbox/inbox_state.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/desktop_notifications.h"
#include "platform/display_wake.h"
#include "platform/workspace.h"
#include "receive/server_controller.h"
#include "screens/remote_screens_manager.h"
#include "store/item_store.h"
#include "store/store_seeding.h"
#include "update/updater.h"
#include "window/window_manager.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QFile>
#include <QMessageBox>
#include <QPainter>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

namespace vesker::shots {

namespace {

// The shots have no window manager and nothing else runs: nothing holds an arrival back.
class NothingElseRunning final : public platform::Workspace {
public:
    QList<platform::RunningApplication> runningApplications() override { return {}; }
    QString frontmostBundleId() override { return {}; }
    QString iconName(const QString&) override { return {}; }
};

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
        item.text = text.toUtf8();
        app.store().append(item);
    }

    QTemporaryDir dir;
    const platform::Clock& clock = platform::Clock::system();
    platform::Defaults defaults {dir.filePath(QStringLiteral("defaults.json")), clock};
    platform::Defaults groupDefaults {dir.filePath(QStringLiteral("group.json")), clock};
    // On a bus connection never opened: no banner leaves the shot.
    platform::DesktopNotifications notifications {QDBusConnection(QStringLiteral("shots"))};
    NothingElseRunning workspace;
    FocusGuard focusGuard {defaults, workspace};
    platform::DisplayWake wake;
    WindowManager windows {defaults, wake};
    VeskerApp app {{.defaults = defaults,
        .groupDefaults = groupDefaults,
        .clock = clock,
        .notifications = notifications,
        .networkAddresses = demoAddresses,
        .storeRoot = dir.filePath(QStringLiteral("Vesker")),
        .updates = {.manifestUrl = QUrl()},
        .listenAddress = QHostAddress::LocalHost}};
    InviteHandler& invites = app.invites();
    HelpWindowController help {app.helpSelection(), defaults};
    MainWindow window {{.store = app.store(),
        .server = app.server(),
        .invites = invites,
        .defaults = defaults,
        .groupDefaults = groupDefaults,
        .clock = clock,
        .windows = windows,
        .focusGuard = focusGuard,
        .updater = app.updater(),
        .thumbnails = app.thumbnails(),
        .permissions = app.permissions(),
        .directory = app.directory(),
        .relayBook = app.relayBook(),
        .usage = app.usage(),
        .help = help}};
};

// The window with its open alert drawn over it, as the user sees them together.
void saveWithAlert(MainWindow& window, QWidget* box, const QString& name)
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

// A photo as a phone would send it: a label on a parcel, a shelf, a whiteboard.
QByteArray demoPhoto(const QColor& background, const QString& text, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(background);
    QPainter painter(&image);
    painter.setBrush(QColor(250, 248, 240));
    painter.setPen(Qt::NoPen);
    const QRect label(size.width() / 6, size.height() / 4, size.width() * 2 / 3, size.height() / 2);
    painter.drawRoundedRect(label, 18, 18);
    painter.setPen(Qt::black);
    QFont font;
    font.setPixelSize(size.height() / 14);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(label, Qt::AlignCenter | Qt::TextWordWrap, text);
    painter.end();
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return data;
}

void addPhoto(
    Demo& demo, const QString& sender, const QString& note, const QByteArray& jpeg, int minutesAgo)
{
    ScreenItem item;
    item.id = QUuid::createUuid();
    item.receivedAt = QDateTime::currentDateTime().addSecs(-60 * minutesAgo);
    item.sender = sender;
    item.note = note;
    item.kind = ItemKind::photo;
    item.filename = ItemStore::storedFileName(item.receivedAt, item.id, QStringLiteral("jpg"));
    QFile file(demo.app.store().fileURL(item));
    if (file.open(QIODevice::WriteOnly))
        file.write(jpeg);
    file.close();
    demo.app.store().append(item);
}

// Lets thumbnails decode on their pool and reach the cards before the picture is taken.
void settle()
{
    for (int i = 0; i < 30; ++i) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
}

void saveSettled(QWidget& window, const QString& name)
{
    window.show();
    settle();
    save(window, name);
}

ContentView& content(Demo& demo)
{
    return demo.window.content();
}

} // namespace

void mainWindowShots()
{
    {
        Demo demo;
        // What a first launch finds: the getting-started texts.
        const QStringList welcome = welcomeTexts();
        for (qsizetype i = welcome.size() - 1; i >= 0; --i)
            demo.add(QStringLiteral("Vesker"), QStringLiteral("Getting started"), welcome.at(i), 0);
        saveSettled(demo.window, QStringLiteral("main-window-welcome"));
        demo.archiveAll();
        saveSettled(demo.window, QStringLiteral("main-window-empty"));
        content(demo).state().setTab(ItemStatus::later);
        saveSettled(demo.window, QStringLiteral("main-window-later-empty"));
        content(demo).state().setTab(ItemStatus::archived);
        content(demo).state().setSearch(QStringLiteral("nothing like this"));
        saveSettled(demo.window, QStringLiteral("main-window-no-results"));
    }
    {
        Demo demo;
        const QList<ScreenItem> items = demo.app.store().items();
        for (const ScreenItem& item : items)
            demo.app.store().delete_(item.id);
        demo.window.content().state().setTab(ItemStatus::archived);
        saveSettled(demo.window, QStringLiteral("main-window-archive-empty"));
    }

    Demo demo;
    demo.archiveAll();
    demo.add(QStringLiteral("Mara"), {}, QStringLiteral("Shelf 3, top: bolts M6 <b>x400</b>"), 50);
    addPhoto(demo, QStringLiteral("Ines"), QStringLiteral("Signed delivery note"),
        demoPhoto(QColor(70, 90, 120), QStringLiteral("DELIVERY NOTE\nNo. 20931"), {1600, 1200}),
        42);
    addPhoto(demo, QStringLiteral("Ode"), QStringLiteral("Serial from the old pump"),
        demoPhoto(QColor(120, 100, 70), QStringLiteral("SN 4471-B\nrev 3"), {1200, 1600}), 18);
    addPhoto(demo, QStringLiteral("Arlo"), {},
        demoPhoto(QColor(60, 110, 80), QStringLiteral("Crate 12\nFRAGILE"), {1600, 1200}), 1);
    saveSettled(demo.window, QStringLiteral("main-window-photos-large"));
    content(demo).state().setViewMode(ViewMode::compact);
    saveSettled(demo.window, QStringLiteral("main-window-photos-compact"));
    demo.window.resize(MainWindow::kMinimumSize.width(), MainWindow::kDefaultSize.height());
    saveSettled(demo.window, QStringLiteral("main-window-narrow"));
    demo.window.resize(MainWindow::kDefaultSize);
    content(demo).state().setViewMode(ViewMode::large);
    content(demo).state().setSimpleMode(true);
    saveSettled(demo.window, QStringLiteral("main-window-simple"));
    content(demo).state().setSimpleMode(false);

    AccessManager& access = demo.app.server().access();
    (void)access.enqueue({.id = QUuid::createUuid(),
        .deviceID = QStringLiteral("arlo-phone"),
        .deviceName = QStringLiteral("Arlo's iPhone"),
        .receivedAt = QDateTime::currentDateTimeUtc(),
        .kind = ItemKind::photo,
        .imageData = demoPhoto(QColor(60, 110, 80), QStringLiteral("Crate 13"), {800, 600}),
        .fileExtension = QStringLiteral("jpg")});
    for (int i = 0; i < 2; ++i)
        (void)access.enqueue({.id = QUuid::createUuid(),
            .deviceID = QStringLiteral("dock-tablet"),
            .deviceName = QStringLiteral("Dock <b>tablet</b> & scanner"),
            .receivedAt = QDateTime::currentDateTimeUtc(),
            .kind = ItemKind::text,
            .text = QStringLiteral("Crate 12")});
    saveSettled(demo.window, QStringLiteral("main-window-approval"));
    access.deny(QStringLiteral("arlo-phone"));
    access.deny(QStringLiteral("dock-tablet"));
    settle();

    // Five phones at once: three cards in view, the stack scrolls to the other two.
    QStringList phones;
    for (const char* name : {"Mara's Pixel", "Ines's iPhone", "Till's tablet", "Ode", "Arlo"}) {
        phones.append(QString::fromUtf8(name));
        (void)access.enqueue({.id = QUuid::createUuid(),
            .deviceID = phones.last(),
            .deviceName = phones.last(),
            .receivedAt = QDateTime::currentDateTimeUtc(),
            .kind = ItemKind::text,
            .text = QStringLiteral("Crate 14")});
    }
    saveSettled(demo.window, QStringLiteral("main-window-approval-five"));
    for (const QString& phone : std::as_const(phones))
        access.deny(phone);
    settle();

    // More phones wait to send to a shared screen than the prompt shows cards for.
    RemoteScreensManager& remote = demo.app.server().remote();
    const QUuid office = QUuid::createUuid();
    QStringList relayed;
    for (const char* name : {"Mara's Pixel", "Ines's iPhone", "Till's tablet", "Ode", "Arlo"}) {
        const RelayRequest request {.screenID = office,
            .screenName = QStringLiteral("Office"),
            .deviceID = QString::fromUtf8(name),
            .deviceName = QString::fromUtf8(name),
            .body = "hello",
            .path = QStringLiteral("/text")};
        if (remote.hold(request))
            relayed.append(request.key());
    }
    saveSettled(demo.window, QStringLiteral("main-window-relay-approval"));
    for (const QString& key : std::as_const(relayed))
        remote.deny(key);
    settle();

    if (auto* connect = demo.window.findChild<QAbstractButton*>(QStringLiteral("connectButton")))
        connect->click();
    settle();
    saveWithAlert(demo.window, content(demo).currentSheet(), QStringLiteral("main-window-connect"));
    if (QDialog* sheet = content(demo).currentSheet())
        sheet->reject();
    settle();

    // The newest card's photo: the list reuses card widgets, so the first one made may show any.
    CardListView& list = content(demo).cardList();
    if (auto* card = list.items().isEmpty()
            ? nullptr
            : qobject_cast<ItemRow*>(list.cardFor(list.items().first().id)))
        Q_EMIT card->previewRequested();
    settle();
    saveWithAlert(demo.window, content(demo).currentSheet(), QStringLiteral("main-window-preview"));
    if (QDialog* sheet = content(demo).currentSheet())
        sheet->reject();
    settle();

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
