#include "e2e/harness.h"

#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <sys/un.h>
#include <thread>
#include <vector>

using namespace vesker::e2e;

TEST(SecondLaunch, ACopyThatDoesNotAnswerIsNotJoinedByAnother)
{
    Vesker vesker;
    ASSERT_TRUE(vesker.start());
    ::kill(pid_t(vesker.pid()), SIGSTOP);
    const Vesker::Launch again = vesker.launchAgain();
    ::kill(pid_t(vesker.pid()), SIGCONT);
    EXPECT_NE(again.exitCode, 0);
    EXPECT_TRUE(again.errors.contains("does not answer")) << again.errors.constData();
    EXPECT_EQ(vesker.info().status, 200);
}

TEST(SecondLaunch, ALaunchAfterACrashTakesOver)
{
    Vesker vesker;
    ASSERT_TRUE(vesker.start());
    vesker.kill();
    ASSERT_TRUE(vesker.start());
    EXPECT_EQ(vesker.launchAgain().exitCode, 0);
}

TEST(SecondLaunch, SilentConnectionsDoNotKeepALaunchOut)
{
    constexpr int kSilent = 2000;
    rlimit files {};
    ::getrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < kSilent + 200) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, kSilent + 200);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    Vesker vesker;
    ASSERT_TRUE(vesker.start());

    // Connections to the running copy that never send a byte; each one it cuts is made again.
    sockaddr_un address {AF_UNIX, {}};
    const QByteArray path = QFile::encodeName(vesker.instanceSocket());
    ASSERT_LT(size_t(path.size()), sizeof address.sun_path);
    memcpy(address.sun_path, path.constData(), size_t(path.size()));
    std::atomic<int> rounds = 0;
    const std::jthread silent([&](std::stop_token done) {
        std::vector<int> fds(kSilent, -1);
        while (!done.stop_requested()) {
            for (int& fd : fds) {
                char byte;
                if (fd >= 0 && ::recv(fd, &byte, 1, MSG_DONTWAIT) < 0 && errno == EAGAIN)
                    continue;
                if (fd >= 0)
                    ::close(fd);
                fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
                if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address)
                    != 0) {
                    ::close(fd);
                    fd = -1;
                }
            }
            ++rounds;
            QThread::msleep(5);
        }
        for (const int fd : fds)
            ::close(fd);
    });
    while (rounds < 3)
        QThread::msleep(10);
    const Vesker::Launch again = vesker.launchAgain();
    EXPECT_EQ(again.exitCode, 0) << again.errors.constData();
}
