#include "http/http_connection.h"

#include "http/http_address.h"
#include "http/http_server_engine.h"

#include <QHostAddress>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>

namespace vesker {

namespace {

QString peerAddressText(int fd)
{
    sockaddr_storage storage {};
    socklen_t length = sizeof storage;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
        return QString();
    if (storage.ss_family != AF_INET && storage.ss_family != AF_INET6)
        return QString();
    return remoteAddressText(QHostAddress(reinterpret_cast<const sockaddr*>(&storage)).toString());
}

bool wouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK;
}

} // namespace

HTTPConnection::HTTPConnection(int descriptor, HTTPServerEngine* engine)
    : QObject(engine)
    , m_fd(descriptor)
    , m_engine(engine)
    , m_charge(std::make_shared<HTTPBufferCharge>(engine->config().bufferBudget))
    , m_reader(engine->config().maxBodyBytes,
          [this](qint64 bytes) { return m_charge && m_charge->growTo(bytes); })
    , m_accepted(std::chrono::steady_clock::now())
    , m_lastReceived(m_accepted)
    , m_link(std::make_shared<ReplyLink>())
{
    m_link->connection = this;
    m_remoteAddress = peerAddressText(m_fd);

    m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    m_readNotifier->setEnabled(false);
    connect(m_readNotifier, &QSocketNotifier::activated, this, [this] {
        if (m_phase == Phase::reading)
            readRequest();
        else if (m_phase == Phase::draining)
            drain();
    });
    m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &HTTPConnection::writeSome);

    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(engine->config().idleTimeout);
    connect(&m_idleTimer, &QTimer::timeout, this, &HTTPConnection::closeNow);
    connect(&m_requestTimer, &QTimer::timeout, this, [this] {
        if (m_reader.headComplete())
            checkBodyRate();
        else
            closeNow(); // the head's deadline has passed
    });
    m_closeTimer.setSingleShot(true);
    connect(&m_closeTimer, &QTimer::timeout, this, &HTTPConnection::closeNow);
}

HTTPConnection::~HTTPConnection()
{
    {
        std::lock_guard lock(m_link->mutex);
        m_link->connection = nullptr;
    }
    if (m_fd >= 0) {
        delete m_readNotifier;
        delete m_writeNotifier;
        ::close(m_fd);
    }
}

void HTTPConnection::serve()
{
    m_phase = Phase::reading;
    m_readNotifier->setEnabled(true);
    m_idleTimer.start();
}

void HTTPConnection::refuse(const HTTPResponse& response)
{
    m_refusal = true;
    // Nothing of the request has been read: how much follows is not known.
    m_drainLeft = -1;
    m_charge.reset();
    answer(response);
}

void HTTPConnection::evict(bool answerIt)
{
    if (!answerIt) {
        closeNow();
        return;
    }
    m_refusal = true;
    refuseRequest(HTTPResponse::text(503, QStringLiteral("Server busy")));
}

void HTTPConnection::readRequest()
{
    const bool headWasComplete = m_reader.headComplete();
    qint64 received = 0;
    const HTTPRequestReader::Status status = m_reader.receive(
        HTTPServerEngine::kReadChunkBytes, m_engine->readScratch(),
        [this](char* into, qsizetype most) { return qint64(::recv(m_fd, into, size_t(most), 0)); },
        received);
    if (status == HTTPRequestReader::Status::overBudget) {
        // Perhaps before anything was read: no room could be made for the rest of the body.
        refuseRequest(HTTPResponse::text(503, QStringLiteral("Server busy")));
        return;
    }
    if (received < 0) {
        if (errno == EINTR || wouldBlock(errno))
            return;
        closeNow();
        return;
    }
    if (received == 0) {
        // The peer finished before its request did: there is nobody to answer.
        closeNow();
        return;
    }
    m_lastReceived = std::chrono::steady_clock::now();
    m_idleTimer.start();
    const HTTPServerConfig& config = m_engine->config();
    if (!m_reader.headComplete() && !m_requestTimer.isActive()) {
        // The idle timer restarts with every byte, so it cannot stop a head sent a byte at a
        // time; this deadline does. (Not armed for a head that came whole in its first read,
        // as nearly every head does: that saves a timer on the way of every small request.)
        m_requestTimer.setSingleShot(true);
        m_requestTimer.start(config.headTimeout);
    }
    if (!headWasComplete && m_reader.headComplete()
        && status == HTTPRequestReader::Status::needMore) {
        m_requestTimer.setSingleShot(false);
        m_bufferedAtLastCheck = m_reader.bufferedBytes();
        m_requestTimer.start(config.bodyRateWindow);
        if (m_reader.waitsForGoAhead())
            askForBody();
    }

    switch (status) {
    case HTTPRequestReader::Status::needMore:
        return;
    case HTTPRequestReader::Status::invalid:
        refuseRequest(HTTPResponse::text(400, QStringLiteral("Bad request")));
        return;
    case HTTPRequestReader::Status::tooLarge:
        refuseRequest(HTTPResponse::text(413, QStringLiteral("Payload too large")));
        return;
    case HTTPRequestReader::Status::overBudget: // answered above
        return;
    case HTTPRequestReader::Status::complete:
        if (m_verdictPending) {
            m_completeBeforeVerdict = true;
            m_readNotifier->setEnabled(false);
            m_requestTimer.stop();
            return;
        }
        handOver();
        return;
    }
}

