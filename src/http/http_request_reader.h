#pragma once

#include "http/http_request.h"

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <optional>

namespace vesker {

// The receive buffer of one connection. After every read it tells what the server does next:
// read more, refuse the request, or hand it on. Its answers are exactly those of parsing the
// whole buffer after every read (with the buffer limit checked first), but it neither searches
// nor parses the head again on every read: a peer that dribbles its request byte by byte costs
// linear time, not quadratic.
//
// Every growth of the buffer is asked for first, so that the owner can count memory before it
// is taken rather than after.
class HTTPRequestReader {
public:
    enum class Status { needMore, invalid, tooLarge, overBudget, complete };
    // Asked before the buffer grows to hold `bytes` in all; false refuses (overBudget).
    using Reserve = std::function<bool(qint64 bytes)>;

    // A body is first given room for this much; the rest of a larger one once that has filled.
    // A head that declares 60 MiB and then sends nothing holds no more than this.
    static constexpr qint64 kFirstBodyStep = 1 << 20;

    explicit HTTPRequestReader(qint64 maxBodyBytes = kHTTPMaxBodyBytes, Reserve reserve = {});

    Status append(QByteArrayView bytes);
    // Reads once with `read(char* into, qsizetype most)` (a recv), at most `maxBytes`.
    // `received` is what read returned; when it is not positive nothing was added and the status
    // is needMore. The head is read into `scratch` (room for maxBytes) and only what arrived is
    // kept; a body is read straight into its own buffer, so that it is not copied on its way in.
    template <typename Read>
    Status receive(qsizetype maxBytes, char* scratch, Read read, qint64& received)
    {
        if (m_expectedSize < 0) {
            received = read(scratch, maxBytes);
            return received > 0 ? append(QByteArrayView(scratch, received)) : Status::needMore;
        }
        const qsizetype before = m_buffer.size();
        if (before == m_buffer.capacity() && !makeRoom(nextBodyStep()))
            return Status::overBudget;
        // Never past the end of the request (what follows it is never read), nor past the room
        // made for it.
        maxBytes = qMin<qint64>(maxBytes, m_buffer.capacity() - before);
        maxBytes = qMin<qint64>(maxBytes, m_expectedSize - before);
        m_buffer.resize(before + maxBytes);
        received = read(m_buffer.data() + before, maxBytes);
        m_buffer.resize(before + qMax<qint64>(received, 0));
        return received > 0 ? advance() : Status::needMore;
    }
    // After `complete`: the request, leaving the reader empty.
    HTTPRequest takeRequest();
    // Frees the buffer (after a refusal).
    void clear();

    bool headComplete() const { return m_expectedSize >= 0; }
    // The head of the request being read, without its body; none before the head is complete.
    std::optional<HTTPRequest> head() const;
    // The client asked to be told to go on before it sends its body ("Expect: 100-continue"
    // from an HTTP/1.1 client), and no byte of the body has come yet.
    bool waitsForGoAhead() const;
    qsizetype bufferedBytes() const { return m_buffer.size(); }
    // What the buffer holds room for; never more than the owner agreed to.
    qsizetype reservedBytes() const { return m_buffer.capacity(); }
    // The bytes of the request not received yet, once its head is known; -1 before, and when
    // the head declares no length this server can tell. Also answers after an invalid head
    // that declared a length over the limit, so that a refused client can be read to its end.
    qint64 bytesStillToCome() const;
    // The buffer may hold the largest body plus the head allowance, no more.
    qint64 bufferLimit() const { return m_maxBodyBytes + kHTTPHeadAllowance; }

private:
    Status advance();
    bool makeRoom(qint64 bytes);
    qint64 nextBodyStep() const;

    qint64 m_maxBodyBytes;
    Reserve m_reserve;
    QByteArray m_buffer;
    // No CR LF CR LF begins before this offset.
    qsizetype m_scannedUpTo = 0;
    // Once the head is complete: its length with its CR LF CR LF.
    qsizetype m_headSize = 0;
    // Once the head is complete: the buffer size at which the body is too.
    qint64 m_expectedSize = -1;
    HTTPRequest m_request;
};

} // namespace vesker
