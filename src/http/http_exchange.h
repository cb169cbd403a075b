#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <utility>

class QTcpSocket;

namespace vesker {

// What one exchange with another screen may take. Whatever the other side declares or streams,
// no more than the head and body limits is ever held, and the exchange ends by its deadline.
struct HTTPExchangeLimits {
    // Status line and headers together; every head a screen sends fits in a few hundred bytes.
    qint64 maxHeadBytes = 32 * 1024;
    qint64 maxBodyBytes = 64 * 1024;
    // Without a byte moving either way.
    int idleTimeoutMs = 30'000;
    // The whole exchange, from the first connection attempt to the last byte of the answer.
    int deadlineMs = 10'000;
};

struct HTTPExchangeResult {
    enum class Failure {
        none,
        badAddress, // no web address of http or https
        hostNotFound,
        refused,
        idle, // nothing moved for the idle time-out
        deadline, // no whole answer by the deadline
        headTooLong, // the head did not end within its limit
        bodyTooLong, // longer than the body limit; the head was read
        badAnswer, // not an HTTP/1.x answer
        network, // any other transport failure, or the connection closed early
    };

    // The answer's status, once its whole head was read; 0 before.
    int status = 0;
    // Header names in lower case; a repeated header keeps its last value.
    QHash<QByteArray, QByteArray> headers;
    // The whole body; empty when the exchange failed.
    QByteArray body;
    Failure failure = Failure::none;
    // The transport's own words, for `network` and the others that have them.
    QString errorText;

    bool ok() const { return failure == Failure::none; }
};

// One HTTP/1.1 request to another screen, on a connection of its own that is closed as soon as
// the answer is whole, fails or runs out of time. `done` is called once, on a later turn of the
// event loop; deleting the exchange first cancels it and calls nothing, and `done` may delete
// it. Main thread.
class HTTPExchange : public QObject {
public:
    using Done = std::function<void(const HTTPExchangeResult&)>;
    using Headers = QList<std::pair<QByteArray, QByteArray>>;

    // A GET when `body` is null (QByteArray()), a POST otherwise.
    HTTPExchange(const QUrl& url, const Headers& headers, const QByteArray& body,
        HTTPExchangeLimits limits, Done done, QObject* parent = nullptr);
    ~HTTPExchange() override;

private:
    void sendMore();
    void onRead();
    // False once the exchange ended.
    bool readHead();
    bool readBody();
    bool readChunks();
    void onClosed();
    void fail(HTTPExchangeResult::Failure failure, const QString& text = {});
    void succeed();
    void end();

    HTTPExchangeLimits m_limits;
    Done m_done;
    QPointer<QTcpSocket> m_socket;
    QByteArray m_request;
    QByteArray m_body;
    qint64 m_sent = 0;
    QTimer m_idle;
    QTimer m_deadline;
    QByteArray m_buffer;
    HTTPExchangeResult m_result;
    bool m_headRead = false;
    bool m_ended = false;
    bool m_chunked = false;
    bool m_noBody = false;
    // -1: read until the connection closes.
    qint64 m_contentLength = -1;
    // Chunked: bytes of the current chunk still to come, or -1 while its size line is read, or -2
    // while the trailer is read.
    qint64 m_chunkLeft = -1;
    qint64 m_headBytes = 0;
};

} // namespace vesker