void HTTPConnection::askForBody()
{
    const HTTPHeadCheck& check = m_engine->config().headCheck;
    std::optional<HTTPRequest> head = m_reader.head();
    if (!check || !head) {
        takeVerdict(std::nullopt);
        return;
    }
    head->remoteAddress = m_remoteAddress;
    m_verdictPending = true;
    const HTTPHeadVerdict verdict = verdictFunction(m_link);
    try {
        check(std::move(*head), verdict);
    } catch (...) {
        qCWarning(lcHttp) << "[http] head check failed; the body is read";
        verdict(std::nullopt);
    }
}

void HTTPConnection::takeVerdict(const std::optional<HTTPResponse>& refusal)
{
    if (m_phase != Phase::reading)
        return;
    m_verdictPending = false;
    if (refusal && m_completeBeforeVerdict) {
        // All of it came while the owner judged the head: nothing is left to drain.
        m_reader.clear();
        m_charge.reset();
        m_drainLeft = 0;
        answer(*refusal);
        return;
    }
    if (refusal) {
        // Answered at once, and whatever of the body still comes is drained, as for any refusal.
        refuseRequest(*refusal);
        return;
    }
    if (m_completeBeforeVerdict) {
        handOver();
        return;
    }
    // A client that stopped waiting and sends its body already needs no go-ahead.
    if (!m_reader.waitsForGoAhead())
        return;
    m_out = QByteArrayLiteral("HTTP/1.1 100 Continue\r\n\r\n");
    m_outOffset = 0;
    writeSome();
}

void HTTPConnection::checkBodyRate()
{
    const HTTPServerConfig& config = m_engine->config();
    const qint64 arrived = m_reader.bufferedBytes() - m_bufferedAtLastCheck;
    if (arrived * 1000 < config.minBodyBytesPerSecond * config.bodyRateWindow.count()) {
        qCDebug(lcHttp).noquote() << "[http] closing an upload that arrives too slowly from"
                                  << m_remoteAddress;
        closeNow();
        return;
    }
    m_bufferedAtLastCheck = m_reader.bufferedBytes();
}

void HTTPConnection::refuseRequest(const HTTPResponse& response)
{
    m_drainLeft = m_reader.bytesStillToCome();
    m_reader.clear();
    m_charge.reset();
    m_requestTimer.stop();
    answer(response);
}

void HTTPConnection::handOver()
{
    HTTPRequest request = m_reader.takeRequest();
    // The body keeps its memory counted for as long as it lives, wherever it goes.
    request.bufferCharge = std::exchange(m_charge, nullptr);
    request.remoteAddress = m_remoteAddress;
    // One request per connection: nothing more is read until the reply has gone out, so a peer
    // that half-closes now still gets its answer.
    m_phase = Phase::awaitingReply;
    m_readNotifier->setEnabled(false);
    m_idleTimer.stop();
    m_requestTimer.stop();

    const HTTPReplyFunction reply = replyFunction(m_link);
    const HTTPHandler& handler = m_engine->config().handler;
    if (!handler) {
        reply(HTTPResponse::text(500, QStringLiteral("Internal server error")));
        return;
    }
    try {
        handler(std::move(request), reply);
    } catch (const std::exception& error) {
        qCWarning(lcHttp).noquote() << "[http] request handler failed:" << error.what();
        if (!m_link->used.load())
            reply(HTTPResponse::text(500, QStringLiteral("Internal server error")));
    } catch (...) {
        qCWarning(lcHttp) << "[http] request handler failed";
        if (!m_link->used.load())
            reply(HTTPResponse::text(500, QStringLiteral("Internal server error")));
    }
}

HTTPHeadVerdict HTTPConnection::verdictFunction(std::shared_ptr<ReplyLink> link)
{
    return [link = std::move(link)](std::optional<HTTPResponse> refusal) {
        if (link->judged.exchange(true))
            return;
        std::lock_guard lock(link->mutex);
        HTTPConnection* connection = link->connection;
        if (!connection)
            return;
        QMetaObject::invokeMethod(
            connection,
            [connection, refusal = std::move(refusal)] { connection->takeVerdict(refusal); },
            Qt::QueuedConnection);
    };
}

