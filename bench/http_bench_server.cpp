// The server half of bench/http_bench: an HTTPServer on 127.0.0.1 whose handler does no work of
// its own, so that what the bench measures is the server itself. GET gets the small body the
// bench's nginx serves too; POST is answered once the whole body has arrived (the server hands a
// request on only when it is complete), which is what an upload costs us before any storing.
// With --screen it is the program's whole receive side instead (routes, uploads, store in a
// temporary folder), so that "/api/info" is measured as a phone meets it.
// With --stall it is instead the bench's crowd of stalled clients, for any server.
//
//   http_bench_server [PORT]               prints "port N" once listening, then serves until
//                                          killed
//   http_bench_server --screen             the same for the receive side, on a free port
//   http_bench_server --stall PORT COUNT   keeps COUNT connections to 127.0.0.1:PORT that each
//                                          send a request head one byte every 2 s, and opens a
//                                          new one shortly after any is closed, until killed
#include "bench_receiver.h"
#include "http/http_server.h"

#include <QCoreApplication>
#include <QHostAddress>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace vesker;

namespace {

// The same bytes as the `return 200` of the nginx configuration in bench/http_bench.
constexpr char kSmallBody[] = "Hello, world!\n";

void handle(HTTPRequest request, HTTPReplyFunction reply)
{
    const QString plain = QStringLiteral("text/plain");
    if (request.method == u"GET")
        reply({200, plain, QByteArray(kSmallBody)});
    else if (request.method == u"POST")
        reply({200, plain, QByteArrayLiteral("ok\n")});
    else
        reply({405, plain, QByteArrayLiteral("Method not allowed\n")});
}

// The clients the server must not let hold it: each sends its head a byte at a time, as slowly
// as the peers that once kept every other request at 503, and comes back when it is closed.
[[noreturn]] void stall(quint16 port, int count)
{
    using Clock = std::chrono::steady_clock;
    using namespace std::chrono_literals;
    constexpr auto kBytePeriod = 2s;
    constexpr auto kComeBack = 200ms;
    const QByteArray start = "POST /upload HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: ";

    struct Slot {
        int fd = -1;
        Clock::time_point next;
    };
    std::vector<Slot> crowd(static_cast<size_t>(count));
    std::vector<pollfd> polled(crowd.size());
    std::minstd_rand random(std::random_device {}());
    // Spread over the period, so that the crowd sends a steady trickle rather than bursts.
    const auto spread = [&] { return std::chrono::milliseconds(random() % 2000); };
    const sockaddr_in address {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    for (;;) {
        const Clock::time_point now = Clock::now();
        for (Slot& slot : crowd) {
            if (now < slot.next)
                continue;
            if (slot.fd < 0) {
                slot.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                if (::connect(slot.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address)
                        != 0
                    || ::send(slot.fd, start.constData(), size_t(start.size()), MSG_NOSIGNAL) < 0) {
                    ::close(slot.fd);
                    slot.fd = -1;
                    slot.next = now + kComeBack;
                    continue;
                }
                slot.next = now + spread();
                continue;
            }
            ::send(slot.fd, "a", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            slot.next = now + kBytePeriod;
        }
        for (size_t i = 0; i < crowd.size(); ++i)
            polled[i] = {crowd[i].fd, POLLIN, 0};
        ::poll(polled.data(), polled.size(), 20);
        for (size_t i = 0; i < crowd.size(); ++i) {
            if (polled[i].fd < 0 || !(polled[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            // A reply or a close: either way this place was taken from us; come back.
            ::close(crowd[i].fd);
            crowd[i].fd = -1;
            crowd[i].next = Clock::now() + kComeBack;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && QByteArray(argv[1]) == "--stall")
        stall(quint16(std::atoi(argv[2])), std::atoi(argv[3]));
    QCoreApplication app(argc, argv);
    if (argc == 2 && QByteArray(argv[1]) == "--screen") {
        bench::Receiver screen([](ItemStore&) {});
        std::printf("port %u\n", unsigned(screen.port()));
        std::fflush(stdout);
        return app.exec();
    }

    HTTPServerConfig config;
    config.address = QHostAddress::LocalHost;
    config.advertise = false;
    config.handler = handle;
    if (argc > 1) {
        bool ok = false;
        config.port = QByteArray(argv[1]).toInt(&ok);
        if (!ok) {
            std::fprintf(stderr, "usage: %s [PORT]\n", argv[0]);
            return 2;
        }
    }

    HTTPServer server(config);
    if (const std::optional<HTTPServerError> error = server.start({})) {
        std::fprintf(
            stderr, "http_bench_server: cannot listen: %s\n", qPrintable(error->description));
        return 1;
    }
    std::printf("port %u\n", unsigned(server.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
