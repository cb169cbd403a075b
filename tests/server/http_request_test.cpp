#include "fuzz/http_request_check.h"
#include "server/http_address.h"
#include "server/http_request.h"
#include "server/http_request_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace vesker {
namespace {

using Kind = HTTPParseResult::Kind;
using Status = HTTPRequestReader::Status;
using Map = QMap<QString, QString>;

QByteArray withHead(const QByteArray& lines, const QByteArray& body = {})
{
    return lines + "\r\n\r\n" + body;
}

HTTPRequest completeRequest(const QByteArray& bytes)
{
    HTTPParseResult result = HTTPRequest::parse(bytes);
    EXPECT_EQ(result.kind, Kind::complete);
    return result.request;
}

TEST(HTTPRequestParse, RequestLineAndTarget)
{
    struct Case {
        const char* requestLine;
        std::optional<QString> method; // none: invalid
        QString path;
        Map query;
    };
    const Case cases[] = {
        {"GET /api/status?device=abc&x=1 HTTP/1.1", "GET", "/api/status",
            {{"device", "abc"}, {"x", "1"}}},
        {"get / HTTP/1.1", "GET", "/", {}},
        {"GET  /x   HTTP/1.1", "GET", "/x", {}},
        {"  POST /x", "POST", "/x", {}},
        {"GET", std::nullopt, {}, {}},
        {"GET ", std::nullopt, {}, {}},
        {"", std::nullopt, {}, {}},
        // The path stays as sent; only the query is decoded.
        {"GET /caf%C3%A9/a+b?y HTTP/1.1", "GET", "/caf%C3%A9/a+b", {{"y", ""}}},
        {"GET /p? HTTP/1.1", "GET", "/p", {}},
        {"GET /p?a=1?b=2 HTTP/1.1", "GET", "/p", {{"a", "1?b=2"}}},
        {"GET /?q=hello+world%21 HTTP/1.1", "GET", "/", {{"q", "hello world!"}}},
        {"GET /?a=1&a=2 HTTP/1.1", "GET", "/", {{"a", "2"}}},
        {"GET /?flag HTTP/1.1", "GET", "/", {{"flag", ""}}},
        {"GET /?flag= HTTP/1.1", "GET", "/", {{"flag", ""}}},
        {"GET /?v=%zz HTTP/1.1", "GET", "/", {{"v", ""}}},
        {"GET /?v=%4 HTTP/1.1", "GET", "/", {{"v", ""}}},
        {"GET /?v=100% HTTP/1.1", "GET", "/", {{"v", ""}}},
        {"GET /?v=%FF HTTP/1.1", "GET", "/", {{"v", ""}}},
        {"GET /?v=%C3 HTTP/1.1", "GET", "/", {{"v", ""}}},
        {"GET /?%zz=1&%FF=2&ok=3 HTTP/1.1", "GET", "/", {{"ok", "3"}}},
        {"GET /?n=%C3%A9&m=%c3%a9 HTTP/1.1", "GET", "/", {{"n", "é"}, {"m", "é"}}},
        // "+" is a space in values only.
        {"GET /?a+b=c+d&e%2Bf=g%2Bh HTTP/1.1", "GET", "/", {{"a+b", "c d"}, {"e+f", "g+h"}}},
        {"GET /?=x HTTP/1.1", "GET", "/", {{"x", ""}}},
        {"GET /?a=b=c HTTP/1.1", "GET", "/", {{"a", "b=c"}}},
        {"GET /?a==b HTTP/1.1", "GET", "/", {{"a", "=b"}}},
        {"GET /?==a=b HTTP/1.1", "GET", "/", {{"a", "b"}}},
        {"GET /?=&&&a=1&& HTTP/1.1", "GET", "/", {{"a", "1"}}},
        {"GET /?%3D=%26 HTTP/1.1", "GET", "/", {{"=", "&"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.requestLine);
        const HTTPParseResult result = HTTPRequest::parse(withHead(c.requestLine));
        if (!c.method) {
            EXPECT_EQ(result.kind, Kind::invalid);
            continue;
        }
        ASSERT_EQ(result.kind, Kind::complete);
        EXPECT_EQ(result.request.method, *c.method);
        EXPECT_EQ(result.request.path, c.path);
        EXPECT_EQ(result.request.query, c.query);
        EXPECT_TRUE(result.request.remoteAddress.isEmpty());
    }
}

TEST(HTTPRequestParse, Headers)
{
    struct Case {
        const char* name;
        QByteArray lines;
        Map expected; // the headers other than the request line's
    };
    const Case cases[] = {
        {"spaced", "X-Note: a", {{"x-note", "a"}}},
        {"tight lower-case", "x-note:a", {{"x-note", "a"}}},
        {"later wins", "X-Note: a\r\nx-NOTE: b", {{"x-note", "b"}}},
        {"tabs and spaces trimmed", "\t X-Pad \t:  \t v w \t ", {{"x-pad", "v w"}}},
        {"value keeps its colons", "X-Url: http://h:1/p", {{"x-url", "http://h:1/p"}}},
        {"empty value", "X-Empty:", {{"x-empty", ""}}},
        {"line without colon ignored", "Junk line\r\nX-A: 1", {{"x-a", "1"}}},
        {"empty name", ": v", {{"", "v"}}},
        {"bare LF is not a line end", "X-A: 1\nX-B: 2", {{"x-a", "1\nX-B: 2"}}},
        {"bad UTF-8 replaced",
            "X-Name: a\xff"
            "b",
            {{"x-name",
                QString::fromUtf8("a\xef\xbf\xbd"
                                  "b")}}},
        {"non-ASCII name lower-cased", "X-ÄÖ: v", {{"x-äö", "v"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HTTPRequest request = completeRequest(withHead("GET / HTTP/1.1\r\n" + c.lines));
        EXPECT_EQ(request.headers, c.expected);
    }
}

TEST(HTTPRequestParse, BodyLength)
{
    const qint64 max = kHTTPMaxBodyBytes;
    struct Case {
        const char* name;
        QByteArray headers;
        QByteArray after; // bytes after the head
        Kind kind;
        QByteArray body;
    };
    const Case cases[] = {
        {"no length: the head alone, the rest ignored", "", "ignored", Kind::complete, ""},
        {"exact", "Content-Length: 5", "hello", Kind::complete, "hello"},
        {"short", "Content-Length: 5", "hel", Kind::needMore, ""},
        {"bytes after the body ignored", "Content-Length: 5", "hello world", Kind::complete,
            "hello"},
        {"body holding the terminator", "Content-Length: 4", "\r\n\r\n", Kind::complete,
            "\r\n\r\n"},
        {"not a number is 0", "Content-Length: abc", "xyz", Kind::complete, ""},
        {"empty is 0", "Content-Length:", "xyz", Kind::complete, ""},
        {"plus sign", "Content-Length: +3", "abc", Kind::complete, "abc"},
        {"trimmed", "Content-Length: \t3 ", "abc", Kind::complete, "abc"},
        {"two numbers is 0", "Content-Length: 3 3", "abc", Kind::complete, ""},
        {"hex is 0", "Content-Length: 0x10", "abc", Kind::complete, ""},
        {"exponent is 0", "Content-Length: 1e3", "abc", Kind::complete, ""},
        {"full-width digits are 0", "Content-Length: １２", "abc", Kind::complete, ""},
        {"sign alone is 0", "Content-Length: -", "abc", Kind::complete, ""},
        {"minus zero", "Content-Length: -0", "abc", Kind::complete, ""},
        {"negative", "Content-Length: -1", "abc", Kind::invalid, ""},
        {"most negative", "Content-Length: -9223372036854775808", "", Kind::invalid, ""},
        {"largest body waits for it", "Content-Length: 62914560", "", Kind::needMore, ""},
        {"one byte over", "Content-Length: 62914561", "", Kind::invalid, ""},
        {"largest 64-bit", "Content-Length: 9223372036854775807", "", Kind::invalid, ""},
        {"past 64 bits is 0", "Content-Length: 9223372036854775808", "abc", Kind::complete, ""},
        {"later length wins", "Content-Length: 2\r\nContent-Length: 4", "abcd", Kind::complete,
            "abcd"},
        {"chunked refused", "Transfer-Encoding: chunked\r\nContent-Length: 3", "abc", Kind::invalid,
            ""},
        {"chunked in capitals refused", "TRANSFER-ENCODING: Chunked", "", Kind::invalid, ""},
        {"gzip refused", "Transfer-Encoding: gzip", "", Kind::invalid, ""},
        {"list refused", "Transfer-Encoding: identity, chunked", "", Kind::invalid, ""},
        {"empty coding refused", "Transfer-Encoding:", "", Kind::invalid, ""},
        {"identity accepted", "Transfer-Encoding: Identity\r\nContent-Length: 3", "abc",
            Kind::complete, "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray head = c.headers.isEmpty() ? QByteArray("POST /u HTTP/1.1")
                                                    : "POST /u HTTP/1.1\r\n" + c.headers;
        const HTTPParseResult result = HTTPRequest::parse(withHead(head, c.after), max);
        EXPECT_EQ(result.kind, c.kind);
        if (c.kind == Kind::complete) {
            EXPECT_EQ(result.request.body, c.body);
        }
    }
}

TEST(HTTPRequestParse, HeadLengthLimit)
{
    const QByteArray line = "GET / HTTP/1.1\r\nX-Pad: ";
    auto padded = [&](qsizetype size) { return line + QByteArray(size - line.size(), 'a'); };
    EXPECT_EQ(HTTPRequest::parse(padded(65'536)).kind, Kind::needMore);
    EXPECT_EQ(HTTPRequest::parse(padded(65'537)).kind, Kind::invalid);
    EXPECT_EQ(HTTPRequest::parse(padded(70'000)).kind, Kind::invalid);
    // A head that ends may be longer: only the buffer limit bounds it.
    const HTTPRequest request = completeRequest(padded(69'996) + "\r\n\r\n");
    EXPECT_EQ(request.headers.value("x-pad").size(), 69'996 - line.size());
}

// Requests that exercise every part of the head and a body that holds the head's terminator.
const QByteArray kSplitRequests[] = {
    QByteArrayLiteral(
        "GET /api/status?device=abc&x=1&q=a+b%21 HTTP/1.1\r\nHost: 127.0.0.1:8787\r\n\r\n"),
    QByteArrayLiteral("POST /upload?kind=photo HTTP/1.1\r\nContent-Type: image/jpeg\r\n"
                      "X-Note: caf\xc3\xa9\r\nContent-Length: 23\r\n\r\n"
                      "\x00\x01\r\n\r\nbinary\xff\xfe body\r\n\r\n"),
    QByteArrayLiteral("POST /text HTTP/1.1\r\nContent-Length: 0\r\n\r\n"),
};

TEST(HTTPRequestParse, EveryPrefixOfARequestNeedsMore)
{
    for (const QByteArray& whole : kSplitRequests) {
        SCOPED_TRACE(whole.left(20).toStdString());
        for (qsizetype length = 0; length < whole.size(); ++length)
            ASSERT_EQ(HTTPRequest::parse(whole.first(length)).kind, Kind::needMore) << length;
        EXPECT_EQ(HTTPRequest::parse(whole).kind, Kind::complete);
    }
}

TEST(HTTPRequestReader, SplitAnywhereGivesTheSameRequest)
{
    for (const QByteArray& whole : kSplitRequests) {
        SCOPED_TRACE(whole.left(20).toStdString());
        const HTTPRequest expected = completeRequest(whole);
        for (qsizetype split = 0; split <= whole.size(); ++split) {
            HTTPRequestReader reader;
            const Status first = reader.append(QByteArrayView(whole).first(split));
            if (split < whole.size()) {
                ASSERT_EQ(first, Status::needMore) << split;
                ASSERT_EQ(reader.append(QByteArrayView(whole).sliced(split)), Status::complete);
            } else {
                ASSERT_EQ(first, Status::complete);
            }
            ASSERT_EQ(reader.takeRequest(), expected) << split;
        }
    }
}

TEST(HTTPRequestReader, DribbledByteByByteCompletesOnTheLastByte)
{
    for (const QByteArray& whole : kSplitRequests) {
        SCOPED_TRACE(whole.left(20).toStdString());
        HTTPRequestReader reader;
        for (qsizetype i = 0; i + 1 < whole.size(); ++i)
            ASSERT_EQ(reader.append(QByteArrayView(whole).sliced(i, 1)), Status::needMore) << i;
        ASSERT_EQ(reader.append(QByteArrayView(whole).last(1)), Status::complete);
        EXPECT_EQ(reader.takeRequest(), completeRequest(whole));
        EXPECT_EQ(reader.bufferedBytes(), 0);
    }
}

TEST(HTTPRequestReader, LimitsAtTheProductSize)
{
    const QByteArray body(kHTTPMaxBodyBytes, 'b');
    const QByteArray chunk(256 * 1024, 'b');
    // The largest body, when the whole request fits the buffer limit.
    {
        HTTPRequestReader reader;
        ASSERT_EQ(reader.append("POST /u HTTP/1.1\r\nContent-Length: 62914560\r\n\r\n"),
            Status::needMore);
        Status status = Status::needMore;
        for (qsizetype sent = 0; sent < body.size(); sent += chunk.size())
            status = reader.append(QByteArrayView(body).sliced(sent, chunk.size()));
        ASSERT_EQ(status, Status::complete);
        EXPECT_EQ(reader.takeRequest().body.size(), kHTTPMaxBodyBytes);
    }
    // A head over the allowance plus that body passes the buffer limit: 413, though the head
    // itself was fine and the declared length too.
    {
        HTTPRequestReader reader;
        const QByteArray head = "POST /u HTTP/1.1\r\nContent-Length: 62914560\r\nX-Pad: "
            + QByteArray(70'000, 'a') + "\r\n\r\n";
        ASSERT_EQ(reader.append(head), Status::needMore);
        Status status = Status::needMore;
        qsizetype sent = 0;
        for (; sent < body.size() && status == Status::needMore; sent += chunk.size())
            status = reader.append(QByteArrayView(body).sliced(sent, chunk.size()));
        EXPECT_EQ(status, Status::tooLarge);
        EXPECT_GT(head.size() + sent, 62'980'096);
        EXPECT_LE(head.size() + sent, 62'980'096 + chunk.size());
    }
}

TEST(HTTPRequestReader, BufferLimitComesBeforeParsing)
{
    // Complete by the parser, but in one read that passes the limit: refused.
    HTTPRequestReader reader(100);
    const QByteArray request = "GET / HTTP/1.1\r\nX-Pad: " + QByteArray(70'000, 'a') + "\r\n\r\n";
    ASSERT_EQ(HTTPRequest::parse(request, 100).kind, Kind::complete);
    EXPECT_EQ(reader.append(request), Status::tooLarge);
}

// Every seed of the fuzzer and every input that once failed it, replayed with several splits.
TEST(HTTPRequestReader, FuzzCorpusHolds)
{
    const QDir fuzzDir(
        QFileInfo(QStringLiteral(__FILE__)).dir().filePath(QStringLiteral("../fuzz")));
    int files = 0;
    for (const QString& folder : {QStringLiteral("corpus"), QStringLiteral("regressions")}) {
        const QDir dir(fuzzDir.filePath(folder));
        for (const QFileInfo& info : dir.entryInfoList(QDir::Files)) {
            QFile file(info.filePath());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << info.filePath().toStdString();
            const QByteArray bytes = file.readAll();
            ++files;
            for (quint32 seed = 0; seed < 8; ++seed) {
                for (qint64 max : {kHTTPMaxBodyBytes, qint64(16)}) {
                    const QString failure = fuzz::checkRequestBytes(bytes, max, seed);
                    EXPECT_TRUE(failure.isEmpty())
                        << info.fileName().toStdString() << ": " << failure.toStdString();
                }
            }
        }
    }
    EXPECT_GE(files, 10);
}

TEST(HTTPResponse, ReasonPhrases)
{
    const std::pair<qint64, const char*> table[] = {
        {200, "OK"},
        {202, "Accepted"},
        {204, "No Content"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {413, "Payload Too Large"},
        {423, "Locked"},
        {500, "Internal Server Error"},
        {503, "Service Unavailable"},
        {418, "OK"},
        {302, "OK"},
    };
    for (const auto& [status, phrase] : table)
        EXPECT_EQ(HTTPResponse::reasonPhrase(status), QString::fromUtf8(phrase)) << status;
}

TEST(HTTPResponse, EncodesHeadAndBodyExactly)
{
    // A content type is sent as it is, even one that looks like a format string.
    const HTTPResponse response {423, QStringLiteral("text/x-%1; q=é"), QByteArray("lo\0ck", 5)};
    EXPECT_EQ(response.encode(),
        QByteArray("HTTP/1.1 423 Locked\r\n"
                   "Content-Type: text/x-%1; q=\xc3\xa9\r\n"
                   "Content-Length: 5\r\n"
                   "Cache-Control: no-store\r\n"
                   "Access-Control-Allow-Origin: *\r\n"
                   "Access-Control-Allow-Headers: *\r\n"
                   "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
                   "Connection: close\r\n"
                   "\r\n")
            + QByteArray("lo\0ck", 5));
}

TEST(HTTPAddress, RemoteAddressText)
{
    const std::pair<const char*, const char*> table[] = {
        {"192.168.1.20", "192.168.1.20"},
        {"::ffff:192.168.1.20", "192.168.1.20"},
        {"fe80::1%en0", "fe80::1"},
        {"fe80::1%wlp2s0", "fe80::1"},
        {"::1", "::1"},
        {"2001:db8::7", "2001:db8::7"},
        {"::ffff:10.0.0.1%3", "10.0.0.1"},
        {"", ""},
    };
    for (const auto& [host, text] : table)
        EXPECT_EQ(remoteAddressText(QString::fromUtf8(host)), QString::fromUtf8(text)) << host;
}

TEST(HTTPAddress, InterfaceTypes)
{
    QTemporaryDir sys;
    ASSERT_TRUE(sys.isValid());
    QDir(sys.path()).mkpath(QStringLiteral("wlp2s0/wireless"));
    QDir(sys.path()).mkpath(QStringLiteral("enp3s0"));
    using T = QNetworkInterface::InterfaceType;
    struct Case {
        const char* name;
        T type;
        std::optional<HTTPInterfaceType> expected;
    };
    const Case cases[] = {
        // Wi-Fi drivers report Ethernet; the wireless folder decides.
        {"wlp2s0", T::Ethernet, HTTPInterfaceType::wifi},
        {"enp3s0", T::Ethernet, HTTPInterfaceType::wiredEthernet},
        {"lo", T::Loopback, std::nullopt},
        {"tun0", T::Virtual, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(interfaceTypeOf(QString::fromUtf8(c.name), c.type, sys.path()), c.expected)
            << c.name;
    // The loopback address is on neither kind.
    EXPECT_EQ(interfaceTypeOfLocalAddress(QHostAddress::LocalHost), std::nullopt);
}

} // namespace
} // namespace vesker
