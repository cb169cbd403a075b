#pragma once

#include "http/http_address.h"
#include "http/http_request.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace vesker {

namespace platform {
class DnsSdPublisher;
}

class HTTPServerEngine;

// The listener's states as its owner sees them. `waiting` means the listener cannot accept for
// the moment (out of file descriptors) and will try again by itself.
enum class HTTPServerState { setup, waiting, ready, failed, cancelled };
QString toString(HTTPServerState state);

struct HTTPServerError {
    QString domain;
    int code = 0;
    QString description;
};

// Called exactly once per request, from any thread; later calls are ignored.
using HTTPReplyFunction = std::function<void(HTTPResponse)>;
// Called on the server's own thread for every complete request. It must not wait for the main
// thread (HTTPServer::stop waits for the server's thread): it hands the work on and returns.
using HTTPHandler = std::function<void(HTTPRequest, HTTPReplyFunction)>;
// The answer to a head: nothing lets the body come, a reply refuses the request with it.
// Called at most once, from any thread; later calls are ignored.
using HTTPHeadVerdict = std::function<void(std::optional<HTTPResponse> refusal)>;
// Called on the server's own thread, like the handler, with the head (no body) of a request
// whose client waits to be told to go on before it sends its body ("Expect: 100-continue": curl
// does for any body over 1 MB, and waits a second for the answer). What the owner can decide from
// the head alone (who may send, how much) it answers here, so that a refused client sends no body.
using HTTPHeadCheck = std::function<void(HTTPRequest head, HTTPHeadVerdict verdict)>;

// Bytes of request buffers held by all servers together: what their readers reserved, until the
// requests are freed (also after they were handed to the owner). A request that would take
// more than is left is refused with 503 rather than letting many large uploads exhaust memory.
class HTTPBufferBudget {
public:
    explicit HTTPBufferBudget(qint64 limit);

    // The budget every server uses unless given another: 1 GiB.
    static std::shared_ptr<HTTPBufferBudget> processWide();

    bool tryTake(qint64 bytes);
    // Counts bytes that are held already, even past the limit.
    void take(qint64 bytes) { m_used.fetch_add(bytes); }
    void give(qint64 bytes);
    qint64 used() const { return m_used.load(); }
    qint64 limit() const { return m_limit; }

private:
    const qint64 m_limit;
    std::atomic<qint64> m_used {0};
};

// What one request's buffer holds of a budget: taken before the buffer grows, given back when
// the charge is destroyed (on any thread), which is when the last copy of the request is.
class HTTPBufferCharge {
public:
    explicit HTTPBufferCharge(std::shared_ptr<HTTPBufferBudget> budget);
    ~HTTPBufferCharge();
    HTTPBufferCharge(const HTTPBufferCharge&) = delete;
    HTTPBufferCharge& operator=(const HTTPBufferCharge&) = delete;

    // Counts `bytes` in all for this request; false, and nothing more counted, when the budget
    // cannot hold them.
    bool growTo(qint64 bytes);
    // Counts `bytes` in all even past the budget's limit: for memory that is held already and
    // small enough that refusing it would cost more than it saves.
    void growPastLimitTo(qint64 bytes);

private:
    const std::shared_ptr<HTTPBufferBudget> m_budget;
    qint64 m_bytes = 0;
};

struct HTTPServerConfig {
    // Taken as an int so that a number outside 0...65535 from a setting is refused, not
    // wrapped. 0 lets the system choose (see HTTPServer::serverPort).
    int port = 0;
    QString serviceName;
    QString serviceType = QStringLiteral("_vesker._tcp");
    // Announced as the TXT key `screen` when not empty.
    QString screenID;
    HTTPHandler handler;
    // Empty: every such client is told to go on at once.
    HTTPHeadCheck headCheck;
    qint64 maxBodyBytes = kHTTPMaxBodyBytes;
    // When set, connections that did not arrive on an interface of this kind are closed at once.
    std::optional<HTTPInterfaceType> interfaceType;
    bool advertise = false;

