#include "http/http_connection.h"

#include "http/http_address.h"
#include "http/http_server_engine.h"

#include <QFile>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesker {

namespace {

bool wouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK;
}

// The most of a file's body held in memory at once per connection.
constexpr qint64 kFilePieceBytes = HTTPServerEngine::kReadChunkBytes;
// The most of a body read in one turn of the event loop.
constexpr qsizetype kBodyReadBytes = 1 << 20;
// Replies up to this size are sent whatever the buffer budget holds.
constexpr qint64 kSmallReplyBytes = 65'536;
// A reply the peer has taken nothing of for this long counts as stalled: at the connection cap
// it gives way to a newcomer. Long enough that a reader busy for a moment is not cut.
constexpr std::chrono::milliseconds kStalledAfter {1'000};

} // namespace

HTTPConnection::HTTPConnection(
    int descriptor, const QString& remoteAddress, PeerAddress peer, HTTPServerEngine* engine)
    : QObject(engine)
    , m_fd(descriptor)
    , m_engine(engine)
    , m_charge(std::make_shared<HTTPBufferCharge>(engine->config().bufferBudget))
    , m_reader(engine->config().maxBodyBytes,
          [this](qint64 bytes) { return m_charge && m_charge->growTo(bytes); })
    , m_accepted(std::chrono::steady_clock::now())
    , m_lastReceived(m_accepted)
    , m_remoteAddress(remoteAddress)
    , m_peer(peer)
    , m_link(std::make_shared<ReplyLink>())
{
    m_link->connection = this;
}

HTTPConnection::BodyFile::~BodyFile()
{
    if (fd >= 0)
        ::close(fd);
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
    restartIdle();
    // A client sends its request as it connects: it is usually here already, and read now it
    // costs no second turn of the event loop, nor a notifier to watch for it.
    readRequest();
    if (m_phase == Phase::reading && !m_completeBeforeVerdict)
        watchReadable(true);
}

void HTTPConnection::restartIdle()
{
    m_idleDeadline = std::chrono::steady_clock::now() + m_engine->config().idleTimeout;
}

void HTTPConnection::sweep(TimePoint now)
{
    if (m_phase == Phase::closed)
        return;
    if (now >= m_idleDeadline || now >= m_closeDeadline) {
        closeNow();
        return;
    }
    if (now < m_requestDeadline)
        return;
    if (m_phase == Phase::writing) {
        m_requestDeadline = now + m_engine->config().bodyRateWindow;
        checkReplyRate();
        return;
    }
    if (!m_reader.headComplete()) {
        closeNow(); // the head's deadline has passed
        return;
    }
    m_requestDeadline = now + m_engine->config().bodyRateWindow;
    checkBodyRate();
}

void HTTPConnection::watchReadable(bool on)
{
    if (!m_readNotifier) {
        if (!on)
            return;
        m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_readNotifier, &QSocketNotifier::activated, this, [this] {
            if (m_phase == Phase::reading)
                readRequest();
            else if (m_phase == Phase::draining)
                drain();
        });
    }
    m_readNotifier->setEnabled(on);
}

void HTTPConnection::watchWritable(bool on)
{
    if (!m_writeNotifier) {
        if (!on)
            return;
        m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
        connect(m_writeNotifier, &QSocketNotifier::activated, this, &HTTPConnection::writeSome);
    }
    m_writeNotifier->setEnabled(on);
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
    // A reply that has begun cannot be taken back for a refusal.
    if (!answerIt || m_phase != Phase::reading) {
        closeNow();
        return;
    }
    m_refusal = true;
    refuseRequest(HTTPResponse::busy());
}

std::optional<HTTPConnection::EvictionRank> HTTPConnection::evictionRank(
    TimePoint now, bool anyReply) const
{
    if (m_refusal)
        return std::nullopt;
    if (m_phase == Phase::writing) {
        const bool stalled
            = m_writeNotifier && m_writeNotifier->isEnabled() && now - m_lastSent >= kStalledAfter;
        if (stalled || anyReply)
            return EvictionRank {0, m_lastSent};
        return std::nullopt;
    }
    // A request that came whole while its head was being judged is owed an answer.
    if (m_phase != Phase::reading || m_completeBeforeVerdict)
        return std::nullopt;
    if (m_reader.headComplete())
        return EvictionRank {2, m_lastReceived};
    return EvictionRank {m_reader.bufferedBytes() == 0 ? 1 : 0, m_accepted};
}

bool HTTPConnection::readWaiting()
{
    if (m_phase != Phase::reading || m_refusal || m_completeBeforeVerdict)
        return false;
    const qsizetype before = m_reader.bufferedBytes();
    readRequest();
    return m_phase != Phase::reading || m_reader.bufferedBytes() != before;
}

