#include "http/http_server_engine.h"

#include "http/http_connection.h"

#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vesker {

namespace {

// The kernel's queue of connections not yet accepted; the default of 50 drops a burst of phones.
constexpr int kListenBacklog = 1024;

std::optional<QHostAddress> localAddressOf(int fd)
{
    sockaddr_storage storage {};
    socklen_t length = sizeof storage;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
        return std::nullopt;
    return QHostAddress(reinterpret_cast<const sockaddr*>(&storage));
}

} // namespace

class HTTPServerEngine::Listener : public QTcpServer {
public:
    explicit Listener(HTTPServerEngine* engine)
        : QTcpServer(engine)
        , m_engine(engine)
    { }

protected:
    void incomingConnection(qintptr descriptor) override { m_engine->accept(descriptor); }

private:
    HTTPServerEngine* m_engine;
};

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
}

std::optional<HTTPServerError> HTTPServerEngine::listen(const QHostAddress& address, quint16 port)
{
    if (!m_scratch)
        m_scratch = std::make_unique<char[]>(kReadChunkBytes);
    m_listener = new Listener(this);
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
    connect(m_listener, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        // Out of descriptors, usually. QTcpServer stops accepting; try again shortly instead of
        // staying deaf until somebody restarts the server.
        const QString reason = m_listener->errorString();
        qCWarning(lcHttp).noquote() << "[http] cannot accept connections:" << reason;
        Q_EMIT stateChanged(int(HTTPServerState::waiting), reason);
        QTimer::singleShot(1000, this, [this] {
            if (!m_listener)
                return;
            m_listener->resumeAccepting();
            Q_EMIT stateChanged(int(HTTPServerState::ready), QString());
        });
    });
    return std::nullopt;
}

quint16 HTTPServerEngine::serverPort() const
{
    return m_listener ? m_listener->serverPort() : 0;
}

void HTTPServerEngine::closeListener()
{
    if (!m_listener)
        return;
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

void HTTPServerEngine::accept(qintptr descriptor)
{
    const int fd = int(descriptor);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

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

    if (m_serving >= m_config.maxConnections && !anyReadingRequest()) {
        // A refused connection stays until its 503 has been read, like a served one; but no more
        // of them than served ones at once: past that a flood is closed without a word, before
        // it takes every file descriptor of the process.
        if (m_refusing >= m_config.maxConnections) {
            ::close(fd);
            return;
        }
        auto* connection = new HTTPConnection(fd, this);
        m_connections.insert(connection);
        startSweeping();
        ++m_refusing;
        ++m_open;
        connection->refuse(HTTPResponse::text(503, QStringLiteral("Server busy")));
        return;
    }

    auto* connection = new HTTPConnection(fd, this);
    m_connections.insert(connection);
    startSweeping();
    ++m_serving;
    ++m_open;
    connection->serve();
    // Over the cap for a moment: the place goes to whoever is least likely to finish, which may
    // be the new connection itself, now that its first bytes (read at once) show what it is. A
    // real client's whole request has usually arrived with the connection and is being answered
    // already, so a crowd of slow peers cannot push it out before it was ever read.
    if (m_serving > m_config.maxConnections)
        evictOne();
}

bool HTTPServerEngine::anyReadingRequest() const
{
    return std::any_of(m_connections.cbegin(), m_connections.cend(),
        [](HTTPConnection* c) { return !c->isRefusal() && c->isReadingRequest(); });
}

bool HTTPServerEngine::evictOne()
{
    // The likeliest to be a peer that holds a place without using it (see evictionRank).
    // Never one whose request has been handed over: its answer is owed.
    HTTPConnection* victim = nullptr;
    for (HTTPConnection* connection : std::as_const(m_connections)) {
        if (connection->isRefusal() || !connection->isReadingRequest())
            continue;
        if (!victim || connection->evictionRank() < victim->evictionRank())
            victim = connection;
    }
    if (!victim)
        return false;
    // It gets its 503 like any refused client, while there is room for refusals.
    const bool answer = m_refusing < m_config.maxConnections;
    if (answer) {
        --m_serving;
        ++m_refusing;
    }
    victim->evict(answer);
    return true;
}

void HTTPServerEngine::sweep()
{
    const auto now = std::chrono::steady_clock::now();
    // A closed connection is only deleted later, so each pointer stays good for the whole loop.
    const QList<HTTPConnection*> connections = m_connections.values();
    for (HTTPConnection* connection : connections)
        connection->sweep(now);
}

void HTTPServerEngine::connectionClosed(HTTPConnection* connection)
{
    if (!m_connections.remove(connection))
        return;
    if (connection->isRefusal())
        --m_refusing;
    else
        --m_serving;
    --m_open;
    if (m_connections.isEmpty())
        m_sweep.stop();
    finishIfIdle();
}

void HTTPServerEngine::finishIfIdle()
{
    if (m_retired && m_connections.isEmpty())
        thread()->quit();
}

} // namespace vesker