    // Every address by default (IPv4 and IPv6 on one socket); tests use the loopback address.
    QHostAddress address = QHostAddress::Any;
    // At the cap a new connection takes the place of the one reading a request that is least
    // likely to finish (see HTTPServerEngine); only when every one is being answered is it
    // refused with 503.
    int maxConnections = 128;
    // A connection whose request is incomplete and that sends nothing for this long is closed
    // without a reply; so is one that takes nothing of its reply for this long.
    std::chrono::milliseconds idleTimeout {60'000};
    // A request head must be whole within this time of its first byte, however steadily it
    // arrives; else the connection is closed without a reply.
    std::chrono::milliseconds headTimeout {15'000};
    // A body must arrive at this rate at least, measured over each window since its head ended
    // (so the first window is its grace); a slower one is closed without a reply.
    qint64 minBodyBytesPerSecond = 4096;
    std::chrono::milliseconds bodyRateWindow {10'000};
    // How long a connection stays after its reply has been written out.
    std::chrono::milliseconds closeDelay {1'000};
    // How long a refused client that is still sending is read (its bytes dropped) after its
    // reply, at most, so that it reads the reply instead of a reset. The close comes sooner once
    // the declared request has been read to its end or the peer ends its side.
    std::chrono::milliseconds drainTimeout {5'000};
    // Empty: HTTPBufferBudget::processWide().
    std::shared_ptr<HTTPBufferBudget> bufferBudget;
};

// The HTTP/1.1 server of one listening port: one request per connection, handed to the
// owner's handler, the owner's reply written back, then the connection is closed.
// Created and driven on the main thread. The listening socket and the connections live on the
// server's own thread, so no slow peer can hold up the main thread or another server.
class HTTPServer : public QObject {
    Q_OBJECT
public:
    using StateCallback = std::function<void(HTTPServerState state, const QString& error)>;

    explicit HTTPServer(HTTPServerConfig config, QObject* parent = nullptr);
    // Stops listening at once. Connections whose reply is still pending are served to the end.
    ~HTTPServer() override;

    const HTTPServerConfig& config() const { return m_config; }

    // Binds and starts listening. Returns the reason when it cannot: "Bad port N" (domain
    // "HTTPServer", code 1) for a number that is no port, or the socket's own error (domain
    // "QAbstractSocket", its error code and text) when binding fails. State reports reach
    // `onState` on the main thread, in order, and stop when the server is destroyed.
    // Advertising is best effort: when it fails, one log line says why and the server listens
    // all the same. Once per server; a server with other settings is a new server.
    [[nodiscard]] std::optional<HTTPServerError> start(StateCallback onState);
    // Closes the listening socket before it returns, so that another server can bind the same
    // port at once, and withdraws the advertisement.
    void stop();

    bool isListening() const { return m_listening; }
    // The bound port (the system's choice when the config said 0); 0 when not listening.
    quint16 serverPort() const { return m_serverPort; }
    // The service name the daemon registered (another host may have had ours); empty until then.
    QString advertisedName() const { return m_advertisedName; }
    // Connections accepted and not yet closed.
    int openConnections() const;

Q_SIGNALS:
    void advertised(const QString& name);
    // The daemon could not be reached or refused the service: phones cannot find this server,
    // though it serves those who know its address.
    void notAdvertised(const QString& reason);

private:
    void report(HTTPServerState state, const QString& error = QString());
    void advertise();

    HTTPServerConfig m_config;
    StateCallback m_onState;
    // Guarded: at application exit the server threads are ended and their engines deleted,
    // perhaps before this object.
    QPointer<HTTPServerEngine> m_engine;
    bool m_started = false;
    bool m_listening = false;
    quint16 m_serverPort = 0;
    QPointer<platform::DnsSdPublisher> m_publisher;
    QString m_advertisedName;
};

} // namespace vesker
