#include "http/http_exchange.h"

#include "platform/local_proxy.h"

#include <QCoreApplication>
#include <QTcpSocket>
#if QT_CONFIG(ssl)
#include <QSslSocket>
#endif

#include <algorithm>
#include <optional>

namespace vesker {

namespace {

// A body goes out this much at a time, so that the socket never holds a second copy of a whole
// photo.
constexpr qint64 kWritePiece = 256 * 1024;
// Pieces taken from the socket at a time; the socket itself buffers no more than this either.
constexpr qint64 kReadPiece = 64 * 1024;
// A chunk-size line is a number and perhaps an extension; a longer one is no HTTP answer.
constexpr qsizetype kMaxChunkLine = 1024;

using Failure = HTTPExchangeResult::Failure;

// Where the head ends (just past its blank line) in `bytes`, or -1. Lines may end in CRLF or,
// from lax servers, in LF alone.
qsizetype headEnd(const QByteArray& bytes)
{
    for (qsizetype at = bytes.indexOf('\n'); at >= 0; at = bytes.indexOf('\n', at + 1)) {
        if (at + 1 < bytes.size() && bytes.at(at + 1) == '\n')
            return at + 2;
        if (at + 2 < bytes.size() && bytes.at(at + 1) == '\r' && bytes.at(at + 2) == '\n')
            return at + 3;
    }
    return -1;
}

// "HTTP/1.x NNN reason": the status, or 0.
int statusOf(const QByteArray& line)
{
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || line.at(8) != ' '
        || (line.size() > 12 && line.at(12) != ' '))
        return 0;
    int status = 0;
    for (int i = 9; i < 12; ++i) {
        const char digit = line.at(i);
        if (digit < '0' || digit > '9')
            return 0;
        status = status * 10 + (digit - '0');
    }
    return status >= 100 ? status : 0;
}

std::optional<qint64> decimal(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<qint64> chunkSize(QByteArray line)
{
    if (const qsizetype semicolon = line.indexOf(';'); semicolon >= 0)
        line.truncate(semicolon);
    line = line.trimmed();
    if (line.isEmpty() || line.size() > 15)
        return std::nullopt;
    bool ok = false;
    const qint64 size = line.toLongLong(&ok, 16);
    return ok && size >= 0 ? std::optional(size) : std::nullopt;
}

} // namespace

HTTPExchange::HTTPExchange(const QUrl& url, const Headers& headers, const QByteArray& body,
    HTTPExchangeLimits limits, Done done, QObject* parent)
    : QObject(parent)
    , m_limits(limits)
    , m_done(std::move(done))
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(m_limits.idleTimeoutMs);
    connect(&m_idle, &QTimer::timeout, this, [this] { fail(Failure::idle); });
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(m_limits.deadlineMs);
    connect(&m_deadline, &QTimer::timeout, this,
        [this] { fail(Failure::deadline, QStringLiteral("No whole answer in time")); });

    const QString scheme = url.scheme().toLower();
    const bool tls = scheme == QLatin1String("https");
    const QString host = url.host(QUrl::FullyEncoded);
    if (!url.isValid() || host.isEmpty() || (scheme != QLatin1String("http") && !tls)) {
        fail(Failure::badAddress);
        return;
    }
#if QT_CONFIG(ssl)
    m_socket = tls ? new QSslSocket(this) : new QTcpSocket(this);
#else
    if (tls) {
        fail(Failure::network, QStringLiteral("Secure connections are not available"));
        return;
    }
    m_socket = new QTcpSocket(this);
#endif
    const quint16 port = quint16(url.port(tls ? 443 : 80));

    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray hostHeader = host.contains(u':') ? '[' + host.toLatin1() + ']' : host.toLatin1();
    if (url.port() != -1)
        hostHeader += ':' + QByteArray::number(url.port());
    const bool post = !body.isNull();
    m_request = (post ? "POST " : "GET ") + target + " HTTP/1.1\r\nHost: " + hostHeader + "\r\n";
    for (const auto& [name, value] : headers)
        m_request += name + ": " + value + "\r\n";
    if (post)
        m_request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    m_request += "Connection: close\r\n\r\n";
    m_body = body;

