#include "http/http_server_engine.h"

#include "http/http_connection.h"

#include <QSocketNotifier>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace vesker {

namespace {

// The kernel's queue of connections not yet accepted; the default of 50 drops a burst of phones.
constexpr int kListenBacklog = 1024;
// Connections taken from that queue per turn of the event loop. Clients refused at the cap come
// back at once, and were they accepted for as long as the queue is not empty, the replies and
// closes that would free places would wait behind them, and every newcomer would be refused.
constexpr int kAcceptsPerTurn = 32;

std::optional<QHostAddress> localAddressOf(int fd)
{
    sockaddr_storage storage {};
    socklen_t length = sizeof storage;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
        return std::nullopt;
    return QHostAddress(reinterpret_cast<const sockaddr*>(&storage));
}

} // namespace

HTTPServerEngine::HTTPServerEngine(HTTPServerConfig config)
    : m_config(std::move(config))
{
    if (!m_config.bufferBudget)
        m_config.bufferBudget = HTTPBufferBudget::processWide();
    // A deadline is met within an eighth of the shortest limit, and never looked at more often
    // than every 5 ms nor less often than every 100 ms.
    const std::chrono::milliseconds shortest = std::min({m_config.idleTimeout, m_config.headTimeout,
        m_config.bodyRateWindow, m_config.closeDelay, m_config.drainTimeout});
    m_sweep.setInterval(
        std::clamp(shortest / 8, std::chrono::milliseconds(5), std::chrono::milliseconds(100)));
    m_sweep.setParent(this);
    connect(&m_sweep, &QTimer::timeout, this, &HTTPServerEngine::sweep);
}

HTTPServerEngine::~HTTPServerEngine()
{
    // Connections are deleted here rather than by QObject: they still use the configuration.
    const QSet<HTTPConnection*> connections = std::exchange(m_connections, {});
    qDeleteAll(connections);
    deleteClosed();
}

std::optional<HTTPServerError> HTTPServerEngine::listen(const QHostAddress& address, quint16 port)
{
    if (!m_scratch)
        m_scratch = std::make_unique<char[]>(kReadChunkBytes);
    m_listener = new QTcpServer(this);
    m_listener->setListenBacklogSize(kListenBacklog);
    // QTcpServer allows the address to be reused, so a restarted server gets its port back at
    // once even while connections of the old one are closing.
    if (!m_listener->listen(address, port)) {
        HTTPServerError error {QStringLiteral("QAbstractSocket"), int(m_listener->serverError()),
            m_listener->errorString()};
        delete m_listener;
        m_listener = nullptr;
        return error;
    }
    // QTcpServer binds; the accepting is done here, a bounded number at a time (it would accept
    // until the queue is empty) and non-blocking from the start.
    m_listener->pauseAccepting();
    m_acceptNotifier
        = new QSocketNotifier(m_listener->socketDescriptor(), QSocketNotifier::Read, this);
    connect(m_acceptNotifier, &QSocketNotifier::activated, this, &HTTPServerEngine::acceptSome);
    return std::nullopt;
}

