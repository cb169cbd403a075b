#include "avahi_finder.h"
#include "platform/dns_sd.h"
#include "support/temp_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>

using vesker::platform::DnsSdPublisher;
using vesker::platform::DnsSdService;
using vesker::test::AvahiFinder;

namespace {

const QString kType = QStringLiteral("_vesker._tcp");

// Tests of every process share one daemon: names carry the process and a random number.
QString uniqueName(const QString& what)
{
    return QStringLiteral("%1 %2-%3")
        .arg(what)
        .arg(QCoreApplication::applicationPid())
        .arg(QRandomGenerator::global()->bounded(100000));
}

// A port that nothing else on this machine holds while the test runs.
struct FreePort {
    QTcpServer server;
    quint16 port = 0;
    FreePort()
    {
        if (server.listen(QHostAddress::LocalHost, 0))
            port = server.serverPort();
    }
};

QString waitForRegistration(DnsSdPublisher& publisher)
{
    QSignalSpy registered(&publisher, &DnsSdPublisher::registered);
    if (registered.isEmpty() && !registered.wait(10000))
        return {};
    return registered.constLast().at(0).toString();
}

} // namespace

TEST(DnsSd, PublishedServiceIsFoundWithItsTxtRecord)
{
    VESKER_REQUIRE_TEST_AVAHI();
    AvahiFinder finder(kType);
    ASSERT_TRUE(finder.error().isEmpty()) << finder.error().toStdString();

    // A name over the 63 bytes of a DNS label is cut at a character boundary, not refused.
    const QString longName
        = uniqueName(QStringLiteral("Vesker")) + QStringLiteral(" ") + QString(40, QChar(0x00E9));

    struct Row {
        const char* what;
        QString name;
        QList<QPair<QString, QString>> txt;
    };
    const QString plain = uniqueName(QStringLiteral("Vesker test"));
    const QString accented = uniqueName(QStringLiteral(u"Küche – Anna’s screen"));
    const QList<Row> rows = {
        {"with a screen id", plain,
            {{"name", plain}, {"path", "/upload"},
                {"screen", "6F1C2B0A-3D4E-4F50-8A9B-0C1D2E3F4A5B"}}},
        {"without a screen id", plain + QStringLiteral(" b"),
            {{"name", plain + QStringLiteral(" b")}, {"path", "/upload"}}},
        {"with a non-ASCII name", accented, {{"name", accented}, {"path", "/upload"}}},
        {"with an overlong name", longName, {{"name", longName}, {"path", "/upload"}}},
    };

    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FreePort port;
        ASSERT_NE(port.port, 0);
        QString published;
        {
            DnsSdPublisher publisher({row.name, kType, port.port, row.txt});
            published = waitForRegistration(publisher);
            ASSERT_FALSE(published.isEmpty()) << "no registration within 10 s";
            EXPECT_EQ(publisher.registeredName(), published);
            EXPECT_LE(published.toUtf8().size(), 63);
            EXPECT_TRUE(row.name.startsWith(published));
            if (row.name.toUtf8().size() <= 63) {
                EXPECT_EQ(published, row.name);
            }

            const auto found = finder.waitFor(published);
            ASSERT_TRUE(found.has_value()) << "not found by browsing";
            EXPECT_EQ(found->port, port.port);
            EXPECT_TRUE(found->address == QLatin1String("127.0.0.1")
                || found->address == QLatin1String("::1"))
                << found->address.toStdString();
            QMap<QString, QString> expected;
            for (const auto& [key, value] : row.txt)
                expected.insert(key, value);
            EXPECT_EQ(found->txt, expected);
            EXPECT_EQ(found->txt.contains(QStringLiteral("screen")),
                expected.contains(QStringLiteral("screen")));
        }
        // Published only while the publisher lives.
        EXPECT_TRUE(finder.waitUntilGone(published)) << "still announced after the publisher went";
    }
}

