// The maker's manifest host as a server on 127.0.0.1 that gives every request the same bytes
// (none: it closes without an answer), and an updater on 2.0 that asks it.
#pragma once

#include "platform/defaults.h"
#include "support/manual_clock.h"
#include "update/updater.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace vesker::test {

inline QByteArray httpAnswer(const QByteArray& status, const QByteArray& body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

inline QByteArray manifest(const QByteArray& version, const QByteArray& extra = {},
    const QByteArray& url = "https://www.vesker.example/get")
{
    return httpAnswer(
        "200 OK", "{\"version\":\"" + version + "\",\"url\":\"" + url + "\"" + extra + "}");
}

inline QUrl listening(QTcpServer& server)
{
    server.listen(QHostAddress::LocalHost);
    return QStringLiteral("http://127.0.0.1:%1/mac/latest.json").arg(server.serverPort());
}

struct UpdaterFixture {
    QTemporaryDir dir;
    ManualClock clock;
    platform::Defaults defaults {dir.filePath(QStringLiteral("defaults.json")), clock};
    QByteArray reply;
    QTcpServer server;
    Updater updater {defaults, clock,
        {.manifestUrl = listening(server), .currentVersion = QStringLiteral("2.0")}};

    UpdaterFixture()
    {
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            QTcpSocket* socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                if (!socket->readAll().contains("\r\n\r\n"))
                    return;
                socket->write(reply);
                socket->disconnectFromHost();
            });
        });
    }
    UpdateStatus::State checked(bool userInitiated = false)
    {
        updater.check(userInitiated);
        EXPECT_TRUE(QTest::qWaitFor(
            [this] { return updater.status().state != UpdateStatus::State::checking; }, 10000));
        return updater.status().state;
    }
};

} // namespace vesker::test
