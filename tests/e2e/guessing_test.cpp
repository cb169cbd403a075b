// Guessers that take a new address for every few guesses, as anyone on the network can.
#include "harness.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace vesker::e2e;

namespace {

// A text upload from 127.0.<n / 256>.<n % 256>: every n its own peer.
Reply sendText(quint16 port, int n, const QByteArray& code, const QByteArray& device = {})
{
    return exchange(port, kBoundMs,
        "POST /text HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: 5\r\n"
        "X-Code: "
            + code + "\r\n" + (device.isEmpty() ? "" : "X-Device: " + device + "\r\n")
            + "\r\nhello",
        (127u << 24) | quint32(n & 0xffff));
}

} // namespace

TEST(Guessing, AFloodFromManyAddressesIsHeldToTheBudgetAndToldToWait)
{
    Vesker vesker({{"accessPolicy", "code"}, {"accessCode", "428913"}});
    ASSERT_TRUE(vesker.start());
    ASSERT_EQ(sendText(vesker.port, 256 + 1, "428913", "phone").status, 200);

    // 250 addresses, none of which guesses often enough to be locked out on its own.
    int checked = 0;
    for (int n = 0; n < 400; ++n) {
        const Reply reply = sendText(vesker.port, 512 + n % 250, QByteArray::number(100000 + n));
        ASSERT_TRUE(reply.status == 401 || reply.status == 429) << reply.status;
        checked += reply.status == 401;
        if (reply.status == 429) {
            // Not a wrong code: a code that was not looked at, and when to try again.
            const int wait = reply.header("Retry-After").toInt();
            ASSERT_TRUE(wait >= 1 && wait <= 60) << reply.head.data();
            ASSERT_EQ(reply.body, "Too many tries: wait " + QByteArray::number(wait) + " s");
        }
    }
    EXPECT_EQ(checked, 100) << "wrong codes checked in the minute";

    // A new phone with the right code is told to wait, not that its code is wrong.
    EXPECT_EQ(sendText(vesker.port, 1024, "428913", "new").status, 429);
    // Naming a phone that sent the right code before buys guessers elsewhere no check.
    for (int n = 0; n < 15; ++n) {
        EXPECT_EQ(
            sendText(vesker.port, 2048 + n, QByteArray::number(200000 + n), "phone").status, 429)
            << n;
    }
    EXPECT_EQ(sendText(vesker.port, 2048, "428913", "phone").status, 429);
    // The phone itself, where it sent the code from, is let in at once.
    EXPECT_EQ(sendText(vesker.port, 256 + 1, "428913", "phone").status, 200);
}
