// What the whole-road benchmarks share: a photo that compresses like a real one, one request
// timed over a blocking socket, and the real receive side (store, controller and HTTP server on
// 127.0.0.1) over a temporary folder.
#pragma once

#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/desktop_notifications.h"
#include "receive/server_controller.h"
#include "relay_manager/relay_manager.h"
#include "relay_manager/sibling_sync.h"
#include "store/item_store.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vesker::bench {

// Noise over a gradient compresses about as badly as a real photo of a busy scene.
inline QByteArray noisyJpeg(int width, int height, int noise)
{
    QImage image(width, height, QImage::Format_RGB32);
    auto* random = QRandomGenerator::global();
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = int(random->bounded(noise));
            line[x] = qRgb((x / 16 + n) & 255, (y / 12 + n) & 255, (x + y + n) & 255);
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

// One request over a blocking socket to 127.0.0.1; reads the reply to its end.
inline Reply exchange(quint16 port, const QByteArray& request)
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

inline QByteArray photoUpload(const QByteArray& photo, const QByteArray& extraHeaders = {})
{
    return "POST /upload HTTP/1.1\r\nHost: bench\r\nContent-Type: image/jpeg\r\n"
           "X-Sender: Bench\r\nX-Device: bench\r\n"
        + extraHeaders + "Content-Length: " + QByteArray::number(photo.size()) + "\r\n\r\n" + photo;
}

// Runs `client` on a thread of its own while the event loop serves it, and returns when it is
// done: the server answers on the loop this thread runs.
template <typename Client> void runClient(Client client)
{
    std::thread thread([&] {
        client();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    thread.join();
}

// The receive side of the program over a store filled by `fill` (in one index write), on a
// free port of 127.0.0.1, not advertised.
class Receiver {
public:
    explicit Receiver(const std::function<void(ItemStore&)>& fill, const QVariantMap& settings = {})
    {
        {
            const SaveBatch batch(store);
            fill(store);
        }
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        defaults.set(QStringLiteral("serverPort"), probe.serverPort());
        probe.close();
        defaults.set(QStringLiteral("advertiseOnNetwork"), false);
        for (auto it = settings.begin(); it != settings.end(); ++it)
            defaults.set(it.key(), QJsonValue::fromVariant(it.value()));
        controller = std::make_unique<ServerController>(store,
            ServerControllerServices {.defaults = defaults,
                .clock = clock,
                .relay = relay,
                .sync = sync,
                .notifications = notifications,
                .listenAddress = QHostAddress::LocalHost});
    }

    quint16 port() const { return ServerController::port(defaults); }

    QTemporaryDir dir;
    const platform::Clock& clock = platform::Clock::system();
    platform::Defaults defaults {dir.filePath(QStringLiteral("defaults.json")), clock};
    ItemStore store {dir.filePath(QStringLiteral("store")), defaults, clock};
    RelayManager relay {defaults};
    SiblingSync sync;
    // The desktop's own, as the program posts to it on every arrival.
    platform::DesktopNotifications notifications;
    std::unique_ptr<ServerController> controller;
};

} // namespace vesker::bench
