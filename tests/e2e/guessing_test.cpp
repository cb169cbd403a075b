// Guessers that take a new address for every few guesses, as anyone on the network can.
#include "harness.h"

#include <QElapsedTimer>
#include <QThread>
#include <QUuid>

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

// `text` posted to `path` from 127.0.<n / 256>.<n % 256>, with `headers`.
Reply post(quint16 port, const QByteArray& path, int n, const QByteArray& headers)
{
    return exchange(port, kBoundMs,
        "POST " + path
            + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: 5\r\n"
            + headers + "\r\nhello",
        (127u << 24) | quint32(n & 0xffff));
}

Reply get(quint16 port, const QByteArray& path, int n)
{
    return exchange(port, kBoundMs,
        "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
        (127u << 24) | quint32(n & 0xffff));
}

} // namespace

TEST(Guessing, AHostedScreensPhonesAndViewersSendOnWhileTheMainCodeIsGuessed)
{
    const quint16 team = vesker::test::freePort();
    Vesker vesker({{"accessPolicy", "code"}, {"accessCode", "428913"},
        {"hostedScreens",
            QVariantList {QVariantMap {
                {"id", QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()},
                {"name", "Team"}, {"slug", "team"}, {"port", team}, {"pin", "4321"},
                {"requirePinToSend", true}, {"enabled", true}, {"allowBrowserScreen", true}}}}});
    ASSERT_TRUE(vesker.start());
    const QByteArray pin = "X-Code: 4321\r\n";
    // One phone on the screen's own port, one through the main port.
    ASSERT_EQ(post(team, "/text", 256 + 1, pin + "X-Device: phone-1\r\n").status, 200);
    ASSERT_EQ(post(vesker.port, "/s/team/text", 256 + 2, pin + "X-Device: phone-2\r\n").status,
        200);

    // For a few seconds, twenty addresses guess the main code, none often enough to be locked
    // out on its own.
    int checked = 0;
    int told = 0;
    for (int second = 0; second < 4; ++second) {
        for (int round = 0; round < 2; ++round) {
            for (int host = 1; host <= 20; ++host) {
                const QByteArray code = QByteArray::number(100000 + second * 40 + round * 20 + host);
                const int status
                    = post(vesker.port, "/text", 512 + host, "X-Code: " + code + "\r\n").status;
                ASSERT_TRUE(status == 401 || status == 429) << status;
                (status == 401 ? checked : told) += 1;
            }
        }
        QThread::msleep(1000);
    }
    EXPECT_EQ(checked, 100);
    EXPECT_EQ(told, 160 - 100);

    EXPECT_EQ(post(team, "/text", 256 + 1, pin + "X-Device: phone-1\r\n").status, 200);
    EXPECT_EQ(post(vesker.port, "/s/team/text", 256 + 2, pin + "X-Device: phone-2\r\n").status,
        200);
    EXPECT_EQ(post(team, "/text", 256 + 3, pin + "X-Device: phone-3\r\n").status, 200)
        << "a new phone";
    EXPECT_EQ(get(vesker.port, "/s/team/api/items?code=4321", 256 + 4).status, 200)
        << "a new viewer";
    EXPECT_EQ(post(vesker.port, "/text", 256 + 5, "X-Code: 428913\r\nX-Device: phone-5\r\n").status,
        429)
        << "the main code itself is checked no more than its budget allows";
}

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
