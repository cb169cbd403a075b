#include "http/http_server.h"

#include "platform/log.h"

#include "http/http_connection.h"
#include "http/http_server_engine.h"
#include "platform/dns_sd.h"

#include <QCoreApplication>
#include <QList>
#include <QThread>

namespace vesker {

namespace {

// Server threads may outlive their HTTPServer while they finish pending replies. When the
// application ends they are stopped and waited for, so that none is still running while the
// process tears down.
QList<QPointer<QThread>>& serverThreads()
{
    static QList<QPointer<QThread>> threads;
    return threads;
}

void endServerThreads()
{
    for (const QPointer<QThread>& thread : std::exchange(serverThreads(), {})) {
        if (!thread)
            continue;
        thread->quit();
        thread->wait();
    }
}

void keepTrackOf(QThread* thread)
{
    static const bool registered = [] {
        qAddPostRoutine(endServerThreads);
        return true;
    }();
    Q_UNUSED(registered);
    QList<QPointer<QThread>>& threads = serverThreads();
    threads.removeAll(nullptr);
    threads.append(thread);
}

} // namespace

QString toString(HTTPServerState state)
{
    switch (state) {
    case HTTPServerState::setup:
        return QStringLiteral("setup");
    case HTTPServerState::waiting:
        return QStringLiteral("waiting");
    case HTTPServerState::ready:
        return QStringLiteral("ready");
    case HTTPServerState::failed:
        return QStringLiteral("failed");
    case HTTPServerState::cancelled:
        return QStringLiteral("cancelled");
    }
    return QString();
}

HTTPBufferBudget::HTTPBufferBudget(qint64 limit)
    : m_limit(limit)
{ }

std::shared_ptr<HTTPBufferBudget> HTTPBufferBudget::processWide()
{
    static const std::shared_ptr<HTTPBufferBudget> budget
        = std::make_shared<HTTPBufferBudget>(qint64(1) << 30);
    return budget;
}

bool HTTPBufferBudget::tryTake(qint64 bytes)
{
    qint64 used = m_used.load();
    do {
        if (used + bytes > m_limit)
            return false;
    } while (!m_used.compare_exchange_weak(used, used + bytes));
    return true;
}

void HTTPBufferBudget::give(qint64 bytes)
{
    m_used.fetch_sub(bytes);
}

HTTPBufferCharge::HTTPBufferCharge(std::shared_ptr<HTTPBufferBudget> budget)
    : m_budget(std::move(budget))
{ }

HTTPBufferCharge::~HTTPBufferCharge()
{
    if (m_bytes > 0)
        m_budget->give(m_bytes);
}

void HTTPBufferCharge::growPastLimitTo(qint64 bytes)
{
    if (bytes <= m_bytes)
        return;
    m_budget->take(bytes - m_bytes);
    m_bytes = bytes;
}

bool HTTPBufferCharge::growTo(qint64 bytes)
{
    if (bytes <= m_bytes)
        return true;
    if (!m_budget->tryTake(bytes - m_bytes))
        return false;
    m_bytes = bytes;
    return true;
}

HTTPServer::HTTPServer(HTTPServerConfig config, QObject* parent)
    : QObject(parent)
    , m_config(std::move(config))
{ }

HTTPServer::~HTTPServer()
{
    stop();
    // The engine ends its thread itself once the replies still pending have been written.
    if (m_engine)
        QMetaObject::invokeMethod(m_engine, &HTTPServerEngine::retire, Qt::QueuedConnection);
}

std::optional<HTTPServerError> HTTPServer::start(StateCallback onState)
{
    if (m_started)
        return HTTPServerError {QStringLiteral("HTTPServer"), 2, QStringLiteral("Already started")};
    if (m_config.port < 0 || m_config.port > 65535)
        return HTTPServerError {
            QStringLiteral("HTTPServer"), 1, QStringLiteral("Bad port %1").arg(m_config.port)};

    // No parent: the thread may have to outlive this object to deliver pending replies.
    auto* thread = new QThread;
    thread->setObjectName(QStringLiteral("Vesker.http"));
    auto* engine = new HTTPServerEngine(m_config);
    engine->moveToThread(thread);
    connect(thread, &QThread::finished, engine, &QObject::deleteLater);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    keepTrackOf(thread);
    thread->start();

    // Binding is quick and must be done before start returns: the caller learns the port or
    // the reason at once.
    std::optional<HTTPServerError> error;
    quint16 boundPort = 0;
    QMetaObject::invokeMethod(
        engine,
        [&] {
            error = engine->listen(m_config.address, quint16(m_config.port));
            boundPort = engine->serverPort();
        },
        Qt::BlockingQueuedConnection);
    if (error) {
        QMetaObject::invokeMethod(engine, &HTTPServerEngine::retire, Qt::QueuedConnection);
        return error;
    }

    m_engine = engine;
    m_onState = std::move(onState);
    m_started = true;
    m_listening = true;
    m_serverPort = boundPort;
    connect(engine, &HTTPServerEngine::stateChanged, this,
        [this](int state, const QString& reason) { report(HTTPServerState(state), reason); });
    report(HTTPServerState::setup);
    report(HTTPServerState::ready);
    if (m_config.advertise)
        advertise();
    return std::nullopt;
}

void HTTPServer::stop()
{
    if (!m_listening)
        return;
    m_listening = false;
    delete m_publisher;
    m_advertisedName.clear();
    if (m_engine && m_engine->thread()->isRunning())
        QMetaObject::invokeMethod(
            m_engine, &HTTPServerEngine::closeListener, Qt::BlockingQueuedConnection);
    m_serverPort = 0;
    report(HTTPServerState::cancelled);
}

int HTTPServer::openConnections() const
{
    return m_engine ? m_engine->openConnections() : 0;
}

void HTTPServer::report(HTTPServerState state, const QString& error)
{
    // Always queued, also from the main thread itself, so that the owner sees every state in
    // order and never inside its own call to start or stop. Reports still queued when this
    // server is destroyed are dropped with it.
    QMetaObject::invokeMethod(
        this,
        [this, state, error] {
            if (m_onState)
                m_onState(state, error);
        },
        Qt::QueuedConnection);
}

void HTTPServer::advertise()
{
    platform::DnsSdService service;
    service.name = m_config.serviceName;
    service.type = m_config.serviceType;
    service.port = m_serverPort;
    service.txt = {{QStringLiteral("name"), m_config.serviceName},
        {QStringLiteral("path"), QStringLiteral("/upload")}};
    if (!m_config.screenID.isEmpty())
        service.txt.append({QStringLiteral("screen"), m_config.screenID});

    auto* publisher = new platform::DnsSdPublisher(std::move(service), this);
    m_publisher = publisher;
    connect(publisher, &platform::DnsSdPublisher::registered, this, [this](const QString& name) {
        m_advertisedName = name;
        Q_EMIT advertised(name);
    });
    // The publisher says once in the log why the screen cannot be found and keeps trying; the
    // server serves all the same, and its owner may tell the user.
    connect(publisher, &platform::DnsSdPublisher::failed, this, &HTTPServer::notAdvertised);
}

} // namespace vesker