TEST(DnsSd, SecondPublisherOfATakenNameLearnsItsNewName)
{
    VESKER_REQUIRE_TEST_AVAHI();
    AvahiFinder finder(kType);
    ASSERT_TRUE(finder.error().isEmpty()) << finder.error().toStdString();

    const QString name = uniqueName(QStringLiteral("Vesker twin"));
    FreePort firstPort;
    FreePort secondPort;
    DnsSdPublisher first({name, kType, firstPort.port, {{"name", name}, {"path", "/upload"}}});
    const QString firstName = waitForRegistration(first);
    ASSERT_EQ(firstName, name);

    DnsSdPublisher second({name, kType, secondPort.port, {{"name", name}, {"path", "/upload"}}});
    const QString secondName = waitForRegistration(second);
    ASSERT_FALSE(secondName.isEmpty());
    EXPECT_NE(secondName, name);
    EXPECT_TRUE(secondName.startsWith(name)) << secondName.toStdString();
    EXPECT_EQ(second.registeredName(), secondName);

    // Each name reaches its own server.
    const auto a = finder.waitFor(firstName);
    const auto b = finder.waitFor(secondName);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->port, firstPort.port);
    EXPECT_EQ(b->port, secondPort.port);
}

namespace {

int g_notDiscoverableLines = 0;

void countNotDiscoverable(QtMsgType, const QMessageLogContext&, const QString& message)
{
    if (message.contains(QLatin1String("[bonjour] not discoverable: ")))
        ++g_notDiscoverableLines;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

// Runs in a child process of its own: the D-Bus library reads the system bus address once per
// process. Ends the process with 0 when the publisher failed once, quickly, and never
// registered, and prints what it saw for the parent's check.
[[noreturn]] void publishWithSystemBus(const QByteArray& busAddress)
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", busAddress);
    qInstallMessageHandler(countNotDiscoverable);

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);

    QElapsedTimer clock;
    clock.start();
    DnsSdPublisher publisher({uniqueName(QStringLiteral("Vesker nobody")), kType, 9,
        {{"name", "x"}, {"path", "/upload"}}});
    const qint64 constructedMs = clock.elapsed();
    qint64 reportedMs = -1;
    QString reason;
    int failures = 0;
    QObject::connect(&publisher, &DnsSdPublisher::failed, [&](const QString& why) {
        if (failures++ == 0) {
            reportedMs = clock.elapsed();
            reason = why;
        }
    });
    QSignalSpy registered(&publisher, &DnsSdPublisher::registered);
    // Long enough for the retries 1 s and 2 s later, which must not report again.
    QTest::qWait(3500);

    std::fprintf(stderr,
        "failed %d time(s), logged %d line(s), registered %d, constructed in %lld ms, "
        "reported after %lld ms, %d ticks, reason: %s\n",
        failures, g_notDiscoverableLines, int(registered.count()),
        static_cast<long long>(constructedMs), static_cast<long long>(reportedMs), ticks,
        qPrintable(reason));
    // The event loop kept running (about 70 ticks of 50 ms) and the answer came at once.
    const bool ok = failures == 1 && g_notDiscoverableLines == 1 && registered.isEmpty()
        && constructedMs < 100 && reportedMs >= 0 && reportedMs < 1000 && ticks > 40
        && publisher.registeredName().isEmpty();
    std::fflush(stderr);
    QDir(vesker::test::testHome()).removeRecursively();
    _exit(ok ? 0 : 1);
}

} // namespace

TEST(DnsSd, WithoutASystemBusReportsFailureOnceWithoutBlocking)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const QString deadSocket = vesker::test::testHome() + QStringLiteral("/no-bus-here");
    EXPECT_EXIT(publishWithSystemBus("unix:path=" + deadSocket.toUtf8()),
        ::testing::ExitedWithCode(0),
        "\\[bonjour\\] not discoverable: cannot reach avahi-daemon.*failed 1 time");
}

