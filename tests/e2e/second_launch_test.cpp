#include "e2e/harness.h"

#include <gtest/gtest.h>

#include <csignal>

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
