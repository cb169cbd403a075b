// Guessers that take a new address for every few guesses, as anyone on the network can.
#include "harness.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace vesker::e2e;

namespace {

// A text upload from 127.0.<n / 256>.<n % 256>: every n its own peer.
int sendText(quint16 port, int n, const QByteArray& code, const QByteArray& device = {})
{
    const int fd = connectLoopback(port, kBoundMs, 0, (127u << 24) | quint32(n & 0xffff));
    if (fd < 0)
        return 0;
    sendAll(fd,
        "POST /text HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: 5\r\n"
        "X-Code: "
            + code + "\r\n" + (device.isEmpty() ? "" : "X-Device: " + device + "\r\n")
            + "\r\nhello");
    return readReply(fd).status;
}

} // namespace

TEST(Guessing, WrongCodesFromManyAddressesSlowDownEveryUnknownSender)
{
    Vesker vesker({{"accessPolicy", "code"}, {"accessCode", "428913"}});
    ASSERT_TRUE(vesker.start());
    ASSERT_EQ(sendText(vesker.port, 256 + 1, "428913", "phone"), 200);

    // 200 addresses, nine wrong codes each: no address is ever locked out on its own.
    for (int n = 0; n < 1800; ++n)
        ASSERT_EQ(sendText(vesker.port, 512 + n % 200, QByteArray::number(100000 + n)), 401);

    // The right code from new senders, each from an address of its own: one is let in only
    // when its check finds a turn, and the turns come a few a second.
    QElapsedTimer elapsed;
    elapsed.start();
    int letIn = 0;
    constexpr int kSent = 60;
    for (int n = 0; n < kSent; ++n) {
        const int status
            = sendText(vesker.port, 1024 + n, "428913", "new-" + QByteArray::number(n));
        ASSERT_TRUE(status == 200 || status == 401) << status;
        letIn += status == 200;
    }
    const double seconds = elapsed.elapsed() / 1000.0;
    EXPECT_LE(letIn, 4 * (seconds + 1)) << letIn << " of " << kSent << " in " << seconds << " s";
    EXPECT_LT(letIn, kSent);

    // A phone that sent the right code before is let in at once, from any address.
    EXPECT_EQ(sendText(vesker.port, 2048, "428913", "phone"), 200);
    EXPECT_EQ(sendText(vesker.port, 256 + 1, "428913", "phone"), 200);
}