TEST(DnsSd, WithoutTheDaemonOnTheBusReportsFailureOnceWithoutBlocking)
{
    // A bus that answers but has no daemon on it: the publisher waits there for one.
    const QByteArray sessionBus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (sessionBus.isEmpty()) {
        if (qEnvironmentVariable("VESKER_TEST_SERVICES") == QLatin1String("1"))
            FAIL() << "the test services started no session bus";
        GTEST_SKIP() << "needs a session bus to stand in for a system bus without avahi-daemon; "
                        "run under scripts/with-test-services";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(publishWithSystemBus(sessionBus), ::testing::ExitedWithCode(0),
        "\\[bonjour\\] not discoverable: avahi-daemon is not running.*failed 1 time");
}

namespace {

// Starts a service program for one test; it dies with the test process whatever happens.
std::unique_ptr<QProcess> startService(
    const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process->start(program, arguments);
    process->waitForStarted(5000);
    return process;
}

void stopService(QProcess& process)
{
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(1000);
}

// In a child process of its own, on a system bus of its own: publishes before avahi-daemon
// runs, then starts the daemon, stops it and starts it again. Ends the process with 0 when the
// service was published each time the daemon came, and prints what it saw.
[[noreturn]] void publishAcrossDaemonRestarts(const QString& servicesDir)
{
    const QString socket = vesker::test::testHome() + QStringLiteral("/system_bus_socket");
    const QString bus = QStringLiteral("unix:path=") + socket;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus);
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.toUtf8());

    auto dbus = startService(QStringLiteral("dbus-daemon"),
        {QStringLiteral("--nofork"),
            QStringLiteral("--config-file=") + servicesDir + QStringLiteral("/system-bus.conf"),
            QStringLiteral("--address=") + bus},
        environment);
    const bool busUp = QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, 5000);

    QStringList avahiArguments = {QStringLiteral("--net"), QStringLiteral("--mount")};
    if (geteuid() != 0)
        avahiArguments = QStringList {QStringLiteral("--user"), QStringLiteral("--map-root-user")}
            + avahiArguments;
    avahiArguments << servicesDir + QStringLiteral("/avahi-in-namespace")
                   << servicesDir + QStringLiteral("/avahi-daemon.conf");

    const QString name = uniqueName(QStringLiteral("Vesker late"));
    FreePort port;
    DnsSdPublisher publisher({name, kType, port.port, {{"name", name}, {"path", "/upload"}}});
    QSignalSpy failed(&publisher, &DnsSdPublisher::failed);
    QSignalSpy registered(&publisher, &DnsSdPublisher::registered);

    const bool waitedForDaemon = failed.wait(5000);
    const QString firstReason = failed.isEmpty() ? QString() : failed.at(0).at(0).toString();

    auto avahi = startService(QStringLiteral("unshare"), avahiArguments, environment);
    const bool publishedWhenItCame = registered.wait(20000);
    int foundPort = 0;
    {
        AvahiFinder finder(kType);
        if (const auto found = finder.waitFor(publisher.registeredName()))
            foundPort = found->port;
    }

    stopService(*avahi);
    const bool noticedItWent = QTest::qWaitFor(
        [&] { return failed.count() == 2 && publisher.registeredName().isEmpty(); }, 10000);

    avahi = startService(QStringLiteral("unshare"), avahiArguments, environment);
    const bool publishedWhenItCameBack = registered.wait(30000);

    std::fprintf(stderr,
        "bus up %d; waited for the daemon %d (%s); published when it came %d; found on "
        "port %d of %d; noticed it went %d; published when it came back %d as %s\n",
        busUp, waitedForDaemon, qPrintable(firstReason), publishedWhenItCame, foundPort,
        int(port.port), noticedItWent, publishedWhenItCameBack,
        qPrintable(publisher.registeredName()));
    const bool ok = busUp && waitedForDaemon
        && firstReason == QLatin1String("avahi-daemon is not running") && publishedWhenItCame
        && foundPort == port.port && noticedItWent && publishedWhenItCameBack
        && publisher.registeredName() == name;
    std::fflush(stderr);
    stopService(*avahi);
    stopService(*dbus);
    QDir(vesker::test::testHome()).removeRecursively();
    _exit(ok ? 0 : 1);
}

} // namespace

TEST(DnsSd, ServiceIsPublishedWhenTheDaemonStartsLaterAndAgainAfterARestart)
{
    // Starts a bus and avahi-daemons of its own, the way the test services do. Nothing here
    // may talk D-Bus before the child runs: the child repeats these lines, and the D-Bus
    // library keeps the first system bus address it saw.
    const QString servicesDir = qEnvironmentVariable("VESKER_TEST_SERVICES_DIR");
    if (servicesDir.isEmpty()) {
        if (qEnvironmentVariable("VESKER_TEST_SERVICES") == QLatin1String("1"))
            FAIL() << "the test services did not say where they live (VESKER_TEST_SERVICES_DIR)";
        GTEST_SKIP() << "starts avahi-daemon the way scripts/with-test-services does; run under it";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(publishAcrossDaemonRestarts(servicesDir), ::testing::ExitedWithCode(0),
        "published when it came back 1");
}
