#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QMap>
#include <QString>

#include <memory>
#include <optional>

namespace vesker {

// Largest body any server of the program accepts (60 MiB).
inline constexpr qint64 kHTTPMaxBodyBytes = 62'914'560;
// A head must end within this many bytes; it is also the head's share of the buffer limit.
inline constexpr qint64 kHTTPHeadAllowance = 65'536;

struct HTTPParseResult;

// One request as the owner's handler sees it. Everything but `remoteAddress` comes from the
// bytes on the wire; the server fills `remoteAddress` in after parsing.
struct HTTPRequest {
    QString method; // upper-cased
    QString path; // the target before its first "?", not percent-decoded
    QMap<QString, QString> query;
    QMap<QString, QString> headers; // lower-cased, trimmed names
    QByteArray body;
    QString remoteAddress;
    // The request's share of its server's buffer budget, given back when the last copy of the
    // request is gone: a body handed on stays counted while it is still held. Not part of the
    // request's value.
    std::shared_ptr<const void> bufferCharge;

    bool operator==(const HTTPRequest& other) const
    {
        return method == other.method && path == other.path && query == other.query
            && headers == other.headers && body == other.body
            && remoteAddress == other.remoteAddress;
    }

    // Parses the whole receive buffer from its first byte. Pure: the same bytes always give the
    // same result, so callers may parse again after every read. A buffer handed over with
    // std::move becomes the body without a copy (a 60 MiB upload is not copied again).
    static HTTPParseResult parse(QByteArray buffer, qint64 maxBodyBytes = kHTTPMaxBodyBytes);
    // The request line and headers of a head that ends in CR LF CR LF, without its body; none
    // when they cannot be read.
    static std::optional<HTTPRequest> parseHead(QByteArrayView head);
};

struct HTTPParseResult {
    enum class Kind { needMore, invalid, complete };

    Kind kind = Kind::needMore;
    // Only for `complete`.
    HTTPRequest request;
    // For `needMore` once the head is complete: the buffer size at which the request will be
    // complete. -1 while the head is still incomplete.
    qint64 expectedSize = -1;

    static HTTPParseResult needMore(qint64 expectedSize = -1)
    {
        return {Kind::needMore, {}, expectedSize};
    }
    static HTTPParseResult invalid() { return {Kind::invalid, {}, -1}; }
};

struct HTTPResponse {
    qint64 status = 200;
    QString contentType;
    QByteArray body;
    // The body is this file's content instead of `body`, read a piece at a time as the peer takes
    // it, so that a large photo never sits whole in memory for a client that reads slowly. A
    // file that cannot be opened is answered 404.
    QString bodyFile;
    // Seconds after which the client may try again, sent as `Retry-After`; 0 sends none.
    qint64 retryAfter = 0;

    bool operator==(const HTTPResponse&) const = default;

    // The reason phrase of the status line; "OK" for a status the table does not hold (clients of
    // this server act on the code alone).
    static QString reasonPhrase(qint64 status);

    // The reply as it goes on the wire: the head, then the body, in one buffer.
    QByteArray encode() const;
    // The head alone, for a body of `contentLength` bytes sent after it.
    QByteArray encodeHead(qint64 contentLength) const;

    static HTTPResponse text(qint64 status, const QString& body);
    // 503 "Server busy": a cap of the server was reached; the client may try again shortly.
    static HTTPResponse busy();
    // 429 "Too many tries: wait N s": a secret was not checked, for `seconds` more.
    static HTTPResponse tooManyTries(qint64 seconds);
};

// Percent-decoding as the query rules need it: nothing when an escape is malformed or the
// decoded bytes are not UTF-8.
std::optional<QString> percentDecode(QStringView text);

// A strict signed 64-bit decimal with an optional sign, nothing else (no spaces, no "0x").
std::optional<qint64> parseDecimalInt64(QStringView text);

} // namespace vesker
