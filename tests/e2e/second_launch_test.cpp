#include "e2e/harness.h"

#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

using namespace vesker::e2e;

namespace {

// The running copy's log has a line containing `text`, within the bound.
bool logged(const Vesker& vesker, QByteArrayView text)
{
    return QTest::qWaitFor([&] { return vesker.log().contains(text); }, kBoundMs);
}

} // namespace

TEST(SecondLaunch, HandsItsRequestToTheRunningCopyAndEnds)
{
    Vesker vesker;
    vesker.captureLog();
    ASSERT_TRUE(vesker.start());

    const Vesker::Launch plain = vesker.launchAgain();
    EXPECT_EQ(plain.exitCode, 0) << plain.errors.constData();
    EXPECT_TRUE(logged(vesker, "handed over a request for the window"));

    // Not an invite: shown, never handed on.
    EXPECT_EQ(vesker.launchAgain({"https://example.com/page"}).exitCode, 0);
    EXPECT_EQ(vesker.launchAgain({"vesker://invite/ABCD-EFGH"}).exitCode, 0);
    EXPECT_TRUE(logged(vesker, "[invite] an invite link waits for confirmation"));
    EXPECT_EQ(vesker.log().count("[invite]"), 1);

    // Still the one copy on the port, with its store.
    EXPECT_EQ(vesker.info().status, 200);
}

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
