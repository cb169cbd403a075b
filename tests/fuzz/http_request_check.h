#pragma once

#include "http/http_request.h"
#include "http/http_request_reader.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <algorithm>
#include <optional>

namespace vesker::fuzz {

// Whether every Content-Length line of the head, and every element of a list in one, is plain
// digits naming `length`; read from the raw bytes, apart from the parser.
inline bool everyLengthSays(const QByteArray& whole, qsizetype length)
{
    auto trimmed = [](QByteArrayView text) {
        while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
            text = text.sliced(1);
        while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
            text.chop(1);
        return text;
    };
    const QByteArray expected = QByteArray::number(length);
    const QByteArrayView head = QByteArrayView(whole).first(whole.indexOf("\r\n\r\n"));
    for (qsizetype start = 0; start <= head.size();) {
        qsizetype end = head.indexOf("\r\n", start);
        if (end < 0)
            end = head.size();
        const QByteArrayView line = head.sliced(start, end - start);
        start = end + 2;
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || trimmed(line.first(colon)).compare("content-length", Qt::CaseInsensitive))
            continue;
        for (QByteArray element : line.sliced(colon + 1).toByteArray().split(',')) {
            element = trimmed(element).toByteArray();
            if (element.isEmpty() || !std::all_of(element.begin(), element.end(), [](char c) {
                    return c >= '0' && c <= '9';
                }))
                return false;
            while (element.size() > 1 && element.startsWith('0'))
                element.remove(0, 1);
            if (element != expected)
                return false;
        }
    }
    return true;
}

// A head of ASCII bytes alone is read by a shorter way than one holding any other byte; one line
// of a non-ASCII value added after the request line sends the same head the general way. Both
// must give the same request, the added line aside. Returns what differed, or an empty string.
inline QString checkAsciiReadingAgrees(QByteArrayView bytes)
{
    const qsizetype headEnd = bytes.indexOf("\r\n\r\n");
    if (headEnd < 0 || !std::all_of(bytes.begin(), bytes.begin() + headEnd, [](char c) {
            return (quint8(c) & 0x80) == 0;
        }))
        return QString();
    const QByteArrayView head = bytes.first(headEnd + 4);
    const qsizetype firstLineEnd = head.indexOf("\r\n") + 2;
    const QByteArray wide = head.first(firstLineEnd).toByteArray()
        + QByteArrayLiteral("X-Wide-Check: caf\xc3\xa9\r\n")
        + head.sliced(firstLineEnd).toByteArray();
    const std::optional<HTTPRequest> ascii = HTTPRequest::parseHead(head);
    std::optional<HTTPRequest> general = HTTPRequest::parseHead(wide);
    if (ascii.has_value() != general.has_value())
        return QStringLiteral("an ASCII head was %1 only when read the general way")
            .arg(ascii ? QStringLiteral("refused") : QStringLiteral("taken"));
    if (!ascii)
        return QString();
    const QString added = QStringLiteral("x-wide-check");
    if (!ascii->headers.contains(added))
        general->headers.remove(added);
    if (!(*ascii == *general))
        return QStringLiteral("an ASCII head read differently than the general way");
    return QString();
}

// What must hold for any bytes a peer can send, shared by the fuzzer and the parser tests that
// replay its corpus. Returns what failed, or an empty string.
// - The reader, fed the bytes in chunks of any size, answers after every chunk what parsing the
//   whole buffer so far answers (after the buffer limit), and ends with the same request.
// - A complete request stays the same whatever follows it, has an upper-case method, no remote
//   address and a body within the limit, as long as every Content-Length line of its head says.
// - The reader's buffer never has room for more than it asked its owner for.
inline QString checkRequestBytes(QByteArrayView bytes, qint64 maxBodyBytes, quint32 seed)
{
    using Status = HTTPRequestReader::Status;
    using Kind = HTTPParseResult::Kind;
    const QByteArray whole = bytes.toByteArray();
    if (const QString differs = checkAsciiReadingAgrees(whole); !differs.isEmpty())
        return differs;

    const HTTPParseResult result = HTTPRequest::parse(whole, maxBodyBytes);
    if (result.kind == Kind::complete) {
        const HTTPRequest& request = result.request;
        if (request.method != request.method.toUpper() || !request.remoteAddress.isEmpty()
            || request.body.size() > maxBodyBytes)
            return QStringLiteral("method not upper-cased, remote address set or body too long");
        if (!everyLengthSays(whole, request.body.size()))
            return QStringLiteral("a body of %1 bytes where a Content-Length line says otherwise")
                .arg(request.body.size());
        const HTTPParseResult extended = HTTPRequest::parse(
            whole + QByteArray("\r\n\r\nGET /x HTTP/1.1\r\n\r\n"), maxBodyBytes);
        if (extended.kind != Kind::complete || !(extended.request == request))
            return QStringLiteral("bytes after a complete request changed it");
    }

    qint64 granted = 0;
    HTTPRequestReader reader(maxBodyBytes, [&granted](qint64 bytes) {
        granted = std::max(granted, bytes);
        return true;
    });
    quint32 state = seed * 2654435761u + 1;
    // The buffer so far is parsed again after every chunk, so the chunks of a long input are
    // fewer and longer: at most about kMostChunks of them keeps the check linear in its length,
    // and the seeds still put the splits everywhere.
    constexpr qsizetype kMostChunks = 16;
    const qsizetype shortest = std::max<qsizetype>(1, whole.size() / kMostChunks);
    for (qsizetype offset = 0; offset < whole.size();) {
        state = state * 1664525u + 1013904223u;
        // Mostly small chunks, sometimes large ones, so that splits fall everywhere.
        const qsizetype limit = (state >> 28) < 12 ? 8 : whole.size();
        const qsizetype chunk = std::min<qsizetype>(
            whole.size() - offset, std::max(shortest, 1 + qsizetype((state >> 8) % limit)));
        const Status status = reader.append(QByteArrayView(whole).sliced(offset, chunk));
        offset += chunk;

        const HTTPParseResult parsed = HTTPRequest::parse(whole.first(offset), maxBodyBytes);
        const Status expected = offset > reader.bufferLimit() ? Status::tooLarge
            : parsed.kind == Kind::needMore                   ? Status::needMore
            : parsed.kind == Kind::invalid                    ? Status::invalid
                                                              : Status::complete;
        if (reader.reservedBytes() > granted)
            return QStringLiteral("buffer of %1 bytes, %2 asked for")
                .arg(reader.reservedBytes())
                .arg(granted);
        if (status != expected)
            return QStringLiteral("reader answered %1, parsing the buffer %2 (after %3 bytes)")
                .arg(int(status))
                .arg(int(expected))
                .arg(offset);
        if (status == Status::complete && !(reader.takeRequest() == parsed.request))
            return QStringLiteral("reader's request differs from the parsed one");
        if (status != Status::needMore)
            break;
    }
    return QString();
}

} // namespace vesker::fuzz