    m_socket->setProxy(platform::proxyFor(url.host()));
    m_socket->setReadBufferSize(kReadPiece);
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
        m_idle.start();
        sendMore();
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &HTTPExchange::onRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &HTTPExchange::onClosed);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        switch (error) {
        case QAbstractSocket::RemoteHostClosedError:
            return onClosed();
        case QAbstractSocket::HostNotFoundError:
            return fail(Failure::hostNotFound, m_socket->errorString());
        case QAbstractSocket::ConnectionRefusedError:
            return fail(Failure::refused, m_socket->errorString());
        case QAbstractSocket::SocketTimeoutError:
            return fail(Failure::idle, m_socket->errorString());
        default:
            return fail(Failure::network, m_socket->errorString());
        }
    });
#if QT_CONFIG(ssl)
    if (auto* secure = qobject_cast<QSslSocket*>(m_socket.data())) {
        connect(secure, &QSslSocket::encrypted, this, &HTTPExchange::sendMore);
        secure->connectToHostEncrypted(url.host(), port);
    } else
#endif
    {
        connect(m_socket, &QTcpSocket::connected, this, &HTTPExchange::sendMore);
        m_socket->connectToHost(url.host(), port);
    }
    m_idle.start();
    m_deadline.start();
}

HTTPExchange::~HTTPExchange()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void HTTPExchange::sendMore()
{
    if (m_ended || !m_socket)
        return;
#if QT_CONFIG(ssl)
    if (auto* secure = qobject_cast<QSslSocket*>(m_socket.data()); secure && !secure->isEncrypted())
        return;
#endif
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    const qint64 total = m_request.size() + m_body.size();
    while (m_sent < total && m_socket->bytesToWrite() < kWritePiece) {
        qint64 written = 0;
        if (m_sent < m_request.size()) {
            written = m_socket->write(m_request.constData() + m_sent, m_request.size() - m_sent);
        } else {
            const qint64 at = m_sent - m_request.size();
            written = m_socket->write(
                m_body.constData() + at, std::min<qint64>(kWritePiece, m_body.size() - at));
        }
        if (written <= 0)
            return;
        m_sent += written;
    }
    if (m_sent == total)
        m_body = QByteArray();
}

void HTTPExchange::onRead()
{
    while (!m_ended && m_socket && m_socket->bytesAvailable() > 0) {
        const QByteArray piece = m_socket->read(kReadPiece);
        if (piece.isEmpty())
            return;
        m_idle.start();
        m_buffer += piece;
        if (!m_headRead && !readHead())
            return;
        if (m_headRead && !readBody())
            return;
    }
}

bool HTTPExchange::readHead()
{
    // Informational answers (100 Continue) come before the real one, and count with its head.
    while (!m_headRead) {
        const qsizetype end = headEnd(m_buffer);
        if (end < 0) {
            if (m_headBytes + m_buffer.size() > m_limits.maxHeadBytes) {
                fail(Failure::headTooLong, QStringLiteral("Answer too long"));
                return false;
            }
            return true;
        }
        m_headBytes += end;
        if (m_headBytes > m_limits.maxHeadBytes) {
            fail(Failure::headTooLong, QStringLiteral("Answer too long"));
            return false;
        }
        const QList<QByteArray> lines = m_buffer.left(end).trimmed().split('\n');
        m_buffer.remove(0, end);
        const int status = statusOf(lines.first().trimmed());
        if (status == 0) {
            fail(Failure::badAnswer, QStringLiteral("Not an HTTP answer"));
            return false;
        }
        QHash<QByteArray, QByteArray> headers;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line
                = lines.at(i).endsWith('\r') ? lines.at(i).chopped(1) : lines.at(i);
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0 || line.left(colon).contains(' ') || line.startsWith('\t')) {
                fail(Failure::badAnswer, QStringLiteral("Not an HTTP answer"));
                return false;
            }
            headers.insert(line.left(colon).toLower(), line.mid(colon + 1).trimmed());
        }
        if (status < 200)
            continue;
        m_result.status = status;
        m_result.headers = headers;
        m_headRead = true;
        m_noBody = status == 204 || status == 304;
        m_chunked = headers.value("transfer-encoding").toLower().trimmed().endsWith("chunked");
        if (!m_chunked && headers.contains("content-length")) {
            const auto length = decimal(headers.value("content-length"));
            if (!length) {
                fail(Failure::badAnswer, QStringLiteral("Not an HTTP answer"));
                return false;
            }
            m_contentLength = *length;
        }
        if (m_contentLength > m_limits.maxBodyBytes) {
            fail(Failure::bodyTooLong, QStringLiteral("Answer too long"));
            return false;
        }
    }
    return true;
}