void HTTPConnection::readRequest()
{
    const bool headWasComplete = m_reader.headComplete();
    qint64 received = 0;
    // A body goes straight into its own buffer, so it is read in larger pieces than a head
    // (which goes through the engine's scratch), as much as waits: a body of megabytes then
    // costs a few turns of the event loop rather than one per chunk. A head is read once; most
    // fit one read, and a second would only find the socket empty.
    const HTTPRequestReader::Status status = m_reader.receive(
        headWasComplete ? kBodyReadBytes : HTTPServerEngine::kReadChunkBytes,
        m_engine->readScratch(),
        [this, body = headWasComplete](char* into, qsizetype most) {
            qint64 got = 0;
            do {
                const ssize_t n = ::recv(m_fd, into + got, size_t(most - got), 0);
                // What came before the socket ran dry (or the peer's end, or an error) counts
                // now; the rest is seen at the next read.
                if (n <= 0)
                    return got > 0 ? got : qint64(n);
                got += n;
            } while (body && got < most);
            return got;
        },
        received);
    if (status == HTTPRequestReader::Status::overBudget) {
        // Perhaps before anything was read: no room could be made for the rest of the body.
        refuseRequest(HTTPResponse::busy());
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
    const HTTPServerConfig& config = m_engine->config();
    m_idleDeadline = m_lastReceived + config.idleTimeout;
    if (!m_reader.headComplete() && m_requestDeadline == kNever) {
        // The idle deadline moves with every byte, so it cannot stop a head sent a byte at a
        // time; this one does.
        m_requestDeadline = m_lastReceived + config.headTimeout;
    }
    if (!headWasComplete && m_reader.headComplete()
        && status == HTTPRequestReader::Status::needMore) {
        m_bufferedAtLastCheck = m_reader.bufferedBytes();
        m_requestDeadline = m_lastReceived + config.bodyRateWindow;
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
            watchReadable(false);
            m_requestDeadline = kNever;
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

void HTTPConnection::checkReplyRate()
{
    const HTTPServerConfig& config = m_engine->config();
    const qint64 taken = m_sentBytes - m_sentAtLastCheck;
    // What was left at the window's start is all that could be asked for.
    const qint64 asked = qMin(config.minBodyBytesPerSecond * config.bodyRateWindow.count() / 1000,
        m_replyBytes - m_sentAtLastCheck);
    if (taken < asked) {
        qCDebug(lcHttp).noquote() << "[http] ending a reply taken too slowly by" << m_remoteAddress;
        closeNow();
        return;
    }
    m_sentAtLastCheck = m_sentBytes;
}

void HTTPConnection::refuseRequest(const HTTPResponse& response)
{
    m_drainLeft = m_reader.bytesStillToCome();
    m_reader.clear();
    m_charge.reset();
    m_requestDeadline = kNever;
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
    watchReadable(false);
    m_idleDeadline = kNever;
    m_requestDeadline = kNever;

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
        // Encoded (and a body file opened) on the caller's thread, so that a large reply costs
        // the server thread nothing but the writing.
        QByteArray wire;
        std::shared_ptr<BodyFile> file;
        if (!response.bodyFile.isEmpty()) {
            file = std::make_shared<BodyFile>();
            file->fd
                = ::open(QFile::encodeName(response.bodyFile).constData(), O_RDONLY | O_CLOEXEC);
            struct stat status { };
            if (file->fd >= 0 && ::fstat(file->fd, &status) == 0 && S_ISREG(status.st_mode)) {
                file->left = status.st_size;
                wire = response.encodeHead(file->left);
            } else {
                file.reset();
                wire = HTTPResponse::text(404, QStringLiteral("Not found")).encode();
            }
        } else {
            wire = response.encode();
        }
        std::unique_lock lock(link->mutex);
        HTTPConnection* connection = link->connection;
        if (!connection)
            return;
        if (connection->thread() == QThread::currentThread()) {
            // Answered on the server's own thread, mostly from within the handler: nothing else
            // can close the connection meanwhile, and sent now the reply costs no queued event.
            lock.unlock();
            connection->send(std::move(wire), std::move(file));
            return;
        }
        // Queued with the connection as context: if it closes before the event is delivered, the
        // event is dropped with it.
        QMetaObject::invokeMethod(
            connection,
            [connection, wire = std::move(wire), file = std::move(file)]() mutable {
                connection->send(std::move(wire), std::move(file));
            },
            Qt::QueuedConnection);
    };
}

void HTTPConnection::answer(const HTTPResponse& response)
{
    m_link->used.store(true);
    send(response.encode());
}

void HTTPConnection::send(QByteArray wire, std::shared_ptr<BodyFile> file)
{
    if (m_phase == Phase::closed || m_phase == Phase::writing || m_phase == Phase::draining)
        return;
    m_phase = Phase::writing;
    watchReadable(false);
    // A go-ahead the socket has not taken whole yet goes out first.
    if (m_outOffset < m_out.size())
        wire.prepend(QByteArrayView(m_out).sliced(m_outOffset));
    // Replies count against the same budget as requests: many peers that ask for a large item
    // and never read must not hold its bytes in memory without bound.
    // A small reply is always sent (counted, even past the limit): a full budget of uploads
    // must not turn "/api/info" away.
    m_replyCharge = std::make_unique<HTTPBufferCharge>(m_engine->config().bufferBudget);
    const qint64 held = wire.size() + (file ? qMin(file->left, kFilePieceBytes) : 0);
    if (held <= kSmallReplyBytes) {
        m_replyCharge->growPastLimitTo(held);
    } else if (!m_replyCharge->growTo(held)) {
        file.reset();
        wire = HTTPResponse::busy().encode();
        m_replyCharge->growPastLimitTo(wire.size());
    }
    m_replyBytes = wire.size() + (file ? file->left : 0);
    m_sentBytes = 0;
    m_sentAtLastCheck = 0;
    m_out = std::move(wire);
    m_outOffset = 0;
    m_bodyFile = std::move(file);
    // From here the idle deadline and the rate check watch the peer taking the reply: one that
    // never reads, or reads a byte now and then, must not hold the connection and its reply.
    restartIdle();
    m_lastSent = std::chrono::steady_clock::now();
    m_requestDeadline = m_lastSent + m_engine->config().bodyRateWindow;
    writeSome();
}

bool HTTPConnection::readNextPiece()
{
    const qint64 piece = qMin(m_bodyFile->left, kFilePieceBytes);
    m_out.resize(piece);
    m_outOffset = 0;
    qint64 filled = 0;
    while (filled < piece) {
        const ssize_t got = ::read(m_bodyFile->fd, m_out.data() + filled, size_t(piece - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false; // the file shrank or failed: the peer sees a short body, not a wrong one
        filled += got;
    }
    m_bodyFile->left -= piece;
    if (m_bodyFile->left == 0)
        m_bodyFile.reset();
    return true;
}

void HTTPConnection::writeSome()
{
    if (m_phase != Phase::writing && m_phase != Phase::reading)
        return;
    for (;;) {
        if (m_outOffset == m_out.size()) {
            if (!m_bodyFile || m_phase != Phase::writing)
                break;
            if (!readNextPiece()) {
                finishWriting(false);
                return;
            }
        }
        const ssize_t sent = ::send(m_fd, m_out.constData() + m_outOffset,
            size_t(m_out.size() - m_outOffset), MSG_NOSIGNAL);
        if (sent >= 0) {
            m_outOffset += sent;
            restartIdle();
            if (m_phase == Phase::writing && sent > 0) {
                m_sentBytes += sent;
                m_lastSent = std::chrono::steady_clock::now();
            }
            continue;
        }
        if (errno == EINTR)
            continue;
        if (wouldBlock(errno)) {
            watchWritable(true);
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
        watchWritable(false);
        m_out = QByteArray();
        m_outOffset = 0;
        return;
    }
    finishWriting(true);
}

void HTTPConnection::finishWriting(bool delivered)
{
    watchWritable(false);
    m_out = QByteArray();
    m_outOffset = 0;
    m_bodyFile.reset();
    m_replyCharge.reset();
    m_idleDeadline = kNever;
    m_requestDeadline = kNever;
    if (delivered) {
        // The end of our side follows the reply at once; the peer need not wait for the close.
        ::shutdown(m_fd, SHUT_WR);
    }
    // Whatever the peer still sends is read and dropped until the close: closing with unread
    // bytes would reset the connection and could destroy the reply before the peer reads it. A
    // refused peer may still be sending much of its request, so it is given longer.
    m_phase = Phase::draining;
    watchReadable(true);
    const HTTPServerConfig& config = m_engine->config();
    m_closeDeadline = std::chrono::steady_clock::now()
        + (m_drainLeft != 0 ? config.drainTimeout : config.closeDelay);
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
                m_closeDeadline = std::min(m_closeDeadline,
                    std::chrono::steady_clock::now() + m_engine->config().closeDelay);
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
    m_bodyFile.reset();
    m_replyCharge.reset();
    m_reader.clear();
    m_charge.reset();
    // Deleted by the engine later, with the others closed meanwhile.
    m_engine->connectionClosed(this);
}

} // namespace vesker