void HTTPServerEngine::acceptSome()
{
    const int listening = int(m_listener->socketDescriptor());
    for (int accepted = 0; accepted < kAcceptsPerTurn && m_acceptNotifier;) {
        sockaddr_storage peer {};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(
            listening, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            ++accepted;
            accept(fd, peer);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            pauseAccepting(qt_error_string(errno));
        return;
    }
}

void HTTPServerEngine::pauseAccepting(const QString& cause)
{
    // Out of descriptors, usually: try again shortly instead of staying deaf until somebody
    // restarts the server. The owner shows the reason in its status, in the words QTcpServer
    // gave when it did the accepting.
    const QString reason = QStringLiteral("Out of resources");
    qCWarning(lcHttp).noquote() << "[http] cannot accept connections:" << reason
                                << '(' + cause + ')';
    m_acceptNotifier->setEnabled(false);
    Q_EMIT stateChanged(int(HTTPServerState::waiting), reason);
    QTimer::singleShot(1000, this, [this] {
        if (!m_acceptNotifier)
            return;
        m_acceptNotifier->setEnabled(true);
        Q_EMIT stateChanged(int(HTTPServerState::ready), QString());
    });
}

quint16 HTTPServerEngine::serverPort() const
{
    return m_listener ? m_listener->serverPort() : 0;
}

void HTTPServerEngine::closeListener()
{
    if (!m_listener)
        return;
    delete m_acceptNotifier;
    m_acceptNotifier = nullptr;
    m_listener->close();
    delete m_listener;
    m_listener = nullptr;
}

void HTTPServerEngine::retire()
{
    m_retired = true;
    closeListener();
    // Like a read that completes after its server is gone: dropped without a reply. Only the
    // connections the owner still answers, or whose answer is on its way, stay.
    const QSet<HTTPConnection*> connections = m_connections;
    for (HTTPConnection* connection : connections) {
        if (connection->isReadingRequest())
            connection->closeNow();
    }
    finishIfIdle();
}

void HTTPServerEngine::accept(int fd, const sockaddr_storage& peerAddress)
{
    if (m_retired) {
        ::close(fd);
        return;
    }
    // Linux cannot bind a listener to a kind of interface: the connection is taken, then dropped
    // when it came in on another kind.
    if (m_config.interfaceType) {
        const std::optional<QHostAddress> local = localAddressOf(fd);
        if (!local || interfaceTypeOfLocalAddress(*local) != m_config.interfaceType) {
            ::close(fd);
            return;
        }
    }

    const PeerAddress peer = peerAddressOf(peerAddress);
    const auto known = m_servingFrom.find(peer);
    const QString address
        = known != m_servingFrom.end() ? known->second.text : socketAddressText(peerAddress);
    // A peer whose address holds less than its share is let in over the cap while every place is
    // owed an answer, up to twice the cap; the sweep gives the places back as they can go.
    const auto underShare = [&] {
        const std::optional<PeerAddress> crowded = crowdedAddress(peer);
        return crowded && *crowded != peer;
    };
    const bool room = m_serving < m_config.maxConnections || victim(peer)
        || (m_serving < 2 * m_config.maxConnections && underShare());
    if (!room) {
        // A refused connection stays until its 503 has been read, like a served one; but no more
        // of them than served ones at once. Past that, a refusal whose answer has gone out makes
        // way; only a flood of refusals none of which has been written out yet is closed
        // without a word, before it takes every file descriptor of the process.
        if (m_refusing >= m_config.maxConnections && !closeOneAnsweredRefusal()) {
            ::close(fd);
            return;
        }
        auto* connection = new HTTPConnection(fd, address, peer, this);
        m_connections.insert(connection);
        startSweeping();
        ++m_refusing;
        ++m_open;
        connection->refuse(HTTPResponse::busy());
        return;
    }

    auto* connection = new HTTPConnection(fd, address, peer, this);
    m_connections.insert(connection);
    startSweeping();
    countServing(connection, 1);
    ++m_open;
    connection->serve();
    // Over the cap for a moment: the place goes to whoever is least likely to finish, which may
    // be the new connection itself, now that its first bytes (read at once) show what it is. A
    // real client's whole request has usually arrived with the connection and is being answered
    // already, so a crowd of slow peers cannot push it out before it was ever read.
    if (m_serving > m_config.maxConnections)
        evictOne();
}

void HTTPServerEngine::countServing(HTTPConnection* connection, int change)
{
    m_serving += change;
    auto it = m_servingFrom.find(connection->peer());
    if (it == m_servingFrom.end())
        it = m_servingFrom.emplace(connection->peer(), AddressShare {connection->remoteAddress()})
                 .first;
    if ((it->second.serving += change) <= 0)
        m_servingFrom.erase(it);
}

std::optional<PeerAddress> HTTPServerEngine::crowdedAddress(
    std::optional<PeerAddress> newcomer) const
{
    // The share of one address: the places divided among the addresses that hold any. Whoever
    // holds more than that gives way first, so that one peer cannot take every place however
    // well it behaves, and then even a reply it is still taking may be cut.
    std::optional<PeerAddress> crowded;
    int most = 0;
    const qsizetype addresses = qsizetype(m_servingFrom.size())
        + (!newcomer || m_servingFrom.contains(*newcomer) ? 0 : 1);
    for (const auto& [address, share] : m_servingFrom) {
        const int held = share.serving + (address == newcomer ? 1 : 0);
        if (held > most) {
            most = held;
            crowded = address;
        }
    }
    return addresses > 1 && most * addresses > m_config.maxConnections ? crowded : std::nullopt;
}

HTTPConnection* HTTPServerEngine::victim(std::optional<PeerAddress> newcomer)
{
    // Ranks judge what has been read, but a socket may hold bytes whose read notification is
    // still to be handled, such as the whole request of a client accepted a moment before it
    // sent it. Were that client ranked as one that sent nothing, crowds of idle peers that
    // reconnect as soon as they are cut would always be younger, and it would be cut in their
    // place. So every connection not read yet is read first, and the one chosen is read once
    // more before it goes (a head that arrived in pieces may have come whole).
    std::vector<HTTPConnection*> read;
    for (HTTPConnection* connection : std::as_const(m_connections)) {
        if (connection->hasReadNothing())
            read.push_back(connection);
    }
    // A read may close a connection (only deleted later) or hand its request over.
    for (HTTPConnection* connection : read)
        connection->readWaiting();
    for (;;) {
        HTTPConnection* chosen = rankedVictim(newcomer);
        if (!chosen || std::find(read.cbegin(), read.cend(), chosen) != read.cend())
            return chosen;
        read.push_back(chosen);
        if (!chosen->readWaiting())
            return chosen;
    }
}

HTTPConnection* HTTPServerEngine::rankedVictim(std::optional<PeerAddress> newcomer) const
{
    const std::optional<PeerAddress> crowded = crowdedAddress(newcomer);
    const bool overShare = crowded.has_value();

    const auto now = std::chrono::steady_clock::now();
    HTTPConnection* chosen = nullptr;
    HTTPConnection::EvictionRank chosenRank;
    for (const bool crowdedOnly : {true, false}) {
        if (crowdedOnly && !overShare)
            continue;
        for (HTTPConnection* connection : std::as_const(m_connections)) {
            const bool fromCrowded = overShare && connection->peer() == *crowded;
            if (crowdedOnly && !fromCrowded)
                continue;
            const auto rank = connection->evictionRank(now, fromCrowded);
            if (rank && (!chosen || *rank < chosenRank)) {
                chosen = connection;
                chosenRank = *rank;
            }
        }
        if (chosen)
            return chosen;
    }
    return nullptr;
}

bool HTTPServerEngine::evictOne()
{
    // Never one whose request has been handed over: its answer is owed.
    HTTPConnection* chosen = victim();
    if (!chosen)
        return false;
    // It gets its 503 like any refused client, while there is room for refusals (a reply
    // already begun is ended instead).
    if (m_refusing >= m_config.maxConnections)
        closeOneAnsweredRefusal();
    const bool answer = chosen->isReadingRequest() && m_refusing < m_config.maxConnections;
    if (answer) {
        countServing(chosen, -1);
        ++m_refusing;
    }
    chosen->evict(answer);
    return true;
}

bool HTTPServerEngine::closeOneAnsweredRefusal()
{
    const auto answered = std::find_if(m_connections.cbegin(), m_connections.cend(),
        [](HTTPConnection* c) { return c->isRefusal() && c->isAnswered(); });
    if (answered == m_connections.cend())
        return false;
    (*answered)->closeNow();
    return true;
}

void HTTPServerEngine::sweep()
{
    const auto now = std::chrono::steady_clock::now();
    // A closed connection is only deleted later, so each pointer stays good for the whole loop.
    const QList<HTTPConnection*> connections = m_connections.values();
    for (HTTPConnection* connection : connections)
        connection->sweep(now);
    // Places taken over the cap by peers of other addresses are given back as soon as some
    // connection of a crowded address can go.
    while (m_serving > m_config.maxConnections && evictOne()) { }
}

void HTTPServerEngine::connectionClosed(HTTPConnection* connection)
{
    if (!m_connections.remove(connection))
        return;
    // Not deleted at once: its own code may still be running. One queued event deletes all
    // closed meanwhile, rather than one event, and one wake of the thread, per connection.
    if (m_closed.empty())
        QMetaObject::invokeMethod(this, &HTTPServerEngine::deleteClosed, Qt::QueuedConnection);
    m_closed.push_back(connection);
    if (connection->isRefusal())
        --m_refusing;
    else
        countServing(connection, -1);
    --m_open;
    if (m_connections.isEmpty())
        m_sweep.stop();
    finishIfIdle();
}

void HTTPServerEngine::deleteClosed()
{
    for (HTTPConnection* connection : std::exchange(m_closed, {}))
        delete connection;
}

void HTTPServerEngine::finishIfIdle()
{
    if (m_retired && m_connections.isEmpty())
        thread()->quit();
}

} // namespace vesker
