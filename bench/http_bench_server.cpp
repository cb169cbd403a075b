// The server half of bench/http_bench: an HTTPServer on 127.0.0.1 whose handler does no work of
// its own, so that what the bench measures is the server itself. GET gets the small body the
// bench's nginx serves too; POST is answered once the whole body has arrived (the server hands a
// request on only when it is complete), which is what an upload costs us before any storing.
//
//   http_bench_server [PORT]    prints "port N" once listening, then serves until killed
#include "server/http_server.h"

#include <QCoreApplication>
#include <QHostAddress>

#include <cstdio>
#include <optional>

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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);

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
