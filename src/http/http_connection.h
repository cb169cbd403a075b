#pragma once

#include "platform/log.h"

#include "http/http_address.h"
#include "http/http_request.h"
#include "http/http_request_reader.h"
#include "http/http_server.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>
#include <utility>

class QSocketNotifier;

namespace vesker {

class HTTPServerEngine;

// One accepted TCP connection of an HTTPServer, on the server's thread: reads one request,
// hands it to the handler, writes the one reply and closes.
//
// It drives the socket itself rather than through QTcpSocket, because the wire needs two things
// QTcpSocket cannot do: keep a connection whose peer has finished sending (a client may
// half-close after its request and still wait for the reply) and finish our own sending side
// while still reading (so that a refusal sent to a client that is still uploading is read
// before the connection closes, instead of being lost to a reset).
class HTTPConnection : public QObject {
    Q_OBJECT
public:
    // Takes ownership of the non-blocking socket `descriptor`, whose peer is at `remoteAddress`
    // (`peer` as bytes).
    HTTPConnection(
        int descriptor, const QString& remoteAddress, PeerAddress peer, HTTPServerEngine* engine);
    ~HTTPConnection() override;

    // Reads a request (what has arrived at once, the rest as it comes) and hands it to the
    // handler.
    void serve();
    // Answers at once without reading a request (the server is full).
    void refuse(const HTTPResponse& response);
    // Gives up the request being read to make room for a new connection: answered 503 when
    // `answer` (and read to its end like any refusal), else closed without a word.
    void evict(bool answer);
    // Closes without a word. Safe to call more than once.
    void closeNow();
    // Reads once what waits in the socket unread, for a choice of whom to evict: the read
    // notification may not have been handled yet, and a real client's whole request may be
    // there. True when that changed the connection (more of a request, handed over, refused or
    // closed).
    bool readWaiting();
    // Reading a request of which nothing has been read yet.
    bool hasReadNothing() const
    {
        return m_phase == Phase::reading && !m_refusal && m_reader.bufferedBytes() == 0;
    }

    // Acts on whichever of the connection's deadlines has passed by `now`. The engine calls it
    // for every connection from one periodic sweep, so that no connection needs timers of its own.
    void sweep(std::chrono::steady_clock::time_point now);

    bool isReadingRequest() const { return m_phase == Phase::reading; }
    bool isRefusal() const { return m_refusal; }
    // Its reply has gone out whole and it only waits to close.
    bool isAnswered() const { return m_phase == Phase::draining; }
    const QString& remoteAddress() const { return m_remoteAddress; }
    PeerAddress peer() const { return m_peer; }

    // For choosing whom to evict, lowest first; none for a connection that must not be: one whose
    // request was handed over and not answered yet (its answer is owed), or one sending a reply
    // that the peer takes. First come requests whose head is partly sent (a real client sends
    // its head at once, so a part of one is suspect), in the order they were accepted, and
    // replies the peer has stopped taking, by how long ago it took some; then connections not
    // read yet (most likely their whole head has come, only not been read); then bodies, the one
    // that has sent nothing for longest first. `anyReply`: a reply counts even while the peer
    // takes it (its address holds more than its share).
    using EvictionRank = std::pair<int, std::chrono::steady_clock::time_point>;
    std::optional<EvictionRank> evictionRank(
        std::chrono::steady_clock::time_point now, bool anyReply) const;

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr TimePoint kNever = TimePoint::max();

    enum class Phase { reading, awaitingReply, writing, draining, closed };

    // The file a reply's body is read from, a piece at a time.
    struct BodyFile {
        int fd = -1;
        qint64 left = 0;
        ~BodyFile();
    };

    // What a reply function shares with its connection: the connection may be gone (closed
    // by a timeout, or the server stopped) before the owner replies.
    struct ReplyLink {
        std::mutex mutex;
        HTTPConnection* connection = nullptr;
        std::atomic<bool> used {false};
        std::atomic<bool> judged {false};
    };

    void readRequest();
    // For a client that waits before it sends its body: asks the owner's head check, or lets it
    // go on at once.
    void askForBody();
    void takeVerdict(const std::optional<HTTPResponse>& refusal);
    void checkBodyRate();
    // Ends a reply that the peer takes more slowly than the minimum rate.
    void checkReplyRate();
    void refuseRequest(const HTTPResponse& response);
    void drain();
    void handOver();
    void answer(const HTTPResponse& response);
    void send(QByteArray wire, std::shared_ptr<BodyFile> file = {});
    // Replaces the piece of the reply that has gone out with the next one of its file; false when
    // the file cannot be read as far as its head promised.
    bool readNextPiece();
    void writeSome();
    // The notifiers are made when first needed: a request read whole as it is accepted needs none
    // to be watched for, and most replies go out in one send.
    void watchReadable(bool on);
    void watchWritable(bool on);
    void restartIdle();
    void finishWriting(bool delivered);
    static HTTPReplyFunction replyFunction(std::shared_ptr<ReplyLink> link);
    static HTTPHeadVerdict verdictFunction(std::shared_ptr<ReplyLink> link);

    int m_fd;
    HTTPServerEngine* m_engine;
    Phase m_phase = Phase::reading;
    bool m_refusal = false;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    // Closes a connection that sends nothing of an incomplete request, or takes nothing of its
    // reply, for the idle timeout.
    TimePoint m_idleDeadline = kNever;
    // The head's deadline, then the body's next rate check.
    TimePoint m_requestDeadline = kNever;
    TimePoint m_closeDeadline = kNever;
    std::shared_ptr<HTTPBufferCharge> m_charge;
    // What the reply being written holds of the buffer budget: the whole of an encoded reply, or
    // the head and one piece of a file's.
    std::unique_ptr<HTTPBufferCharge> m_replyCharge;
    std::shared_ptr<BodyFile> m_bodyFile;
    HTTPRequestReader m_reader;
    const std::chrono::steady_clock::time_point m_accepted;
    std::chrono::steady_clock::time_point m_lastReceived;
    qint64 m_bufferedAtLastCheck = 0;
    // The reply's bytes in all, those the socket took, and those it had taken at the last rate
    // check; when it last took any.
    qint64 m_replyBytes = 0;
    qint64 m_sentBytes = 0;
    qint64 m_sentAtLastCheck = 0;
    std::chrono::steady_clock::time_point m_lastSent;
    // Bytes of the request the peer is still to send after a refusal; -1 when unknown.
    qint64 m_drainLeft = 0;
    // The owner's head check has not answered yet; a request that came whole meanwhile (its
    // client stopped waiting) waits for the answer.
    bool m_verdictPending = false;
    bool m_completeBeforeVerdict = false;
    // While reading: the rest of a "100 Continue" the socket could not take at once. Then: the
    // reply.
    QByteArray m_out;
    qsizetype m_outOffset = 0;
    QString m_remoteAddress;
    PeerAddress m_peer;
    std::shared_ptr<ReplyLink> m_link;
};

} // namespace vesker
