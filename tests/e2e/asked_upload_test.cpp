// Uploads whose sender asks before it sends the body ("Expect: 100-continue"), as curl does for
// a body over 1 MB: the go-ahead comes before any byte of the body, a refusal without one.
#include "harness.h"

#include <gtest/gtest.h>

using namespace vesker::e2e;

namespace {

// The server's first head, read a byte at a time so that nothing after it is taken.
QByteArray readHead(int fd)
{
    QByteArray head;
    char byte = 0;
    while (!head.endsWith("\r\n\r\n") && ::recv(fd, &byte, 1, 0) == 1)
        head.append(byte);
    return head;
}

} // namespace

TEST(AskedUpload, GoesOnAtOnceOrIsRefusedBeforeTheBody)
{
    Vesker vesker({{"accessPolicy", "code"}, {"accessCode", "424242"}});
    ASSERT_TRUE(vesker.start());
    const struct {
        const char* name;
        const char* path;
        QByteArray headers;
        qsizetype size;
        int status; // the final one
    } cases[] = {
        {"photo with the code", "/upload", "X-Code: 424242\r\n", 4 << 20, 200},
        {"photo without a code", "/upload", "", 4 << 20, 401},
        {"photo with a wrong code", "/upload", "X-Code: 000000\r\n", 4 << 20, 401},
        {"text over 1 MiB", "/text", "X-Code: 424242\r\n", (1 << 20) + 1, 413},
    };
    int stored = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int fd = connectLoopback(vesker.port, kBoundMs);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(sendAll(fd,
            QByteArray("POST ") + c.path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                + "Content-Type: image/jpeg\r\nExpect: 100-continue\r\nContent-Length: "
                + QByteArray::number(c.size) + "\r\n" + c.headers + "\r\n"));
        const QByteArray first = readHead(fd);
        if (c.status == 200) {
            EXPECT_EQ(first, "HTTP/1.1 100 Continue\r\n\r\n");
            sendAll(fd, sample(Kind::photo, c.size));
            EXPECT_EQ(readReply(fd).status, 200);
            ++stored;
        } else {
            // The final answer, without a go-ahead before it, while the body is still unsent.
            EXPECT_TRUE(first.startsWith("HTTP/1.1 " + QByteArray::number(c.status) + ' '))
                << first.toStdString();
            ::close(fd);
        }
        EXPECT_EQ(vesker.inboxCount(), stored);
    }
}
