#include "app/single_instance.h"
#include "platform/service_hosts.h"

#include <QCoreApplication>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <gtest/gtest.h>

using namespace vesker;
using Outcome = SingleInstance::Outcome;

namespace {

constexpr int kBoundMs = 10000;
const QString kWebInvite = QStringLiteral("https://") + QString::fromLatin1(kInviteServiceHost)
    + QStringLiteral("/i/ABCD");

// The running copy answers on this thread's event loop, so a later launch, which blocks while
// it waits for the answer, runs on another.
Outcome launchAgain(const QString& socketPath, const QString& inviteUrl)
{
    QFuture<Outcome> later
        = QtConcurrent::run([=] { return SingleInstance(socketPath).start(inviteUrl); });
    QTest::qWaitFor([&] { return later.isFinished(); }, kBoundMs);
    return later.isFinished() ? later.result() : Outcome::unanswered;
}

class SingleInstanceTest : public testing::Test {
protected:
    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath("vesker.socket");
    SingleInstance m_first {m_path};
    QSignalSpy m_shows {&m_first, &SingleInstance::showRequested};
    QSignalSpy m_invites {&m_first, &SingleInstance::inviteOpened};
};

} // namespace

TEST_F(SingleInstanceTest, LaterLaunchesHandOverTheWindowAndOnlyInviteLinks)
{
    ASSERT_EQ(m_first.start(), Outcome::running);
    const struct {
        QString argument;
        QString handedOver;
    } cases[] {
        {"", ""},
        {"vesker://invite/ABCD-EFGH", "vesker://invite/ABCD-EFGH"},
        {kWebInvite, kWebInvite},
        {"https://relay.example/i/ABCD", ""},
        {"https://example.com/page", ""},
        {"vesker://invite/" + QString(SingleInstance::kMaxUrlLength, 'A'), ""},
    };
    for (const auto& [argument, handedOver] : cases) {
        SCOPED_TRACE(argument.left(40).toStdString());
        m_shows.clear();
        m_invites.clear();
        const QString invite = SingleInstance::inviteArgument({"vesker", argument});
        EXPECT_EQ(launchAgain(m_path, invite), Outcome::handedOver);
        EXPECT_EQ(m_shows.size(), 1);
        EXPECT_EQ(
            m_invites.isEmpty() ? QString() : m_invites.first().first().toString(), handedOver);
    }
}

TEST_F(SingleInstanceTest, HostileMessagesAreDroppedAndTheCopyStaysReachable)
{
    ASSERT_EQ(m_first.start(), Outcome::running);
    const QByteArray cases[] {
        "", // says nothing: cut off
        QByteArray(SingleInstance::kMaxMessage + 100, 'a'),
        "show vesker://invite/" + QByteArray(SingleInstance::kMaxMessage, 'A') + "\n",
        "hello\n",
        "showx\n",
        "show https://example.com/page\n",
        QByteArray("show\0vesker://invite/X\n", 23),
    };
    for (const QByteArray& bytes : cases) {
        SCOPED_TRACE(bytes.left(40).toStdString());
        QLocalSocket peer;
        peer.connectToServer(m_path);
        ASSERT_TRUE(peer.waitForConnected(kBoundMs));
        peer.write(bytes);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return peer.state() == QLocalSocket::UnconnectedState; }, kBoundMs));
        EXPECT_EQ(peer.readAll(), "");
    }
    EXPECT_TRUE(m_shows.isEmpty());
    EXPECT_TRUE(m_invites.isEmpty());

    // One request per connection: a second line on it is never acted on.
    QLocalSocket peer;
    peer.connectToServer(m_path);
    ASSERT_TRUE(peer.waitForConnected(kBoundMs));
    peer.write("show\nshow vesker://invite/ABCD-EFGH\n");
    QTest::qWaitFor([&] { return peer.state() == QLocalSocket::UnconnectedState; }, kBoundMs);
    EXPECT_EQ(peer.readAll(), "ok\n");
    EXPECT_EQ(m_shows.size(), 1);
    EXPECT_TRUE(m_invites.isEmpty());

    EXPECT_EQ(launchAgain(m_path, "vesker://invite/ABCD-EFGH"), Outcome::handedOver);
    EXPECT_EQ(m_invites.size(), 1);
}
