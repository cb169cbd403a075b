#include "app/single_instance.h"

#include "connect/invite_links.h"
#include "platform/log.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <memory>

#include <unistd.h>

namespace vesker {

namespace {

// The whole protocol: the later launch sends "show", optionally a space and an invite link, and
// a line end; the running copy answers "ok" and a line end once it has taken the request.
constexpr QByteArrayView kShow = "show";
constexpr QByteArrayView kAck = "ok\n";
// A running copy that has not answered within this long is taken as hung.
constexpr int kConnectMs = 400;
constexpr int kAckMs = 900;

} // namespace

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent)
    , m_socketPath(std::move(socketPath))
    , m_lock(m_socketPath + QStringLiteral(".lock"))
{
    // The running copy holds the lock for its whole life; only a copy that is gone leaves a
    // stale one behind, and that is told by its process id, never by its age.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance()
{
    // Before the members go: the connections' sockets report their end to this object.
    m_server.reset(); // closes it, which removes the socket file
}

QString SingleInstance::defaultSocketPath()
{
    // The runtime folder is the user's own already; the user id in the name keeps two users
    // apart even where a shared folder stands in for it.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
        + QStringLiteral("/vesker-") + QString::number(::getuid()) + QStringLiteral(".socket");
}

bool SingleInstance::looksLikeInvite(const QString& text)
{
    return text.size() <= kMaxUrlLength && InviteLinks::isInviteLink(text)
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'));
}

QString SingleInstance::inviteArgument(const QStringList& arguments)
{
    const QString first = arguments.value(1);
    return looksLikeInvite(first) ? first : QString();
}

SingleInstance::Outcome SingleInstance::start(const QString& inviteUrl)
{
    if (m_lock.tryLock(0)) {
        // Whatever socket is left is a crashed copy's: nobody else can hold the lock.
        QLocalServer::removeServer(m_socketPath);
        if (!listen())
            qCWarning(lcApp).noquote()
                << "[app] later launches cannot reach this copy:" << m_server->errorString();
        return Outcome::running;
    }
    return handOver(inviteUrl);
}

SingleInstance::Outcome SingleInstance::handOver(const QString& inviteUrl) const
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(kConnectMs))
        return Outcome::unanswered;
    QByteArray message = kShow.toByteArray();
    if (looksLikeInvite(inviteUrl))
        message += ' ' + inviteUrl.toUtf8();
    socket.write(message + '\n');

    const QDeadlineTimer deadline(kAckMs);
    QByteArray answer;
    while (!answer.contains('\n') && answer.size() < kAck.size()
        && socket.waitForReadyRead(int(deadline.remainingTime())))
        answer += socket.read(kAck.size() - answer.size());
    return answer == kAck ? Outcome::handedOver : Outcome::unanswered;
}

bool SingleInstance::listen()
{
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(kMaxConnections);
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::accept);
    return m_server->listen(m_socketPath);
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto line = std::make_shared<QByteArray>();
        connect(
            socket, &QLocalSocket::readyRead, this, [this, socket, line] { read(socket, *line); });
        // A later launch writes its line as soon as it is connected: it is often here already,
        // and then the connection never waits.
        if (read(socket, *line))
            continue;
        if (qsizetype(m_waiting.size()) >= kMaxConnections)
            cut(m_waiting.front());
        m_waiting.push_back(socket);
        connect(socket, &QObject::destroyed, this, [this, socket] { release(socket); });
        QTimer::singleShot(kReadTimeoutMs, socket, [this, socket] { cut(socket); });
    }
}

void SingleInstance::release(QLocalSocket* socket)
{
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), socket), m_waiting.end());
    disconnect(socket, nullptr, this, nullptr);
}

void SingleInstance::cut(QLocalSocket* socket)
{
    release(socket);
    socket->abort();
    socket->deleteLater();
}

bool SingleInstance::read(QLocalSocket* socket, QByteArray& line)
{
    line += socket->read(kMaxMessage + 1 - line.size());
    const qsizetype end = line.indexOf('\n');
    if (end < 0) {
        if (line.size() <= kMaxMessage)
            return false;
        cut(socket);
        return true;
    }
    // One message per connection: whatever follows the first line is never read.
    const QByteArray message = line.left(end);
    QString url;
    bool valid = message == kShow;
    if (!valid && message.startsWith(kShow.toByteArray() + ' ')) {
        url = QString::fromUtf8(message.sliced(kShow.size() + 1));
        valid = looksLikeInvite(url);
    }
    if (!valid) {
        cut(socket);
        return true;
    }
    release(socket); // also frees `line`
    socket->write(kAck.data(), kAck.size());
    socket->flush();
    socket->disconnectFromServer();
    qCInfo(lcApp).noquote() << "[app] a later launch handed over"
                            << (url.isEmpty() ? "a request for the window" : "an opened link");
    Q_EMIT showRequested();
    if (!url.isEmpty())
        Q_EMIT inviteOpened(url);
    return true;
}

} // namespace vesker
