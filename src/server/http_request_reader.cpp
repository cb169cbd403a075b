#include "server/http_request_reader.h"

#include <utility>

namespace vesker {

HTTPRequestReader::HTTPRequestReader(qint64 maxBodyBytes)
    : m_maxBodyBytes(maxBodyBytes)
{ }

HTTPRequestReader::Status HTTPRequestReader::append(QByteArrayView bytes)
{
    m_buffer.append(bytes);
    return advance();
}

HTTPRequestReader::Status HTTPRequestReader::advance()
{
    if (m_buffer.size() > bufferLimit())
        return Status::tooLarge;

    if (m_expectedSize < 0) {
        // The terminator may straddle the previous read's end.
        const qsizetype from = qMax<qsizetype>(0, m_scannedUpTo - 3);
        if (m_buffer.indexOf("\r\n\r\n", from) < 0) {
            m_scannedUpTo = m_buffer.size();
            return m_buffer.size() > kHTTPHeadAllowance ? Status::invalid : Status::needMore;
        }
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
        // The body arrives into room made once, not into a buffer grown (and copied) again
        // and again; the budget still counts only bytes received.
        m_buffer.reserve(m_expectedSize);
        return Status::needMore;
    case HTTPParseResult::Kind::invalid:
        return Status::invalid;
    case HTTPParseResult::Kind::complete:
        m_request = std::move(result.request);
        return Status::complete;
    }
    return Status::invalid;
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
    m_expectedSize = -1;
}

} // namespace vesker
