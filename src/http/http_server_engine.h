#pragma once

#include "http/http_address.h"
#include "http/http_server.h"

#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include <sys/socket.h>

class QSocketNotifier;
class QTcpServer;

namespace vesker {

class HTTPConnection;

// The part of an HTTPServer that lives on the server's own thread: the listening socket and
// every connection. Every member function runs on that thread.
class HTTPServerEngine : public QObject {
    Q_OBJECT
public:
    // The largest single read from a socket, and so the most one read can add to a buffer.
    static constexpr qsizetype kReadChunkBytes = 262'144;

    explicit HTTPServerEngine(HTTPServerConfig config);
    ~HTTPServerEngine() override;

    const HTTPServerConfig& config() const { return m_config; }
    HTTPBufferBudget& budget() const { return *m_config.bufferBudget; }

    std::optional<HTTPServerError> listen(const QHostAddress& address, quint16 port);
    quint16 serverPort() const;
    void closeListener();
    // The owner has gone: no new connections, requests still being read are dropped, and the
    // thread ends once the connections whose replies are pending have been served.
    void retire();

    int openConnections() const { return m_open.load(); }
    // One read buffer for all connections of this thread: a connection's own buffer then grows
    // only by what it actually received.
    char* readScratch() { return m_scratch.get(); }
    void connectionClosed(HTTPConnection* connection);

Q_SIGNALS:
    // HTTPServerState as int: it crosses to the main thread queued.
    void stateChanged(int state, const QString& error);

private:
    void acceptSome();
    // Stops accepting for a moment: `cause` says why, for the log.
    void pauseAccepting(const QString& cause);
    // Takes in the accepted non-blocking socket `fd` of a peer at `address`.
    void accept(int fd, const sockaddr_storage& address);
    void sweep();
    void startSweeping()
    {
        if (!m_sweep.isActive())
            m_sweep.start();
    }
    // An address holding more than its share of the places, counting `newcomer` as one more of
    // its address; none when none does.
    std::optional<PeerAddress> crowdedAddress(std::optional<PeerAddress> newcomer = {}) const;
    // The connection that gives way when the server is full (see HTTPConnection::evictionRank):
    // from an address that holds more than its share of the places when there is one, counting
    // `newcomer` as one more of its address; none when nobody may be evicted. Judged on what
    // the sockets hold, not only on what has been read of them: it reads them first.
    HTTPConnection* victim(std::optional<PeerAddress> newcomer = {});
    // The same judged on what has been read.
    HTTPConnection* rankedVictim(std::optional<PeerAddress> newcomer) const;
    // Makes room for one connection: closes or refuses the victim. False when there is none.
    bool evictOne();
    // Makes room for one more refusal: closes a refused connection whose answer has gone out.
    bool closeOneAnsweredRefusal();
    void countServing(HTTPConnection* connection, int change);
    void finishIfIdle();
    void deleteClosed();

    HTTPServerConfig m_config;
    QTcpServer* m_listener = nullptr;
    QSocketNotifier* m_acceptNotifier = nullptr;
    std::unique_ptr<char[]> m_scratch;
    QSet<HTTPConnection*> m_connections;
    // Closed, to be deleted once no code of theirs runs.
    std::vector<HTTPConnection*> m_closed;
    // Every connection's deadlines are looked at from this one timer, which runs while there
    // are connections: a connection then costs no timers of its own to make.
    QTimer m_sweep;
    int m_serving = 0;
    int m_refusing = 0;
    struct PeerAddressHash {
        size_t operator()(const PeerAddress& peer) const { return peer.hash(); }
    };
    // Connections being served, by peer address, and the address as text. Keyed by bytes rather
    // than text, and the text of an address that is here already is shared rather than written
    // again: both are done for every connection.
    struct AddressShare {
        QString text;
        int serving = 0;
    };
    std::unordered_map<PeerAddress, AddressShare, PeerAddressHash> m_servingFrom;
    std::atomic<int> m_open {0};
    bool m_retired = false;
};

} // namespace vesker
