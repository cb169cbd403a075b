#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace vesker::test {

// A screen whose answer never ends: whatever it is asked, it sends `head`, then `piece` again
// and again, every `everyMs`, or as fast as the peer takes it when `everyMs` is 0. It only
// sends more once what it sent is in the kernel's hands, so the bytes it counts are what the
// peer let in, not what waits in this process.
class EndlessAnswer : public QTcpServer {
public:
    EndlessAnswer(QByteArray head, QByteArray piece, int everyMs = 0)
        : m_head(std::move(head))
        , m_piece(std::move(piece))
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                ++m_accepted;
                begin(socket);
            }
        });
        if (everyMs > 0) {
            connect(&m_drip, &QTimer::timeout, this, [this] {
                for (QTcpSocket* socket : findChildren<QTcpSocket*>()) {
                    if (socket->property("answering").toBool() && socket->bytesToWrite() == 0)
                        socket->write(m_piece);
                }
            });
            m_drip.start(everyMs);
        }
        m_flood = everyMs <= 0;
    }

    // Bytes of the answers that the peers took in, all connections together.
    qint64 taken() const { return m_taken; }
    // Connections the peers have made, and those they have closed.
    int accepted() const { return m_accepted; }
    int closed() const { return m_closed; }

private:
    void begin(QTcpSocket* socket)
    {
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket](qint64 bytes) {
            m_taken += bytes;
            if (m_flood && socket->bytesToWrite() == 0)
                socket->write(m_piece);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            ++m_closed;
            socket->setProperty("answering", false);
            socket->deleteLater();
        });
        // The answer starts with the request, whatever it asks.
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            socket->readAll();
            if (socket->property("answering").toBool())
                return;
            socket->setProperty("answering", true);
            socket->write(m_head);
            if (m_flood)
                socket->write(m_piece);
        });
    }

    QByteArray m_head;
    QByteArray m_piece;
    QTimer m_drip;
    bool m_flood = false;
    qint64 m_taken = 0;
    int m_accepted = 0;
    int m_closed = 0;
};

// One chunk of a chunked body.
inline QByteArray chunk(const QByteArray& bytes)
{
    return QByteArray::number(bytes.size(), 16) + "\r\n" + bytes + "\r\n";
}

} // namespace vesker::test
