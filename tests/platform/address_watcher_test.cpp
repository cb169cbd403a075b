// The address watcher against the real kernel, in a network namespace of the test's own, so
// that the machine's interfaces are never touched.
#include "platform/address_watcher.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

using namespace vesker;

namespace {

// Moves the calling thread into a new, empty network namespace and back out when it goes. A
// socket made meanwhile stays in the new namespace for its life.
class OwnNetwork {
public:
    OwnNetwork()
        : m_home(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC))
    {
        if (m_home < 0)
            m_problem = std::string("cannot hold the current network: ") + std::strerror(errno);
        else if (::unshare(CLONE_NEWNET) != 0)
            m_problem = std::string("cannot make a network namespace: ") + std::strerror(errno);
        else
            m_inside = true;
    }
    ~OwnNetwork()
    {
        if (m_inside && ::setns(m_home, CLONE_NEWNET) != 0)
            std::abort(); // every later test would run in the wrong network
        if (m_home >= 0)
            ::close(m_home);
    }
    const std::string& problem() const { return m_problem; }

private:
    int m_home = -1;
    bool m_inside = false;
    std::string m_problem;
};

// Runs `ip` in the calling thread's network namespace: a child starts in its parent's.
bool ip(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

} // namespace

TEST(AddressWatcher, SaysWhenTheKernelAddsOrRemovesAnAddress)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "making a network namespace needs root";
    const QString program = QStandardPaths::findExecutable(QStringLiteral("ip"),
        {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin")});
    if (program.isEmpty())
        GTEST_SKIP() << "iproute2's ip is not installed";
    OwnNetwork network;
    if (!network.problem().empty())
        GTEST_SKIP() << network.problem();

    platform::AddressWatcher watcher;
    ASSERT_TRUE(watcher.isWatching());
    QSignalSpy changed(&watcher, &platform::AddressWatcher::changed);
    ASSERT_TRUE(ip(program, {"link", "set", "lo", "up"}));
    ASSERT_TRUE(changed.wait(10000)) << "a link coming up went unheard";

    // Whatever of the link's news was still settling is let through first.
    for (int late = 0; late < 20 && changed.wait(2 * platform::AddressWatcher::kSettleMs);)
        ++late;
    for (const char* verb : {"add", "del"}) {
        SCOPED_TRACE(verb);
        changed.clear();
        ASSERT_TRUE(ip(program, {"address", verb, "10.77.0.1/32", "dev", "lo"}));
        EXPECT_TRUE(changed.wait(10000));
    }
}
