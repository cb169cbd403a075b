#include "fuzz/http_request_check.h"
#include "http/http_request.h"
#include "http/http_request_reader.h"
#include "support/temp_env.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace vesker {
namespace {

using Kind = HTTPParseResult::Kind;
using Status = HTTPRequestReader::Status;
using Map = QMap<QString, QString>;

HTTPRequest completeRequest(const QByteArray& bytes)
{
    HTTPParseResult result = HTTPRequest::parse(bytes);
    EXPECT_EQ(result.kind, Kind::complete);
    return result.request;
}

TEST(HTTPRequestParse, RequestLineQueryAndHeaders)
{
    const struct {
        const char* requestLine;
        const char* method; // null: invalid
        QString path;
        Map query;
    } cases[] = {
        {"  post  /x   HTTP/1.1", "POST", "/x", {}},
        {"GET", nullptr, {}, {}},
        {"GET ", nullptr, {}, {}},
        // The path stays as sent; only the query is decoded, and the later of two fields wins.
        {"GET /caf%C3%A9/a+b?y&a=1&a=2&q=a+b%21&n=%C3%A9&m=%c3%a9&%3D=%26&e%2Bf=g%2Bh HTTP/1.1",
            "GET", "/caf%C3%A9/a+b",
            {{"y", ""}, {"a", "2"}, {"q", "a b!"}, {"n", "é"}, {"m", "é"}, {"=", "&"},
                {"e+f", "g+h"}}},
        // A malformed escape or bytes that are not UTF-8 empty a value and drop a name; "+" is
        // a space in values only.
        {"GET /p?a=1?b=2&v=%zz&w=100%&x=%C3&y=%FF&%zz=1&%FF=2&a+b=c+d HTTP/1.1", "GET", "/p",
            {{"a", "1?b=2"}, {"v", ""}, {"w", ""}, {"x", ""}, {"y", ""}, {"a+b", "c d"}}},
        {"GET /?=x&a==b&c=d=e&==f=g&=&&flag= HTTP/1.1", "GET", "/",
            {{"x", ""}, {"a", "=b"}, {"c", "d=e"}, {"f", "g"}, {"flag", ""}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.requestLine);
        const HTTPParseResult result = HTTPRequest::parse(c.requestLine + QByteArray("\r\n\r\n"));
        ASSERT_EQ(result.kind, c.method ? Kind::complete : Kind::invalid);
        EXPECT_EQ(result.request.method, QLatin1String(c.method));
        EXPECT_EQ(result.request.path, c.path);
        EXPECT_EQ(result.request.query, c.query);
    }
    // Header names are lower-cased and trimmed, the later wins, a line without a colon is
    // ignored, and only CR LF ends a line.
    EXPECT_EQ(completeRequest("GET / HTTP/1.1\r\nX-Note: a\r\nx-NOTE: b\r\n"
                              "\t X-Pad \t:  \t v w \t \r\nX-Url: http://h:1/p\r\n"
                              "X-Empty:\r\nJunk line\r\nX-A: 1\nX-B: 2\r\n\r\n")
                  .headers,
        (Map {{"x-note", "b"}, {"x-pad", "v w"}, {"x-url", "http://h:1/p"}, {"x-empty", ""},
            {"x-a", "1\nX-B: 2"}}));
}

TEST(HTTPRequestParse, PlainAndWideHeadsAreReadAlike)
{
    // Heads of ASCII alone take a shorter way than others; both must read every one of these
    // alike, and the names and methods most requests carry come out as for any other.
    const QByteArray heads[] = {
        "get / HTTP/1.1\r\nHOST: a\r\nConnection: close\r\nconnection: keep-alive",
        "OpTiOnS * HTTP/1.1\r\nAccept-Encoding: gzip\r\nACCEPT: */*",
        "PaTcH /x HTTP/1.1\r\nHosts: b\r\nHos: c\r\nX-Host: d",
        // Obsolete folding is not joined: a continuation line is a line of its own.
        "POST /u HTTP/1.1\r\nX-Long: a\r\n b: folded\r\n\tc\r\nContent-Length: 0",
        "GET http://h:1/p?q=1 HTTP/1.1\r\nX: \t\r\n:\r\n : v\r\nA:b:c\r\n\tX-T \t:\t v \t",
        "GET /a\nb HTTP/1.1\r\nX-A: 1\nX-B: 2\r\nX-C: 3\r\rX-D: 4\r\n\r",
        QByteArrayLiteral("GET /\0 HTTP/1.1\r\nX-Nul: a\0b\r\nContent-Type: text/plain"),
        "POST / HTTP/1.1\r\nContent-Length: 3\r\ncontent-length: 3, 3",
        "POST / HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 4",
        "POST / HTTP/1.1\r\nTransfer-ENCODING: IDENTITY\r\nExpect: 100-continue",
        "POST / HTTP/1.1\r\nTransfer-Encoding: chunked",
        "GET",
        "  GET   /only  ",
        "GET /x HTTP/1.1\r\nX-Pad: " + QByteArray(70'000, 'p'),
    };
    for (const QByteArray& head : heads) {
        SCOPED_TRACE(head.left(60).toStdString());
        EXPECT_EQ(fuzz::checkAsciiReadingAgrees(head + "\r\n\r\n").toStdString(), "");
    }
    const HTTPRequest request = completeRequest(heads[0] + "\r\n\r\n");
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.headers, (Map {{"host", "a"}, {"connection", "keep-alive"}}));
    EXPECT_EQ(completeRequest(heads[2] + "\r\n\r\n").method, "PATCH");
    EXPECT_EQ(completeRequest(heads[2] + "\r\n\r\n").headers,
        (Map {{"hosts", "b"}, {"hos", "c"}, {"x-host", "d"}}));
    EXPECT_EQ(completeRequest(heads[3] + "\r\n\r\n").headers,
        (Map {{"x-long", "a"}, {"b", "folded"}, {"content-length", "0"}}));
}

TEST(HTTPRequestParse, BodyLength)
{
    const struct {
        QByteArray headers;
        QByteArray after; // bytes after the head
        Kind kind;
        QByteArray body;
    } cases[] = {
        {"", "ignored", Kind::complete, ""}, // no length: what follows the head is no body
        {"Content-Length: 5", "hel", Kind::needMore, ""},
        {"Content-Length: \t 3 \t", "abc", Kind::complete, "abc"},
        {"Content-Length: 03", "abc", Kind::complete, "abc"},
        // Repeated lines, or a list in one, that agree are one length; lengths that disagree,
        // or anything but plain digits, make a head that readers would frame differently.
        {"Content-Length: 3\r\ncontent-length: 3", "abc", Kind::complete, "abc"},
        {"Content-Length: 3,3 , 3", "abc", Kind::complete, "abc"},
        {"Content-Length: 5\r\nContent-Length: 11", "hello world", Kind::invalid, ""},
        {"Content-Length: 11\r\nContent-Length: 5", "hello world", Kind::invalid, ""},
        {"Content-Length: 3, 4", "abcd", Kind::invalid, ""},
        {"Content-Length: 3,", "abc", Kind::invalid, ""},
        {"Content-Length:", "abc", Kind::invalid, ""},
        {"Content-Length: +3", "abc", Kind::invalid, ""},
        {"Content-Length: 3 3", "abc", Kind::invalid, ""},
        {"Content-Length: 0x3", "abc", Kind::invalid, ""},
        {"Content-Length: 3\v", "abc", Kind::invalid, ""},
        {"Content-Length: １２", "abc", Kind::invalid, ""},
        {"Content-Length: 9223372036854775808", "abc", Kind::invalid, ""},
        {"Content-Length: -1", "abc", Kind::invalid, ""},
        {"Content-Length: 62914560", "", Kind::needMore, ""},
        {"Content-Length: 62914561", "", Kind::invalid, ""},
        // A body this server cannot frame is refused rather than mistaken for the next request.
        {"Transfer-Encoding: chunked\r\nContent-Length: 3", "abc", Kind::invalid, ""},
        {"Transfer-Encoding: identity, chunked", "", Kind::invalid, ""},
        {"Transfer-Encoding:", "", Kind::invalid, ""},
        {"Transfer-Encoding: Identity\r\nContent-Length: 3", "abc", Kind::complete, "abc"},
        {"Transfer-Encoding: chunked\r\nTransfer-Encoding: identity", "", Kind::invalid, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.headers.toStdString());
        const HTTPParseResult result
            = HTTPRequest::parse("POST /u HTTP/1.1\r\n" + c.headers + "\r\n\r\n" + c.after);
        EXPECT_EQ(result.kind, c.kind);
        EXPECT_EQ(result.request.body, c.body);
    }
}

TEST(HTTPRequestParse, HeadLengthLimit)
{
    const QByteArray line = "GET / HTTP/1.1\r\nX-Pad: ";
    auto padded = [&](qsizetype size) { return line + QByteArray(size - line.size(), 'a'); };
    EXPECT_EQ(HTTPRequest::parse(padded(65'536)).kind, Kind::needMore);
    EXPECT_EQ(HTTPRequestReader().append(padded(65'536)), Status::needMore);
    EXPECT_EQ(HTTPRequest::parse(padded(65'537)).kind, Kind::invalid);
    // A head that ends may be longer: only the buffer limit bounds it, and the reader checks
    // that limit before it parses.
    const QByteArray ended = padded(69'996) + "\r\n\r\n";
    EXPECT_EQ(completeRequest(ended).headers.value("x-pad").size(), 69'996 - line.size());
    EXPECT_EQ(HTTPRequestReader(100).append(ended), Status::tooLarge);
}

TEST(HTTPRequestReader, SplitAnywhereGivesTheSameRequest)
{
    // Every part of the head, and a body that holds the head's terminator.
    const QByteArray requests[] = {
        "GET /api/status?device=abc&q=a+b%21 HTTP/1.1\r\nHost: 127.0.0.1:8787\r\n\r\n",
        QByteArrayLiteral("POST /upload?kind=photo HTTP/1.1\r\nX-Note: caf\xc3\xa9\r\n"
                          "Content-Length: 23\r\n\r\n\x00\x01\r\n\r\nbinary\xff\xfe body\r\n\r\n"),
        "POST /text HTTP/1.1\r\nContent-Length: 0\r\n\r\n",
    };
    for (const QByteArray& whole : requests) {
        SCOPED_TRACE(whole.left(20).toStdString());
        const HTTPRequest expected = completeRequest(whole);
        for (qsizetype split = 0; split < whole.size(); ++split) {
            ASSERT_EQ(HTTPRequest::parse(whole.first(split)).kind, Kind::needMore) << split;
            HTTPRequestReader reader;
            ASSERT_EQ(reader.append(QByteArrayView(whole).first(split)), Status::needMore) << split;
            ASSERT_EQ(reader.append(QByteArrayView(whole).sliced(split)), Status::complete);
            ASSERT_EQ(reader.takeRequest(), expected) << split;
        }
    }
}

// A refusal never goes out as "... OK": every status the server's routes answer with has its own
// reason phrase on the status line.
TEST(HTTPResponseEncode, EveryStatusSentCarriesItsReasonPhrase)
{
    const std::pair<qint64, QByteArray> statuses[] = {
        {415, "Unsupported Media Type"},
        {429, "Too Many Requests"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
    };
    for (const auto& [status, phrase] : statuses) {
        const QByteArray wire = HTTPResponse::text(status, QStringLiteral("why")).encode();
        EXPECT_TRUE(
            wire.startsWith("HTTP/1.1 " + QByteArray::number(status) + ' ' + phrase + "\r\n"))
            << wire.left(wire.indexOf('\r')).toStdString();
    }
}

// Every seed of the fuzzer and every input that once failed it, replayed with several splits.
TEST(HTTPRequestReader, FuzzCorpusHolds)
{
    const QDir root(QStringLiteral(VESKER_FUZZ_DIR));
    int files = 0;
    for (const QString folder : {"corpus", "regressions"}) {
        for (const QFileInfo& info : QDir(root.filePath(folder)).entryInfoList(QDir::Files)) {
            const QByteArray bytes = test::fileBytes(info.filePath());
            ++files;
            for (quint32 seed = 0; seed < 8; ++seed) {
                for (qint64 max : {kHTTPMaxBodyBytes, qint64(16)})
                    EXPECT_EQ(fuzz::checkRequestBytes(bytes, max, seed).toStdString(), "")
                        << info.fileName().toStdString();
            }
        }
    }
    EXPECT_GE(files, 10);
}

} // namespace
} // namespace vesker
