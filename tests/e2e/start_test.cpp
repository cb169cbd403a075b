// The program's port as it starts: on which port it listens, and that it opens once.
#include "harness.h"

#include <gtest/gtest.h>

#include <net/if.h>
#include <sys/ioctl.h>

using namespace vesker::e2e;

namespace {

// This thread, and the programs it starts, in a network of their own with only a loopback
// device, so that a fixed port is free whatever else runs on the machine. Needs root.
bool networkOfOurOwn()
{
    if (::unshare(CLONE_NEWNET) != 0)
        return false;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request {};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0
        && (request.ifr_flags |= IFF_UP, ::ioctl(fd, SIOCSIFFLAGS, &request) == 0);
    ::close(fd);
    return up;
}

} // namespace

TEST(Start, APortSettingThatIsNoPortMeansTheDefaultPortAndSaysSo)
{
    if (!networkOfOurOwn())
        GTEST_SKIP() << "needs a network namespace of its own (root)";
    const QVariant settings[] = {"8790", 80, 70000, 8790.5, QVariantList {8790}};
    for (const QVariant& setting : settings) {
        SCOPED_TRACE(setting.toString().toStdString());
        Vesker vesker({{"serverPort", setting}});
        vesker.port = 8787;
        vesker.captureLog();
        ASSERT_TRUE(vesker.start());
        EXPECT_TRUE(vesker.log().contains("The port setting is not a port from 1024 to 65535; "
                                          "using port 8787."))
            << vesker.log().constData();
    }
}

TEST(Start, ThePortOpensOnceOverAnExistingStoreAndTheFirstRequestIsAnswered)
{
    Vesker vesker;
    ASSERT_TRUE(vesker.start());
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(vesker.upload(Kind::photo, sample(Kind::photo, 64 * 1024)).status, 200);
        ASSERT_EQ(vesker.upload(Kind::text, "note " + QByteArray::number(i)).status, 200);
    }

    for (int restart = 0; restart < 4; ++restart) {
        SCOPED_TRACE(restart);
        vesker.stop();
        vesker.launch();
        // As a phone that sends while the screen starts: connect as fast as refusals come, and
        // ask on the first connection that is taken.
        int first = -1;
        const QDeadlineTimer deadline(kBoundMs);
        while (first < 0 && !deadline.hasExpired())
            first = connectLoopback(vesker.port, kBoundMs);
        ASSERT_GE(first, 0);
        sendAll(first, "GET /api/info HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        // Others keep knocking while it starts; a pause between them keeps under the cap on
        // open connections.
        int refusals = 0;
        const QDeadlineTimer watch(300);
        while (!watch.hasExpired()) {
            const int fd = connectLoopback(vesker.port, kBoundMs);
            if (fd < 0)
                ++refusals;
            else
                ::close(fd);
            ::usleep(5000);
        }
        const Reply reply = readReply(first);
        EXPECT_EQ(reply.status, 200) << reply.error;
        EXPECT_EQ(refusals, 0);
        EXPECT_EQ(vesker.inboxCount(), 40);
    }
}

namespace {

// Answers every look for a while: the window lays its cards out, and out again, in that time.
bool keepsAnswering(const Vesker& vesker, int forMs)
{
    const QDeadlineTimer deadline(forMs);
    while (!deadline.hasExpired()) {
        if (vesker.info().status != 200)
            return false;
        ::usleep(50000);
    }
    return true;
}

} // namespace

TEST(Start, TheListLayoutOverAPdfKeepsRunningAndStartsAgain)
{
    // One page; the reader rebuilds the cross-reference table it lacks.
    const QByteArray pdf = "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                           "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
                           "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]>>endobj\n"
                           "trailer<</Root 1 0 R>>\n%%EOF\n";
    Vesker vesker({{"didShowOnboarding", true}, {"viewMode", "compact"}});
    ASSERT_TRUE(vesker.start());
    ASSERT_EQ(
        vesker.upload(Kind::pdf, pdf, "X-Sender: Ann\r\nX-Filename: plan.pdf\r\n").status, 200);
    EXPECT_TRUE(keepsAnswering(vesker, 2000));
    for (int restart = 0; restart < 2; ++restart) {
        SCOPED_TRACE(restart);
        ASSERT_TRUE(vesker.restart());
        EXPECT_TRUE(keepsAnswering(vesker, 2000));
        EXPECT_EQ(vesker.inboxCount(), 1);
    }
}
