#include "shots.h"

#include "demo_server.h"
#include "platform/thumbnail_loader.h"
#include "screens/remote_screens_manager.h"
#include "send/screen_directory.h"
#include "send/send_sheet.h"
#include "send/uploader.h"

#include <QEventLoop>
#include <QImage>
#include <QJsonArray>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTcpServer>
#include <QTimer>

namespace vesker::shots {

namespace {

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QString demoPhoto(const QString& path, QColor sky)
{
    QImage photo(800, 600, QImage::Format_RGB32);
    photo.fill(sky);
    QPainter painter(&photo);
    painter.fillRect(0, 380, 800, 220, QColor(0x4b, 0x7a, 0x3c));
    painter.setBrush(QColor(0xf5, 0xd0, 0x4c));
    painter.drawEllipse(560, 80, 120, 120);
    painter.end();
    photo.save(path, "JPEG");
    return path;
}

DiscoveredScreen at(const QString& name, quint16 port)
{
    return {.name = name, .endpoint = {QStringLiteral("127.0.0.1"), port}};
}

} // namespace

void sendSheetShots()
{
    DemoServer receiver;
    QTemporaryDir dir;
    platform::Defaults settings(
        dir.filePath(QStringLiteral("sender.json")), platform::Clock::system());
    settings.setStringMap(QString::fromLatin1(ScreenDirectory::kNicknamesKey),
        {{QStringLiteral("Studio"), QStringLiteral("Front desk")}});
    settings.set(QString::fromLatin1(ScreenDirectory::kGroupsKey),
        QJsonArray {ScreenGroup {.name = QStringLiteral("Shop floor"),
            .members
            = {QStringLiteral("Studio"), QStringLiteral("Kitchen"), QStringLiteral("Till")}}
                        .toJson()});
    ScreenDirectory directory(settings);
    const quint16 port = ServerController::port(receiver.defaults);
    // Two screens typed in by address: the demo screen, and one whose computer is off.
    QTcpServer off;
    off.listen(QHostAddress::LocalHost, 0);
    const quint16 offPort = off.serverPort();
    off.close();
    const auto typed = [](const char* id, const QString& name, const QString& url) {
        return QJsonObject {{QStringLiteral("id"), QLatin1String(id)},
            {QStringLiteral("name"), name}, {QStringLiteral("url"), url}};
    };
    settings.set(QString::fromLatin1(RemoteScreensManager::kScreensKey),
        QJsonArray {typed("5d0c1a7e-2b3f-4c5d-8e9f-0a1b2c3d4e5f", QStringLiteral("Upstairs office"),
                        QStringLiteral("127.0.0.1:%1").arg(port)),
            typed("6e1d2b8f-3c4a-4d5e-9f0a-1b2c3d4e5f6a", QStringLiteral("Warehouse"),
                QStringLiteral("127.0.0.1:%1").arg(offPort))});
    RemoteScreensManager remote(&settings, platform::Clock::system());
    Uploader uploader({.deviceID = QStringLiteral("SHOTS"), .deviceName = QStringLiteral("Desk")});
    ThumbnailLoader thumbnails;
    auto make = [&](const QList<OutgoingItem>& items, Uploader* from = nullptr) {
        auto sheet = std::make_unique<SendSheet>(items,
            SendSheet::Services {.session = {.defaults = settings,
                                     .uploader = from ? from : &uploader,
                                     .directory = &directory,
                                     .clock = platform::Clock::system(),
                                     .screenName = [] { return QStringLiteral("Desk"); }},
                .thumbnails = &thumbnails,
                .remote = &remote,
                .discover = false});
        sheet->resize(600, 640);
        return sheet;
    };

    auto empty = make({});
    save(*empty, QStringLiteral("send-sheet-empty"));

    const QList<OutgoingItem> items {
        {.imageURL = QUrl::fromLocalFile(
             demoPhoto(dir.filePath(QStringLiteral("beach.jpg")), QColor(0x7e, 0xb6, 0xe6)))},
        {.imageURL = QUrl::fromLocalFile(
             demoPhoto(dir.filePath(QStringLiteral("dusk.jpg")), QColor(0xe0, 0x8a, 0x5c)))},
        {.text = QStringLiteral("Table 4 wants the bill & two coffees\nthen the dessert menu")},
    };
    for (int i = 0; i < 50 && !receiver.controller.isRunning(); ++i)
        wait(100);
    auto full = make(items);
    full->session().setDiscovered({at(QStringLiteral("Kitchen"), port),
        at(QStringLiteral("Studio"), port), at(QStringLiteral("Office <b>2</b>"), port)});
    full->session().setSelected({QStringLiteral("Kitchen"), QStringLiteral("Studio")});
    full->findChild<QLineEdit*>(QStringLiteral("sendNote"))->setText(QStringLiteral("For tonight"));
    full->show();
    wait(600);
    save(*full, QStringLiteral("send-sheet-items"));

    // A screen that takes the upload and never answers holds the send in the middle.
    QTcpServer silent;
    silent.listen(QHostAddress::LocalHost, 0);
    auto sending = make(items);
    sending->session().setDiscovered({at(QStringLiteral("Kitchen"), silent.serverPort())});
    sending->show();
    wait(300);
    sending->findChild<QPushButton*>(QStringLiteral("sendButton"))->click();
    wait(300);
    save(*sending, QStringLiteral("send-sheet-sending"));
    sending->reject();

    auto done = make(items);
    done->session().setDiscovered({at(QStringLiteral("Kitchen"), port)});
    done->show();
    done->findChild<QPushButton*>(QStringLiteral("sendButton"))->click();
    // Caught in the moment between the last arrival and the sheet closing by itself.
    for (int i = 0; i < 100 && done->session().results().isEmpty(); ++i)
        wait(20);
    save(*done, QStringLiteral("send-sheet-done"));

    // A screen that wants its access code asks a computer it has not met yet.
    receiver.defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("code"));
    receiver.defaults.set(QStringLiteral("accessCode"), QStringLiteral("424242"));
    Uploader stranger(
        {.deviceID = QStringLiteral("SHOTS-2"), .deviceName = QStringLiteral("Desk")});
    auto code = make(items, &stranger);
    code->session().setDiscovered({at(QStringLiteral("Kitchen"), port)});
    code->show();
    code->findChild<QPushButton*>(QStringLiteral("sendButton"))->click();
    for (int i = 0; i < 100 && !code->session().codePromptFor(); ++i)
        wait(20);
    wait(100);
    save(*code, QStringLiteral("send-sheet-code"));
    code->reject();
}

} // namespace vesker::shots
