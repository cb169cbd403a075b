#include "http/http_request_reader.h"

#include <limits>
#include <utility>

namespace vesker {

HTTPRequestReader::HTTPRequestReader(qint64 maxBodyBytes, Reserve reserve)
    : m_maxBodyBytes(maxBodyBytes)
    , m_reserve(std::move(reserve))
{ }

HTTPRequestReader::Status HTTPRequestReader::append(QByteArrayView bytes)
{
    const qint64 needed = m_buffer.size() + bytes.size();
    if (needed > bufferLimit())
        return Status::tooLarge;
    if (needed > m_buffer.capacity()) {
        // A head grows by doubling (a dribbled head is not copied once per byte); a body in
        // the steps of nextBodyStep().
        const qint64 step = headComplete()
            ? nextBodyStep()
            : qMin<qint64>(2 * m_buffer.capacity(), kHTTPHeadAllowance);
        if (!makeRoom(qMax(needed, step)))
            return Status::overBudget;
    }
    m_buffer.append(bytes);
    return advance();
}

bool HTTPRequestReader::makeRoom(qint64 bytes)
{
    if (bytes <= m_buffer.capacity())
        return true;
    if (m_reserve && !m_reserve(bytes))
        return false;
    m_buffer.reserve(bytes);
    return true;
}

qint64 HTTPRequestReader::nextBodyStep() const
{
    // The first step is small, so that a peer must send before it holds much; after that the
    // whole body at once, so that the buffer moves at most once (a realloc of the first step).
    return m_buffer.size() < kFirstBodyStep ? qMin(m_expectedSize, kFirstBodyStep) : m_expectedSize;
}

HTTPRequestReader::Status HTTPRequestReader::advance()
{
    if (m_buffer.size() > bufferLimit())
        return Status::tooLarge;

    if (m_expectedSize < 0) {
        // The terminator may straddle the previous read's end.
        const qsizetype from = qMax<qsizetype>(0, m_scannedUpTo - 3);
        const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n", from);
        if (headEnd < 0) {
            m_scannedUpTo = m_buffer.size();
            return m_buffer.size() > kHTTPHeadAllowance ? Status::invalid : Status::needMore;
        }
        m_headSize = headEnd + 4;
    } else if (m_buffer.size() < m_expectedSize) {
        return Status::needMore;
    }

    // Once the head has been read, this parse completes the request: the buffer is handed
    // over to become the body.
    const bool lastParse = m_expectedSize >= 0;
    HTTPParseResult result = lastParse ? HTTPRequest::parse(std::move(m_buffer), m_maxBodyBytes)
                                       : HTTPRequest::parse(m_buffer, m_maxBodyBytes);
    switch (result.kind) {
    case HTTPParseResult::Kind::needMore:
        if (lastParse)
            return Status::invalid;
        m_expectedSize = result.expectedSize;
        return makeRoom(nextBodyStep()) ? Status::needMore : Status::overBudget;
    case HTTPParseResult::Kind::invalid:
        return Status::invalid;
    case HTTPParseResult::Kind::complete:
        m_request = std::move(result.request);
        return Status::complete;
    }
    return Status::invalid;
}

qint64 HTTPRequestReader::bytesStillToCome() const
{
    if (m_expectedSize >= 0)
        return qMax<qint64>(0, m_expectedSize - m_buffer.size());
    const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return -1;
    // The head alone, parsed with no body limit worth the name: the length it declares, however
    // large (halved, so that adding the head's length cannot overflow).
    const HTTPParseResult head
        = HTTPRequest::parse(m_buffer.first(headEnd + 4), std::numeric_limits<qint64>::max() / 2);
    switch (head.kind) {
    case HTTPParseResult::Kind::needMore:
        return qMax<qint64>(0, head.expectedSize - m_buffer.size());
    case HTTPParseResult::Kind::complete:
        return 0;
    case HTTPParseResult::Kind::invalid:
        return -1;
    }
    return -1;
}

std::optional<HTTPRequest> HTTPRequestReader::head() const
{
    if (!headComplete())
        return std::nullopt;
    return HTTPRequest::parseHead(QByteArrayView(m_buffer).first(m_headSize));
}

bool HTTPRequestReader::waitsForGoAhead() const
{
    if (!headComplete() || m_buffer.size() != m_headSize)
        return false;
    // An HTTP/1.0 client knows no interim answer, and must not be sent one.
    const QByteArrayView requestLine = QByteArrayView(m_buffer).first(m_buffer.indexOf("\r\n"));
    if (requestLine.trimmed().endsWith("HTTP/1.0"))
        return false;
    const std::optional<HTTPRequest> request = head();
    return request
        && request->headers.value(QStringLiteral("expect"))
               .compare(u"100-continue", Qt::CaseInsensitive)
        == 0;
}

HTTPRequest HTTPRequestReader::takeRequest()
{
    HTTPRequest request = std::exchange(m_request, HTTPRequest());
    clear();
    return request;
}

void HTTPRequestReader::clear()
{
    m_buffer = QByteArray();
    m_scannedUpTo = 0;
    m_headSize = 0;
    m_expectedSize = -1;
}

} // namespace vesker
