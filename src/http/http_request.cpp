#include "http/http_request.h"

#include <QList>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>

namespace vesker {

namespace {

bool isHorizontalSpace(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView trimmedHorizontal(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isHorizontalSpace(text[begin]))
        ++begin;
    while (end > begin && isHorizontalSpace(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Splits at the first "=" into at most two parts, leaving out empty parts: "=x" is the name
// "x" alone, "a==b" is "a" and "=b", "a=" is "a" alone.
QList<QStringView> splitQueryField(QStringView field)
{
    QList<QStringView> parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != u'=')
            continue;
        if (i > start) {
            parts.append(field.sliced(start, i - start));
            start = i + 1;
            break;
        }
        start = i + 1;
    }
    if (start < field.size())
        parts.append(field.sliced(start));
    return parts;
}

QMap<QString, QString> parseQuery(QStringView queryString)
{
    QMap<QString, QString> query;
    for (QStringView field : queryString.split(u'&', Qt::SkipEmptyParts)) {
        const QList<QStringView> parts = splitQueryField(field);
        if (parts.isEmpty())
            continue;
        const std::optional<QString> name = percentDecode(parts[0]);
        if (!name)
            continue;
        QString value;
        if (parts.size() > 1) {
            QString raw = parts[1].toString();
            raw.replace(u'+', u' ');
            value = percentDecode(raw).value_or(QString());
        }
        query.insert(*name, value);
    }
    return query;
}

// Adds one Content-Length field value to what earlier lines declared: plain digits, or a list of
// equal ones (as a proxy writes repeated lines it joined). A head whose lengths disagree, or that
// writes one any other way, would be framed differently by other readers, so it is refused
// rather than read by the last line or the first.
bool addContentLength(QStringView value, std::optional<qint64>& length)
{
    for (QStringView element : value.split(u',')) {
        element = trimmedHorizontal(element);
        if (element.isEmpty())
            return false;
        qint64 parsed = 0;
        for (const QChar c : element) {
            if (c < u'0' || c > u'9')
                return false;
            const int digit = c.unicode() - u'0';
            if (parsed > (std::numeric_limits<qint64>::max() - digit) / 10)
                return false;
            parsed = parsed * 10 + digit;
        }
        if (length && *length != parsed)
            return false;
        length = parsed;
    }
    return true;
}

} // namespace

std::optional<QString> percentDecode(QStringView text)
{
    if (!text.contains(u'%'))
        return text.toString();
    const QByteArray utf8 = text.toUtf8();
    QByteArray bytes;
    bytes.reserve(utf8.size());
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c != '%') {
            bytes.append(c);
            continue;
        }
        if (i + 2 >= utf8.size())
            return std::nullopt;
        const int high = hexValue(utf8[i + 1]);
        const int low = hexValue(utf8[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.append(char(high * 16 + low));
        i += 2;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return decoded;
}

std::optional<qint64> parseDecimalInt64(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    // Accumulated as a magnitude, so that the most negative value fits as well.
    const quint64 limit = negative ? quint64(1) << 63 : (quint64(1) << 63) - 1;
    quint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const quint64 digit = c - u'0';
        if (magnitude > (limit - digit) / 10)
            return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }
    return negative ? qint64(0 - magnitude) : qint64(magnitude);
}

namespace {

// The request line and the headers of the head that ends at `headEnd` (where its CR LF CR LF
// begins), for a head of any bytes.
std::optional<HTTPRequest> readHeadText(QByteArrayView buffer, qsizetype headEnd)
{
    const QString head = QString::fromUtf8(buffer.first(headEnd));
    const QList<QStringView> lines = QStringView(head).split(u"\r\n");

    const QList<QStringView> requestLine = lines.first().split(u' ', Qt::SkipEmptyParts);
    if (requestLine.size() < 2)
        return std::nullopt;

    HTTPRequest request;
    request.method = requestLine[0].toString().toUpper();
    const QStringView target = requestLine[1];
    const qsizetype question = target.indexOf(u'?');
    if (question >= 0) {
        request.path = target.first(question).toString();
        request.query = parseQuery(target.sliced(question + 1));
    } else {
        request.path = target.toString();
    }

    std::optional<qint64> contentLength;
    for (QStringView line : lines) {
        const qsizetype colon = line.indexOf(u':');
        if (colon < 0)
            continue;
        const QString name = trimmedHorizontal(line.first(colon)).toString().toLower();
        const QStringView value = trimmedHorizontal(line.sliced(colon + 1));
        if (name == u"content-length" && !addContentLength(value, contentLength))
            return std::nullopt;
        // Only Content-Length delimits a body here. Taking a chunked body for an empty one
        // would store nothing and still answer success, so such a request is refused, whichever
        // of several lines says so.
        if (name == u"transfer-encoding" && value.compare(u"identity", Qt::CaseInsensitive) != 0)
            return std::nullopt;
        request.headers.insert(name, value.toString());
    }
    // Agreeing repeats ("5, 5") are one length: the body is read by the value they agree on.
    if (contentLength)
        request.headers.insert(QStringLiteral("content-length"), QString::number(*contentLength));
    return request;
}

bool isAscii(QByteArrayView bytes)
{
    quint64 any = 0;
    qsizetype i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        quint64 word;
        std::memcpy(&word, bytes.data() + i, sizeof word);
        any |= word;
    }
    for (; i < bytes.size(); ++i)
        any |= quint8(bytes[i]);
    return (any & 0x8080'8080'8080'8080ULL) == 0;
}

QByteArrayView trimmedHorizontal(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

// One of `known` when `word` is it but for the case of its letters, else `word` itself turned
// by `turn`. Names and methods nearly every request carries are then shared, not made anew.
template <size_t N, typename Turn>
QString knownOr(QByteArrayView word, const std::array<QString, N>& known, Turn turn)
{
    for (const QString& candidate : known) {
        if (candidate.size() == word.size()
            && QLatin1StringView(word).compare(candidate, Qt::CaseInsensitive) == 0)
            return candidate;
    }
    QString text(word.size(), Qt::Uninitialized);
    std::transform(word.begin(), word.end(), text.begin(), [&](char c) { return QChar(turn(c)); });
    return text;
}

QString methodText(QByteArrayView method)
{
    static const std::array<QString, 4> known = {QStringLiteral("GET"), QStringLiteral("POST"),
        QStringLiteral("OPTIONS"), QStringLiteral("HEAD")};
    return knownOr(method, known, [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; });
}

QString headerName(QByteArrayView name)
{
    static const std::array<QString, 12> known = {QStringLiteral("host"),
        QStringLiteral("connection"), QStringLiteral("user-agent"), QStringLiteral("accept"),
        QStringLiteral("accept-encoding"), QStringLiteral("accept-language"),
        QStringLiteral("content-type"), QStringLiteral("content-length"), QStringLiteral("origin"),
        QStringLiteral("referer"), QStringLiteral("expect"), QStringLiteral("transfer-encoding")};
    return knownOr(name, known, [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
}

// readHeadText for a head of ASCII bytes alone, as nearly every head is: the same request,
// read from the bytes without decoding the head and splitting it into lists first. ASCII is
// its own UTF-8, and upper and lower case of ASCII stay ASCII, so the results agree.
std::optional<HTTPRequest> readAsciiHead(QByteArrayView head)
{
    const qsizetype firstEnd = head.indexOf("\r\n");
    const QByteArrayView firstLine = firstEnd < 0 ? head : head.first(firstEnd);
    const auto word = [&](qsizetype& at) {
        while (at < firstLine.size() && firstLine[at] == ' ')
            ++at;
        const qsizetype begin = at;
        while (at < firstLine.size() && firstLine[at] != ' ')
            ++at;
        return firstLine.sliced(begin, at - begin);
    };
    qsizetype at = 0;
    const QByteArrayView method = word(at);
    const QByteArrayView target = word(at);
    if (target.isEmpty())
        return std::nullopt;

    HTTPRequest request;
    request.method = methodText(method);
    const qsizetype question = target.indexOf('?');
    if (question >= 0) {
        request.path = QString::fromLatin1(target.first(question));
        request.query = parseQuery(QString::fromLatin1(target.sliced(question + 1)));
    } else {
        request.path = QString::fromLatin1(target);
    }

    std::optional<qint64> contentLength;
    for (qsizetype start = 0; start <= head.size();) {
        qsizetype end = head.indexOf("\r\n", start);
        if (end < 0)
            end = head.size();
        const QByteArrayView line = head.sliced(start, end - start);
        start = end + 2;
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QString name = headerName(trimmedHorizontal(line.first(colon)));
        const QString value = QString::fromLatin1(trimmedHorizontal(line.sliced(colon + 1)));
        if (name == u"content-length" && !addContentLength(value, contentLength))
            return std::nullopt;
        if (name == u"transfer-encoding" && value.compare(u"identity", Qt::CaseInsensitive) != 0)
            return std::nullopt;
        request.headers.insert(name, value);
    }
    if (contentLength)
        request.headers.insert(QStringLiteral("content-length"), QString::number(*contentLength));
    return request;
}

std::optional<HTTPRequest> readHead(QByteArrayView buffer, qsizetype headEnd)
{
    const QByteArrayView head = buffer.first(headEnd);
    return isAscii(head) ? readAsciiHead(head) : readHeadText(buffer, headEnd);
}

} // namespace

std::optional<HTTPRequest> HTTPRequest::parseHead(QByteArrayView head)
{
    const qsizetype headEnd = head.indexOf("\r\n\r\n");
    return headEnd < 0 ? std::nullopt : readHead(head, headEnd);
}

HTTPParseResult HTTPRequest::parse(QByteArray buffer, qint64 maxBodyBytes)
{
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return buffer.size() > kHTTPHeadAllowance ? HTTPParseResult::invalid()
                                                  : HTTPParseResult::needMore();
    std::optional<HTTPRequest> head = readHead(buffer, headEnd);
    if (!head)
        return HTTPParseResult::invalid();
    HTTPRequest request = std::move(*head);

    const qint64 bodyLength
        = request.headers.value(QStringLiteral("content-length"), QStringLiteral("0")).toLongLong();
    if (bodyLength > maxBodyBytes)
        return HTTPParseResult::invalid();

    const qsizetype bodyStart = headEnd + 4;
    if (buffer.size() - bodyStart < bodyLength)
        return HTTPParseResult::needMore(bodyStart + bodyLength);
    // Removing from the front of an unshared array only moves its start: no copy.
    request.body = std::move(buffer);
    request.body.remove(0, bodyStart);
    request.body.truncate(bodyLength);
    return {HTTPParseResult::Kind::complete, std::move(request), -1};
}

QString HTTPResponse::reasonPhrase(qint64 status)
{
    switch (status) {
    case 200:
        return QStringLiteral("OK");
    case 202:
        return QStringLiteral("Accepted");
    case 204:
        return QStringLiteral("No Content");
    case 400:
        return QStringLiteral("Bad Request");
    case 401:
        return QStringLiteral("Unauthorized");
    case 403:
        return QStringLiteral("Forbidden");
    case 404:
        return QStringLiteral("Not Found");
    case 413:
        return QStringLiteral("Payload Too Large");
    case 415:
        return QStringLiteral("Unsupported Media Type");
    case 423:
        return QStringLiteral("Locked");
    case 429:
        return QStringLiteral("Too Many Requests");
    case 500:
        return QStringLiteral("Internal Server Error");
    case 502:
        return QStringLiteral("Bad Gateway");
    case 503:
        return QStringLiteral("Service Unavailable");
    case 504:
        return QStringLiteral("Gateway Timeout");
    default:
        return QStringLiteral("OK");
    }
}

namespace {

QByteArray encodeReply(const HTTPResponse& response, qint64 contentLength, QByteArrayView bodyBytes)
{
    // Copied piece by piece, not QString::arg: a content type holding "%1" must go out as it is.
    // Into one buffer of the final size, as this is done for every reply.
    const QByteArray type = response.contentType.toUtf8();
    const QByteArray reason = HTTPResponse::reasonPhrase(response.status).toUtf8();
    constexpr int kDigits = 24;
    char status[kDigits];
    char length[kDigits];
    char retryAfter[kDigits];
    const auto decimal = [](char* into, qint64 value) {
        return QByteArrayView(into, std::to_chars(into, into + kDigits, value).ptr - into);
    };
    const bool retry = response.retryAfter > 0;
    const QByteArrayView pieces[] = {"HTTP/1.1 ", decimal(status, response.status), " ", reason,
        "\r\nContent-Type: ", type, "\r\nContent-Length: ", decimal(length, contentLength),
        "\r\nCache-Control: no-store"
        "\r\nAccess-Control-Allow-Origin: *"
        "\r\nAccess-Control-Allow-Headers: *"
        "\r\nAccess-Control-Allow-Methods: GET, POST, OPTIONS",
        retry ? "\r\nRetry-After: " : "",
        retry ? decimal(retryAfter, response.retryAfter) : QByteArrayView(),
        "\r\nConnection: close\r\n\r\n", bodyBytes};
    qsizetype size = 0;
    for (const QByteArrayView piece : pieces)
        size += piece.size();
    QByteArray wire(size, Qt::Uninitialized);
    char* end = wire.data();
    for (const QByteArrayView piece : pieces) {
        if (!piece.isEmpty())
            end = std::copy(piece.begin(), piece.end(), end);
    }
    return wire;
}

} // namespace

QByteArray HTTPResponse::encodeHead(qint64 contentLength) const
{
    return encodeReply(*this, contentLength, {});
}

QByteArray HTTPResponse::encode() const
{
    return encodeReply(*this, body.size(), body);
}

HTTPResponse HTTPResponse::text(qint64 status, const QString& body)
{
    return {status, QStringLiteral("text/plain; charset=utf-8"), body.toUtf8()};
}

HTTPResponse HTTPResponse::busy()
{
    // Long enough for a crowd of slow peers to be cut or to finish, short enough for a phone.
    HTTPResponse response = text(503, QStringLiteral("Server busy"));
    response.retryAfter = 5;
    return response;
}

HTTPResponse HTTPResponse::tooManyTries(qint64 seconds)
{
    seconds = qMax<qint64>(1, seconds);
    HTTPResponse response = text(429, QStringLiteral("Too many tries: wait %1 s").arg(seconds));
    response.retryAfter = seconds;
    return response;
}

} // namespace vesker
