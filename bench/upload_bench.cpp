// Photo uploads of about 5 MB through the whole road: socket, parser, access policy, the file
// written, the item appended to a store of 1,000 items and its index saved, the reply. Prints
// uploads per second and the time from the last byte sent to the reply. Recognition of each
// photo starts after its reply, as it does in the program, and competes for the processor.
#include "connect/mac_invite_handler.h"
#include "platform/defaults.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "server/server_controller.h"
#include "store/item_store.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

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

constexpr int kStoredItems = 1000;
constexpr int kUploads = 20;

QByteArray makePhoto()
{
    // Noise over a gradient compresses about as badly as a real photo of a busy scene.
    QImage image(4000, 3000, QImage::Format_RGB32);
    auto* random = QRandomGenerator::global();
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int noise = int(random->bounded(64));
            line[x] = qRgb((x / 16 + noise) & 255, (y / 12 + noise) & 255, (x + y + noise) & 255);
        }
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 80);
    return jpeg;
}

struct Timing {
    double replyMs = 0;
    bool ok = false;
};

// One upload over a blocking socket; the reply time is taken from the moment the last byte
// was handed to the kernel to the first byte of the reply.
Timing uploadOnce(quint16 port, const QByteArray& photo, int n)
{
    Timing timing;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return timing;
    }
    const QByteArray request
        = "POST /upload HTTP/1.1\r\nHost: bench\r\nContent-Type: image/jpeg\r\n"
          "X-Sender: Bench\r\nX-Device: bench\r\nX-Item-Id: bench-"
        + QByteArray::number(n) + "\r\nContent-Length: " + QByteArray::number(photo.size())
        + "\r\n\r\n" + photo;
    qsizetype sent = 0;
    while (sent < request.size()) {
        const ssize_t w = ::send(fd, request.constData() + sent, size_t(request.size() - sent), 0);
        if (w <= 0)
            break;
        sent += w;
    }
    const auto lastByte = std::chrono::steady_clock::now();
    char reply[512];
    const ssize_t r = ::recv(fd, reply, sizeof reply, 0);
    const auto firstReply = std::chrono::steady_clock::now();
    timing.replyMs = std::chrono::duration<double, std::milli>(firstReply - lastByte).count();
    timing.ok = r > 12 && std::string(reply, size_t(r)).rfind("HTTP/1.1 200", 0) == 0;
    ::close(fd);
    return timing;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("vesker.*.info=false\nvesker.*.debug=false"));
    QTemporaryDir dir;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    ItemStore store(dir.filePath(QStringLiteral("store")), &defaults);
    {
        const SaveBatch batch(store);
        for (int i = 0; i < kStoredItems; ++i) {
            ScreenItem item;
            item.id = QUuid::createUuid();
            item.receivedAt = QDateTime::currentDateTimeUtc().addSecs(-i);
            item.filename
                = ItemStore::storedFileName(item.receivedAt, item.id, QStringLiteral("jpg"));
            item.sender = QStringLiteral("Phone %1").arg(i % 9);
            item.recognizedText = QStringLiteral("Order %1 ships to 1 Main Street").arg(i);
            store.append(item);
        }
    }
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    defaults.set(QStringLiteral("serverPort"), probe.serverPort());
    probe.close();
    defaults.set(QStringLiteral("advertiseOnNetwork"), false);

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

    const QByteArray photo = makePhoto();
    std::vector<Timing> timings;
    double totalSeconds = 0;
    std::thread client([&] {
        QElapsedTimer total;
        total.start();
        for (int i = 0; i < kUploads; ++i)
            timings.push_back(uploadOnce(port, photo, i));
        totalSeconds = total.nsecsElapsed() / 1e9;
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    client.join();

    std::vector<double> replies;
    int ok = 0;
    for (const Timing& t : timings) {
        replies.push_back(t.replyMs);
        ok += t.ok;
    }
    std::sort(replies.begin(), replies.end());
    std::printf("photo size:                       %.2f MB\n", photo.size() / 1e6);
    std::printf("store before the run:             %d items\n", kStoredItems);
    std::printf("uploads answered 200:             %d of %d (items in store: %lld)\n", ok, kUploads,
        qlonglong(store.items().size()));
    std::printf("uploads per second:               %.2f (%.1f MB/s)\n", kUploads / totalSeconds,
        kUploads * photo.size() / 1e6 / totalSeconds);
    std::printf(
        "last byte to reply, median (ms):  %.1f   goal <= 100\n", replies[replies.size() / 2]);
    std::printf("last byte to reply, max (ms):     %.1f\n", replies.back());
    return ok == kUploads ? 0 : 1;
}
