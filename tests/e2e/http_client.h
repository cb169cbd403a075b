#pragma once

// A deliberately plain HTTP/1.1 client over blocking POSIX sockets, so that a test can also
// behave as a badly written or hostile peer would. Every call is bounded by a timeout and talks
// to 127.0.0.1 only.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

namespace vesker::e2e {

struct HttpReply {
    int status = 0; // 0: no reply could be read; `error` says why
    QByteArray body;
    QString error;

    QJsonObject json() const;
};

using Headers = QList<QPair<QByteArray, QByteArray>>;

// A blocking socket connected to 127.0.0.1:port whose sends and receives give up after
// `timeoutMs`; -1 when it cannot connect.
int connectLoopback(quint16 port, int timeoutMs = 5000);
// Sends every byte unless the peer or the timeout stops it; false then, with errno set.
bool sendAll(int fd, const char* data, qsizetype size);
// Reads until the peer closes, the timeout passes or an error; errno is kept in `error`.
QByteArray readToEnd(int fd, int* error);
// Status and body of a raw reply ("HTTP/1.1 200 OK\r\n...\r\n\r\nbody").
HttpReply parseReply(const QByteArray& raw);

HttpReply httpRequest(quint16 port, const QByteArray& method, const QByteArray& path,
    const Headers& headers = {}, const QByteArray& body = {}, int timeoutMs = 10000);

enum class UploadKind { photo, pdf, text };
// POST /upload, /file or /text with the content type a phone sends for the kind.
HttpReply upload(
    quint16 port, UploadKind kind, const QByteArray& body, const Headers& headers = {});

// The number of Inbox items the program reports at GET /api/info; -1 when it does not answer.
int inboxCount(quint16 port);

// A real JPEG padded to `size` bytes (decoders stop at the end-of-image marker), and the like
// for a PDF, so that file sizes in a test are chosen, not incidental.
QByteArray jpegOfSize(qsizetype size);
QByteArray pdfOfSize(qsizetype size);

} // namespace vesker::e2e
