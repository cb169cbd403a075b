// A web service on 127.0.0.1 that answers every request with the same bytes, as a stand-in
// for the maker's manifest host.
#pragma once

#include "app/updater.h"
#include "platform/defaults.h"
#include "support/manual_clock.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace vesker::test {

class ManifestServer : public QTcpServer {
public:
    // Empty: the connection is closed without an answer.
    QByteArray reply;

    ManifestServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                if (!socket->readAll().contains("\r\n\r\n"))
                    return;
                socket->write(reply);
                socket->disconnectFromHost();
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        });
    }

    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/mac/latest.json").arg(serverPort()));
    }

    static QByteArray answer(const QByteArray& status, const QByteArray& body)
    {
        return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\nConnection: close\r\n\r\n" + body;
    }
    static QByteArray manifest(const QByteArray& version, const QByteArray& extra = {})
    {
        return answer("200 OK",
            "{\"version\":\"" + version + "\",\"url\":\"https://www.vesker.example/get\"" + extra
                + "}");
    }
};

// An updater on 2.0 that asks the server above, with its own settings and a still clock.
struct UpdaterFixture {
    QTemporaryDir dir;
    platform::Defaults defaults {dir.filePath(QStringLiteral("defaults.json"))};
    ManualClock clock;
    ManifestServer server;
    Updater updater {defaults,
        {.manifestUrl = server.url(), .currentVersion = QStringLiteral("2.0"), .clock = &clock}};

    UpdateStatus::State checked(bool userInitiated = false)
    {
        updater.check(userInitiated);
        QTest::qWaitFor(
            [this] { return updater.status().state != UpdateStatus::State::checking; }, 10000);
        return updater.status().state;
    }
};

} // namespace vesker::test
