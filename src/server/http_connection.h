#pragma once

#include "platform/log.h"

#include "server/http_request.h"
#include "server/http_request_reader.h"
#include "server/http_server.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>
#include <mutex>

class QSocketNotifier;

namespace vesker {

class HTTPServerEngine;

// One accepted TCP connection of an HTTPServer, on the server's thread: reads one request,
// hands it to the handler, writes the one reply and closes.
//
// It drives the socket itself rather than through QTcpSocket, because the wire needs two things
// QTcpSocket cannot do: keep a connection whose peer has finished sending (a client may
// half-close after its request and still wait for the reply) and finish our own sending side
// while still reading (so that a refusal sent to a client that is still uploading is read
// before the connection closes, instead of being lost to a reset).
class HTTPConnection : public QObject {
    Q_OBJECT
public:
    // Takes ownership of the non-blocking socket `descriptor`.
    HTTPConnection(int descriptor, HTTPServerEngine* engine);
    ~HTTPConnection() override;

    // Reads a request and hands it to the handler.
    void serve();
    // Answers at once without reading a request (the server is full).
    void refuse(const HTTPResponse& response);
    // Closes without a word. Safe to call more than once.
    void closeNow();

    bool isReadingRequest() const { return m_phase == Phase::reading; }
    bool isRefusal() const { return m_refusal; }

private:
    enum class Phase { reading, awaitingReply, writing, draining, closed };

    // What a reply function shares with its connection: the connection may be gone (closed
    // by a timeout, or the server stopped) before the owner replies.
    struct ReplyLink {
        std::mutex mutex;
        HTTPConnection* connection = nullptr;
        std::atomic<bool> used {false};
    };

    void readRequest();
    void drain();
    void handOver();
    void answer(const HTTPResponse& response);
    void send(QByteArray wire);
    void writeSome();
    void finishWriting(bool delivered);
    void releaseBudget();
    static HTTPReplyFunction replyFunction(std::shared_ptr<ReplyLink> link);

    int m_fd;
    HTTPServerEngine* m_engine;
    Phase m_phase = Phase::reading;
    bool m_refusal = false;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QTimer m_idleTimer;
    QTimer m_closeTimer;
    HTTPRequestReader m_reader;
    qint64 m_budgetTaken = 0;
    QByteArray m_out;
    qsizetype m_outOffset = 0;
    QString m_remoteAddress;
    std::shared_ptr<ReplyLink> m_link;
};

} // namespace vesker