bool HTTPExchange::readBody()
{
    if (m_noBody || m_contentLength == 0) {
        succeed();
        return false;
    }
    if (m_chunked)
        return readChunks();
    m_result.body += m_buffer;
    m_buffer.clear();
    if (m_contentLength >= 0 && m_result.body.size() >= m_contentLength) {
        m_result.body.truncate(m_contentLength);
        succeed();
        return false;
    }
    if (m_result.body.size() > m_limits.maxBodyBytes) {
        fail(Failure::bodyTooLong, QStringLiteral("Answer too long"));
        return false;
    }
    return true;
}

bool HTTPExchange::readChunks()
{
    const auto badAnswer = [this] {
        fail(Failure::badAnswer, QStringLiteral("Not an HTTP answer"));
        return false;
    };
    for (;;) {
        if (m_chunkLeft > 0) {
            const qint64 take = std::min<qint64>(m_chunkLeft, m_buffer.size());
            m_result.body += m_buffer.left(take);
            m_buffer.remove(0, take);
            m_chunkLeft -= take;
            if (m_chunkLeft > 0)
                return true;
            m_chunkLeft = -3; // the line end after the data
        }
        const qsizetype lineEnd = m_buffer.indexOf('\n');
        if (lineEnd < 0) {
            if (m_buffer.size() > kMaxChunkLine)
                return badAnswer();
            return true;
        }
        const QByteArray line = m_buffer.left(lineEnd).trimmed();
        m_buffer.remove(0, lineEnd + 1);
        if (m_chunkLeft == -3) {
            if (!line.isEmpty())
                return badAnswer();
            m_chunkLeft = -1;
        } else if (m_chunkLeft == -2) {
            m_headBytes += lineEnd + 1;
            if (m_headBytes > m_limits.maxHeadBytes) {
                fail(Failure::headTooLong, QStringLiteral("Answer too long"));
                return false;
            }
            if (line.isEmpty()) {
                succeed();
                return false;
            }
        } else {
            const auto size = chunkSize(line);
            if (!size)
                return badAnswer();
            if (*size == 0) {
                m_chunkLeft = -2;
            } else if (m_result.body.size() + *size > m_limits.maxBodyBytes) {
                fail(Failure::bodyTooLong, QStringLiteral("Answer too long"));
                return false;
            } else {
                m_chunkLeft = *size;
            }
        }
    }
}

void HTTPExchange::onClosed()
{
    if (m_ended)
        return;
    onRead();
    if (m_ended)
        return;
    // Without a length, the body is what came before the close.
    if (m_headRead && !m_chunked && m_contentLength < 0)
        return succeed();
    fail(Failure::network, QStringLiteral("Connection closed"));
}

void HTTPExchange::fail(Failure failure, const QString& text)
{
    if (m_ended)
        return;
    m_result.failure = failure;
    m_result.errorText = text;
    m_result.body.clear();
    end();
}

void HTTPExchange::succeed()
{
    if (m_ended)
        return;
    end();
}

void HTTPExchange::end()
{
    m_ended = true;
    m_idle.stop();
    m_deadline.stop();
    m_buffer.clear();
    m_body = QByteArray();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    // Never from within the caller's own call, and never after the exchange is gone. Not an
    // event of the exchange itself either: whoever is told may delete it.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [weak = QPointer<HTTPExchange>(this)] {
            if (!weak)
                return;
            const HTTPExchangeResult result = weak->m_result;
            if (const Done done = std::exchange(weak->m_done, nullptr))
                done(result);
        },
        Qt::QueuedConnection);
}

} // namespace vesker
