#include "http_client.h"

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace vesker::e2e {

QJsonObject HttpReply::json() const
{
    return QJsonDocument::fromJson(body).object();
}

int connectLoopback(quint16 port, int timeoutMs)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    timeval tv {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= sent;
    }
    return true;
}

QByteArray readToEnd(int fd, int* error)
{
    QByteArray raw;
    char buffer[65536];
    *error = 0;
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            *error = errno;
        if (got <= 0)
            return raw;
        raw.append(buffer, got);
    }
}

HttpReply parseReply(const QByteArray& raw)
{
    HttpReply reply;
    const qsizetype headEnd = raw.indexOf("\r\n\r\n");
    const QList<QByteArray> statusLine = raw.left(raw.indexOf("\r\n")).split(' ');
    if (headEnd < 0 || statusLine.size() < 2 || !statusLine.at(0).startsWith("HTTP/1.")) {
        reply.error = QStringLiteral("no reply head in %1 bytes").arg(raw.size());
        return reply;
    }
    reply.status = statusLine.at(1).toInt();
    reply.body = raw.mid(headEnd + 4);
    return reply;
}

HttpReply httpRequest(quint16 port, const QByteArray& method, const QByteArray& path,
    const Headers& headers, const QByteArray& body, int timeoutMs)
{
    HttpReply failed;
    const int fd = connectLoopback(port, timeoutMs);
    if (fd < 0) {
        failed.error = QStringLiteral("connect: ") + QString::fromLocal8Bit(strerror(errno));
        return failed;
    }
    QByteArray head = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    for (const auto& [name, value] : headers)
        head += name + ": " + value + "\r\n";
    if (!body.isEmpty() || method == "POST")
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    int error = 0;
    QByteArray raw;
    if (sendAll(fd, head.constData(), head.size()) && sendAll(fd, body.constData(), body.size()))
        raw = readToEnd(fd, &error);
    else
        error = errno;
    ::close(fd);
    HttpReply reply = parseReply(raw);
    if (reply.status == 0 && error != 0)
        reply.error = QString::fromLocal8Bit(strerror(error));
    return reply;
}

HttpReply upload(quint16 port, UploadKind kind, const QByteArray& body, const Headers& headers)
{
    Headers all = headers;
    switch (kind) {
    case UploadKind::photo:
        all.append(qMakePair(QByteArray("Content-Type"), QByteArray("image/jpeg")));
        return httpRequest(port, "POST", "/upload", all, body);
    case UploadKind::pdf:
        all.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/pdf")));
        return httpRequest(port, "POST", "/file", all, body);
    case UploadKind::text:
        all.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/plain; charset=utf-8")));
        return httpRequest(port, "POST", "/text", all, body);
    }
    return {};
}

int inboxCount(quint16 port)
{
    const HttpReply reply = httpRequest(port, "GET", "/api/info", {}, {}, 5000);
    const QJsonValue inbox = reply.json().value(QStringLiteral("inbox"));
    return reply.status == 200 && inbox.isDouble() ? inbox.toInt() : -1;
}

QByteArray jpegOfSize(qsizetype size)
{
    static const QByteArray picture = [] {
        QImage image(16, 16, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPG");
        return bytes;
    }();
    QByteArray bytes = picture;
    if (bytes.size() < size)
        bytes.append(size - bytes.size(), '\0');
    return bytes;
}

QByteArray pdfOfSize(qsizetype size)
{
    QByteArray bytes = "%PDF-1.4\n";
    if (bytes.size() + 6 < size)
        bytes.append(size - bytes.size() - 6, '%');
    return bytes + "\n%%EOF";
}

} // namespace vesker::e2e