HTTPReplyFunction HTTPConnection::replyFunction(std::shared_ptr<ReplyLink> link)
{
    return [link = std::move(link)](HTTPResponse response) {
        if (link->used.exchange(true)) {
            qCWarning(lcHttp) << "[http] a request was answered twice; the second reply is dropped";
            return;
        }
        // Encoded on the caller's thread, so that a large reply costs the server thread nothing
        // but the writing.
        QByteArray wire = response.encode();
        std::lock_guard lock(link->mutex);
        HTTPConnection* connection = link->connection;
        if (!connection)
            return;
        // Queued with the connection as context: if it closes before the event is delivered, the
        // event is dropped with it.
        QMetaObject::invokeMethod(
            connection,
            [connection, wire = std::move(wire)]() mutable { connection->send(std::move(wire)); },
            Qt::QueuedConnection);
    };
}

void HTTPConnection::answer(const HTTPResponse& response)
{
    m_link->used.store(true);
    send(response.encode());
}

void HTTPConnection::send(QByteArray wire)
{
    if (m_phase == Phase::closed || m_phase == Phase::writing || m_phase == Phase::draining)
        return;
    m_phase = Phase::writing;
    m_readNotifier->setEnabled(false);
    m_requestTimer.stop();
    // A go-ahead the socket has not taken whole yet goes out first.
    if (m_outOffset < m_out.size())
        wire.prepend(QByteArrayView(m_out).sliced(m_outOffset));
    m_out = std::move(wire);
    m_outOffset = 0;
    // From here the timer watches the peer taking the reply: one that never reads must not hold
    // the connection and its reply for ever.
    m_idleTimer.start();
    writeSome();
}

void HTTPConnection::writeSome()
{
    if (m_phase != Phase::writing && m_phase != Phase::reading)
        return;
    while (m_outOffset < m_out.size()) {
        const ssize_t sent = ::send(m_fd, m_out.constData() + m_outOffset,
            size_t(m_out.size() - m_outOffset), MSG_NOSIGNAL);
        if (sent >= 0) {
            m_outOffset += sent;
            m_idleTimer.start();
            continue;
        }
        if (errno == EINTR)
            continue;
        if (wouldBlock(errno)) {
            m_writeNotifier->setEnabled(true);
            return;
        }
        if (m_phase == Phase::reading)
            closeNow(); // the peer is gone while it was being told to go on
        else
            finishWriting(false);
        return;
    }
    if (m_phase == Phase::reading) {
        // The go-ahead is out; the body follows.
        m_writeNotifier->setEnabled(false);
        m_out = QByteArray();
        m_outOffset = 0;
        return;
    }
    finishWriting(true);
}

void HTTPConnection::finishWriting(bool delivered)
{
    m_writeNotifier->setEnabled(false);
    m_out = QByteArray();
    m_outOffset = 0;
    m_idleTimer.stop();
    if (delivered) {
        // The end of our side follows the reply at once; the peer need not wait for the close.
        ::shutdown(m_fd, SHUT_WR);
    }
    // Whatever the peer still sends is read and dropped until the close: closing with unread
    // bytes would reset the connection and could destroy the reply before the peer reads it. A
    // refused peer may still be sending much of its request, so it is given longer.
    m_phase = Phase::draining;
    m_readNotifier->setEnabled(true);
    const HTTPServerConfig& config = m_engine->config();
    m_closeTimer.start(m_drainLeft != 0 ? config.drainTimeout : config.closeDelay);
}

void HTTPConnection::drain()
{
    const ssize_t received
        = ::recv(m_fd, m_engine->readScratch(), HTTPServerEngine::kReadChunkBytes, 0);
    if (received > 0) {
        if (m_drainLeft > 0) {
            m_drainLeft = qMax<qint64>(0, m_drainLeft - received);
            // The request has been read to its end: the peer now reads its reply and leaves.
            if (m_drainLeft == 0)
                m_closeTimer.start(std::min(std::chrono::milliseconds(m_closeTimer.remainingTime()),
                    m_engine->config().closeDelay));
        }
        return;
    }
    if (received < 0 && (errno == EINTR || wouldBlock(errno)))
        return;
    closeNow();
}

void HTTPConnection::closeNow()
{
    if (m_phase == Phase::closed)
        return;
    m_phase = Phase::closed;
    m_idleTimer.stop();
    m_requestTimer.stop();
    m_closeTimer.stop();
    {
        std::lock_guard lock(m_link->mutex);
        m_link->connection = nullptr;
    }
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    ::close(m_fd);
    m_fd = -1;
    m_out = QByteArray();
    m_reader.clear();
    m_charge.reset();
    m_engine->connectionClosed(this);
    deleteLater();
}

} // namespace vesker
