// The browser screen of a busy Inbox: 1,000 photo items on disk behind the real controller and
// HTTP server on 127.0.0.1. Prints the item list's reply time, a thumbnail made and then served
// from the cache, and an upload's reply time while 20 thumbnails are being made.
#include "connect/mac_invite_handler.h"
#include "platform/defaults.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "server/server_controller.h"
#include "store/item_store.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vesker;

namespace {

constexpr int kItems = 1000;
constexpr int kListRequests = 50;
constexpr int kConcurrentThumbnails = 20;

QByteArray makePhoto(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    auto* random = QRandomGenerator::global();
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = int(random->bounded(32));
            line[x] = qRgb((x / 8 + noise) & 255, (y / 6 + noise) & 255, (x + y) & 255);
        }
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 80);
    return jpeg;
}

struct Reply {
    double ms = 0; // from the last byte sent to the first byte of the reply
    int status = 0;
};

// One request over a blocking socket; reads the reply to its end.
Reply exchange(quint16 port, const QByteArray& request)
{
    Reply result;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return result;
    }
    qsizetype sent = 0;
    while (sent < request.size()) {
        const ssize_t w = ::send(fd, request.constData() + sent, size_t(request.size() - sent), 0);
        if (w <= 0)
            break;
        sent += w;
    }
    const auto lastByte = std::chrono::steady_clock::now();
    char buffer[65536];
    ssize_t r = ::recv(fd, buffer, sizeof buffer, 0);
    result.ms
        = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - lastByte)
              .count();
    if (r > 12)
        result.status = std::atoi(buffer + 9);
    while (r > 0)
        r = ::recv(fd, buffer, sizeof buffer, 0);
    ::close(fd);
    return result;
}

QByteArray get(const QByteArray& path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: bench\r\n\r\n";
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("vesker.*.info=false\nvesker.*.debug=false"));
    QTemporaryDir dir;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    ItemStore store(dir.filePath(QStringLiteral("store")), &defaults);
    QDir().mkpath(store.inboxDir());
    const QByteArray stored = makePhoto(1600, 1200);
    QList<QByteArray> ids;
    {
        const SaveBatch batch(store);
        for (int i = 0; i < kItems; ++i) {
            ScreenItem item;
            item.id = QUuid::createUuid();
            item.receivedAt = QDateTime::currentDateTimeUtc().addSecs(-i);
            item.filename
                = ItemStore::storedFileName(item.receivedAt, item.id, QStringLiteral("jpg"));
            item.sender = QStringLiteral("Phone %1").arg(i % 9);
            item.note = QStringLiteral("Shelf %1").arg(i);
            QFile file(store.fileURL(item));
            if (file.open(QIODevice::WriteOnly))
                file.write(stored);
            store.append(item);
            ids.append(item.id.toString(QUuid::WithoutBraces).toUpper().toLatin1());
        }
    }
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    defaults.set(QStringLiteral("serverPort"), probe.serverPort());
    probe.close();
    defaults.set(QStringLiteral("advertiseOnNetwork"), false);
    defaults.set(QStringLiteral("allowBrowserScreens"), true);

    RelayManager relay(defaults);
    SiblingSync sync;
    MacInviteHandler invites;
    ServerControllerServices services;
    services.defaults = &defaults;
    services.relay = &relay;
    services.sync = &sync;
    services.invites = &invites;
    services.listenAddress = QHostAddress::LocalHost;
    ServerController controller(store, services);
    const quint16 port = ServerController::port(defaults);

    const QByteArray upload = makePhoto(2000, 1500);
    std::vector<double> lists;
    Reply firstThumb, cachedThumb, uploadReply;
    std::vector<Reply> busyThumbs(kConcurrentThumbnails);
    std::thread client([&] {
        for (int i = 0; i < kListRequests; ++i)
            lists.push_back(exchange(port, get("/api/items")).ms);
        firstThumb = exchange(port, get("/api/thumb/" + ids[0]));
        cachedThumb = exchange(port, get("/api/thumb/" + ids[0]));

        std::vector<std::thread> thumbs;
        for (int i = 0; i < kConcurrentThumbnails; ++i) {
            thumbs.emplace_back([&, i] {
                busyThumbs[size_t(i)] = exchange(port, get("/api/thumb/" + ids[i + 1]));
            });
        }
        // Let the thumbnail requests reach the server before the upload does.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        uploadReply = exchange(port,
            "POST /upload HTTP/1.1\r\nHost: bench\r\nContent-Type: image/jpeg\r\n"
            "X-Sender: Bench\r\nX-Device: bench\r\nContent-Length: "
                + QByteArray::number(upload.size()) + "\r\n\r\n" + upload);
        for (std::thread& t : thumbs)
            t.join();
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    client.join();

    std::vector<double> busy;
    int busyOk = 0;
    for (const Reply& r : busyThumbs) {
        busy.push_back(r.ms);
        busyOk += r.status == 200;
    }
    std::printf("inbox items:                          %d (%.0f kB JPEG each)\n", kItems,
        stored.size() / 1e3);
    std::printf("/api/items median reply (ms):         %.1f   goal < 20\n", median(lists));
    std::printf("first thumbnail (ms):                 %.1f (status %d)\n", firstThumb.ms,
        firstThumb.status);
    std::printf("same thumbnail again, cached (ms):    %.2f (status %d)\n", cachedThumb.ms,
        cachedThumb.status);
    std::printf("upload while %d thumbnails made (ms): %.1f (status %d, %.2f MB)   goal < 100\n",
        kConcurrentThumbnails, uploadReply.ms, uploadReply.status, upload.size() / 1e6);
    std::printf("those thumbnails, median / max (ms):  %.1f / %.1f (%d of %d answered 200)\n",
        median(busy), *std::max_element(busy.begin(), busy.end()), busyOk, kConcurrentThumbnails);
    return 0;
}
