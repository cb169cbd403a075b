#pragma once

#include "server/http_request.h"

#include <QByteArray>
#include <QByteArrayView>

namespace vesker {

// The receive buffer of one connection. After every read it tells what the server does next:
// read more, refuse the request, or hand it on. Its answers are exactly those of parsing the
// whole buffer after every read (with the buffer limit checked first), but it neither searches
// nor parses the head again on every read: a peer that dribbles its request byte by byte costs
// linear time, not quadratic.
class HTTPRequestReader {
public:
    enum class Status { needMore, invalid, tooLarge, complete };

    explicit HTTPRequestReader(qint64 maxBodyBytes = kHTTPMaxBodyBytes);

    Status append(QByteArrayView bytes);
    // Lets `read(char* into, qsizetype most)` (a recv) write up to `maxBytes` straight into the
    // buffer, so that a large body is not copied on its way in. `received` is what read
    // returned; when it is not positive nothing was added and the status is needMore.
    template <typename Read> Status receive(qsizetype maxBytes, Read read, qint64& received)
    {
        const qsizetype before = m_buffer.size();
        // Never past the end of the request: the buffer was reserved for exactly that much, and
        // what follows the request is never read.
        if (m_expectedSize > before)
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

    qsizetype bufferedBytes() const { return m_buffer.size(); }
    // The buffer may hold the largest body plus the head allowance, no more.
    qint64 bufferLimit() const { return m_maxBodyBytes + kHTTPHeadAllowance; }

private:
    Status advance();

    qint64 m_maxBodyBytes;
    QByteArray m_buffer;
    // No CR LF CR LF begins before this offset.
    qsizetype m_scannedUpTo = 0;
    // Once the head is complete: the buffer size at which the body is too.
    qint64 m_expectedSize = -1;
    HTTPRequest m_request;
};

} // namespace vesker
